#!/usr/bin/env bash
# Configures ./build (or $QUILLORA_BUILD_DIR) and builds the given targets (default: all).
# With QUILLORA_QUIET_CONFIGURE=1 CMake's configure output is shown only when it fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLORA_BUILD_DIR:-$root/build}
configure=(cmake -S "$root" -B "$build" -G Ninja ${QUILLORA_CMAKE_ARGS:-})
if [[ ${QUILLORA_QUIET_CONFIGURE:-} == 1 ]]; then
  if ! log=$("${configure[@]}" 2>&1); then
    printf '%s\n' "$log" >&2
    exit 1
  fi
else
  "${configure[@]}"
fi
if (($#)); then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
