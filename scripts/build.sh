#!/usr/bin/env bash
# Configures ./build (or $QUILLORA_BUILD_DIR) and builds the given targets (default: all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLORA_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja ${QUILLORA_CMAKE_ARGS:-}
if (($#)); then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
