#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian.
#   scripts/package.sh [BUILD_DIR]          configure, build, package (default build/)
#   scripts/package.sh --no-build BUILD_DIR package what BUILD_DIR holds
# The .deb is left in BUILD_DIR and its name printed on the last line. Run-time
# dependencies are computed from the programs' libraries (dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."

build=1
if [ "${1:-}" = "--no-build" ]; then
    build=0
    shift
fi
dir=${1:-build}

if [ "$build" = 1 ]; then
    cmake -S . -B "$dir" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
fi
rm -f "$dir"/tavrin-rx-ctrl_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/tavrin-rx-ctrl_*.deb)

# lintian: no errors (warnings are shown).
lintian --fail-on error "$deb" >&2 || { echo "lintian found errors in $deb" >&2; exit 1; }
echo "$deb"
