#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them all, under Xvfb and offscreen (the check
# without any display), printing every figure beside its target (see bench/README.md).
#
#   bench/run.sh                      full run in build-bench/ (Release), about 8 minutes
#   bench/run.sh --smoke              each benchmark once, quickly: proves they still work
#   bench/run.sh --build-dir DIR      use an already configured build folder instead
#
# Exits non-zero when a benchmark breaks (a program dies, hangs or no longer does what is
# measured), never because of a time. The figures are also written to
# <build>/bench/results.txt.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
smoke=0
build="$root/build-bench"
while [ $# -gt 0 ]; do
    case "$1" in
        --smoke) smoke=1 ;;
        --build-dir) build=$(cd "${2:?--build-dir needs a folder}" && pwd); shift ;;
        *) echo "usage: $0 [--smoke] [--build-dir DIR]" >&2; exit 2 ;;
    esac
    shift
done

# A new folder is configured as an optimised build; any folder gets the benchmarks turned on.
configure=(-DCRTEST_BENCHMARKS=ON)
[ -f "$build/CMakeCache.txt" ] || configure+=(-G Ninja -DCMAKE_BUILD_TYPE=Release)
cmake -S "$root" -B "$build" "${configure[@]}" >/dev/null
cmake --build "$build" --target crtest crtest-trial-load bexor crbench_probe crbench_bare \
    crbench_launch crbench_window crbench_check crbench_cycles printerdriver crbench_printer >/dev/null
# The utility as it was before its trial helper: a copy alone in a folder, which finds no
# helper beside it and tries the driver in a fork of itself.
mkdir -p "$build/bench/fork"
cp "$build/crtest" "$build/bench/fork/crtest"

if [ "$smoke" = 1 ]; then
    launch_runs=(--runs 1 --idle-runs 1 --idle-seconds 1 --idle-delay 0.2)
    window_runs=(--runs 1 --batches 1 --batch-seconds 0.01 --memory-refreshes 200)
    check_runs=(--runs 1)
    cycles_runs=(--runs 1 --cycles 10 --short 10 --long 100)
    printer_runs=(--reads 20)
else
    launch_runs=(--runs 30 --idle-runs 3 --idle-seconds 10)
    window_runs=(--runs 15 --batches 10 --batch-seconds 0.5)
    check_runs=(--runs 15)
    cycles_runs=(--runs 9 --cycles 2500 --short 100 --long 100000)
    printer_runs=(--reads 2000)
fi

# A private X server on the first free display; it goes when the script ends.
display=""
for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
runtime=$(mktemp -d)
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X${display#:}" ] || { echo "Xvfb did not start in time" >&2; exit 1; }

results="$build/bench/results.txt"
# Without it Qt warns on every start; the programs' own errors still show.
export XDG_RUNTIME_DIR="$runtime"
{
    echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'); cores: $(nproc);" \
         "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//');" \
         "load: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "build: $build ($(grep '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2))" \
         "$([ "$smoke" = 1 ] && echo '- SMOKE RUN: one sample each, figures mean nothing')"
} | tee "$results"

for platform in xcb offscreen; do
    echo | tee -a "$results"
    export QT_QPA_PLATFORM=$platform DISPLAY=$display
    "$build/bench/crbench_launch" --probe "$build/bench/libcrbench_probe.so" \
        --real "$build/crtest" --bare "$build/bench/crbench_bare" \
        --fork "$build/bench/fork/crtest" --dir "$build" \
        --libpath "$build/sim" "${launch_runs[@]}" | tee -a "$results"
    echo | tee -a "$results"
    "$build/bench/crbench_window" "${window_runs[@]}" | tee -a "$results"
done

# The cycle run's own work per cycle, and its memory over 100,000 cycles (about 2 minutes).
echo | tee -a "$results"
"$build/bench/crbench_cycles" --program "$build/crtest" --libpath "$build/sim" --dir "$build/bench" \
    "${cycles_runs[@]}" | tee -a "$results"

# The check needs no platform at all: it takes the display away from what it starts.
echo | tee -a "$results"
"$build/bench/crbench_check" --program "$build/crtest" --libpath "$build/sim" "${check_runs[@]}" \
    | tee -a "$results"

# The printer driver's state read on the simulated printer, beyond the printer's own answer.
echo | tee -a "$results"
"$build/bench/crbench_printer" --library "$build/printer/libbexor.so" \
    --simulator "$root/tests/printer/simprinter.py" "${printer_runs[@]}" | tee -a "$results"
