#!/usr/bin/env bash
# Records real programs for the recording tests: each runs under `script` in a tmux pane of
# 80x24 with a fixed environment (TERM=xterm-256color, C.UTF-8, UTC, an empty home, fixture
# files), driven by keys sent to the pane. The output is scrubbed of what depends on the machine
# (the script header, and for top every digit of its text), saved as NAME.typescript, and
# replayed into a fresh tmux pane of the same size; that pane's `tmux capture-pane -p -e` and
# cursor become NAME.screen. The tests then need neither tmux nor the programs.
#
# Needs: tmux, script (bsdutils), bash, ls, top (procps), less, vim, git, unshare, python3.
# Usage: record.sh [NAME...]   (default: every recording)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
socket=quillora-record-$$
cols=80
rows=24
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

printf 'set -g status off\nset -g escape-time 0\nset -g history-limit 0\n' >"$work/tmux.conf"
tm() { tmux -L "$socket" -f "$work/tmux.conf" "$@"; }

mkdir -p "$work/home" "$work/files"
environment="env -i TERM=xterm-256color COLORTERM= HOME=$work/home LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC \
PATH=/usr/bin:/bin USER=user LOGNAME=user SHELL=/bin/bash INPUTRC=/dev/null LESSHISTFILE=- \
GIT_CONFIG_NOSYSTEM=1 EDITOR=true"

make_fixtures() {
    cd "$work/files"
    mkdir -p docs src/lib 'with space'
    printf '#!/bin/sh\necho hi\n' >build.sh && chmod +x build.sh
    ln -s src link && ln -s nowhere broken
    : >notes.txt >archive.tar.gz >image.png >'ünïcödé.txt' >'中文.md' >README
    mkfifo pipe
    python3 - <<'EOF'
lines = []
for i in range(1, 121):
    word = "pattern" if i % 17 == 0 else "line"
    lines.append(f"{i:3}\t{word} {i}: " + "the quick brown fox jumps over the lazy dog " * (1 + i % 3) + ("中文 café ✓" if i % 5 == 0 else ""))
open("text.txt", "w").write("\n".join(lines) + "\n")
open("example.c", "w").write("""#include <stdio.h>

/* Prints a greeting a few times. */
static int repeat(const char *what, int times)
{
    for (int i = 0; i < times; ++i)
        printf("%s %d\\n", what, i);
    return times;
}

int main(void)
{
    const char *message = "héllo, wörld";
    int count = repeat(message, 3);
    if (count != 3)
        return 1;
    return 0;
}
""")
EOF
    printf 'PS1="$ "\n' >"$work/home/bashrc"
    mkdir -p "$work/repo" && cd "$work/repo"
    export GIT_AUTHOR_NAME=Dev GIT_AUTHOR_EMAIL=dev@example.com GIT_COMMITTER_NAME=Dev GIT_COMMITTER_EMAIL=dev@example.com
    export HOME=$work/home GIT_CONFIG_NOSYSTEM=1
    local n=0
    commit() { n=$((n + 1)); export GIT_AUTHOR_DATE="2024-01-0${n}T10:00:00Z" GIT_COMMITTER_DATE="2024-01-0${n}T10:00:00Z"; echo "$2" >>"$1"; git add "$1"; git commit -qm "$2"; }
    git -c init.defaultBranch=main init -q .
    commit README "Start the project"
    commit parser "Add the parser"
    git checkout -qb feature
    commit feature "Feature: first step"
    commit feature "Feature: second step"
    git checkout -q main
    commit parser "Fix a typo in the parser"
    export GIT_AUTHOR_DATE="2024-01-09T10:00:00Z" GIT_COMMITTER_DATE="2024-01-09T10:00:00Z"
    git merge -q --no-ff -m "Merge the feature" feature
    git tag v1.0
    cd "$work"
}

# record NAME DIR COMMAND [STEP...]: a step is "keys ARGS..." (tmux send-keys) or "wait SECONDS".
record() {
    local name=$1 dir=$2 command=$3
    shift 3
    echo "recording $name"
    tm new-session -d -s rec -x "$cols" -y "$rows" -c "$dir" \
        "$environment script -q -f --log-out $work/$name.raw -c \"$command\""
    sleep 1
    for step in "$@"; do
        if [[ $step == wait\ * ]]; then
            sleep "${step#wait }"
        else
            eval "tm send-keys -t rec ${step#keys }"
            sleep 0.4
        fi
    done
    # Programs still running (less, vim) are recorded as they show their screen.
    sleep 1
    tm kill-session -t rec 2>/dev/null || true
    scrub "$name" <"$work/$name.raw" >"$here/$name.typescript"
    capture "$name"
}

# Drops the script header and trailer; for top, every digit of the text (not of the sequences).
scrub() {
    python3 -c "$(cat <<'EOF'
import re, sys
name = sys.argv[1]
data = sys.stdin.buffer.read()
data = data[data.index(b"\n") + 1:]
end = data.rfind(b"\nScript done on ")
if end >= 0:
    data = data[:end]
if name == "top":
    sequence = re.compile(rb"\x1b(\[[0-?]*[ -/]*[@-~]|\][^\x07\x1b]*(\x07|\x1b\\)|[ -/]*[0-~])")
    out, at = [], 0
    for m in sequence.finditer(data):
        out.append(re.sub(rb"[0-9]", b"0", data[at:m.start()]))
        out.append(m.group(0))
        at = m.end()
    out.append(re.sub(rb"[0-9]", b"0", data[at:]))
    data = b"".join(out)
sys.stdout.buffer.write(data)
EOF
)" "$1"
}

# The screen tmux shows for the recording: "size", "cursor", then capture-pane -p -e.
capture() {
    local name=$1
    # No echo: the replies tmux gives to the recording's queries must not show on the screen.
    tm new-session -d -s play -x "$cols" -y "$rows" "stty -echo; cat '$here/$name.typescript'; exec sleep 3600"
    sleep 1.5
    {
        echo "size ${cols}x$rows"
        echo "cursor $(tm display -p -t play '#{cursor_y} #{cursor_x}')"
        tm capture-pane -p -e -t play
    } >"$here/$name.screen"
    tm kill-session -t play
}

make_fixtures
want=("$@")
wanted() { ((${#want[@]} == 0)) || [[ " ${want[*]} " == *" $1 "* ]]; }

wanted ls && record ls "$work/files" "ls --color=always -F; ls --color=always -la --time-style=+2024 --no-group -n"
wanted top && record top "$work" "unshare --pid --fork --mount-proc top -d 0.4 -n 3" "wait 2"
wanted less && record less "$work/files" "less text.txt" "keys Space" "keys / pattern Enter" "keys n" "keys n" \
    "keys G" "keys -l 20g"
wanted vim && record vim "$work/files" "vim -u NONE -N -i NONE -n -c 'syntax on' -c 'set number ruler' example.c" \
    "keys 5j" "keys dd" "keys -l 'O    /* 中文 and café */'" "keys Escape" "keys -l 3k" "keys -l ':s/int/long/'" "keys Enter"
wanted git && record git "$work/repo" "git --no-pager log --graph --color --all --decorate"
wanted readline && record readline "$work" "bash --noprofile --rcfile $work/home/bashrc -i" \
    "keys -l 'echo 😀 cafe$(printf '\u0301') 中文 and a line long enough to wrap past the right margin of the pane'" \
    "keys Left Left Left Left Left" "keys -l XY" "keys C-a" "keys Right Right Right Right Right Right" "keys C-d C-d" \
    "keys C-e" "keys BSpace BSpace BSpace" "keys M-b M-b" "keys -l '好'" "keys Enter" "keys -l 'exit'" "keys Enter"
echo "done: $(cd "$here" && ls *.typescript | tr '\n' ' ')"
