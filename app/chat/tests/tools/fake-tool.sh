#!/bin/sh
# A stand-in for a chat tool. Records how it was started in $FAKE_TOOL_RECORD (argv, working
# folder, PATH, process group and, unless the scenario reads it itself, standard input), then
# plays the scenario named by $FAKE_TOOL_SCENARIO.
record=${FAKE_TOOL_RECORD:?}
mkdir -p "$record"
: > "$record/argv"
for arg in "$@"; do printf '%s\n' "$arg" >> "$record/argv"; done
pwd > "$record/cwd"
printf '%s\n' "$PATH" > "$record/path"
ps -o pgid= -p $$ | tr -d ' ' > "$record/pgid"

case "$FAKE_TOOL_SCENARIO" in
read-10-bytes) head -c 10 > "$record/stdin"; exit 0 ;;
*) cat > "$record/stdin" ;;
esac

case "$FAKE_TOOL_SCENARIO" in
turn)
  printf '{"type":"system","subtype":"init","session_id":"s-1"}\n'
  sleep 0.05
  printf 'warming up\n' >&2
  sleep 0.05
  printf '{"type":"assistant","message":{"content":[{"type":"text","text":"Hello"}]}}\r\n\n'
  printf '{"type":"result","errors":[]}\n'
  ;;
split-utf8)
  printf '{"type":"assistant","message":{"content":[{"type":"text","text":"caf\303'
  sleep 0.2
  printf '\251"}]}}\n'
  printf 'x\377y\n'
  printf 'err\342\202' >&2
  sleep 0.2
  printf '\254\n' >&2
  ;;
exit-3) printf 'partial answer' ; exit 3 ;;
json-rest) printf '{"type":"result","errors":["late"]}' ;;
broken-rest) printf '{"type":"assistant","message":' ;;
killed) kill -KILL $$ ;;
grandchild)
  sleep 300 &
  echo $! > "$record/grandchild"
  printf '{"type":"system","subtype":"init","session_id":"g"}\n'
  [ "$FAKE_TOOL_EXIT" = now ] && exit 0
  sleep 300
  ;;
ignore-interrupt|ignore-signals)
  # Signals it goes on after are noted in $record/signals.
  trap 'echo INT >> "$record/signals"' INT
  [ "$FAKE_TOOL_SCENARIO" = ignore-signals ] && trap 'echo TERM >> "$record/signals"' TERM
  printf '{"type":"system","subtype":"init","session_id":"t"}\n'
  while :; do sleep 0.05; done
  ;;
interruptible)
  trap 'printf "{\"type\":\"result\"}\n"; exit 130' INT
  printf '{"type":"system","subtype":"init","session_id":"i"}\n'
  while :; do sleep 0.05; done
  ;;
list-fds) exec ls -l /proc/self/fd ;;
chatty)
  head -c 5000 /dev/zero | tr '\0' 'l'; printf '\n'
  yes '{"type":"x"}' | head -n 500000
  ;;
no-line-feed) head -c 67108864 /dev/zero | tr '\0' 'a'; printf '\n{"type":"result"}\n' ;;
deep-json)
  printf '{"type":"assistant","x":'
  head -c 100000 /dev/zero | tr '\0' '['
  head -c 100000 /dev/zero | tr '\0' ']'
  printf '}\n{"type":"result"}\n'
  ;;
esac
