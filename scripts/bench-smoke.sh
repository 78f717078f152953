#!/usr/bin/env bash
# A reduced run of every benchmark, for CI: proves they run and catches gross faults
# (a pass that does not copy, an idle program that spins), without judging speed on a
# shared machine. The full runs and their figures are in docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
start=$SECONDS
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_BENCH=ON -DKELVANE_BUILD_TESTS=OFF \
    -DKELVANE_BUILD_GUI=ON >/dev/null
cmake --build build-bench -j"$(nproc)" >/dev/null
scratch=$(mktemp -d -p "$PWD/build-bench")
trap 'rm -rf "$scratch"' EXIT

failed=0
KELVANE_BENCH_SETTLE=0 build-bench/bench/kelvane_copy_bench "$scratch/copy" 64 3 | tail -n1 || failed=1
KELVANE_BENCH_SETTLE=0 build-bench/bench/kelvane_keep_bench "$scratch/keep" 16 2 | tail -n1 || failed=1
build-bench/bench/kelvane_idle_bench "$scratch/idle" 20000 3 | head -n1 || failed=1
footprint=$(bench/footprint.sh 3 10) || failed=1
echo "$footprint"
# An idle program that spins or wakes far more often than its timer is a fault at any
# machine load; 1 % of a core is ten times the target.
if ! awk '/^idle/ { for (i = 1; i <= NF; i++) { if ($i == "cpu") cpu = $(i + 1); if ($i == "wake-ups") w = $(i + 1) } }
          END { exit !(cpu != "" && cpu < 1.0 && w < 5) }' <<<"$footprint"; then
    echo "idle cost out of bounds"
    failed=1
fi
echo "bench smoke: $((SECONDS - start)) s"
echo "bench: $((1 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
