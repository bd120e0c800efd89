#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it on the given folders or files
# (with none, on the last project, else on no project).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --gui
"$root/scripts/build.sh" quillora >/dev/null
build=${QUILLORA_BUILD_DIR:-$root/build}
app="$build/app/quillora"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found; starting under Xvfb." >&2
  exec xvfb-run -a "$app" "$@"
fi
exec "$app" "$@"
