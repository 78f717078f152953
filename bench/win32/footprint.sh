#!/usr/bin/env bash
# Kelvane.exe's footprint under Wine (Wine 8, null graphics driver, no display) against a
# bare Win32 window built with the same compiler, flags, static runtime and manifest:
#   1. start to ready (CreateProcess to the first shown window) and working set, also
#      against the bare window holding the settings window's controls (the floor of any
#      window with them); the three take turns, one start each per round;
#   2. wake-ups while it idles with auto sync every second over two equal files,
#      counted as the Linux context switches of the program's threads (under Wine each
#      wineserver round trip is one), against the bare window with a one-second timer;
#   3. the stripped size of Kelvane.exe.
# Figures under Wine, not Windows: Wine's own threads and wineserver round trips count.
# usage: bench/win32/footprint.sh [RUNS=21] [IDLE_SECONDS=30]
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/wine-fonts.sh
runs=${1:-21}
idle_seconds=${2:-30}
build=${KELVANE_MINGW_BENCH_DIR:-build-mingw-bench}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.toolchain.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_GUI=OFF -DKELVANE_BUILD_TESTS=OFF \
    -DKELVANE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-wine.XXXXXX")
work=$(mktemp -d)
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
add_windows_fonts
wineserver -p

probe=$build/bench/win32/kelvane_footprint_probe.exe
mkdir -p "$work/kelvane" "$work/bare" "$work/idle" "$work/idlebare" "$work/a" "$work/b"
cp "$build/src/win32/Kelvane.exe" "$work/kelvane/"
cp "$build/src/win32/Kelvane.exe" "$work/idle/"
cp "$build/bench/win32/kelvane_bare_win32_window.exe" "$work/bare/"
cp "$build/bench/win32/kelvane_bare_win32_controls.exe" "$work/bare/"
cp "$build/bench/win32/kelvane_bare_win32_window.exe" "$work/idlebare/"
windows() { echo "Z:${1//\//\\}"; }
settings() {  # auto-sync interval
    printf '%s\r\n' '[FilePathAndFileNames]' "File1=$(windows "$work/a/notes.txt")" \
        "File2=$(windows "$work/b/notes.txt")" 'File3=' '[SelectedFiles]' 'File1_Selected=1' \
        'File2_Selected=1' 'File3_Selected=0' '[SyncSettings]' "SyncInterval=$2" "AutoSync=$1" \
        '[SyncEvents]' 'LastSyncEvent=NIL' '[FormLocation]' 'FormTop=1500' 'FormLeft=1500'
}
# An everyday start: a settings file is there, auto sync off.
settings OFF 10 >"$work/kelvane/Kelvane.ini"

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

: >"$work/kelvane.txt"; : >"$work/bare.txt"; : >"$work/controls.txt"
for ((round = 0; round < runs; round++)); do
    wine "$probe" "$(windows "$work/bare/kelvane_bare_win32_window.exe")" 1 >>"$work/bare.txt"
    wine "$probe" "$(windows "$work/bare/kelvane_bare_win32_controls.exe")" 1 >>"$work/controls.txt"
    wine "$probe" "$(windows "$work/kelvane/Kelvane.exe")" 1 >>"$work/kelvane.txt"
done
echo "every round, start ms and working set KiB (bare | bare with controls | Kelvane):"
paste -d' ' "$work/bare.txt" "$work/controls.txt" "$work/kelvane.txt" |
    awk '{printf "%.1f %d | %.1f %d | %.1f %d\n", $1, $2, $4, $5, $7, $8}'
column_median() { cut -d' ' -f"$2" "$work/$1.txt" | median; }
start_k=$(column_median kelvane 1 | xargs printf '%.1f')
start_b=$(column_median bare 1 | xargs printf '%.1f')
start_c=$(column_median controls 1 | xargs printf '%.1f')
set_k=$(column_median kelvane 2)
set_b=$(column_median bare 2)
set_c=$(column_median controls 2)

# Idle: two equal files, auto sync every second; context switches of every thread of the
# program's Linux process over the idle stretch, against the bare window's.
echo same >"$work/a/notes.txt"
cp -p "$work/a/notes.txt" "$work/b/notes.txt"
settings ON 1 >"$work/idle/Kelvane.ini"
switches() {  # status files: the sum of their context switches
    cat "$@" 2>/dev/null | awk '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print n + 0}'
}
idle_rate() {  # folder program [argument]: "main-thread all-threads" switches per second
    wine "$(windows "$work/$1/$2")" ${3:-} >/dev/null 2>&1 &
    sleep 4
    local pid main_before all_before main_after all_after
    pid=$(pgrep -f "$1.$2" | head -n1)
    main_before=$(switches /proc/"$pid"/status)
    all_before=$(switches /proc/"$pid"/task/*/status)
    sleep "$idle_seconds"
    main_after=$(switches /proc/"$pid"/status)
    all_after=$(switches /proc/"$pid"/task/*/status)
    awk -v m=$((main_after - main_before)) -v a=$((all_after - all_before)) -v s="$idle_seconds" \
        'BEGIN {printf "%.2f %.2f", m / s, a / s}'
}
read -r idle_main_k idle_all_k <<<"$(idle_rate idle Kelvane.exe)"
read -r idle_main_b idle_all_b <<<"$(idle_rate idlebare kelvane_bare_win32_window.exe --tick)"

stripped=$work/Kelvane-stripped.exe
x86_64-w64-mingw32-strip -o "$stripped" "$build/src/win32/Kelvane.exe"

echo "| what | Kelvane.exe | bare Win32 window | ratio | target | bare window with the controls | ratio |"
echo "| --- | --- | --- | --- | --- | --- | --- |"
echo "| start to the first shown window (median of $runs) | $start_k ms | $start_b ms | $(ratio "$start_k" "$start_b") | ≤ 1.3 | $start_c ms | $(ratio "$start_k" "$start_c") |"
echo "| working set 1 s after start (median) | $set_k KiB | $set_b KiB | $(ratio "$set_k" "$set_b") | ≤ 1.25 | $set_c KiB | $(ratio "$set_k" "$set_c") |"
echo "| context switches a second of the UI thread, idle, auto sync every 1 s ($idle_seconds s) | $idle_main_k | $idle_main_b (a timer every 1 s) | $(ratio "$idle_main_k" "$idle_main_b") | ≤ 1.25 | | |"
echo "| the same, all threads (the pass's own thread included) | $idle_all_k | $idle_all_b | $(ratio "$idle_all_k" "$idle_all_b") | ≤ 2.5 | | |"
echo "| Kelvane.exe stripped | $(stat -c %s "$stripped") bytes | | | ≤ 1048576 | | |"
