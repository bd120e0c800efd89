#!/usr/bin/env bash
# Lists the tests that the last ctest run in the build folder skipped, each with its reason.
# Usage: skipped-tests.sh [BUILD-DIR]   (default: $QUILLORA_BUILD_DIR, else build/)
set -euo pipefail
if [[ "${1:-}" == "--help" || "${1:-}" == "-h" ]]; then
  echo "Usage: $(basename "$0") [BUILD-DIR]"
  echo "Lists the tests the last ctest run in BUILD-DIR skipped, each with the reason it gave."
  exit 0
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${QUILLORA_BUILD_DIR:-$root/build}}
log="$build/Testing/Temporary/LastTest.log"
if [[ ! -f "$log" ]]; then
  echo "$(basename "$0"): no test run found in $build (no $log)" >&2
  exit 1
fi
# ctest's log holds each test's output between "Output:" and "<end of output>"; GoogleTest writes
# a skip as "FILE:LINE: Skipped", the reason, then "[  SKIPPED ] NAME".
awk -v root="$root/" '
  function finish() {
    if (skipped)
      lines[++count] = "  " name ": " (reason == "" ? "(no reason given)" : reason) (where == "" ? "" : " (" where ")")
  }
  /^[0-9]+\/[0-9]+ Testing: / { name = substr($0, index($0, "Testing: ") + 9); reason = ""; where = ""; state = 0; skipped = 0; next }
  state == 1 && /^\[  SKIPPED \]/ { state = 2; next }
  state == 1 { if ($0 != "") reason = reason (reason == "" ? "" : " ") $0; next }
  state == 0 && /:[0-9]+: Skipped$/ {
    where = substr($0, 1, length($0) - 9)
    if (index(where, root) == 1) where = substr(where, length(root) + 1)
    state = 1; next
  }
  /^Skip regular expression found in output/ { skipped = 1; finish(); skipped = 0; next }
  END {
    if (count == 0) { print "No test was skipped."; exit }
    print count " test" (count == 1 ? " was" : "s were") " skipped:"
    for (i = 1; i <= count; ++i) print lines[i] | "LC_ALL=C sort"
  }
' "$log"
