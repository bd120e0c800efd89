#!/usr/bin/env bash
# Fetches the ordinary Markdown documents the parser's tests are held against: every .md file of
# one pinned npm package (its manual, with long reference pages, and the changelogs and READMEs of
# the packages it bundles), under OUTPUT-DIR/documents. One version, so that a new release cannot
# change what a run checks. Needs npm.
# Usage: fetch-documents.sh OUTPUT-DIR   (package: $QUILLORA_DOCUMENTS_PACKAGE, default npm@10.9.2)
set -euo pipefail
if [[ $# -ne 1 || "$1" == -* ]]; then
  echo "Usage: $(basename "$0") OUTPUT-DIR" >&2
  exit 2
fi
out=$1
package=${QUILLORA_DOCUMENTS_PACKAGE:-npm@10.9.2}
command -v npm >/dev/null || { echo "$(basename "$0"): npm is missing" >&2; exit 1; }
mkdir -p "$out"
cd "$out"
tarball=$(npm pack "$package" --silent | tail -n 1)
rm -rf package documents
tar -xzf "$tarball" --wildcards 'package/*.md'
mv package documents
echo "$(find documents -name '*.md' -type f | wc -l) Markdown documents from $tarball in $out/documents"
