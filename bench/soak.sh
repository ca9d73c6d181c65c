#!/usr/bin/env bash
# A soak: every program against simulated units that misbehave at random, for
# MINUTES minutes (default 10; a decimal such as 0.5 is taken), then a report.
#
#   bench/soak.sh [MINUTES]
#
#   unit A  tavrin_unit_sim --oracle --random-faults, on a pseudo-terminal that is
#           the desktop program's COM1 and on TCP (127.X.Y.1) for tavrinctl
#   unit B  the same, on a pseudo-terminal owned by tavrin_bridge, which serves
#           it on 127.X.Y.2 (its own poll cycle every second, metrics on :9464)
#   desktop tavrin_rx_ctrl offscreen, polling every 200 ms (a settings file in its
#           private program folder, as bench/desktop.sh does)
#   tavrinctl a loop per route (straight to unit A, through the bridge): read of
#           twelve codes, status --json, and every fifth round watch --json --csv
#           of five cycles; and three clients watching through the bridge
#           (watch --interval 200 --json --csv) for the whole run
#
# The oracle makes every value name the code it was read from: each accepted
# reply in the desktop's and the bridge's transaction logs and in the tools'
# outputs is checked against its request (bench/soak_readings.py collects them,
# tavrin_oracle_check judges them with the unit's own sim::OracleBelongs).
# Reported: exchanges, mismatches, the units' counters, memory (VmRSS) of the
# desktop program and the bridge after a 5 s warm-up and at the end, and their
# processor time between the two (/proc/PID/stat). Exit status 1 when any value
# does not belong to its code or a program died during the run.
#
# Environment: SOAK_FAULTS (--random-faults, default 3:400), SOAK_RESTART_MS
# (default 1000), SOAK_SEED (default random, printed), SOAK_KEEP=1 keeps the work
# folder (it is always kept when the run fails).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

minutes="${1:-10}"
seconds="$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); if (s < 20) s = 20; print s }')"
faults="${SOAK_FAULTS:-3:400}"
restart_ms="${SOAK_RESTART_MS:-1000}"
seed="${SOAK_SEED:-$((RANDOM * 32768 + RANDOM))}"

build=build-rel
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_BUILD_GUI=ON -DTAVRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target tavrin_rx_ctrl tavrin_unit_sim tavrinctl tavrin_bridge tavrin_oracle_check >/dev/null
bin="$root/$build/bin"

work="$(mktemp -d "${TMPDIR:-/tmp}/tavrin-soak-XXXXXX")"
mkdir -p "$work/app/ports" "$work/ctl"
net="127.$((100 + RANDOM % 100)).$((1 + RANDOM % 250))"
unit_a="$net.1"
bridge="$net.2"
log_name="tavrin_rx_ctrl_v2.3.5.log"

pids=()          # every process started here, stopped at the end
failed_run=0
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    if [ "$failed_run" -eq 0 ] && [ "${SOAK_KEEP:-0}" != 1 ]; then rm -rf "$work"; else echo "work folder kept: $work"; fi
}
trap cleanup EXIT

now_s() { date +%s; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
hwm_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
wait_for() {   # PATH: wait up to 10 s for it to appear
    for _ in $(seq 200); do [ -e "$1" ] && return 0; sleep 0.05; done
    echo "soak: $1 did not appear" >&2
    return 1
}

# The desktop's settings: COM1, polling on every 200 ms, every poll item (the
# binary rows of app/settings.cpp in their order, little-endian).
python3 - "$work/app/tavrin_rx_ctrl_v2.3.5.ini" <<'EOF'
import struct, sys
def i32(v): return struct.pack("<i", v)
def text(t): b = t.encode(); return struct.pack("<I", len(b)) + b
rows = (i32(0) + bytes([1]) + text("") + i32(9600) + i32(500) + i32(1) + i32(2500) + i32(1) + i32(1000)
        + i32(200) + bytes([1, 1, 1, 1]) + text("Tavrin receiver control") + text("") + i32(-1) + i32(-1)
        + i32(0) + text(""))
open(sys.argv[1], "wb").write(rows)
EOF
cp "$bin/tavrin_rx_ctrl" "$work/app/"

sim_args=(--oracle --random-faults "$faults" --restart-ms "$restart_ms")
"$bin/tavrin_unit_sim" --serial-link "$work/app/ports/COM1" --tcp "$unit_a" "${sim_args[@]}" --seed "$seed" \
    >"$work/unit_a.out" 2>&1 &
sim_a=$!; pids+=("$sim_a")
"$bin/tavrin_unit_sim" --serial-link "$work/unit_b" "${sim_args[@]}" --seed "$((seed + 1))" >"$work/unit_b.out" 2>&1 &
sim_b=$!; pids+=("$sim_b")
wait_for "$work/app/ports/COM1"
wait_for "$work/unit_b"

"$bin/tavrin_bridge" --serial "$work/unit_b" --listen "$bridge" --metrics "$bridge:9464" --interval 1000 \
    --name soak --log "$work/bridge.log" >"$work/bridge.out" 2>&1 &
bridge_pid=$!; pids+=("$bridge_pid")

QT_QPA_PLATFORM=offscreen "$work/app/tavrin_rx_ctrl" >"$work/desktop.out" 2>&1 &
app_pid=$!; pids+=("$app_pid")
for _ in $(seq 600); do
    LC_ALL=C grep -aq "Returning OK" "$work/app/$log_name" 2>/dev/null && break
    sleep 0.1
done

end=$(( $(now_s) + seconds ))
codes=(1snr 1mer 1cer 1dnr 1ina 1pkt 1dco 1ipf 1pre 1pos eser gsma)
# tavrinctl in a loop against ADDRESS, its outputs under ctl/ named by ROUTE.
ctl_loop() {
    local route="$1" address="$2" round=0 runs=0 nonzero=0 before
    while [ "$(now_s)" -lt "$end" ]; do
        round=$((round + 1))
        before="$nonzero"
        "$bin/tavrinctl" --ip "$address" read "${codes[@]}" >>"$work/ctl/read-$route.out" 2>>"$work/ctl/stderr-$route.txt" \
            || nonzero=$((nonzero + 1))
        "$bin/tavrinctl" --ip "$address" status --json >>"$work/ctl/status-$route.jsonl" 2>>"$work/ctl/stderr-$route.txt" \
            || nonzero=$((nonzero + 1))
        runs=$((runs + 2))
        if [ $((round % 5)) -eq 0 ]; then
            "$bin/tavrinctl" --ip "$address" watch --interval 200 --count 5 --json \
                --csv "$work/ctl/watch-$route-round$round.csv" >>"$work/ctl/watch-$route-rounds.jsonl" \
                2>>"$work/ctl/stderr-$route.txt" || nonzero=$((nonzero + 1))
            runs=$((runs + 1))
        fi
        # A unit that restarts refuses connections at once: do not spin meanwhile.
        [ "$nonzero" -eq "$before" ] || sleep 0.2
    done
    echo "$runs $nonzero" >"$work/ctl/runs-$route.txt"
}
ctl_loop direct "$unit_a" &
pids+=("$!")
ctl_loop bridge "$bridge" &
pids+=("$!")
watchers=()
for n in 1 2 3; do
    "$bin/tavrinctl" --ip "$bridge" watch --interval 200 --json --csv "$work/ctl/watch-bridge-client$n.csv" \
        >"$work/ctl/watch-bridge-client$n.jsonl" 2>"$work/ctl/stderr-client$n.txt" &
    watchers+=("$!"); pids+=("$!")
done

# Memory and processor time after a warm-up, and at the end.
sleep 5
rss0_app="$(rss_kb "$app_pid")"; rss0_bridge="$(rss_kb "$bridge_pid")"
t0_app="$(ticks "$app_pid")"; t0_bridge="$(ticks "$bridge_pid")"; w0="$(date +%s%N)"
while [ "$(now_s)" -lt "$end" ]; do sleep 1; done

alive=1
for p in "$app_pid" "$bridge_pid" "$sim_a" "$sim_b"; do kill -0 "$p" 2>/dev/null || alive=0; done
if [ "$alive" -eq 0 ]; then
    echo "soak: a program ended during the run (see $work/*.out)" >&2
    failed_run=1
    exit 1
fi
w1="$(date +%s%N)"
t1_app="$(ticks "$app_pid")"; t1_bridge="$(ticks "$bridge_pid")"
rss1_app="$(rss_kb "$app_pid")"; rss1_bridge="$(rss_kb "$bridge_pid")"
hwm_app="$(hwm_kb "$app_pid")"; hwm_bridge="$(hwm_kb "$bridge_pid")"
metrics="$(python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    "http://$bridge:9464/metrics" 2>/dev/null | grep '^tavrin_exchanges_total' || true)"

# The watchers end on SIGTERM after writing their cycle; the loops end by themselves.
for p in "${watchers[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
for p in "${watchers[@]}"; do wait "$p" 2>/dev/null || true; done
wait_loops=0
while [ ! -f "$work/ctl/runs-direct.txt" ] || [ ! -f "$work/ctl/runs-bridge.txt" ]; do
    sleep 0.5; wait_loops=$((wait_loops + 1)); [ "$wait_loops" -gt 120 ] && break
done
for p in "$app_pid" "$bridge_pid" "$sim_a" "$sim_b"; do kill -TERM "$p" 2>/dev/null || true; done
for p in "$app_pid" "$bridge_pid" "$sim_a" "$sim_b"; do wait "$p" 2>/dev/null || true; done
ln -sf "app/$log_name" "$work/desktop.log"

clk_tck="$(getconf CLK_TCK)"
share() { awk -v d="$1" -v hz="$clk_tck" -v w="$((w1 - w0))" 'BEGIN { printf "%.2f", 100 * (d / hz) / (w / 1e9) }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo "soak: $(date -u '+%Y-%m-%d %H:%M') UTC, $minutes min ($seconds s), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "units: --random-faults $faults --restart-ms $restart_ms, seeds $seed (A) and $((seed + 1)) (B)"
echo "unit A (desktop on its pty, tavrinctl on TCP): $(grep -a '^counters:' "$work/unit_a.out" || echo 'no counters')"
echo "unit B (the bridge on its pty):                $(grep -a '^counters:' "$work/unit_b.out" || echo 'no counters')"
requests() { grep -ao '^counters: requests [0-9]*' "$1" | awk '{ print $3 }'; }
req_a="$(requests "$work/unit_a.out")"; req_b="$(requests "$work/unit_b.out")"
echo "exchanges (requests the units took): $((${req_a:-0} + ${req_b:-0})) (A $req_a, B $req_b)"
echo "bridge metrics: $(echo "$metrics" | tr '\n' ' ')"
for route in direct bridge; do
    read -r runs nonzero <"$work/ctl/runs-$route.txt" || { runs=0; nonzero=0; }
    echo "tavrinctl $route: $runs runs, $nonzero with a failed exchange (exit status non-zero)"
done
python3 "$root/bench/soak_readings.py" "$work" "$work/readings.tsv"
check=0
"$bin/tavrin_oracle_check" <"$work/readings.tsv" >"$work/oracle.txt" || check=$?
cat "$work/oracle.txt"
mismatches="$(awk '/ checked / { m += $5 } END { print m + 0 }' "$work/oracle.txt")"
checked="$(awk '/ checked / { c += $3 } END { print c + 0 }' "$work/oracle.txt")"
echo "| Program | RSS after warm-up | RSS at end | Peak (VmHWM) | Processor (share of one core) |"
echo "|---|---|---|---|---|"
echo "| tavrin_rx_ctrl | $(mb "$rss0_app") MB | $(mb "$rss1_app") MB | $(mb "$hwm_app") MB | $(share $((t1_app - t0_app))) % |"
echo "| tavrin_bridge | $(mb "$rss0_bridge") MB | $(mb "$rss1_bridge") MB | $(mb "$hwm_bridge") MB | $(share $((t1_bridge - t0_bridge))) % |"
echo "values checked by the oracle: $checked, mismatches: $mismatches"
if [ "$check" -ne 0 ] || [ "$mismatches" -ne 0 ]; then
    failed_run=1
    exit 1
fi
