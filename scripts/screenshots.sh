#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots from the real program under Xvfb, with the
# openbox window manager for title bars and trayer as the system tray.
# usage: scripts/screenshots.sh   (as root: it mounts /home, /media and a tiny full
# "USB stick" in a mount namespace of its own)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh xvfb openbox trayer imagemagick xdotool

# The pictures show the paths a user would have, /home/ann/Documents/notes.txt and a USB
# stick under /media/ann: in a mount namespace of this script's own, where a fresh /home
# and /media hide the machine's.
if [ -z "${KELVANE_SCREENSHOT_NAMESPACE:-}" ]; then
    exec env KELVANE_SCREENSHOT_NAMESPACE=1 unshare --mount --propagation private "$0" "$@"
fi
mount -t tmpfs tmpfs /home
mount -t tmpfs tmpfs /media
home=/home/ann
mkdir -p "$home/Documents" "$home/Cloud" "$home/.config"
export HOME=$home XDG_CONFIG_HOME=$home/.config

out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
display=:77
Xvfb "$display" -screen 0 900x560x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype request --height 28 --SetDockType true --transparent false \
    --tint 0xdddddd >/dev/null 2>&1 &
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

settings() {  # folder file1 file2 autosync interval
    cat >"$1/Kelvane.ini" <<INI
[FilePathAndFileNames]
File1=$2
File2=$3
File3=
[SelectedFiles]
File1_Selected=1
File2_Selected=1
File3_Selected=0
[SyncSettings]
SyncInterval=$5
AutoSync=$4
[SyncEvents]
LastSyncEvent=NIL
[FormLocation]
FormTop=1200
FormLeft=1500
INI
}

shoot() {  # folder picture seconds
    cp build-release/src/qt/Kelvane "$1/Kelvane"
    LANG=en_US.UTF-8 "$1/Kelvane" >/dev/null 2>&1 &
    local pid=$!
    sleep "$3"
    import -window root "$work/screen.png"
    convert "$work/screen.png" -trim +repage "$out/$2"
    kill -TERM "$pid"
    wait "$pid" || true
}

mkdir -p "$work/first" && shoot "$work/first" first-run.png 3

mkdir -p "$work/on"
echo notes >"$home/Documents/notes.txt"
echo "older notes" >"$home/Cloud/notes.txt"
touch -d '2025-03-14 21:05:00' "$home/Cloud/notes.txt"
settings "$work/on" "$home/Documents/notes.txt" "$home/Cloud/notes.txt" ON 5
shoot "$work/on" main-window.png 8

# A copy onto a full USB stick fails: the red line.
mkdir -p "$work/failed" "$home/Reports" /media/ann/STICK
mount -t tmpfs -o size=64k tmpfs /media/ann/STICK
head -c 1048576 /dev/urandom >"$home/Reports/report.pdf"
echo old >/media/ann/STICK/report.pdf
touch -d '2020-01-01' /media/ann/STICK/report.pdf
settings "$work/failed" "$home/Reports/report.pdf" /media/ann/STICK/report.pdf ON 1
shoot "$work/failed" failed-pass.png 4
# The tray icon's menu: a right click on the icon at the bottom right of the screen.
mkdir -p "$work/tray"
cp build-release/src/qt/Kelvane "$work/tray/Kelvane"
settings "$work/tray" "$home/Documents/notes.txt" "$home/Cloud/notes.txt" OFF 10
LANG=en_US.UTF-8 "$work/tray/Kelvane" >/dev/null 2>&1 &
pid=$!
sleep 3
xdotool mousemove 886 546 click 3
sleep 1
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 420x230+480+330 +repage "$out/tray-menu.png"
kill -TERM "$pid"
wait "$pid" || true
echo "screenshots in $out"
