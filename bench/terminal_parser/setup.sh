#!/usr/bin/env bash
# Installs the peer the terminal benchmark runs beside: libvterm (Debian's libvterm-dev).
# Reconfigure the build afterwards so that the benchmark finds it.
set -euo pipefail
dpkg-query -W -f='${Status}' libvterm-dev 2>/dev/null | grep -q "install ok installed" && exit 0
apt-get install -y --no-install-recommends libvterm-dev
