#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $QUILLORA_BUILD_DIR) and runs
# each on its seeds: once over them, or fuzzing for N seconds into a corpus of its own in the
# build folder (the seed folders are only read).
# Usage: fuzz.sh [--build-only | --seeds-only | --seconds N] [FUZZER...]   (default: --seeds-only, all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
me=$(basename "$0")

# Each fuzzer: its folder in the build, and its seed folders.
declare -A folder=(
  [markdown_roundtrip_fuzzer]=markdown/core [inline_rendering_fuzzer]=markdown/view
  [highlighter_fuzzer]=highlighter [userdefaults_fuzzer]=platform [chat_stream_fuzzer]=app/chat
  [terminal_buffer_fuzzer]=terminal/engine [terminal_fuzzer]=terminal/engine
  [terminal_split_fuzzer]=terminal/engine
)
declare -A seeds=(
  [markdown_roundtrip_fuzzer]=markdown/core/fuzz/seeds [inline_rendering_fuzzer]=markdown/view/fuzz/seeds
  [highlighter_fuzzer]="highlighter/fuzz/seeds highlighter/tests/fixtures"
  [userdefaults_fuzzer]=platform/fuzz/seeds [chat_stream_fuzzer]=app/chat/fuzz/seeds
  [terminal_buffer_fuzzer]=terminal/engine/fuzz/seeds [terminal_fuzzer]=terminal/engine/fuzz/terminal-seeds
  [terminal_split_fuzzer]=terminal/engine/fuzz/terminal-seeds
)
all=(markdown_roundtrip_fuzzer highlighter_fuzzer userdefaults_fuzzer inline_rendering_fuzzer
  terminal_buffer_fuzzer terminal_fuzzer terminal_split_fuzzer chat_stream_fuzzer)

mode=seeds seconds=0
case "${1:-}" in
  -h|--help)
    echo "Usage: $me [--build-only | --seeds-only | --seconds N] [FUZZER...]"
    echo "Builds the fuzzers with clang into build-fuzz/ (or \$QUILLORA_BUILD_DIR), then runs each once over"
    echo "its seeds (--seeds-only, the default) or fuzzes it for N seconds from them; exits non-zero when"
    echo "one finds a crash, a leak or a timeout. Fuzzers: ${all[*]}"
    exit 0 ;;
  --build-only) mode=build; shift ;;
  --seeds-only) shift ;;
  --seconds)
    [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "$me: --seconds needs a whole number of seconds" >&2; exit 2; }
    mode=fuzz seconds=$2; shift 2 ;;
  -*) echo "$me: unknown option $1 (see --help)" >&2; exit 2 ;;
esac
fuzzers=("$@")
((${#fuzzers[@]})) || fuzzers=("${all[@]}")
for f in "${fuzzers[@]}"; do
  [[ -n "${folder[$f]:-}" ]] || { echo "$me: no fuzzer named $f (one of: ${all[*]})" >&2; exit 2; }
done

# clang and its sanitizer and libFuzzer runtime, when missing.
"$root/scripts/apt-install.sh" clang libclang-rt-14-dev
build=${QUILLORA_BUILD_DIR:-$root/build-fuzz}
QUILLORA_BUILD_DIR=$build \
  QUILLORA_CMAKE_ARGS="-DCMAKE_CXX_COMPILER=clang++ -DQUILLORA_FUZZ=ON -DQUILLORA_BUILD_TESTS=OFF -DQUILLORA_BUILD_BENCH=OFF ${QUILLORA_CMAKE_ARGS:-}" \
  "$root/scripts/build.sh" "${fuzzers[@]}"
[[ "$mode" != build ]] || exit 0

status=0
for f in "${fuzzers[@]}"; do
  dirs=()
  for s in ${seeds[$f]}; do dirs+=("$root/$s"); done
  args=(-timeout=10 -rss_limit_mb=2048)
  if [[ "$mode" == fuzz ]]; then
    corpus="$build/corpus/$f"
    mkdir -p "$corpus"
    dirs=("$corpus" "${dirs[@]}")
    args+=(-max_total_time="$seconds" -print_final_stats=1)
  else
    args+=(-runs=0)
  fi
  log="$build/$f.log"
  if (cd "$build" && "$build/${folder[$f]}/$f" "${args[@]}" "${dirs[@]}") >"$log" 2>&1; then
    # libFuzzer's last line: "Done N runs in S second(s)", and its stats: "stat::number_of_executed_units".
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    echo "$f: exit 0, $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" || echo "${runs:-?} runs")${rate:+, $rate exec/s}"
  else
    echo "$f: failed (exit $?), see $log:" >&2
    tail -n 30 "$log" >&2
    status=1
  fi
done
exit "$status"
