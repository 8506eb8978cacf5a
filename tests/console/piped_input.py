#!/usr/bin/env python3
"""Piped standard input as ask, input and read-stdin see it, byte for byte: each case feeds its bytes to a
small script and compares what the script prints.

Usage: piped_input.py --interpreter XOL

Lines are UTF-8 text up to a line feed; a carriage return before it stays. A malformed sequence becomes
U+FFFD and the byte that cut it short starts the next character, so nothing after it is lost. A last line
without a line feed is a line; after the end every read answers "" and _input-ended? answers true.
"""
import argparse
import os
import subprocess
import sys
import tempfile

# Prints each line's code points until the input is exhausted (the last line printed is the "" after it).
CODES = b"""Xol []
until [
    line: input
    out: copy ""
    foreach c line [append out rejoin [to integer! c " "]]
    print trim out
    _input-ended?
]
"""

# Prints each line's length instead.
LENGTHS = b"""Xol []
until [
    line: input
    print length? line
    _input-ended?
]
"""

# A line, then the rest through read-stdin: the bytes the line reader read ahead come first.
REST = b"""Xol []
print mold input
buf: make binary! 10
until [
    read-stdin tail buf 7
    _input-ended?
]
print mold buf
"""

# (name, script, standard input, expected standard output)
CASES = [
    ("carriage return kept before the line feed", CODES, b"a\r\nb\n", "97 13\n98\n\n"),
    ("a lone carriage return is no line end", CODES, b"a\rb\n", "97 13 98\n\n"),
    ("last line without a line feed", CODES, b"p\nq", "112\n113\n"),
    ("empty input", CODES, b"", "\n"),
    ("empty lines", CODES, b"\n\nx\n", "\n\n120\n\n"),
    ("two-, three- and four-byte characters", CODES, "é€😀\n".encode(), "233 8364 128512\n\n"),
    ("stray byte", CODES, b"x\xffy\n", "120 65533 121\n\n"),
    ("stray continuation byte", CODES, b"\x80a\n", "65533 97\n\n"),
    ("sequence cut short by an ASCII byte", CODES, b"\xe2\x28\xa1\n", "65533 40 65533\n\n"),
    ("sequence cut short by the line feed", CODES, b"\xe2\x82\nz\n", "65533\n122\n\n"),
    ("sequence cut short by the end", CODES, b"ok\xf0\x9f", "111 107 65533\n"),
    ("over-long slash", CODES, b"\xc0\xaf/\n", "65533 65533 47\n\n"),
    ("three-byte over-long", CODES, b"\xe0\x80\xaf\n", "65533 65533 65533\n\n"),
    ("surrogate", CODES, b"\xed\xa0\x80\n", "65533 65533 65533\n\n"),
    ("above U+10FFFF", CODES, b"\xf4\x90\x80\x80\n", "65533 65533 65533 65533\n\n"),
    ("largest code point", CODES, b"\xf4\x8f\xbf\xbf\n", "1114111\n\n"),
    ("lines across many reads", LENGTHS, ("é" * 70000 + "\n" + "x" * 100000 + "\n").encode(), "70000\n100000\n0\n"),
    ("read-stdin after a line loses no byte", REST, b"one\ntwo\nthree", '"one"\n#{74776F0A7468726565}\n'),
]


def run(interpreter, script, data, folder):
    path = os.path.join(folder, "case.xol")
    with open(path, "wb") as file:
        file.write(script)
    env = dict(os.environ, HOME=folder, TZ="UTC")
    env.pop("XDG_CACHE_HOME", None)
    process = subprocess.run([interpreter, path], input=data, capture_output=True, env=env, timeout=120)
    return process.returncode, process.stdout.decode("utf-8", errors="backslashreplace"), process.stderr


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--interpreter", required=True)
    arguments = parser.parse_args()
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for name, script, data, expected in CASES:
            status, output, errors = run(arguments.interpreter, script, data, folder)
            if status != 0 or output != expected or errors:
                failures += 1
                print(f"FAIL {name}: status {status}, output {output[:200]!r}, expected {expected!r}, "
                      f"stderr {errors[:200]!r}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
