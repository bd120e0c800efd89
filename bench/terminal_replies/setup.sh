#!/usr/bin/env bash
# Installs what the replies benchmark runs: img2sixel (and sixel2png) from Debian's libsixel-bin,
# which makes the picture's stream, and libvterm (libvterm-dev), the peer answering requests.
# Reconfigure the build afterwards so that the benchmark finds libvterm.
set -euo pipefail
missing=()
for package in libsixel-bin libvterm-dev; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
((${#missing[@]} == 0)) || apt-get install -y --no-install-recommends "${missing[@]}"
