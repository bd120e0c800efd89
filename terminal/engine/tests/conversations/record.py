#!/usr/bin/env python3
"""Records real programs asking this engine questions, for the conversation tests.

Each program runs under `script -B NAME.io -T NAME.timing` (input and output in one log, with
the timing of each chunk), on a pseudo-terminal of 80 x 24 whose other end is this engine:
terminal_conversation_host feeds the program's output into a Terminal and its replies are
written back to the program as they come, so the program reacts to this engine's answers.
Keys are typed once the program has been quiet for a moment; the engine's screen just before
each key, and at the end, is saved as NAME.screens. The tests then replay the log through the
engine and need neither the programs nor this script.

Needs: script (bsdutils), vttest, vim, and the built terminal_conversation_host.
Usage: record.py HOST_BINARY [NAME...]   (default: every conversation)
"""

import os
import pty
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import fcntl
import time

COLS, ROWS = 80, 24
HERE = os.path.dirname(os.path.abspath(__file__))

# name: (command, keys). A key is typed after the program has been quiet for QUIET seconds.
CONVERSATIONS = {
    # vttest's menu 6, each test with the keys it waits for: Return to end the answerback
    # test, Return as a terminal sends it in newline mode (CR LF) and out of it (CR), Return
    # where a test waits for an answer this terminal does not give, and Return at each
    # "Push <RETURN>".
    "vttest-reports": (
        "vttest 24x80.80",
        ["6\r", "1\r", "\r", "\r", "2\r", "\r\n", "\r", "\r", "3\r", "\r", "4\r", "\r", "5\r", "\r",
         "6\r", "\r", "\r", "7\r", "\r", "\r", "\r", "0\r", "0\r"],
    ),
    # vim asks for the terminal's version, colours, cursor style and blinking and the width of
    # ambiguous characters; it shows what it made of the answers.
    "vim-responses": (
        "vim -u NONE -N -i NONE -n",
        [":echo v:termresponse v:termu7resp v:termrbgresp v:termrfgresp v:termstyleresp v:termblinkresp\r",
         ":set background?\r", ":qa!\r"],
    ),
}
QUIET = 0.8
ENV = {
    "TERM": "xterm-256color", "HOME": "/nonexistent", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
    "PATH": "/usr/bin:/bin", "TZ": "UTC", "SHELL": "/bin/sh",
}


def message(kind, data):
    return kind + struct.pack("<I", len(data)) + data


class Host:
    def __init__(self, binary):
        self.process = subprocess.Popen([binary, str(COLS), str(ROWS)], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, bufsize=0)

    def read_message(self):
        header = self._read(5)
        return header[:1], self._read(struct.unpack("<I", header[1:])[0])

    def _read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.process.stdout.read(n - len(data))
            if not chunk:
                raise RuntimeError("the host ended")
            data += chunk
        return data


def record(name, binary, command, keys):
    print("recording", name)
    work = tempfile.mkdtemp()
    io_log, timing = os.path.join(work, "io"), os.path.join(work, "timing")
    pid, fd = pty.fork()
    if pid == 0:
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLS, 0, 0))
        os.chdir(work)
        os.execvpe("script", ["script", "-q", "-f", "-B", io_log, "-T", timing, "-c", command], ENV)
    host = Host(binary)
    screens = []
    alive = True

    def pump(quiet):
        nonlocal alive
        last = time.monotonic()
        while alive and time.monotonic() - last < quiet:
            ready, _, _ = select.select([fd, host.process.stdout], [], [], 0.05)
            if fd in ready:
                try:
                    data = os.read(fd, 65536)
                except OSError:
                    data = b""
                if not data:
                    alive = False
                    break
                host.process.stdin.write(message(b"O", data))
                last = time.monotonic()
            if host.process.stdout in ready:
                kind, data = host.read_message()
                if kind == b"R":
                    os.write(fd, data)
                    last = time.monotonic()

    def screen(label):
        host.process.stdin.write(message(b"S", b""))
        while True:
            kind, data = host.read_message()
            if kind == b"S":
                screens.append("=== " + label + "\n" + data.decode())
                return
            os.write(fd, data)

    pump(QUIET * 2)
    for key in keys:
        screen("before " + repr(key))
        os.write(fd, key.encode())
        pump(QUIET)
    pump(QUIET * 2)
    screen("end")
    try:
        os.kill(pid, 9)
    except ProcessLookupError:
        pass
    os.waitpid(pid, 0)
    host.process.stdin.close()
    host.process.wait()

    # The log without script's header and trailer; the timing without its header lines and with
    # the delays zeroed, so that a new recording differs only where the conversation does.
    data = open(io_log, "rb").read()
    data = data[data.index(b"\n") + 1:]
    entries = [line.split() for line in open(timing) if line[:1] in ("I", "O")]
    total = sum(int(count) for _, _, count in entries)
    with open(os.path.join(HERE, name + ".io"), "wb") as out:
        out.write(data[:total])
    with open(os.path.join(HERE, name + ".timing"), "w") as out:
        for kind, _, count in entries:
            out.write(f"{kind} 0 {count}\n")
    with open(os.path.join(HERE, name + ".screens"), "w") as out:
        out.write("".join(s if s.endswith("\n") else s + "\n" for s in screens))
    shutil.rmtree(work)


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: record.py HOST_BINARY [NAME...]")
    binary = os.path.abspath(sys.argv[1])
    names = sys.argv[2:] or list(CONVERSATIONS)
    for name in names:
        command, keys = CONVERSATIONS[name]
        record(name, binary, command, keys)


if __name__ == "__main__":
    main()
