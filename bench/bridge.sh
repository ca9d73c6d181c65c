#!/usr/bin/env bash
# Builds the bridge and its benchmark (Release, in build-bench/) and prints the
# figures: one client through the bridge against the same client straight to
# the unit on a pseudo-terminal, eight clients at once, /metrics scrape times.
#   bench/bridge.sh                       5 rounds of 1 s
#   bench/bridge.sh --seconds 2 --rounds 7
set -euo pipefail
source "$(dirname "$0")/build.sh"
bench_build bench/bridge.sh tavrin_bridge_bench tavrin_bridge
"$build/bin/tavrin_bridge_bench" "$@" 2>/dev/null
