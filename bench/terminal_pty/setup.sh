#!/usr/bin/env bash
# Installs the peer the pseudo-terminal benchmark runs beside the bare reader: tmux.
set -euo pipefail
command -v tmux >/dev/null && exit 0
"$(dirname "$0")/../../scripts/apt-install.sh" tmux
