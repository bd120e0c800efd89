#!/usr/bin/env bash
# Installs what the view benchmark runs beside and draws: tmux, a CJK font and a colour emoji font.
set -euo pipefail
missing=()
command -v tmux >/dev/null || missing+=(tmux)
# The font lists are read whole: under pipefail a grep that stops at its first match would
# make the pipeline fail.
[[ -n "$(fc-list :lang=zh)" ]] || missing+=(fonts-wqy-microhei)
grep -qi "Noto Color Emoji" <<<"$(fc-list)" || missing+=(fonts-noto-color-emoji)
((${#missing[@]} == 0)) || "$(dirname "$0")/../../scripts/apt-install.sh" "${missing[@]}"
