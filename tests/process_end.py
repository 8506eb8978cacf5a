#!/usr/bin/env python3
"""How the process ends: exit status and the exact bytes on standard output and standard error.

Usage: process_end.py XOL. Each case runs the binary with its arguments and checks what it printed.
"""
import subprocess
import sys

CASES = [
    # (name, arguments, expected status, expected stdout, expected stderr)
    ("starts and ends quietly", [], 0, b"", b""),
]


def main(binary):
    failures = 0
    for name, arguments, status, stdout, stderr in CASES:
        result = subprocess.run([binary, *arguments], stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        got = (result.returncode, result.stdout, result.stderr)
        if got != (status, stdout, stderr):
            failures += 1
            print(f"{name}: expected {(status, stdout, stderr)!r}, got {got!r}")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
