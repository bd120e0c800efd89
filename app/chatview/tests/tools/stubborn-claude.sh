#!/bin/sh
# A stand-in for claude that ignores the signals named in $STUBBORN_IGNORES (default: the
# interrupt): it names its session, then answers a line every tenth of a second until a signal
# it does not ignore ends it.
cat > /dev/null
trap '' ${STUBBORN_IGNORES:-INT}
printf '%s\n' '{"type":"system","subtype":"init","session_id":"7d41-stubborn"}'
n=1
while :; do
  printf '{"type":"assistant","message":{"content":[{"type":"text","text":"Line %s"}]}}\n' "$n"
  n=$((n + 1))
  sleep 0.1
done
