#!/usr/bin/env bash
# Builds the core (sync pass, settings file, Windows file system), the behaviour layer and
# the Windows program Kelvane.exe with the MinGW-w64 cross compiler, and runs the test
# programs under Wine, in a private Wine prefix that is made for this run and removed
# after it: the core and behaviour tests, and the journeys that drive Kelvane.exe through
# its windows. Then the packages the build's package target makes, the zip and the MSI,
# and the MSI installed, run, upgraded and uninstalled in that prefix. Needs no display:
# the prefix uses Wine's null graphics driver.
#
# Ends with one line "windows: N passed, M failed"; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine-fonts.sh
scripts/install-deps.sh test

started=$SECONDS
build=${KELVANE_MINGW_BUILD_DIR:-build-mingw}
jobs=$(nproc)

cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" -j"$jobs"
built=$SECONDS

# Console programs only: no X server, no Mono or Gecko installer, no debug chatter.
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-wine.XXXXXX")
export WINEARCH=win64 WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the ANSI code page from the locale; C.UTF-8 gives Windows-1252, the code
# page the settings-file tests expect (others would skip them).
export LC_ALL=C.UTF-8
# Wine keeps the Recycle Bin in the freedesktop.org trash of $XDG_DATA_HOME: the prefix's
# own, so no test ever touches the trash of the user who runs them.
export XDG_DATA_HOME=$WINEPREFIX/xdg-data
log=$(mktemp)
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$log"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wineserver -w
# Without a display Wine makes no windows unless told to draw nowhere; with Tahoma (from
# fonts-wine) "MS Shell Dlg" looks as on Windows and Marlett draws the caption buttons.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
add_windows_fonts
# A removable drive R: (a folder of the prefix that Wine calls a floppy), where replaced
# copies go to the folder beside the file instead of the Recycle Bin.
mkdir -p "$WINEPREFIX/removable-drive"
ln -sfn "$WINEPREFIX/removable-drive" "$WINEPREFIX/dosdevices/r:"
wine reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d floppy /f >/dev/null 2>&1
export KELVANE_TEST_REMOVABLE_DRIVE=R:
wineserver -w
# One server for every program of the run, so none pays for starting it again. Wine's
# own services start with the first program; started here, they do not hold ctest's
# output pipe open after that program ends (ctest would wait for them).
wineserver -p
wine cmd /c exit >/dev/null 2>&1

passed=0
failed=0
run_tests() {  # what, then ctest's arguments; the toolchain file makes Wine start each program
    local status=0 total broke
    timeout 1200 ctest --test-dir "$build" --output-on-failure "${@:2}" >"$log" 2>&1 || status=$?
    cat "$log"
    total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
    broke=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n1)
    if [ -z "$total" ]; then
        total=1 broke=1  # ctest itself did not finish
    elif [ "$status" -ne 0 ] && [ "${broke:-0}" -eq 0 ]; then
        broke=1
    fi
    echo "$1: $((total - broke)) passed, $broke failed"
    passed=$((passed + total - broke))
    failed=$((failed + broke))
}

run_tests "Windows programs (Wine)" -LE display

# Once more with a display, so the notification-area calls themselves run (Wine's own
# tray window stands in for the taskbar's): unmanaged windows, which hide at once.
if command -v Xvfb >/dev/null; then
    wineserver -k || true  # it may have ended on its own already
    wineserver -w
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    display=:$((90 + RANDOM % 400))
    Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    DISPLAY=$display run_tests "the tray icon (Wine, Xvfb)" -L display
    wineserver -k || true
    kill "$xvfb" 2>/dev/null || true
fi

# The packages users download, as the build's package target makes them: the zip and
# the installer.
rm -f "$build"/Kelvane-*-win64.zip "$build"/Kelvane-*-win64.msi
if ! cmake --build "$build" --target package >"$log" 2>&1; then
    cat "$log"
fi
# The zip with the stripped program, at most 1 MiB.
package=$(realpath "$build"/Kelvane-*-win64.zip 2>/dev/null | head -n1)
unpacked=$(mktemp -d)
[ -z "$package" ] || (cd "$unpacked" && cmake -E tar xf "$package" 2>/dev/null) || true
size=$(stat -c %s "$unpacked"/Kelvane-*-win64/Kelvane.exe 2>/dev/null || true)
rm -rf "$unpacked"
# Linked statically: it may import only DLLs that every Windows has.
foreign=$(x86_64-w64-mingw32-objdump -p "$build/src/win32/Kelvane.exe" 2>/dev/null |
    sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
    grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|oleacc.dll|comctl32.dll|comdlg32.dll|msvcrt.dll|version.dll' || true)
if [ -n "$foreign" ]; then
    echo "Kelvane.exe needs DLLs that Windows does not have: $foreign"
    failed=$((failed + 1))
elif [ -n "$size" ] && [ "$size" -le 1048576 ]; then
    echo "$(basename "$package"): Kelvane.exe $size bytes stripped, system DLLs only"
    passed=$((passed + 1))
else
    echo "package: no Kelvane.exe of at most 1 MiB in ${package:-no zip} (${size:-none})"
    failed=$((failed + 1))
fi

# The installer under Wine: a per-user install with its shortcut and its entry among the
# installed programs, the installed program's first run, a second install that changes
# nothing, an upgrade and an uninstall that leave the settings file and the "Start with
# Windows" value alone.
journeys=$build/tests/win32/kelvane_win32_journeys.exe
msi=$(realpath "$build"/Kelvane-*-win64.msi 2>/dev/null | head -n1 || true)
if [ -n "$msi" ]; then
    msi_checks=$(mktemp -d)
    cp "$msi" "$msi_checks/"
    staging=$(dirname "$(find "$build/_CPack_Packages" -path '*/msi/Kelvane.ico' | head -n1)")
    wxs=$PWD/packaging/Kelvane.wxs
    (cd "$staging" && wixl -a x64 -D Version=1.46 -o "$msi_checks/Kelvane-1.46-win64.msi" "$wxs") \
        >/dev/null 2>&1 || true
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    KELVANE_JOURNEYS=$journeys timeout 600 scripts/lib/msi-checks.sh "$msi_checks" >"$log" 2>&1 || true
    cat "$log"
    ran=$(sed -n 's/^msi: \([0-9]*\) passed, [0-9]* failed$/\1/p' "$log" | tail -n1)
    broke=$(sed -n 's/^msi: [0-9]* passed, \([0-9]*\) failed$/\1/p' "$log" | tail -n1)
    passed=$((passed + ${ran:-0}))
    failed=$((failed + ${broke:-1}))  # no count: the checks did not get to the end
    rm -rf "$msi_checks"
else
    echo "package: no Kelvane-*-win64.msi"
    failed=$((failed + 1))
fi

echo "windows: build $((built - started)) s, Wine runs $((SECONDS - built)) s"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
