#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package that building, running and testing Tagwright needs: the
# Build-Depends of debian/control (the one list of what building takes, through apt-get build-dep)
# and what running, the tests, the fuzzers, the benchmarks, CI and packaging need beyond them.
set -euo pipefail
cd "$(dirname "$0")/.."
others=(
  build-essential ccache pkg-config git libjpeg62-turbo-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-translations-l10n
  xvfb xauth xdotool imagemagick x11-apps socat
  fonts-noto-cjk
  dpkg-dev devscripts file lintian desktop-file-utils appstream
)
missing=()
for p in "${others[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
build_deps_met() { command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps debian/control 2>/dev/null; }
if [ ${#missing[@]} -gt 0 ] || ! build_deps_met; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # The discovery tests start snmpd and avahi-daemon themselves: installing them must not start
  # the system's services (a policy-rc.d that refuses every start, removed again afterwards).
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod 755 /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get build-dep -y -qq --no-install-recommends ./
  [ ${#missing[@]} -eq 0 ] || $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
