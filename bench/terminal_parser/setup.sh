#!/usr/bin/env bash
# Installs the peer the terminal benchmark runs beside: libvterm (Debian's libvterm-dev).
# Reconfigure the build afterwards so that the benchmark finds it.
set -euo pipefail
"$(dirname "$0")/../../scripts/apt-install.sh" libvterm-dev
