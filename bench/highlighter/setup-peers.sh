#!/usr/bin/env bash
# Installs the benchmark's peers, highlight.js and Prism, from npm into OUTPUT-DIR.
# Usage: setup-peers.sh OUTPUT-DIR
set -euo pipefail
out=$1
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "node and npm are missing: installing Debian's (needs root)"
  apt-get install -y --no-install-recommends nodejs npm
fi
mkdir -p "$out"
cd "$out"
[[ -f package.json ]] || echo '{"name": "highlighter-bench-peers", "private": true}' > package.json
npm install --no-audit --no-fund --silent highlight.js@11 prismjs@1
echo "highlight.js $(node -p 'require("./node_modules/highlight.js/package.json").version')," \
  "Prism $(node -p 'require("./node_modules/prismjs/package.json").version') in $out"
