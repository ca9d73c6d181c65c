#!/usr/bin/env bash
# Builds the benchmark (Release, in build-bench/) and prints its figures:
# exchanges per second of Transact beside a minimal client over TCP and a
# pseudo-terminal, and the time of the COM port presence check.
#   bench/run.sh                       5 rounds of 1 s per side and transport
#   bench/run.sh --seconds 2 --rounds 7
set -euo pipefail
source "$(dirname "$0")/build.sh"
bench_build bench/run.sh tavrin_bench
# Diagnostic lines of the link go to standard error; only the figures are shown.
"$build/bin/tavrin_bench" "$@" 2>/dev/null
