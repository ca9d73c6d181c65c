#!/usr/bin/env bash
# tavrinctl.exe under Wine against the native simulated unit that
# scripts/windows.sh started: status over the COM port and over TCP, then a
# configuration saved over the COM port and sent back over TCP.
#   tool_end_to_end.sh TAVRINCTL_EXE
# Needs WINEPREFIX, TAVRIN_WINE_COM (a number) and TAVRIN_WINE_TCP (an address).
set -euo pipefail
tool=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -n "${TAVRIN_WINE_COM:-}" ] && [ -n "${TAVRIN_WINE_TCP:-}" ] || fail "no native unit: TAVRIN_WINE_COM and TAVRIN_WINE_TCP are not set"
run() { echo "\$ tavrinctl.exe $*"; wine "$tool" "$@"; }

for way in "--com $TAVRIN_WINE_COM" "--ip $TAVRIN_WINE_TCP"; do
    # shellcheck disable=SC2086
    out=$(run $way status) || fail "status $way"
    echo "$out"
    grep -q '^Demod lock: green' <<<"$out" || fail "status $way: no demod lock line"
done

file='C:\users\Public\tavrin-e2e.cfg'
unix="$WINEPREFIX/drive_c/users/Public/tavrin-e2e.cfg"
rm -f "$unix"
run --com "$TAVRIN_WINE_COM" save-config "$file" || fail "save-config"
[ -s "$unix" ] || fail "save-config wrote nothing at $unix"
run --ip "$TAVRIN_WINE_TCP" load-config "$file" || fail "load-config"
rm -f "$unix"
echo "tool end to end: passed"
