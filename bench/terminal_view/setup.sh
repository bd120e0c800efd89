#!/usr/bin/env bash
# Installs what the view benchmark runs beside and draws: tmux and a CJK font.
set -euo pipefail
missing=()
command -v tmux >/dev/null || missing+=(tmux)
fc-list :lang=zh | grep -q . || missing+=(fonts-wqy-microhei)
((${#missing[@]} == 0)) || "$(dirname "$0")/../../scripts/apt-install.sh" "${missing[@]}"
