#!/usr/bin/env bash
# Installs on a Debian machine (as root) what one purpose needs:
#   scripts/deps.sh build   the compiler, CMake and the programs' libraries (./run.sh)
#   scripts/deps.sh test    that and everything the tests, benchmarks and fuzz
#                           targets need (./test.sh; also the default)
#   scripts/deps.sh windows the build's packages and the Windows cross build
#                           with its Wine runs (scripts/windows.sh)
# Packages come without their recommendations, and no service starts while
# they are installed (policy-rc.d). The tests start the servers they need
# themselves: where systemd runs, the services those packages ship stay off
# (a system Prometheus would also hold the port of the tests' own).
set -euo pipefail

# package              purpose  what for
# (a quoted here-document: any text, apostrophes too, may stand in the last column)
packages=$(cat <<'PACKAGES'
build-essential        build    the C++ compiler
cmake                  build    the build
pkg-config             build    finds cpp-httplib
qt6-base-dev           build    the desktop program (Qt 6 Widgets)
libgl-dev              build    Qt 6 Gui at link time
libqcustomplot-dev     build    the signal history chart
libcli11-dev           build    the command lines of tavrinctl and tavrin_bridge
nlohmann-json3-dev     build    the JSON output of tavrinctl, the alarm rules file
libcpp-httplib-dev     build    the metrics page of tavrin_bridge (brings OpenSSL, zlib, Brotli)
libyaml-cpp-dev        build    the web configuration of tavrin_bridge (--web-config)
libssl-dev             build    TLS on the metrics page of tavrin_bridge
libcrypt-dev           build    the bcrypt passwords of the metrics page (crypt)
libsystemd-dev         build    tavrin_bridge as a systemd service (sd_notify: ready, status, watchdog)
libsnmp-dev            build    the AgentX subagent of tavrin_bridge (--agentx; optional)
scdoc                  build    the manual pages, built with the programs
libgtest-dev           test     the test programs
libgmock-dev           test     the test programs
libbenchmark-dev       test     benchmarks
python3                test     test drivers (tests/e2e, tests/deploy, tests/packaging, tests/layers)
locales                test     the runs under de_DE and tr_TR (scripts/locales.sh)
clang                  test     the fuzz targets
libclang-rt-14-dev     test     libFuzzer
prometheus             test     the bridge scraped by a real Prometheus, promtool checks
snmpd                  test     the AgentX master of the bridge's SNMP tests
snmp                   test     snmpget, snmpwalk and snmptranslate in the SNMP tests
snmptrapd              test     the notifications of the SNMP tests received
smitools               test     smilint on the bridge's MIB
curl                   test     the SMI modules for the MIB check, fetched once into the build tree
openssl                test     self-signed certificates for the bridge tests
xvfb                   test     an X server per end-to-end case
xauth                  test     xvfb-run
openbox                test     the window manager of the end-to-end cases
xdotool                test     keyboard and mouse of the end-to-end cases
wmctrl                 test     windows of the end-to-end cases
at-spi2-core           test     the accessibility bus
python3-pyatspi        test     the accessibility tree from the end-to-end driver
dbus                   test     a session bus per end-to-end case
dbus-x11               test     dbus-launch
x11-apps               test     xwd, screenshots of failed cases
imagemagick            test     screenshots of failed cases as PNG
util-linux             test     setsid and friends in the test drivers
man-db                 test     the manual pages checked with man
lintian                test     the Debian package checked
desktop-file-utils     test     the desktop entry checked
appstream              test     the metainfo checked
bash-completion        test     the completion checked
dpkg-dev               test     the Debian package built and unpacked
fakeroot               test     the Debian package built
g++-mingw-w64-x86-64-posix windows the Windows cross build (MinGW-w64, POSIX threads)
wine64                 windows  the Windows programs and tests run on Linux
wine                   windows  the wine and wineboot commands (wine64 alone is the loader)
googletest             windows  the sources of GoogleTest, built for Windows
curl                   windows  /metrics of tavrin_bridge.exe read in its Wine test
PACKAGES
)
# The services of the tests' servers (the node exporter came with Prometheus
# when recommendations were installed).
test_services='prometheus.service prometheus-node-exporter.service snmpd.service snmptrapd.service'

purpose="${1:-test}"
case "$purpose" in
    build) wanted='$2 == "build"' ;;
    test) wanted='$2 != "windows"' ;;
    windows) wanted='$2 == "build" || $2 == "windows"' ;;
    *) echo "usage: scripts/deps.sh [build|test|windows]" >&2; exit 2 ;;
esac
mapfile -t rows < <(awk "NF && ($wanted) {print \$1, \$2}" <<<"$packages")

# Where systemd runs: the tests' servers do not run as services.
keep_test_services_off() {
    [ "$purpose" = test ] && [ -d /run/systemd/system ] || return 0
    for unit in $test_services; do
        systemctl -q is-enabled "$unit" 2>/dev/null || systemctl -q is-active "$unit" 2>/dev/null || continue
        if [ "$(id -u)" -eq 0 ]; then
            echo "Disabling $unit: the tests start their own server."
            systemctl disable --now "$unit"
        else
            echo "Note: $unit runs as a service; the tests start their own (as root: systemctl disable --now $unit)." >&2
        fi
    done
}

need=()
for row in "${rows[@]}"; do
    read -r pkg _ <<<"$row"
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -eq 0 ]; then
    keep_test_services_off
    exit 0
fi

echo "Installing (${purpose}): ${need[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Please run as root (or install the packages above with apt-get)." >&2
    exit 1
fi

# No service starts while the packages are installed; the rule goes again
# afterwards unless it was there before.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    trap 'rm -f "$policy"' EXIT
    printf '#!/bin/sh\n# scripts/deps.sh: no service starts while it installs packages\nexit 101\n' >"$policy"
    chmod 755 "$policy"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}"
keep_test_services_off
