#!/usr/bin/env bash
# Installs the benchmark's peer, jq, when missing.
set -euo pipefail
command -v jq >/dev/null && exit 0
"$(dirname "$0")/../../scripts/apt-install.sh" jq
