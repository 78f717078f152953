#!/usr/bin/env bash
# Installs what is missing, builds Kelvane with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test: the Linux suites through CTest, the
# settings-file fuzzer for a minute, the core suites as Windows programs under Wine, a
# reduced run of every benchmark, the Debian package as lintian and a desktop see it, and
# which packages each command installs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

jobs=$(nproc)
build=${KELVANE_BUILD_DIR:-build-test}
cmake --preset test -B "$build" >/dev/null
cmake --build "$build" -j"$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

passed=0
failed=0
tally() {  # name, passed, failed
    echo "== $1: $2 passed, $3 failed"
    passed=$((passed + $2))
    failed=$((failed + $3))
}

# The trash the tests keep replaced copies in starts empty at each run.
rm -rf "${TMPDIR:-/tmp}/kelvane-test-data-home"
log=$(mktemp)
if ctest --test-dir "$build" --output-on-failure -j"$jobs" | tee "$log"; then :; fi
total=$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n1)
tally linux $(( ${total:-0} - ${bad:-0} )) "${bad:-1}"

for step in scripts/fuzz.sh scripts/test-windows.sh scripts/bench-smoke.sh scripts/package-check.sh \
    scripts/deps-check.sh; do
    if "$step" | tee "$log"; then
        counts=$(sed -n 's/^[a-z-]*: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$log" | tail -n1)
        tally "$step" ${counts:-1 0}
    else
        tally "$step" 0 1
    fi
done
rm -f "$log"

echo "kelvane: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
