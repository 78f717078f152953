#!/usr/bin/env bash
# Renders Kelvane's icon from its drawings in resources/icon into the eight PNGs (32-bit
# RGBA) and the Windows .ico that the build and the installers use. The results are
# committed, so building never needs this; run it again after changing a drawing.
# Needs rsvg-convert (Debian: librsvg2-bin) and ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/../resources/icon"

sizes=(16 24 32 48 64 96 128 256)

# The two smallest sizes have their own pixel-grid drawings; scaling the large one down
# blurs its outlines and arrows into mush there.
drawing_for() {
    case "$1" in
        16 | 24) echo "kelvane-$1.svg" ;;
        *) echo "kelvane.svg" ;;
    esac
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

pngs=()
for size in "${sizes[@]}"; do
    rsvg-convert --width="$size" --height="$size" "$(drawing_for "$size")" -o "$scratch/$size.png"
    # PNG32: always 8-bit RGBA, even where a size happens to need fewer colours;
    # -strip keeps out time stamps so an unchanged drawing gives unchanged files.
    convert "$scratch/$size.png" -strip "PNG32:kelvane-$size.png"
    pngs+=("kelvane-$size.png")
done

convert "${pngs[@]}" -strip kelvane.ico
echo "made ${pngs[*]} kelvane.ico"
