#!/usr/bin/env bash
# Installs what the view benchmark runs beside and draws: tmux, a CJK font and a colour emoji font.
set -euo pipefail
missing=()
command -v tmux >/dev/null || missing+=(tmux)
fc-list :lang=zh | grep -q . || missing+=(fonts-wqy-microhei)
fc-list | grep -qi "Noto Color Emoji" || missing+=(fonts-noto-color-emoji)
((${#missing[@]} == 0)) || "$(dirname "$0")/../../scripts/apt-install.sh" "${missing[@]}"
