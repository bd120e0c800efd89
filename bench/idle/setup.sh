#!/usr/bin/env bash
# Installs what the idle benchmark runs: the X server, xterm beside the application, and xdotool,
# which clicks into the terminal and unmaps the window.
set -euo pipefail
missing=()
for tool in Xvfb:xvfb xterm:xterm xdotool:xdotool; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
((${#missing[@]} == 0)) || "$(dirname "$0")/../../scripts/apt-install.sh" "${missing[@]}"
