#!/bin/sh
# A stand-in for codex that never finishes its turn: it names its thread, starts a command and
# then keeps reporting that it reconnects, on standard output and standard error, until it is
# interrupted (it takes a second to wind down, then exits 1 as codex does) or terminated. With
# $SCRIPTED_GIVE_UP=N it gives up by itself after N attempts and exits 1. $SCRIPTED_PID_FILE, when
# set, receives its process id.
cat > /dev/null
[ -n "$SCRIPTED_PID_FILE" ] && echo $$ > "$SCRIPTED_PID_FILE"
trap 'sleep 1; exit 1' INT
printf '%s\n' '{"type":"thread.started","thread_id":"0199a7c2-demo-thread"}'
printf '%s\n' '{"type":"item.completed","item":{"id":"r1","type":"reasoning","text":"Looking at the build files first."}}'
printf '%s\n' '{"type":"item.started","item":{"id":"c1","type":"command_execution","command":"cmake --build build","status":"in_progress"}}'
n=1
while :; do
  printf '{"type":"error","message":"Reconnecting... %s/5 (stream disconnected before completion)"}\n' "$n"
  printf '2025-01-01T00:00:0%sZ ERROR codex_core::client: stream error, retrying in %s00ms\n' "$((n % 10))" "$n" >&2
  [ -n "$SCRIPTED_GIVE_UP" ] && [ "$n" -ge "$SCRIPTED_GIVE_UP" ] && exit 1
  n=$((n + 1))
  sleep 0.5
done
