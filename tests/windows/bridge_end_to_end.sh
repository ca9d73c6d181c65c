#!/usr/bin/env bash
# tavrin_bridge.exe under Wine owning the native simulated unit that
# scripts/windows.sh started, over the COM port and over TCP, with a native
# tavrinctl as its client on loopback: status through the bridge, /metrics
# read with curl (also while idle clients hold connections), a client that
# hangs up in the middle of an exchange (the next one is served all the
# same), and a clean stop on Ctrl+C (SIGINT,
# which Wine hands to the console control handler). First, files named
# outside any code page (alarm rules, the log) and a web configuration,
# which this build refuses.
#   bridge_end_to_end.sh TAVRIN_BRIDGE_EXE
# Needs WINEPREFIX, TAVRIN_WINE_COM (a number), TAVRIN_WINE_TCP (an address)
# and TAVRIN_NATIVE_TAVRINCTL (the Linux tavrinctl).
set -euo pipefail
bridge=$1 tool=${TAVRIN_NATIVE_TAVRINCTL:-}
fail() { echo "FAIL: $*" >&2; [ -f "${log:-}" ] && cat "$log" >&2; exit 1; }
[ -n "${TAVRIN_WINE_COM:-}" ] && [ -n "${TAVRIN_WINE_TCP:-}" ] || fail "no native unit: TAVRIN_WINE_COM and TAVRIN_WINE_TCP are not set"
[ -x "$tool" ] || fail "no native tavrinctl: TAVRIN_NATIVE_TAVRINCTL is not set"
log=$(mktemp /tmp/tavrin-wine-bridge.XXXXXX)
pid=
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -f "$log"' EXIT

# Status through the bridge at $at, checked.
status() {
    local out
    out=$("$tool" --ip "$at" status) || fail "$1: status through the bridge"
    grep -q '^Demod lock: green' <<<"$out" || fail "$1: status through the bridge: no demod lock line"
    head -3 <<<"$out"
}

# The names reach the program through the wide-character command line.
export LC_ALL=C.UTF-8
folder='C:\users\Public\tavrin Ærø ünï 名'
unix_folder="$WINEPREFIX/drive_c/users/Public/tavrin Ærø ünï 名"
mkdir -p "$unix_folder"
# Input C watched too: its alarms show that the file was read.
echo '{"inputs_fitted": ["A", "C"], "rules": [{"alarm": "snr_low", "threshold": 3.5}]}' >"$unix_folder/rules.json"
check() { wine "$bridge" --ip 127.0.0.1 --metrics 127.0.0.1:9464 --check-config "$@" 2>&1; }
out=$(check --alarm-rules "$folder\\rules.json") || fail "alarm rules by a UTF-8 name: $out"
out=$(check --alarm-rules "$folder\\none.json") && fail "a missing rules file was taken"
grep -q 'none.json' <<<"$out" || fail "a missing rules file: $out"
out=$(check --web-config "$folder\\web.yml") && fail "a web configuration was taken without TLS"
grep -q 'built without TLS' <<<"$out" || fail "web configuration refused without its reason: $out"
extra=(--alarm-rules "$folder\\rules.json" --log "$folder\\bridge.log")

for way in "--com $TAVRIN_WINE_COM" "--ip $TAVRIN_WINE_TCP"; do
    # Its own loopback address (tavrinctl reaches a unit on port 9999).
    at=127.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
    metrics=http://$at:9464
    echo "\$ tavrin_bridge.exe $way --listen $at --metrics $at:9464"
    # shellcheck disable=SC2086
    wine "$bridge" $way --listen "$at" --metrics "$at:9464" --interval 300 --name wine "${extra[@]}" >"$log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do grep -q 'metrics on' "$log" && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    grep -q 'metrics on' "$log" || fail "$way: the bridge did not start"

    status "$way"
    for _ in $(seq 50); do curl -sf "$metrics/metrics" | grep -q '^tavrin_up{.*} 1$' && break; sleep 0.2; done
    page=$(curl -sf "$metrics/metrics") || fail "$way: GET /metrics"
    grep -E '^tavrin_(up|demod_locked)\{' <<<"$page"
    grep -q '^tavrin_up{unit="wine"} 1$' <<<"$page" || fail "$way: /metrics: the unit is not up"
    grep -q '^tavrin_demod_locked{unit="wine"} 1$' <<<"$page" || fail "$way: /metrics: no demodulator lock"
    grep -q '^tavrin_alarm_active{.*alarm="snr_low_c"' <<<"$page" || fail "$way: /metrics: the rules' input C is missing"
    # The other answers, while five clients hold connections open without a
    # request (each is given up after two seconds): none of them holds up
    # another client, which one at a time would (five times two seconds).
    idle=()
    for _ in 1 2 3 4 5; do exec {fd}<>"/dev/tcp/$at/9464"; idle+=("$fd"); done
    for row in "GET / 200" "GET /nothing 404" "POST /metrics 405" "GET /metrics?x=1 200"; do
        read -r method path code <<<"$row"
        got=$(curl -s -o /dev/null --max-time 5 -X "$method" -w '%{http_code}' "$metrics$path") || true
        [ "$got" = "$code" ] || fail "$way: $method $path gave $got, not $code"
    done
    for fd in "${idle[@]}"; do exec {fd}>&-; done

    # Hostile clients: half an envelope and a hang-up; a tool killed while
    # its exchanges are under way. The next client is served.
    exec 3<>"/dev/tcp/$at/9999" && printf '\x20\x01\x02\x03' >&3 && exec 3>&-
    (timeout -s KILL 0.3 "$tool" --ip "$at" watch >/dev/null 2>&1 || true) 2>/dev/null
    status "$way, after clients that hung up"

    kill -INT "$pid"
    rc=0
    wait "$pid" || rc=$?
    pid=
    [ "$rc" = 0 ] || fail "$way: the bridge ended with $rc on Ctrl+C"
    grep -q 'stopped' "$log" || fail "$way: the bridge did not stop cleanly"
    grep -q 'disconnected' "$log" || fail "$way: the hung-up clients were not seen"
    cat "$log"
    [ -s "$unix_folder/bridge.log" ] || fail "$way: no transaction log at $unix_folder/bridge.log"
done
rm -rf "$unix_folder"
echo "bridge end to end: passed"
