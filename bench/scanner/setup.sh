#!/usr/bin/env bash
# Installs the peer the scanner benchmark runs beside find: fd (Debian's fd-find, as `fdfind`).
set -euo pipefail
command -v fdfind >/dev/null && exit 0
"$(dirname "$0")/../../scripts/apt-install.sh" fd-find
