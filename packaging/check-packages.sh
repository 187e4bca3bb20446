#!/usr/bin/env bash
# Builds the three Debian packages, checks their contents, their metadata files and
# lintian's report, then installs exactly these three on this machine, makes sure the
# installed program is the one just built, and starts it headless against the installed
# simulated controller, and its check against the installed printer driver on the simulated
# printer. Any copy installed before is removed first, and the packages are removed again at
# the end, whatever happens. Needs root (or sudo) for the install.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
fail() { echo "package check: $*" >&2; exit 1; }

packages=(crtest crtest-simulator crtest-printer)
# The names of those of the two packages that dpkg still knows, installed or not quite gone.
present() {
    dpkg-query -W -f='${db:Status-Status} ${Package}\n' "${packages[@]}" 2>/dev/null \
        | awk '$1 != "not-installed" { print $2 }' || true
}
# apt-get waits for a package manager that is busy elsewhere; dpkg would give up at once.
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300)
remove() {
    # shellcheck disable=SC2046
    [ -z "$(present)" ] || "${sudo[@]}" "${apt[@]}" purge $(present) >/dev/null || true
    [ -z "$(present)" ] || fail "could not remove $(present | paste -sd' ')"
}

tree=$(mktemp -d)
# Whatever happens from here on, nothing this check installed or unpacked stays behind.
cleanup() {
    local status=$?
    rm -rf "$tree"
    (remove) || status=1
    exit "$status"
}
trap cleanup EXIT

# A copy installed before, of the same version, would otherwise stay and be tested.
remove

cmake --preset package >/dev/null
cmake --build --preset package
rm -f build-package/*.deb
(cd build-package && cpack -G DEB >/dev/null)
arch=$(dpkg --print-architecture)
# Named by CPack from their control fields: version 2.00, or no such file.
utility=build-package/crtest_2.00_${arch}.deb
simulator=build-package/crtest-simulator_2.00_${arch}.deb
printer=build-package/crtest-printer_2.00_${arch}.deb

# --- What the packages hold ---
listing=$(dpkg-deb -c "$utility")
contents=$(awk '{print $6}' <<<"$listing")
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
private_dir=/usr/lib/$multiarch/crtest
sim_dir=/usr/lib/$multiarch/crtest-simulator
printer_dir=/usr/lib/$multiarch/crtest-printer
doc=./usr/share/doc/crtest
icons=$(printf './usr/share/icons/hicolor/%sx%s/apps/crtest.png ' 16{,} 22{,} 24{,} 32{,} 48{,} 64{,} \
    128{,} 256{,})
for path in ./usr/bin/crtest ".$private_dir/crtest" ".$private_dir/crtest-trial-load" \
            ./usr/share/crtest/Readme.Txt \
            ./usr/share/applications/crtest.desktop \
            ./usr/share/metainfo/org.example.crtest.metainfo.xml $doc/crtest-report.schema.json \
            $doc/examples/{crtest-check.service,crtest-check.timer,crtest{.rules,-tills}.yml} \
            $doc/copyright ./usr/share/man/man1/crtest.1.gz $icons; do
    grep -qxF "$path" <<<"$contents" || fail "$utility lacks $path"
done
# The simulator must never sit where the loader looks for the real driver.
grep -q 'libbexor' <<<"$contents" && fail "$utility ships a driver library"
# The program finds its helpers beside itself: /usr/bin/crtest only links to it.
grep -qE "^l.* \./usr/bin/crtest -> \.\./lib/$multiarch/crtest/crtest\$" <<<"$listing" \
    || fail "$utility: /usr/bin/crtest is not a relative link to $private_dir/crtest"

# --- Control fields ---
depends=$(dpkg-deb -f "$utility" Depends)
grep -q libqt6widgets6 <<<"$depends" || fail "dependencies not taken from the linked libraries"
# The layout is measured with these fonts; without them labels are cut.
grep -qE '(^|, )fonts-liberation($|,| )' <<<"$depends" || fail "the utility does not depend on fonts-liberation"
[ "$(dpkg-deb -f "$utility" Recommends)" = xdg-utils ] || fail "the utility does not recommend xdg-utils"
grep -q crtest-simulator <<<"$(dpkg-deb -f "$utility" Depends Recommends Suggests)" \
    && fail "the utility pulls in the simulator"

# --- Installed documentation and metadata ---
dpkg-deb -x "$utility" "$tree"
grep -q "^Path=/usr/share/crtest$" "$tree/usr/share/applications/crtest.desktop" \
    || fail "the menu entry does not start in the readme's folder"
zcat "$tree/usr/share/man/man1/crtest.1.gz" >"$tree/manual"
for text in "$tree/usr/share/crtest/Readme.Txt" "$tree/manual"; do
    grep -qF "LD_LIBRARY_PATH=$sim_dir crtest" "$text" || fail "$text does not say to use $sim_dir"
    grep -qE '<arch>|@[A-Z_]+@' "$text" && fail "$text has a placeholder left"
done
desktop-file-validate "$tree/usr/share/applications/crtest.desktop" \
    || fail "desktop-file-validate rejects the menu entry"
# The metainfo file, which must also find the menu entry it names.
appstreamcli validate-tree --no-net "$tree" || fail "appstreamcli rejects the installed tree"
lintian --allow-root --fail-on error,warning "$utility" "$simulator" "$printer" \
    || fail "lintian reports errors or warnings (status $?)"

# --- The installed program is the one built ---
"${sudo[@]}" "${apt[@]}" install "./$utility" "./$simulator" "./$printer" >/dev/null
# What is installed is what was built, not a copy of the same version left from before, and
# where it belongs: the drivers outside the loader's search path.
same() {
    cmp "$2" <(dpkg-deb --fsys-tarfile "$1" | tar -xO ".$2") || fail "the installed $2 is not the one in $1"
}
same "$utility" "$private_dir/crtest"
same "$utility" "$private_dir/crtest-trial-load"
same "$simulator" "$sim_dir/libbexor.so"
same "$printer" "$printer_dir/libbexor.so"
# The trial helper's loader must search where the program's does.
runpath() { readelf -d "$1" | grep -E '\((RUN|R)PATH\)' || true; }
[ "$(runpath "$private_dir/crtest-trial-load")" = "$(runpath "$private_dir/crtest")" ] \
    || fail "crtest-trial-load and crtest have different run paths"
# The installed program, started from its menu entry's folder, must load the simulator and
# stay up (it waits on its statistics message boxes) until the timeout ends it.
status=0
log=$(cd /usr/share/crtest && QT_QPA_PLATFORM=offscreen LD_DEBUG=files LD_LIBRARY_PATH="$sim_dir" \
      timeout 5 crtest 2>&1) || status=$?
[ "$status" -eq 124 ] || { echo "$log" | tail -20; fail "installed crtest ended with status $status"; }
grep -q "calling init: $sim_dir/libbexor.so" <<<"$log" || fail "installed crtest did not load the simulator"
grep -q "file=libbexor.so .*dynamically loaded by $private_dir/crtest-trial-load " <<<"$log" \
    || fail "installed crtest did not try the driver in its trial helper"
# The check, with no display at all, against the installed simulator.
report=$(env -u DISPLAY -u WAYLAND_DISPLAY LD_LIBRARY_PATH="$sim_dir" crtest --check) \
    || fail "installed crtest --check ended with status $?"
grep -qx "  Serial number:        SIMULATED-0001" <<<"$report" || fail "installed crtest --check did not report the simulator"
# The check against the installed printer driver, on the tests' simulated printer.
exec {printer_input}> >(exec python3 tests/printer/simprinter.py --log "$tree/printer.log" >"$tree/tty")
for _ in $(seq 100); do [ -s "$tree/tty" ] && break; sleep 0.1; done
report=$(env -u DISPLAY -u WAYLAND_DISPLAY LD_LIBRARY_PATH="$printer_dir" \
         BEXOR_PRINTER_DEVICE="$(cat "$tree/tty")" BEXOR_PRINTER_STATE_DIR="$tree/state" crtest --check) \
    || fail "installed crtest --check on the printer driver ended with status $?"
exec {printer_input}>&-
grep -qx "Driver: $printer_dir/libbexor.so" <<<"$report" && grep -qx "  1 closed" <<<"$report" \
    || fail "installed crtest --check did not read the printer's drawers: $report"
echo "package check: the three packages built and valid, lintian silent, the installed program is the one built, opens its window and checks"
