#!/usr/bin/env python3
"""Typing at the end of a long line: the keys of one line arrive at once on a terminal (a pseudo-terminal
here, 80 columns), the line editor takes them one by one, and the time until the answered line comes back
is measured. Cheap appending keeps it linear in the length of the line.

    bench/console/typing.py [path/to/xol] [LENGTH ...]
"""
import os
import pty
import select
import struct
import sys
import tempfile
import termios
import fcntl
import time

SCRIPT = 'Xol []\n_console-init "typing"\nline: ask ">> "\nprint ["length:" length? line]\n'


def typed(xol, script, length):
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(xol, [xol, script])
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    output = b""

    def read_until(marker, timeout=600):
        nonlocal output
        end = time.time() + timeout
        while marker not in output:
            if time.time() > end:
                raise RuntimeError("timed out")
            ready, _, _ = select.select([fd], [], [], 1)
            if ready:
                try:
                    output += os.read(fd, 1 << 16)
                except OSError:
                    break

    read_until(b">> ")
    keys = b"x" * length + b"\r"
    start = time.time()
    # Keys go in as the terminal takes them, and the echo is drained meanwhile, or both sides would block.
    sent = 0
    while sent < len(keys):
        readable, writable, _ = select.select([fd], [fd], [], 1)
        if readable:
            output += os.read(fd, 1 << 16)
        if writable:
            sent += os.write(fd, keys[sent:sent + 1024])
    read_until(b"length: %d" % length)
    elapsed = time.time() - start
    os.waitpid(pid, 0)
    os.close(fd)
    return elapsed


def main():
    xol = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release/xol")
    lengths = [int(n) for n in sys.argv[2:]] or [2000, 4000, 8000]
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "typing.xol")
        with open(script, "w") as file:
            file.write(SCRIPT)
        for length in lengths:
            print(f"{length:6} keys at the end of the line: {typed(xol, script, length):.3f} s")


if __name__ == "__main__":
    main()
