#!/usr/bin/env bash
# Builds the two Debian packages, checks their contents and lintian's report, installs
# them on this machine and starts the installed program headless against the installed
# simulated controller. Needs root (or sudo) for the install.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

cmake --preset package >/dev/null
cmake --build --preset package
rm -f build-package/*.deb
(cd build-package && cpack -G DEB >/dev/null)
utility=build-package/crtest_2.00_amd64.deb
simulator=build-package/crtest-simulator_2.00_amd64.deb

fail() { echo "package check: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$utility" | awk '{print $6}')
for path in ./usr/bin/crtest ./usr/share/crtest/Readme.Txt ./usr/share/applications/crtest.desktop \
            ./usr/share/icons/hicolor/32x32/apps/crtest.png ./usr/share/icons/hicolor/16x16/apps/crtest.png \
            ./usr/share/doc/crtest/copyright ./usr/share/man/man1/crtest.1.gz; do
    grep -qxF "$path" <<<"$contents" || fail "$utility lacks $path"
done
# The simulator must never sit where the loader looks for the real driver.
grep -q 'libbexor' <<<"$contents" && fail "$utility ships a driver library"
sim_contents=$(dpkg-deb -c "$simulator" | awk '{print $6}')
grep -qE '^\./usr/lib/[^/]+/crtest-simulator/libbexor\.so$' <<<"$sim_contents" \
    || fail "$simulator does not keep libbexor.so in its private folder"
[ "$(dpkg-deb -f "$utility" Version)" = 2.00 ] || fail "version is not 2.00"
dpkg-deb -f "$utility" Depends | grep -q libqt6widgets6 || fail "dependencies not taken from the linked libraries"
dpkg-deb -f "$utility" Depends Recommends Suggests | grep -q crtest-simulator \
    && fail "the utility pulls in the simulator"
grep -q "^Path=/usr/share/crtest$" <(dpkg-deb --fsys-tarfile "$utility" | tar -xO ./usr/share/applications/crtest.desktop) \
    || fail "the menu entry does not start in the readme's folder"

lintian_report=$(lintian --allow-root "$utility" "$simulator" 2>&1 || true)
echo "$lintian_report"
grep -q '^E:' <<<"$lintian_report" && fail "lintian reports errors"

DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "./$utility" "./$simulator" >/dev/null
sim_dir=$(dirname "$(dpkg -L crtest-simulator | grep '/libbexor\.so$')")
# The installed program, started from its menu entry's folder, must load the simulator and
# stay up (it waits on its statistics message boxes) until the timeout ends it.
status=0
log=$(cd /usr/share/crtest && QT_QPA_PLATFORM=offscreen LD_DEBUG=files LD_LIBRARY_PATH="$sim_dir" \
      timeout 5 crtest 2>&1) || status=$?
[ "$status" -eq 124 ] || { echo "$log" | tail -20; fail "installed crtest ended with status $status"; }
grep -q "calling init: $sim_dir/libbexor.so" <<<"$log" || fail "installed crtest did not load the simulator"
echo "package check: both packages built, lintian has no errors, the installed program runs"
