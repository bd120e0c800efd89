#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it on the given folders or files
# (with none, on the last project, else on no project).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --gui
build=${QUILLORA_BUILD_DIR:-$root/build}
# A build folder made here builds the application alone, so that running it needs none of the
# test packages; the test command turns the tests on in it.
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  export QUILLORA_CMAKE_ARGS="-DQUILLORA_BUILD_TESTS=OFF -DQUILLORA_BUILD_BENCH=OFF ${QUILLORA_CMAKE_ARGS:-}"
fi
# Ninja's status line shows the build going (on the terminal, on standard error), and a failed
# build its compiler errors.
if [[ -f "$build/app/quillora" ]]; then
  echo "Building Quillora in $build ..." >&2
else
  echo "Building Quillora in $build (a first build takes several minutes) ..." >&2
fi
if ! QUILLORA_QUIET_CONFIGURE=1 "$root/scripts/build.sh" quillora >&2; then
  echo "run.sh: the build failed (its errors are above); nothing was started." >&2
  exit 1
fi
app="$build/app/quillora"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found; starting under Xvfb." >&2
  exec xvfb-run -a "$app" "$@"
fi
exec "$app" "$@"
