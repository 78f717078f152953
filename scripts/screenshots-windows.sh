#!/usr/bin/env bash
# Takes the pictures of the Windows program in docs/screenshots: Kelvane.exe under Wine
# on Xvfb, with Wine drawing its own title bars (no window manager).
# usage: scripts/screenshots-windows.sh   (builds with the MinGW cross compiler first)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine-fonts.sh
# MinGW and Wine from the test set; ImageMagick takes the picture, xdotool opens the menu.
scripts/install-deps.sh test imagemagick xdotool

build=${KELVANE_MINGW_BUILD_DIR:-build-mingw}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.toolchain.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_GUI=OFF -DKELVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target Kelvane

out=docs/screenshots
display=:78
Xvfb "$display" -screen 0 900x560x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-wine.XXXXXX")
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
# Unmanaged: Wine draws the caption itself, and hiding a window costs no wait.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
add_windows_fonts

# The folders a user would have: the program where the installer puts it, a document
# and its copy in the folder OneDrive mirrors.
drive=$WINEPREFIX/drive_c
program=$drive/users/Ann/AppData/Local/Programs/Kelvane
mkdir -p "$program" "$drive/users/Ann/Documents" "$drive/users/Ann/OneDrive"
cp "$build/src/win32/Kelvane.exe" "$program/"
echo "old" >"$drive/users/Ann/Documents/notes.txt"
touch -d '2024-01-01 10:00' "$drive/users/Ann/Documents/notes.txt"
echo "new" >"$drive/users/Ann/OneDrive/notes.txt"
printf '%s\r\n' '[FilePathAndFileNames]' 'File1=C:\Users\Ann\Documents\notes.txt' \
    'File2=C:\Users\Ann\OneDrive\notes.txt' 'File3=' '[SelectedFiles]' 'File1_Selected=1' \
    'File2_Selected=1' 'File3_Selected=0' '[SyncSettings]' 'SyncInterval=5' 'AutoSync=ON' \
    '[SyncEvents]' 'LastSyncEvent=NIL' '[FormLocation]' 'FormTop=1200' 'FormLeft=1500' \
    >"$program/Kelvane.ini"

wine 'C:\users\Ann\AppData\Local\Programs\Kelvane\Kelvane.exe' >/dev/null 2>&1 &
sleep 9  # start-up, then the first timed pass after five seconds
import -window root "$WINEPREFIX/screen.png"
convert "$WINEPREFIX/screen.png" -trim +repage "$out/windows-main-window.png"
echo "wrote $out/windows-main-window.png"

# The tray menu: a right click on the icon in Wine's stand-in tray, top left.
xdotool mousemove 13 31 sleep 1 mousedown 3 sleep 0.3 mouseup 3
sleep 1
import -window root "$WINEPREFIX/screen.png"
convert "$WINEPREFIX/screen.png" -crop 240x125+0+0 +repage "$out/windows-tray-menu.png"
echo "wrote $out/windows-tray-menu.png"
