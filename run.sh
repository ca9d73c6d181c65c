#!/usr/bin/env bash
# Builds the programs, starts a simulated receiver unit on a pseudo-terminal that
# the desktop program sees as COM1, and starts the desktop program against it.
# Without a display it reads the simulated unit's live values with tavrinctl.
set -euo pipefail
cd "$(dirname "$0")"
# Only what building and running the programs needs (./test.sh adds the rest).
bash scripts/deps.sh build

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target tavrin_unit_sim tavrinctl tavrin_rx_ctrl

bin=build/bin
mkdir -p "$bin/ports"
"$bin/tavrin_unit_sim" --serial-link "$bin/ports/COM1" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$bin/ports/COM1" ] && break; sleep 0.1; done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/tavrin_rx_ctrl" ]; then
    "$bin/tavrin_rx_ctrl"
else
    echo "No display found (DISPLAY is not set): showing the simulated unit's live values instead."
    echo "To see the desktop program, run it from a desktop session, or under a virtual display:"
    echo "    xvfb-run -s '-screen 0 1280x1024x24' ./run.sh     (package xvfb)"
    echo
    "$bin/tavrinctl" --program-folder "$bin" --com 1 status
    "$bin/tavrinctl" --program-folder "$bin" --com 1 dump
fi
