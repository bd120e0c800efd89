#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
QUILLORA_CMAKE_ARGS="-DQUILLORA_BUILD_TESTS=ON -DQUILLORA_BUILD_BENCH=ON ${QUILLORA_CMAKE_ARGS:-}" "$root/scripts/build.sh"
build=${QUILLORA_BUILD_DIR:-$root/build}
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)"
