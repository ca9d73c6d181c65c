#!/usr/bin/env bash
# Builds the Debian package from a built tree (scripts/package.sh, which runs
# lintian), checks its control data and contents, then installs it into a
# scratch root with dpkg -x and uses it from there (check_install.sh).
#   check_deb.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
source_dir=$1 build_dir=$2 version=$3

deb=$("$source_dir/scripts/package.sh" --no-build "$build_dir" | tail -1) || { echo "FAIL: packaging" >&2; exit 1; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

[ "$(dpkg-deb -f "$deb" Package)" = tavrin-rx-ctrl ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
# Computed from the programs' libraries, so the C library and the C++ library
# are there, and Qt's widgets when the desktop program is in the package.
for lib in libc6 libstdc++6; do
    case $depends in *"$lib "*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
contents=$(dpkg-deb -c "$deb")
if grep -q "usr/bin/tavrin_rx_ctrl$" <<<"$contents"; then
    case $depends in *libqt6widgets6*) ;; *) fail "Depends lacks Qt widgets: $depends" ;; esac
fi
for path in usr/share/doc/tavrin-rx-ctrl/copyright usr/share/doc/tavrin-rx-ctrl/changelog.gz \
    usr/share/tavrin_rx_ctrl/installed usr/share/bash-completion/completions/tavrinctl \
    usr/share/doc/tavrin-rx-ctrl/README.md usr/share/doc/tavrin-rx-ctrl/examples/bridge-example.conf \
    usr/lib/systemd/system/tavrin_bridge.service usr/lib/systemd/system/tavrin_bridge@.service \
    usr/lib/udev/rules.d/99-tavrin-serial.rules; do
    grep -q " ./$path$" <<<"$contents" || fail "the package lacks $path"
done
# Installed, not enabled: no maintainer scripts that would start a bridge.
control=$(dpkg-deb -I "$deb")
case $control in *postinst*) fail "the package has a postinst (the units are not to be enabled)" ;; esac
zcat_out=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tavrin-rx-ctrl/changelog.gz | zcat | head -1)
case $zcat_out in "tavrin-rx-ctrl ($version)"*) ;; *) fail "changelog starts with: $zcat_out" ;; esac

bash "$source_dir/tests/packaging/check_install.sh" --deb "$deb" "$version" || fail "the installed package"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "package $deb checked"
