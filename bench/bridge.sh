#!/usr/bin/env bash
# Builds the bridge and its benchmark (Release, in build-bench/) and prints the
# figures: the time the bridge adds to one exchange, in microseconds (one
# client through the bridge against the same client straight to the unit on a
# pseudo-terminal, in the same run; target under 60 us), eight clients at
# once, /metrics scrape times. On a busy machine: nice bench/bridge.sh.
#   bench/bridge.sh                       5 rounds of 1 s
#   bench/bridge.sh --seconds 2 --rounds 7
set -euo pipefail
source "$(dirname "$0")/build.sh"
bench_build bench/bridge.sh tavrin_bridge_bench tavrin_bridge
"$build/bin/tavrin_bridge_bench" "$@" 2>/dev/null
