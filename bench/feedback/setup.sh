#!/usr/bin/env bash
# Installs the benchmark's peer, jq, when missing.
set -euo pipefail
if ! command -v jq >/dev/null; then
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends jq
fi
