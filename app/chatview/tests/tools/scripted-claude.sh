#!/bin/sh
# A stand-in for claude that plays one scripted turn in its stream format: the session, thinking,
# a file read with its result, a Markdown answer (heading, list, code, table, a remote image),
# then the turn's end. $SCRIPTED_PAUSE (seconds, default 0.3) paces the lines.
pause=${SCRIPTED_PAUSE:-0.3}
prompt=$(cat)
session=$(printf '%s' "$*" | sed -n 's/.*--resume \([^ ]*\).*/\1/p')
[ -n "$session" ] || session=5f0c1c4e-demo
emit() { printf '%s\n' "$1"; sleep "$pause"; }
emit '{"type":"system","subtype":"init","session_id":"'"$session"'"}'
emit '{"type":"assistant","message":{"content":[{"type":"thinking","thinking":"The user asks about the project. I should look at **README.md** first."}]}}'
emit '{"type":"assistant","message":{"content":[{"type":"tool_use","id":"toolu_1","name":"Read","input":{"file_path":"'"$PWD"'/README.md"}}]}}'
emit '{"type":"user","message":{"content":[{"type":"tool_result","tool_use_id":"toolu_1","content":"# Demo project\n\nA small library with a command-line tool.\n"}]}}'
emit '{"type":"assistant","message":{"content":[{"type":"tool_use","id":"toolu_2","name":"Bash","input":{"command":"ls -la src"}}]}}'
emit '{"type":"user","message":{"content":[{"type":"tool_result","tool_use_id":"toolu_2","content":"total 8\n-rw-r--r-- 1 dev dev 120 main.cpp\n-rw-r--r-- 1 dev dev 300 parser.cpp\n"}]}}'
answer='## What I found\n\nThe project is a **small library** with a `main.cpp` entry and a parser:\n\n1. `src/main.cpp` reads the arguments\n2. `src/parser.cpp` does the work\n\n```cpp\nint main(int argc, char** argv) {\n    return run(argc, argv);\n}\n```\n\n| File | Lines |\n|---|---|\n| main.cpp | 12 |\n| parser.cpp | 30 |\n\n![build status](http://127.0.0.1:9/badge.svg) and a [link](https://example.com).\n\nYou asked: '"$(printf '%s' "$prompt" | tr -d '"\\' | head -c 200)"
emit '{"type":"assistant","message":{"content":[{"type":"text","text":"'"$answer"'"}]}}'
printf '%s\n' '{"type":"result","subtype":"success"}'
