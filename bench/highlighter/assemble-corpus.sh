#!/usr/bin/env bash
# Assembles the benchmark corpus: the MIT-licensed Swift sources shipped inside an npm
# package, one file per source under files/ and all of them concatenated in corpus.swift.
# Usage: assemble-corpus.sh OUTPUT-DIR   (package: $QUILLORA_CORPUS_PACKAGE, default expo-modules-core)
set -euo pipefail
out=$1
package=${QUILLORA_CORPUS_PACKAGE:-expo-modules-core}
mkdir -p "$out"
cd "$out"
tarball=$(npm pack "$package" --silent | tail -n 1)
license=$(tar -xzf "$tarball" package/package.json -O \
  | node -e 'let s = ""; process.stdin.on("data", d => s += d).on("end", () => console.log(JSON.parse(s).license || ""))')
if [[ "$license" != "MIT" ]]; then
  echo "$package is licensed '$license', not MIT: not used" >&2
  exit 1
fi
rm -rf package files
mkdir files
tar -xzf "$tarball" --wildcards 'package/*.swift'
find package -name '*.swift' -type f | LC_ALL=C sort | while read -r f; do
  rel=${f#package/}
  cp "$f" "files/${rel//\//_}"
done
cat files/*.swift > corpus.swift
rm -rf package
echo "$(ls files | wc -l) Swift files from $tarball ($license), $(wc -c < corpus.swift) bytes in $out/corpus.swift"
