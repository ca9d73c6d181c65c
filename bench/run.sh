#!/usr/bin/env bash
# Builds the benchmark (Release, in build-bench/) and prints its figures:
# exchanges per second of Transact beside a minimal client over TCP and a
# pseudo-terminal, and the time of the COM port presence check.
#   bench/run.sh                       5 rounds of 1 s per side and transport
#   bench/run.sh --seconds 2 --rounds 7
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
log="$build/bench-build.log"
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BENCH=ON &&
       cmake --build "$build" -j"$(nproc)" --target tavrin_bench; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench/run.sh: the build failed (log: $log)" >&2
    exit 1
fi
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), load average $(cut -d" " -f1-3 /proc/loadavg)"
# Diagnostic lines of the link go to standard error; only the figures are shown.
"$build/bin/tavrin_bench" "$@" 2>/dev/null
