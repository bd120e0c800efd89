#!/usr/bin/env bash
# Runs one turn of each real chat tool through chat-probe, under a temporary HOME, with both
# tools installed from npm into a temporary prefix. Without a network beyond the package
# registry, claude answers that it is not logged in and ends its turn; codex keeps reconnecting
# until chat-probe interrupts it at the time-out. Skips (exit 0 with a message) when the npm
# registry cannot be reached. Usage: real-tools.sh [BUILD-DIR]
set -uo pipefail
case "${1:-}" in
  -h|--help)
    echo "Usage: real-tools.sh [BUILD-DIR]   (default: the repository's build/)"
    echo "Installs claude and codex from npm into a temporary prefix and checks one turn of each through chat-probe."
    exit 0 ;;
  -*) echo "real-tools: unknown option $1 (see --help)" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
probe=$build/tools/chat-probe/chat-probe
[[ -x $probe ]] || { echo "real-tools: build chat-probe first ($probe)" >&2; exit 1; }
command -v npm >/dev/null || { echo "real-tools: skipped: npm is not installed"; exit 0; }
if ! timeout 60 npm view @openai/codex version >/dev/null 2>&1; then
  echo "real-tools: skipped: the npm registry cannot be reached"
  exit 0
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo "real-tools: installing both tools into $scratch/prefix"
timeout 600 npm install --silent --no-fund --no-audit -g --prefix "$scratch/prefix" \
  @anthropic-ai/claude-code @openai/codex >"$scratch/npm.log" 2>&1 \
  || { echo "real-tools: npm install failed"; tail -5 "$scratch/npm.log"; exit 1; }
mkdir -p "$scratch/home" "$scratch/project"
export HOME=$scratch/home PATH=$scratch/prefix/bin:$PATH
failures=0
passes=0
check() { # description, command...
  local what=$1; shift
  if "$@"; then echo "  ok: $what"; passes=$((passes + 1)); else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}

echo "real-tools: claude"
"$probe" --provider claude --cwd "$scratch/project" --timeout 60 "Say hi" >"$scratch/claude.out" 2>"$scratch/claude.err"
cat "$scratch/claude.out" "$scratch/claude.err" | cut -c1-160
check "claude names its session" grep -q '"kind":"threadStarted"' "$scratch/claude.out"
check "claude answers that it is not logged in" grep -q 'Not logged in' "$scratch/claude.out"
check "claude ends its turn by itself" grep -q '"kind":"turnCompleted"' "$scratch/claude.out"
check "claude was not interrupted" bash -c "! grep -q 'timed out' '$scratch/claude.err'"
check "claude leaves no process" grep -q 'is empty' "$scratch/claude.err"

echo "real-tools: codex"
"$probe" --provider codex --cwd "$scratch/project" --timeout 15 "Say hi" >"$scratch/codex.out" 2>"$scratch/codex.err"
cut -c1-160 "$scratch/codex.out" "$scratch/codex.err" | head -12
session=$(sed -n 's/.*"kind":"threadStarted","sessionID":"\([^"]*\)".*/\1/p' "$scratch/codex.out" | head -1)
check "codex names its session" test -n "$session"
check "codex reports reconnecting" grep -q 'Reconnecting' "$scratch/codex.out"
check "codex is interrupted at the time-out" grep -q 'timed out after 15 s' "$scratch/codex.err"
check "codex's turn ends after the interrupt" grep -q '^exit ' "$scratch/codex.out"
check "codex leaves its group empty" grep -q 'is empty' "$scratch/codex.err"

echo "real-tools: a next codex turn resumes the session"
"$probe" --provider codex --cwd "$scratch/project" --resume "$session" --timeout 5 "Again" >"$scratch/codex2.out" 2>"$scratch/codex2.err"
check "the next turn launches" grep -q '^chat-probe: running ' "$scratch/codex2.err"
check "and ends after its interrupt" grep -q '^exit ' "$scratch/codex2.out"
check "and leaves no process" grep -q 'is empty' "$scratch/codex2.err"

echo "real-tools: $passes passed, $failures failed"
((failures == 0))
