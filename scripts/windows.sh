#!/usr/bin/env bash
# The Windows build, made and tested on Linux: the core, tavrinctl, the
# simulated unit and tavrin_bridge (without TLS, sd_notify and AgentX)
# cross-built with MinGW-w64 into build-windows/, their tests
# run under Wine (label "wine") against a simulated unit running natively (from
# build/, or build-windows/native/ when there is no Linux build) on
# a pseudo-terminal (the prefix's COM5) and on loopback TCP, and the programs
# packed as build-windows/tavrin-windows.zip (linked statically: no DLLs).
#   scripts/windows.sh [--no-tests]
# JOBS sets the build's parallel jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
tests=1
[ "${1:-}" = --no-tests ] && tests=0
jobs=${JOBS:-2}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

scripts/deps.sh windows
start=$(date +%s)

# The Windows programs and tests.
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DTAVRIN_WERROR=ON -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build build-windows -j"$jobs"
# The native simulated unit the Windows programs talk to, and the native
# tavrinctl that is the Windows bridge's client: from the Linux build in
# build/ when there is one (CI has just built it), else from a small build of
# its own.
native=build
if [ ! -f build/CMakeCache.txt ]; then
    native=build-windows/native
    cmake -S . -B "$native" -DTAVRIN_WERROR=ON -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BRIDGE=OFF \
        "${launcher[@]}" >/dev/null
fi
cmake --build "$native" -j"$jobs" --target tavrin_unit_sim tavrinctl

rm -f build-windows/tavrin-windows.zip
(cd build-windows/bin && cmake -E tar cf ../tavrin-windows.zip --format=zip tavrinctl.exe tavrin_unit_sim.exe tavrin_bridge.exe)
built=$(date +%s)
echo "windows: built in $((built - start)) s: build-windows/tavrin-windows.zip"
[ "$tests" = 1 ] || exit 0

# A Wine prefix of this run's own, and the unit: its pseudo-terminal is COM5.
WINEPREFIX=$(mktemp -d /tmp/tavrin-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all
unit_out="$WINEPREFIX/unit.out"
unit_pid=
cleanup() {
    [ -n "$unit_pid" ] && kill "$unit_pid" 2>/dev/null && wait "$unit_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
address=127.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
"$native/bin/tavrin_unit_sim" --serial-link "$WINEPREFIX/dosdevices/com5" --tcp "$address" \
    --no-drift >"$unit_out" 2>&1 &
unit_pid=$!
for _ in $(seq 50); do grep -q '^model' "$unit_out" && break; sleep 0.1; done
grep -q '^model' "$unit_out" || { cat "$unit_out" >&2; echo "windows: the simulated unit did not start" >&2; exit 1; }
export TAVRIN_WINE_COM=5 TAVRIN_WINE_TCP=$address TAVRIN_NATIVE_TAVRINCTL=$PWD/$native/bin/tavrinctl

booted=$(date +%s)
status=0
ctest --test-dir build-windows -L wine --output-on-failure --timeout 600 || status=$?
# Every case that ran, from the programs' own summaries.
ran=$(grep -ho '^\[==========\] [0-9]* tests\? from' build-windows/Testing/Temporary/LastTest.log \
      | awk '{n += $2} END {print n + 0}')
done_at=$(date +%s)
echo "windows: $ran test cases under Wine (and tavrinctl.exe and tavrin_bridge.exe end to end) in $((done_at - booted)) s;" \
     "wineboot $((booted - built)) s, build $((built - start)) s"
exit "$status"
