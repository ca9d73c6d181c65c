#!/usr/bin/env bash
# Installs the programs into a scratch root and uses them from there as a new
# user would, with a home folder of their own:
#   check_install.sh --cmake BUILD_DIR VERSION   (cmake --install --prefix)
#   check_install.sh --deb PACKAGE.deb VERSION   (dpkg -x)
# Checks: every installed program prints the version; the installed simulated
# unit, linked as COM1 in ~/.config/tavrin_rx_ctrl/ports, answers the installed
# tavrinctl by COM port and over TCP; the installed desktop program writes its
# transaction log into $XDG_STATE_HOME/tavrin_rx_ctrl; nothing is written into
# the installed tree; the desktop entry, the metainfo and the manual pages pass
# their validators; the icons are there at every size.
set -uo pipefail

mode=$1 source=$2 version=$3
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-install-XXXXXX")
root=$scratch/root
sim_pid=
gui_pid=
cleanup() {
    [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null && wait "$gui_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

case $mode in
    --cmake) cmake --install "$source" --prefix "$root/usr" >/dev/null || { echo "install failed" >&2; exit 1; } ;;
    --deb) mkdir -p "$root" && dpkg -x "$source" "$root" || { echo "dpkg -x failed" >&2; exit 1; } ;;
    *) echo "usage: $0 --cmake BUILD_DIR VERSION | --deb FILE VERSION" >&2; exit 2 ;;
esac
bin=$root/usr/bin
share=$root/usr/share
[ -f "$share/tavrin_rx_ctrl/installed" ] || fail "the installed tree has no mark"

# What the tree holds, with sizes, modes and times: compared at the end.
snapshot() { (cd "$root" && find . -printf '%p %y %s %m %T@\n' | LC_ALL=C sort); }
before=$(snapshot)

export HOME=$scratch/home
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export XDG_STATE_HOME=$scratch/state
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
config=$HOME/.config/tavrin_rx_ctrl
state=$XDG_STATE_HOME/tavrin_rx_ctrl

# --- every program prints the one version ---------------------------------------
programs="tavrinctl tavrin_unit_sim"
[ -x "$bin/tavrin_rx_ctrl" ] && programs="$programs tavrin_rx_ctrl"
[ -x "$bin/tavrin_bridge" ] && programs="$programs tavrin_bridge"
for p in $programs; do
    got=$("$bin/$p" --version 2>&1)
    [ "$got" = "$p $version" ] || fail "$p --version printed '$got', not '$p $version'"
    [ -f "$share/man/man1/$p.1.gz" ] || fail "$p has no manual page"
done

# --- the installed unit, reached by the installed tool -----------------------------
mkdir -p "$config/ports"
ip=127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))
"$bin/tavrin_unit_sim" --serial-link "$config/ports/COM1" --tcp "$ip" --no-drift --restart-ms 0 \
    >"$scratch/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    [ -e "$config/ports/COM1" ] && grep -q "^tcp: " "$scratch/sim.out" && break
    sleep 0.1
done
status=$("$bin/tavrinctl" --com 1 status 2>&1) || fail "tavrinctl --com 1 status failed: $status"
case $status in *"Demod lock: "*) ;; *) fail "no status by COM1: $status" ;; esac
read_out=$("$bin/tavrinctl" --ip "$ip" read 1loc 2>&1) || fail "tavrinctl --ip read failed: $read_out"
case $read_out in "1loc 1 "*) ;; *) fail "unexpected read over TCP: $read_out" ;; esac

# --- the installed desktop program finds the unit and logs into the state folder ---
if [ -x "$bin/tavrin_rx_ctrl" ]; then
    QT_QPA_PLATFORM=offscreen "$bin/tavrin_rx_ctrl" >"$scratch/gui.out" 2>&1 &
    gui_pid=$!
    log=$state/tavrin_rx_ctrl_v2.3.5.log
    for _ in $(seq 300); do
        grep -q "rgadd" "$log" 2>/dev/null && break
        sleep 0.1
    done
    grep -q "rgadd" "$log" 2>/dev/null || fail "the desktop program wrote no transaction log at $log"
    [ "$(stat -c %a "$state")" = 700 ] || fail "$state is not private"
    [ "$(stat -c %a "$XDG_STATE_HOME")" = 700 ] || fail "$XDG_STATE_HOME is not private"
    kill "$gui_pid" 2>/dev/null
    wait "$gui_pid" 2>/dev/null
    gui_pid=
fi
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null
sim_pid=

# --- nothing was written into the installed tree ----------------------------------
after=$(snapshot)
[ "$before" = "$after" ] || fail "the installed tree changed: $(diff <(echo "$before") <(echo "$after") | head -5)"
stray=$(find "$root" -name '*.ini' -o -name '*.log' -o -name ports)
[ -z "$stray" ] || fail "files in the installed tree: $stray"

# --- desktop entry, metainfo, manual pages, icons, completion ----------------------
if [ -x "$bin/tavrin_rx_ctrl" ]; then
    desktop=$share/applications/org.tavrin.RxCtrl.desktop
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    out=$(appstreamcli validate --no-net "$share/metainfo/org.tavrin.RxCtrl.metainfo.xml" 2>&1) ||
        fail "appstreamcli validate: $out"
    grep -q "release version=\"$version\"" "$share/metainfo/org.tavrin.RxCtrl.metainfo.xml" ||
        fail "the metainfo has no release $version"
    for size in 16 22 24 32 48 64 128 256; do
        icon=$share/icons/hicolor/${size}x${size}/apps/tavrin_rx_ctrl.png
        got=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$icon" 2>&1)
        [ "$got" = "${size}x${size}" ] || fail "icon $icon is $got"
    done
fi
for page in "$share"/man/man1/*.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man -l $page warns: $out"
    name=$(basename "$page" .1.gz)
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || fail "$page shows no NAME section"
    zcat "$page" | grep -q "$name" || fail "$page does not name $name"
done
[ -f "$share/bash-completion/completions/tavrinctl" ] || fail "no bash completion for tavrinctl"
# The one built from the tables: its words filled in, none left as @WORDS@.
grep -q '^    local write_codes="1' "$share/bash-completion/completions/tavrinctl" &&
    ! grep -q '@[A-Z_]*@' "$share/bash-completion/completions/tavrinctl" ||
    fail "the installed completion is not the one built from the tables"
[ -f "$share/doc/tavrin-rx-ctrl/copyright" ] || fail "no copyright file"
[ -f "$share/doc/tavrin-rx-ctrl/changelog.gz" ] || fail "no changelog"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed tree ($mode) checked: $programs"
