#!/usr/bin/env bash
# Drives the real program on a real desktop (Xvfb, openbox, trayer as the tray) the way
# a user would: Sync Now, Hide to tray, a left click on the tray icon, "Start Kelvane when
# I log in" from the tray menu and back, Exit from the tray menu. Prints what happened at
# each step and fails if any step did not do its job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh xvfb xauth openbox trayer xdotool desktop-file-utils

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b"
cp build-release/src/qt/Kelvane "$work/"
echo new >"$work/a/notes.txt"
echo old >"$work/b/notes.txt"
touch -d 2020-01-01 "$work/b/notes.txt"
printf '[FilePathAndFileNames]\nFile1=%s\nFile2=%s\n[SelectedFiles]\nFile1_Selected=1\nFile2_Selected=1\nFile3_Selected=0\n' \
    "$work/a/notes.txt" "$work/b/notes.txt" >"$work/Kelvane.ini"
printf '[SyncSettings]\nSyncInterval=10\nAutoSync=OFF\n[FormLocation]\nFormTop=1500\nFormLeft=1500\n' >>"$work/Kelvane.ini"

cat >"$work/drive.sh" <<'DRIVE'
set -eu
cd "$1"
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi; }
failed=0
openbox >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
sleep 1
# Its autostart entry goes to a folder of the check's own, not the user's.
XDG_CONFIG_HOME=$PWD/config ./Kelvane >/dev/null 2>&1 &
pid=$!
sleep 3
win=$(xdotool search --name "Kelvane v1.45" | head -1)
visible() { xdotool search --onlyvisible --name "Kelvane v1.45" | wc -l; }
xdotool mousemove --window "$win" 53 175 click 1 && sleep 1
check "Sync Now copied the newer file" '[ "$(cat b/notes.txt)" = new ]'
xdotool mousemove --window "$win" 410 221 click 1 && sleep 1
check "Hide to tray hid the window" '[ "$(visible)" = 0 ]'
check "Hide to tray saved the settings" 'grep -q "LastSyncEvent=File2 updated" Kelvane.ini'
xdotool mousemove 886 546 click 1 && sleep 1
check "a left click on the tray icon showed it again" '[ "$(visible)" = 1 ]'
# The tray menu opens above the icon: Exit at the bottom, the autostart tick third from it.
tray_menu_entry() {  # height above the pointer
    xdotool mousemove 886 546 click 3 && sleep 1
    eval "$(xdotool getmouselocation --shell)"
    xdotool mousemove $((X - 80)) $((Y - $1)) click 1 && sleep 1
}
entry=config/autostart/kelvane.desktop
tray_menu_entry 62
check "Start Kelvane when I log in wrote a valid autostart entry" "desktop-file-validate $entry"
check "the entry starts this very program" "grep -qx 'Exec=\"$PWD/Kelvane\"' $entry"
tray_menu_entry 62
check "choosing it again removed the entry" "[ ! -e $entry ]"
tray_menu_entry 18
sleep 1
check "Exit Kelvane from the tray menu ended the program" '! kill -0 $pid 2>/dev/null'
exit $failed
DRIVE
LANG=en_US.UTF-8 xvfb-run -a -s "-screen 0 900x560x24" bash "$work/drive.sh" "$work"
