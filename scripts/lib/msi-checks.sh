#!/usr/bin/env bash
# Called by scripts/test-windows.sh, in its Wine prefix: installs the Windows installer in
# FOLDER (Kelvane-1.45-win64.msi, and Kelvane-1.46-win64.msi made from the same files to
# stand in for a newer release) and checks what a user would see. KELVANE_JOURNEYS names
# the journeys test program, which drives the installed Kelvane.exe.
#
# Ends with one line "msi: N passed, M failed".
set -uo pipefail
folder=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/check.sh"

msi=$(winepath -w "$folder/Kelvane-1.45-win64.msi")
newer=$folder/Kelvane-1.46-win64.msi
windows_folder() {  # %NAME%
    wine cmd /c "echo $1" 2>/dev/null | tr -d '\r'
}
installed_windows="$(windows_folder %LOCALAPPDATA%)\\Programs\\Kelvane"
installed=$(winepath -u "$installed_windows")
shortcut=$(winepath -u "$(windows_folder %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs\\Kelvane.lnk")
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# What the install left: each installed file with its checksum and time, the shortcut,
# and how many installed products are called Kelvane.
snapshot() {
    (cd "$installed" 2>/dev/null && find . -type f -exec stat -c '%n %Y' {} \; -exec md5sum {} \; | sort)
    # What it points at, not its bytes: Wine's installer writes the shortcut again, with
    # new times inside.
    strings -a "$shortcut" 2>/dev/null
    strings -a -el "$shortcut" 2>/dev/null
    wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null | grep -c ProductName
}
listed() {  # version: "Apps & features" lists Kelvane with it, the publisher and the icon
    local entries icon
    entries=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null
        wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null)
    grep -A20 'DisplayName *REG_SZ *Kelvane' <<<"$entries" | grep -q "DisplayVersion *REG_SZ *$1" &&
        grep -A20 'DisplayName *REG_SZ *Kelvane' <<<"$entries" | grep -q 'Publisher *REG_SZ *The Kelvane developers' || return 1
    icon=$(wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null |
        sed -n 's/^ *ProductIcon *REG_SZ *//p' | tr -d '\r' | head -n1)
    echo "icon: $icon"
    [ -n "$icon" ] && [ -s "$(winepath -u "$icon")" ]
}
installs() {  # msi
    wine msiexec /i "$1" /qn && [ -x "$installed/Kelvane.exe" ]
}
first_run() {
    KELVANE_INSTALLED_FOLDER=$installed_windows wine "$KELVANE_JOURNEYS" \
        --gtest_filter='InstalledProgram.*' >"$work/journey" 2>&1
    local status=$?
    cat "$work/journey"
    [ $status -eq 0 ] && grep -q '^\[  PASSED  \] 1 test' "$work/journey" && ! grep -q SKIPPED "$work/journey"
}
unchanged_by_second_install() {
    local before
    before=$(snapshot)
    wine msiexec /i "$msi" /qn
    [ "$(snapshot)" = "$before" ] || { diff <(echo "$before") <(snapshot); return 1; }
}
settings_kept() {  # checksum
    [ "$(md5sum <"$installed/Kelvane.ini")" = "$1" ]
}
run_value_kept() {
    wine reg query "$run_key" /v Kelvane 2>/dev/null | grep -q 'Kelvane.exe'
}
one_product() {
    [ "$(wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null | grep -c 'ProductName *REG_SZ *Kelvane')" -eq 1 ]
}
upgraded() {
    one_product && listed 1.46
}
uninstalls() {
    wine msiexec /x "$msi" /qn
    [ ! -e "$installed/Kelvane.exe" ] && [ ! -e "$installed/ReadMe.txt" ] && [ ! -e "$shortcut" ]
}

check "msiexec /i installs Kelvane.exe in %LOCALAPPDATA%\\Programs\\Kelvane, no administrator asked" installs "$msi"
check "the Start menu has a Kelvane shortcut" test -f "$shortcut"
check "the installed programs list Kelvane 1.45 with its publisher and icon" listed 1.45
check "the installed program runs its first run and writes Kelvane.ini beside itself" first_run
# As the tray entry would leave it.
wine reg add "$run_key" /v Kelvane /d "\"$installed_windows\\Kelvane.exe\"" /f >/dev/null 2>&1
settings=$(md5sum <"$installed/Kelvane.ini" 2>/dev/null)
check "a second install of the same MSI changes nothing" unchanged_by_second_install
if [ -f "$newer" ]; then
    check "a newer MSI replaces the older install" installs "$(winepath -w "$newer")"
    check "after the upgrade one Kelvane is installed, version 1.46" upgraded
    check "the upgrade keeps Kelvane.ini" settings_kept "$settings"
    msi=$(winepath -w "$newer")
else
    check "a newer MSI could be made for the upgrade check" false
fi
check "msiexec /x removes the program and the shortcut" uninstalls
check "the uninstall keeps Kelvane.ini" settings_kept "$settings"
check "the uninstall keeps the Start with Windows value" run_value_kept
wine reg delete "$run_key" /v Kelvane /f >/dev/null 2>&1

echo "msi: $passed passed, $failed failed"
