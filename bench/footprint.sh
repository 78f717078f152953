#!/usr/bin/env bash
# Kelvane's footprint against a bare Qt 6 Widgets program with one window, built with
# the same compiler and flags:
#   1. start-up to the window's first paint, and peak RSS (offscreen and under Xvfb),
#      also against the bare window with one line of text and with the settings
#      window's controls, the floors of a window with words and with those controls;
#   2. CPU and wake-ups while it idles with auto sync every second over two equal files.
# usage: bench/footprint.sh [RUNS=21] [IDLE_SECONDS=60]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
idle_seconds=${2:-60}
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_BENCH=ON -DKELVANE_BUILD_TESTS=OFF -DKELVANE_BUILD_GUI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/bench/kelvane_bare_window" "$build/bench/kelvane_startup_probe" "$work/"
# An everyday start: a settings file is there, auto sync off.
cat >"$work/kelvane_startup_probe.ini" <<INI
[FilePathAndFileNames]
File1=$work/a/notes.txt
File2=$work/b/notes.txt
File3=
[SelectedFiles]
File1_Selected=1
File2_Selected=1
File3_Selected=0
[SyncSettings]
SyncInterval=10
AutoSync=OFF
[SyncEvents]
LastSyncEvent=NIL
[FormLocation]
FormTop=1500
FormLeft=1500
INI

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Prints "milliseconds kibibytes" for one launch: from the fork to the first paint (which
# the program prints), not to its exit, and its peak RSS.
launch() {
    local start end rss
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >"$work/out" 2>/dev/null
    rss=$(tail -n1 "$work/rss")
    end=$(sed -n 's/^painted //p' "$work/out")
    echo "$(awk -v n=$((end - start)) 'BEGIN{printf "%.2f", n / 1e6}') $rss"
}

# The bare window is also run with one line of text (--text): the floor of any window
# that shows words, which pays for fontconfig's start and one font face; and with the
# settings window's controls as plain widgets (--controls): the floor of any window
# with those controls.
compare_startup() {  # label, then the command prefix (may be empty)
    local label=$1; shift
    : >"$work/bare" ; : >"$work/text" ; : >"$work/controls" ; : >"$work/probe"
    for ((i = 0; i < runs; i++)); do
        launch "$@" "$work/kelvane_bare_window" >>"$work/bare"
        launch "$@" "$work/kelvane_bare_window" --text >>"$work/text"
        launch "$@" "$work/kelvane_bare_window" --controls >>"$work/controls"
        launch "$@" "$work/kelvane_startup_probe" >>"$work/probe"
    done
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }
    local side ms kb bare_ms bare_kb line="startup $label:"
    bare_ms=$(cut -d' ' -f1 "$work/bare" | median); bare_kb=$(cut -d' ' -f2 "$work/bare" | median)
    for side in bare text controls probe; do
        ms=$(cut -d' ' -f1 "$work/$side" | median); kb=$(cut -d' ' -f2 "$work/$side" | median)
        case $side in text) line+=" bare with text" ;; controls) line+=" bare with the controls" ;;
            probe) line+=" kelvane" ;; *) line+=" bare" ;; esac
        line+=" ${ms} ms ${kb} KiB (time $(ratio "$ms" "$bare_ms"), rss $(ratio "$kb" "$bare_kb"));"
    done
    echo "${line%;}"
    echo "  kelvane against the bare window with the controls: time" \
         "$(ratio "$(cut -d' ' -f1 "$work/probe" | median)" "$(cut -d' ' -f1 "$work/controls" | median)"), rss" \
         "$(ratio "$(cut -d' ' -f2 "$work/probe" | median)" "$(cut -d' ' -f2 "$work/controls" | median)")"
}

QT_QPA_PLATFORM=offscreen compare_startup offscreen
if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb bash -c "$(declare -f median launch compare_startup); work=$work runs=$runs compare_startup xvfb"
fi

# Idle: the real program, auto sync on every second, two files with equal times.
mkdir -p "$work/idle/a" "$work/idle/b"
cp "$build/src/qt/Kelvane" "$work/idle/Kelvane"
echo same >"$work/idle/a/notes.txt"; echo same >"$work/idle/b/notes.txt"
touch -d '2024-01-01 12:00:00' "$work/idle/a/notes.txt" "$work/idle/b/notes.txt"
sed -e "s|$work/a|$work/idle/a|; s|$work/b|$work/idle/b|; s|SyncInterval=10|SyncInterval=1|; s|AutoSync=OFF|AutoSync=ON|" \
    "$work/kelvane_startup_probe.ini" >"$work/idle/Kelvane.ini"
QT_QPA_PLATFORM=offscreen "$work/idle/Kelvane" >/dev/null 2>&1 &
pid=$!
sleep 5
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
switches() { awk '/^voluntary_ctxt_switches/ {v=$2} /^nonvoluntary_ctxt_switches/ {n=$2} END {print v+n}' "/proc/$pid/task/$pid/status"; }
t0=$(ticks); s0=$(switches)
sleep "$idle_seconds"
t1=$(ticks); s1=$(switches)
kill -TERM "$pid"; wait "$pid" || true
hz=$(getconf CLK_TCK)
echo "idle ${idle_seconds} s, auto sync every 1 s:" \
     "cpu $(awk -v t=$((t1 - t0)) -v hz="$hz" -v s="$idle_seconds" 'BEGIN{printf "%.3f", 100*t/hz/s}') % of one core," \
     "wake-ups $(awk -v n=$((s1 - s0)) -v s="$idle_seconds" 'BEGIN{printf "%.2f", n/s}') per second (main thread)"
