#!/usr/bin/env bash
# Installs what the build needs, builds, then either starts the utility against the
# bundled simulated controller (run) or runs the whole test suite (test).
set -euo pipefail
cd "$(dirname "$0")"

usage() { echo "usage: $0 run|test" >&2; exit 2; }
[ $# -eq 1 ] || usage
case "$1" in run|test) ;; *) usage ;; esac

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation
          xdg-utils xvfb
          # the system tests: the program on a private X server with a window manager
          python3 python3-xlib python3-pil openbox qt6ct
          # ... and on a headless Wayland compositor, driven through the accessibility bus
          weston qt6-wayland dbus-daemon dbus-bin at-spi2-core python3-gi gir1.2-atspi-2.0
          # the check from outside: its JSON against the schema, its metrics parsed
          python3-jsonschema python3-prometheus-client
          # the fleet's tools, each run by the tests: node_exporter serving the metrics,
          # promtool for the alert rules, ansible-playbook, systemd-analyze for the units
          prometheus prometheus-node-exporter ansible-core systemd)
# These two start a server on every address as they are installed and at each boot; the
# tests start their own, on loopback.
servers=(prometheus prometheus-node-exporter)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    # A policy-rc.d that refuses every start keeps the servers from starting during the
    # install; one that was there before is put back afterwards, whatever happens.
    policy=/usr/sbin/policy-rc.d
    restore_policy() {
        "${sudo[@]}" rm -f "$policy"
        [ ! -e "$policy.setup-saved" ] || "${sudo[@]}" mv "$policy.setup-saved" "$policy"
    }
    trap restore_policy EXIT
    [ ! -e "$policy" ] || "${sudo[@]}" mv "$policy" "$policy.setup-saved"
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
    restore_policy
    trap - EXIT
    # ... nor at the next boot: only the servers installed just now, never one set up before.
    for server in "${servers[@]}"; do
        if [[ " ${missing[*]} " == *" $server "* ]]; then
            "${sudo[@]}" systemctl disable --quiet "$server.service"
        fi
    done
fi

cmake --preset default >/dev/null
if [ "$1" = test ]; then
    cmake --build --preset default
    exec ctest --preset default
fi
# The program and the simulated controller, nothing else.
cmake --build --preset default --target crtest bexor
# The help button opens Readme.Txt from the current directory: the build folder has a copy.
cd build
LD_LIBRARY_PATH="$PWD/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" exec ./crtest
