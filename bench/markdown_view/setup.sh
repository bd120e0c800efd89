#!/usr/bin/env bash
# Makes the table-heavy API reference the view benchmark opens, at OUT.md (default
# /tmp/api-reference.md, where the benchmark looks), from the HTML reference of Node.js: Debian's
# nodejs-doc has it, and so do Node.js packages that ship their documentation. The changelog it
# opens is Rust's releases.md where rustup installed one, else Node.js' CHANGELOG_V12.md beside it.
# Usage: setup.sh [OUT.md]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-/tmp/api-reference.md}
reference=/usr/share/doc/nodejs/api/all.html
[[ -f "$reference" ]] || "$here/../../scripts/apt-install.sh" nodejs-doc
python3 "$here/assemble-api-reference.py" "$reference" "$out"
