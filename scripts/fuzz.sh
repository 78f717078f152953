#!/usr/bin/env bash
# Builds the settings-file fuzzer (the fuzz preset: clang 14, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs it from the seed corpus for the given number of
# seconds, 60 unless told. Inputs it finds go to build-fuzz/corpus, never into fuzz/corpus;
# a crashing input is saved in build-fuzz/ and ends the run with a failure.
#
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

seconds=${1:-60}
out=build-fuzz
fuzzer=$out/fuzz/kelvane_settings_fuzzer
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
mkdir -p "$out/corpus"

# -timeout catches hangs, leaks are checked after every input that allocates.
if "$fuzzer" "$out/corpus" fuzz/corpus -max_total_time="$seconds" -timeout=10 -dict=fuzz/settings.dict \
    -artifact_prefix="$out/" -print_final_stats=1; then
    echo "fuzz: 1 passed, 0 failed"
else
    echo "fuzz: 0 passed, 1 failed"
    exit 1
fi
