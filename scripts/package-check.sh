#!/usr/bin/env bash
# Builds the Debian package as a user gets it and checks it the way Debian and a desktop
# would: lintian finds no errors or warnings in it, and unpacked, its menu entry is valid,
# its Exec line names a program the package holds, kelvane is on the PATH, and the
# program keeps its settings in the user's folder. Its software-centre data (AppStream
# metainfo) is valid and launches that menu entry, and the icon is in the hicolor theme
# at every size. Also checks that an install under another prefix gets a menu entry
# naming that prefix.
#
# Ends with one line "package: N passed, M failed"; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

build=${KELVANE_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_TESTS=OFF \
    -DKELVANE_SYSTEM_INSTALL=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$build"/kelvane_*.deb
if ! (cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    echo "package: 0 passed, 1 failed"
    exit 1
fi
deb=$(ls "$build"/kelvane_*.deb)
source scripts/lib/check.sh

# The program an Exec line starts, without field codes or quotes.
exec_program() {  # desktop file
    local command
    command=$(sed -n 's/^Exec=//p' "$1" | head -n1)
    command=${command%% %*}
    command=${command#\"}
    echo "${command%\"}"
}
# The Exec line names, by its absolute path, a program file that the tree under root
# holds (root "" for the system itself).
starts_program_in() {  # root, desktop file, where the program must be
    local program
    program=$(exec_program "$2")
    echo "Exec starts $program"
    [[ "$program" == "$3" ]] && [ -x "$1$program" ] && [ -f "$(readlink -f "$1$program")" ]
}
same_program() {  # one, other
    [ "$(readlink -f "$1")" = "$(readlink -f "$2")" ]
}
stripped() {
    ! file -L "$1" | grep -q "not stripped"
}
# Runs the program as a log-out ends it: started offscreen with the home given, it gets
# SIGTERM once it catches that signal (bit 15 of SigCgt), and saves its settings.
run_until_logout() {  # program, home
    local pid mask
    env -u XDG_CONFIG_HOME HOME="$2" QT_QPA_PLATFORM=offscreen "$1" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 200); do
        mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        (( (0x${mask:-0} >> 14) & 1 )) && break
        sleep 0.05
    done
    kill -TERM "$pid"
    wait "$pid"
}
# The packaged program keeps the settings in the user's own folder, never beside itself,
# even where its user may write there (as root may write /usr/lib/kelvane).
settings_in_the_users_folder() {  # program
    local home=$work/home
    mkdir -p "$home"
    run_until_logout "$1" "$home" &&
        [ -f "$home/.config/kelvane/Kelvane.ini" ] && [ ! -e "$(dirname "$1")/Kelvane.ini" ]
}

unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
app_id=io.github.kelvane.Kelvane
entry=$unpacked/usr/share/applications/$app_id.desktop
metainfo=$unpacked/usr/share/metainfo/$app_id.metainfo.xml
check "lintian finds no errors or warnings in $(basename "$deb")" lintian --fail-on error,warning "$deb"
check "the menu entry passes desktop-file-validate" desktop-file-validate "$entry"
check "the menu entry starts the program the package installs" \
    starts_program_in "$unpacked" "$entry" /usr/lib/kelvane/Kelvane
check "kelvane on the PATH is the program" same_program "$unpacked/usr/bin/kelvane" "$unpacked/usr/lib/kelvane/Kelvane"
check "the program is stripped" stripped "$unpacked/usr/lib/kelvane/Kelvane"
check "the program keeps settings in the user's folder, not beside itself" \
    settings_in_the_users_folder "$unpacked/usr/lib/kelvane/Kelvane"
check "the metainfo passes appstreamcli validate" appstreamcli validate --no-net "$metainfo"
launches_entry() {
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" && [ -f "$entry" ]
}
check "the metainfo launches the menu entry the package installs" launches_entry
icons_in_every_size() {
    local size
    for size in 16 24 32 48 64 96 128 256; do
        [ -f "$unpacked/usr/share/icons/hicolor/${size}x$size/apps/kelvane.png" ] || return 1
    done
    [ -f "$unpacked/usr/share/icons/hicolor/scalable/apps/kelvane.svg" ]
}
check "the icon is in the hicolor theme from 16 to 256 pixels and scalable" icons_in_every_size

prefix="$work/home of Ann/.local"
cmake --install "$build" --prefix "$prefix" >/dev/null
check "an install under another prefix has a valid menu entry" \
    desktop-file-validate "$prefix/share/applications/$app_id.desktop"
check "an install under another prefix starts its own program" \
    starts_program_in "" "$prefix/share/applications/$app_id.desktop" "$prefix/lib/kelvane/Kelvane"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
