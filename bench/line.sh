#!/usr/bin/env bash
# Builds tavrin_line_bench (Release, in build-bench/) and prints, as a Markdown
# table, the operator's operations against a simulated unit that keeps line
# time (pseudo-terminal at 9600 and 115200 baud, TCP with 5 ms and 50 ms of
# latency, 2 ms think time a request): the start-up read, a poll cycle, a
# configuration save and a set save, each run once beside its floor (line time
# of every byte or every exchange's latency, think time, the fixed waits).
# Goal: measured / floor at most 1.1 at 9600 baud. Takes about six minutes
# (a set save is 45 s of fixed waits alone); not part of the test suite.
#   bench/line.sh                         every setup and operation
#   bench/line.sh --only "pty 9600"       one setup
#   bench/line.sh --no-set-save           without the set saves
set -euo pipefail
source "$(dirname "$0")/build.sh"
bench_build bench/line.sh tavrin_line_bench
# Diagnostic lines of the link go to standard error; only the table is shown.
"$build/bin/tavrin_line_bench" "$@" 2>/dev/null
