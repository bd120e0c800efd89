#!/usr/bin/env bash
# Installs the Debian packages that are missing, and never removes one (scripts/apt-install.sh).
# Usage: setup.sh          what building everything and running the tests needs
#        setup.sh --gui    what building and running the application needs (Xvfb without a display)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Building the application, and what it needs at run time: Qt's platform and image plugins, a font.
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
  libcmark-gfm-dev libcmark-gfm-extensions-dev
  nlohmann-json3-dev libssl-dev libfontconfig-dev libicu-dev
  fonts-dejavu-core
)
case "${1:-}" in
  --gui)
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
      packages+=(xvfb xauth)
    fi
    ;;
  "")
    packages+=(
      libgtest-dev libgmock-dev libbenchmark-dev
      cmark-gfm              # the GFM reference text and the bare parser the tests hold the model against
      fonts-noto-color-emoji # the colour emoji font the emoji tests draw with
    )
    ;;
  *)
    echo "Usage: $(basename "$0") [--gui]" >&2
    exit 2
    ;;
esac
"$root/scripts/apt-install.sh" "${packages[@]}"
