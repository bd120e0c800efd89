#!/usr/bin/env bash
# Installs the benchmark's peers, highlight.js and Prism, from npm into OUTPUT-DIR.
# Usage: setup-peers.sh OUTPUT-DIR
set -euo pipefail
out=$1
# The node and npm on the PATH, whatever installed them; Debian's only when there are none.
missing=()
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
((${#missing[@]} == 0)) || "$(dirname "$0")/../../scripts/apt-install.sh" "${missing[@]}"
mkdir -p "$out"
cd "$out"
[[ -f package.json ]] || echo '{"name": "highlighter-bench-peers", "private": true}' > package.json
npm install --no-audit --no-fund --silent highlight.js@11 prismjs@1
echo "highlight.js $(node -p 'require("./node_modules/highlight.js/package.json").version')," \
  "Prism $(node -p 'require("./node_modules/prismjs/package.json").version') in $out"
