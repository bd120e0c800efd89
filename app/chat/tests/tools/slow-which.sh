#!/bin/sh
# A `which` that never answers in time.
echo $$ > "${FAKE_TOOL_RECORD:?}/which-pid"
sleep 10
echo /bin/true
