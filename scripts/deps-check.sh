#!/usr/bin/env bash
# Checks which Debian packages each command installs: scripts/run.sh only what building
# and running need, the test commands every tool they use. run.sh runs for real on a
# copy of the scripts, with dpkg reporting every package missing and apt-get, sudo, cmake
# and the program replaced by stand-ins that note what they were asked.
#
# Ends with one line "deps: N passed, M failed"; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source scripts/lib/check.sh

mapfile -t run_set < <(scripts/install-deps.sh --list run)
mapfile -t test_set < <(scripts/install-deps.sh --list test)
test_only=()
for package in "${test_set[@]}"; do
    [[ " ${run_set[*]} " == *" $package "* ]] || test_only+=("$package")
done

# A copy of the scripts with stand-ins on the PATH.
mkdir -p "$work/repo/build-release/src/qt" "$work/bin"
cp -r scripts "$work/repo/"
stand_in() {  # name, body
    printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1"
    chmod +x "$work/bin/$1"
}
stand_in dpkg 'exit 1'
stand_in apt-get 'echo "$*" >>"'"$work"'/apt-get.log"'
stand_in sudo 'exec "$@"'
stand_in cmake 'exit 0'
stand_in nproc 'echo 1'
printf '#!/bin/sh\necho started >"%s/started"\n' "$work" >"$work/repo/build-release/src/qt/Kelvane"
chmod +x "$work/repo/build-release/src/qt/Kelvane"

installed_by() {  # script and arguments: the packages apt-get was asked to install
    rm -f "$work/apt-get.log"
    PATH="$work/bin:$PATH" "$work/repo/$@" >/dev/null 2>&1 || true
    sed -n 's/.*install -y -q --no-install-recommends //p' "$work/apt-get.log" 2>/dev/null | tr ' ' '\n'
}
none_of_the_test_tools() {  # packages...
    local package
    for package in "$@"; do
        if [[ " ${test_only[*]} " == *" $package "* ]]; then
            echo "installs $package"
            return 1
        fi
    done
}
all_of() {  # wanted (space-separated), packages...
    local wanted=$1 package
    shift
    for package in $wanted; do
        [[ " $* " == *" $package "* ]] || { echo "misses $package"; return 1; }
    done
}

mapfile -t by_run < <(installed_by scripts/run.sh)
check "run.sh installs what building and running need" all_of "${run_set[*]}" "${by_run[@]}"
check "run.sh installs none of the test tools" none_of_the_test_tools "${by_run[@]}"
check "run.sh then starts the program" test -f "$work/started"
mapfile -t by_test < <(installed_by scripts/install-deps.sh test)
check "the test set installs every test tool" all_of "${test_only[*]}" "${by_test[@]}"

# Every command that runs tests installs the test set first; the desktop checks name the
# X server they run on.
for script in test.sh test-windows.sh fuzz.sh bench-smoke.sh package-check.sh; do
    check "$script installs the test tools" grep -q '^scripts/install-deps.sh test$' "scripts/$script"
done
for script in desktop-check.sh screenshots.sh accessibility-check.sh; do
    check "$script installs the X server it runs on" grep -q '^scripts/build-release.sh .*xvfb' \
        "scripts/$script"
done

echo "deps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
