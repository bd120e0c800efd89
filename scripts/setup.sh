#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the application need, when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
  libcmark-gfm-dev libcmark-gfm-extensions-dev cmark-gfm
  nlohmann-json3-dev libssl-dev libfontconfig-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  fonts-noto-color-emoji # one glyph for an emoji sequence over several terminal cells (the view's tests)
  nodejs-doc # ordinary Markdown documents the parser's guards are held against
)
if [[ "${1:-}" == "--gui" ]]; then
  packages+=(xvfb xauth)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
