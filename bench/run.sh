#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them all, under Xvfb and offscreen (the check
# without any display), printing every figure beside its target (see bench/README.md).
#
#   bench/run.sh                      full run in build-bench/ (Release), about 5 minutes
#   bench/run.sh --smoke              each benchmark once, quickly: proves they still work
#   bench/run.sh --build-dir DIR      use an already configured build folder instead
#
# Exits non-zero when a benchmark breaks (a program dies, hangs or no longer does what is
# measured), never because of a time. The figures are also written to
# <build>/bench/results.txt.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
smoke=0
build=""
while [ $# -gt 0 ]; do
    case "$1" in
        --smoke) smoke=1 ;;
        --build-dir) build=$(cd "${2:?--build-dir needs a folder}" && pwd); shift ;;
        *) echo "usage: $0 [--smoke] [--build-dir DIR]" >&2; exit 2 ;;
    esac
    shift
done

targets=(crtest crtest-window bexor crbench_probe crbench_bare crbench_launch crbench_waits
         crbench_check crbench_bare_core)
if [ -z "$build" ]; then
    build="$root/build-bench"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
if grep -q '^benchmark_DIR:PATH=.*/benchmark$' "$build/CMakeCache.txt" 2>/dev/null; then
    targets+=(crbench_statistics)
else
    echo "Google Benchmark is missing (Debian: libbenchmark-dev): the statistics benchmark" \
         "cannot run" >&2
    exit 1
fi
cmake --build "$build" --target "${targets[@]}" >/dev/null

if [ "$smoke" = 1 ]; then
    launch_runs=(--runs 1 --idle-runs 1 --idle-seconds 1 --idle-delay 0.2)
    waits_runs=(--runs 1)
    check_runs=(--runs 1)
    statistics_runs=(--benchmark_repetitions=1 --benchmark_min_time=0.01)
else
    launch_runs=(--runs 30 --idle-runs 3 --idle-seconds 10)
    waits_runs=(--runs 15)
    check_runs=(--runs 15)
    statistics_runs=(--benchmark_repetitions=10)
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

# Instructions each program executes up to its first frame: one run under callgrind, no
# timing noise at all, so it settles what the noisy wall times leave open. Qt may fork a
# helper, which reports its own count; only the program's own process counts.
instructions() {
    (cd "$build" && CRBENCH_PROBE_FD=9 CRBENCH_PROBE_MODE=frame \
        LD_PRELOAD="$build/bench/libcrbench_probe.so" LD_LIBRARY_PATH="$build/sim" \
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 9>/dev/null 2>&1) \
        | awk 'NR == 1 { split($0, f, "=="); pid = f[2] }
               $0 ~ "^==" pid "== Collected : " { print $NF }'
}

for platform in xcb offscreen; do
    echo | tee -a "$results"
    export QT_QPA_PLATFORM=$platform DISPLAY=$display
    "$build/bench/crbench_launch" --probe "$build/bench/libcrbench_probe.so" \
        --real "$build/crtest" --bare "$build/bench/crbench_bare" --dir "$build" \
        --libpath "$build/sim" "${launch_runs[@]}" | tee -a "$results"
    if [ "$smoke" = 0 ] && command -v valgrind >/dev/null; then
        real=$(instructions "$build/crtest")
        bare=$(instructions "$build/bench/crbench_bare")
        if [ -n "$real" ] && [ -n "$bare" ]; then
            echo "instructions to first frame (callgrind): utility $real, bare $bare," \
                 "ratio $(awk "BEGIN { printf \"%.3f\", $real / $bare }")" | tee -a "$results"
        else
            echo "callgrind could not count the instructions to the first frame" >&2
            exit 1
        fi
    fi
    echo | tee -a "$results"
    "$build/bench/crbench_waits" "${waits_runs[@]}" | tee -a "$results"
    echo | tee -a "$results"
    echo "== statistics block, platform $platform (Time is wall time, target <= 1000 us) ==" \
        | tee -a "$results"
    "$build/bench/crbench_statistics" "${statistics_runs[@]}" \
        --benchmark_report_aggregates_only=true 2>&1 \
        | grep -vE '^(Run on|CPU Caches|  L[0-9]|Load Average|[0-9]{4}-[0-9]{2}-|Running )' \
        | tee -a "$results"
done

# The check needs no platform at all: it runs once, without a display.
echo | tee -a "$results"
(unset DISPLAY QT_QPA_PLATFORM; "$build/bench/crbench_check" --program "$build/crtest" \
    --bare "$build/bench/crbench_bare_core" --libpath "$build/sim" "${check_runs[@]}") \
    | tee -a "$results"
