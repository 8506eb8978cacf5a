#!/usr/bin/env python3
"""Scripts whose bytes are not well-formed UTF-8, written at test time (no editor keeps such bytes), each
run as `xol SCRIPT` and checked for its exit status and the first line of its output.

Usage: script_bytes.py --interpreter XOL

A malformed sequence is a syntax error at the token that holds it: an over-long form must never load as
the character it spells (C0 AF is no slash), nor a surrogate or a value above U+10FFFF as a character.
"""
import argparse
import os
import subprocess
import sys
import tempfile

PASS, FAIL = 0, 1

# (name, the script after its header line, expected status, expected first line of standard output)
CASES = [
    # An over-long slash would make a set-path of a set-word, or change a string.
    ("over-long slash in a set-word", b"a\xC0\xAFb: 5", 1, "*** Syntax Error: (line 2) invalid word at a"),
    ("over-long slash in a string", b'print "a\xC0\xAFb"', 1, '*** Syntax Error: (line 2) invalid string at "a'),
    ("three-byte over-long slash", b'print "a\xE0\x80\xAFb"', 1,
     '*** Syntax Error: (line 2) invalid string at "a'),
    ("three-byte over-long in a word", b"a\xE0\x80\xAFb: 5", 1, "*** Syntax Error: (line 2) invalid word at a"),
    ("four-byte over-long slash", b'print "a\xF0\x80\x80\xAFb"', 1,
     '*** Syntax Error: (line 2) invalid string at "a'),
    ("longest two-byte over-long", b'print "\xC1\xBF"', 1, '*** Syntax Error: (line 2) invalid string at "'),
    ("over-long in a brace string", b"print {a\xC0\xAFb}", 1, "*** Syntax Error: (line 2) invalid string at {a"),
    ("over-long in a char", b'print #"\xC0\xAF"', 1, '*** Syntax Error: (line 2) invalid char at #"'),
    ("over-long in a refinement", b"print /a\xE0\x80\xAF", 1,
     "*** Syntax Error: (line 2) invalid refinement at /a"),
    ("over-long between tokens", b"print 1 \xC0\xAF", 1, "*** Syntax Error: (line 2) invalid character at "),
    ("lead surrogate", b'print "\xED\xA0\x80"', 1, '*** Syntax Error: (line 2) invalid string at "'),
    ("trail surrogate", b'print "\xED\xBF\xBF"', 1, '*** Syntax Error: (line 2) invalid string at "'),
    ("above U+10FFFF", b'print "\xF4\x90\x80\x80"', 1, '*** Syntax Error: (line 2) invalid string at "'),
    ("lead byte F5", b'print "\xF5\x80\x80\x80"', 1, '*** Syntax Error: (line 2) invalid string at "'),
    ("the line of the token", b'print 1\n\nprint "a\xC0\xAF"', 1,
     '*** Syntax Error: (line 4) invalid string at "a'),
    # The well-formed neighbours of each refused range still load.
    ("shortest forms load", b'print [length? "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"]', 0, "3"),
    ("around the surrogates", b'print "\xED\x9F\xBF\xEE\x80\x80" = "^(D7FF)^(E000)"', 0, "true"),
    ("the last code point", b'print "\xF4\x8F\xBF\xBF" = "^(10FFFF)"', 0, "true"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--interpreter", required=True)
    interpreter = parser.parse_args().interpreter
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "bytes.xol")
        for name, body, status, first_line in CASES:
            with open(script, "wb") as f:
                f.write(b"Xol []\n" + body + b"\n")
            result = subprocess.run([interpreter, script], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, timeout=60)
            lines = result.stdout.decode("utf-8", "backslashreplace").split("\n")
            problems = []
            if result.returncode != status:
                problems.append(f"status {result.returncode}, expected {status}")
            if lines[0] != first_line:
                problems.append(f"first line {lines[0]!r}, expected {first_line!r}")
            if result.stderr:
                problems.append(f"unexpected stderr {result.stderr!r}")
            if problems:
                failures += 1
                print(f"{name}: " + "; ".join(problems))
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return FAIL if failures else PASS


if __name__ == "__main__":
    sys.exit(main())
