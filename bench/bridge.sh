#!/usr/bin/env bash
# Builds the bridge and its benchmark (Release, in build-bench/) and prints the
# figures: one client through the bridge against the same client straight to
# the unit on a pseudo-terminal, eight clients at once, /metrics scrape times.
#   bench/bridge.sh                       5 rounds of 1 s
#   bench/bridge.sh --seconds 2 --rounds 7
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
log="$build/bench-build.log"
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BENCH=ON &&
       cmake --build "$build" -j"$(nproc)" --target tavrin_bridge_bench tavrin_bridge; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench/bridge.sh: the build failed (log: $log)" >&2
    exit 1
fi
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), load average $(cut -d" " -f1-3 /proc/loadavg)"
"$build/bin/tavrin_bridge_bench" "$@" 2>/dev/null
