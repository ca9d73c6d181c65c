#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine (run as root).
set -euo pipefail
need=()
for pkg in build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
           qt6-base-dev libgl-dev libcli11-dev nlohmann-json3-dev clang libclang-rt-14-dev xvfb xauth python3 locales \
           libqcustomplot-dev libcpp-httplib-dev prometheus \
           scdoc man-db lintian desktop-file-utils appstream bash-completion dpkg-dev fakeroot \
           openbox xdotool wmctrl at-spi2-core python3-pyatspi dbus dbus-x11 x11-apps imagemagick util-linux; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Please run as root (or install the packages above with apt-get)." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${need[@]}"
fi
