#!/usr/bin/env bash
# Installs what the replies benchmark runs: img2sixel (and sixel2png) from Debian's libsixel-bin,
# which makes the picture's stream, and libvterm (libvterm-dev), the peer answering requests.
# Reconfigure the build afterwards so that the benchmark finds libvterm.
set -euo pipefail
"$(dirname "$0")/../../scripts/apt-install.sh" libsixel-bin libvterm-dev
