#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# make package-check: builds the .deb from BUILD-DIR and looks at it with dpkg-deb
# (control fields, the files it holds, the maintainer scripts) and with lintian,
# which must report no error. Warnings are printed; the ones kept are explained in
# the README.
#   check-package.sh BUILD-DIR LIBDIR
set -uo pipefail
build=$1 libdir=$2
cd "$build" || exit 1
rm -f ondrel_*.deb
cpack -G DEB --config CPackConfig.cmake >cpack.log 2>&1 || { cat cpack.log >&2; echo "FAIL: cpack" >&2; exit 1; }
deb=$(ls ondrel_*.deb)
echo "== $deb"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == ondrel ]] || fail "Package"
[[ $(field Section) == hamradio ]] || fail "Section"
depends=$(field Depends)
# The dependencies dpkg-shlibdeps found: the C and C++ run-time, Qt's widgets and
# OpenSSL 3 (the service's TLS).
for package in libc6 libstdc++6 libqt6widgets6 libssl3 adduser; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done
[[ $(field Recommends) == *baresip-core* ]] || fail "Recommends lacks baresip-core (voice calls)"
[[ -n $(field Description | sed -n 2p) ]] || fail "no long description"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/ondrel ./usr/bin/radiosim ./usr/lib/systemd/system/ondrel.service \
            ./usr/lib/systemd/system/ondrel@.service \
            ./usr/lib/sysusers.d/ondrel.conf ./usr/share/applications/ondrel.desktop \
            ./usr/share/icons/hicolor/48x48/apps/ondrel.png ./usr/share/man/man1/ondrel.1.gz \
            ./usr/share/man/man1/radiosim.1.gz ./usr/share/ondrel/Ondrel.html ./usr/share/ondrel/Ondrel.ini \
            ./usr/include/ondrel/linkcore/Linkcore.h "./usr/$libdir/pkgconfig/linkcore.pc" \
            "./usr/$libdir/cmake/Linkcore/LinkcoreConfig.cmake" ./usr/share/doc/ondrel/copyright \
            "./usr/$libdir/ondrel/ondrel-window.so" "./usr/$libdir/ondrel/libVoxline.so"; do
    grep -qxF "$path" <<<"$contents" || fail "$path not in the package"
done
# Installed, not enabled: nothing under /etc/systemd.
grep -q '^\./etc/systemd' <<<"$contents" && fail "the package enables the service"

control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb --control "$deb" "$control"
for script in postinst prerm postrm; do
    sh -n "$control/$script" || fail "$script syntax"
done
[[ -f $control/shlibs && -f $control/triggers ]] || fail "shlibs or ldconfig trigger missing"
# Stripped, and no search path left in any program or library.
extract=$control/tree
dpkg-deb --extract "$deb" "$extract"
for file in "$extract"/usr/bin/* "$extract/usr/$libdir"/lib*.so.*.* "$extract/usr/$libdir"/ondrel/*.so; do
    readelf -d "$file" | grep -qE 'RPATH|RUNPATH' && fail "$file carries a search path"
    readelf -S "$file" | grep -q '\.debug_info' && fail "$file is not stripped"
done

echo "== lintian"
lintian --display-info "$deb" | tee lintian.log
grep -q '^E:' lintian.log && fail "lintian reports errors"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package-check: $deb passed (lintian: $(grep -c '^W:' lintian.log) warning(s), no error)"
