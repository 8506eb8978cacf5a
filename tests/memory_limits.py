#!/usr/bin/env python3
"""Runs under an address-space limit: each case starts the interpreter in a child process whose soft
RLIMIT_AS is set first, as `ulimit -v KIB` would, and checks its exit status and standard output.

Usage: memory_limits.py --interpreter XOL [--sanitized --release-interpreter XOL_RELEASE]

An address-sanitized interpreter cannot start under any such limit: the sanitizer reserves terabytes of
shadow memory at start-up. With --sanitized the cases run against the release interpreter instead (the
sanitizer build's own test runs use the release build next to it), and the test is skipped with its
reason when that build is missing. XOL_GC_STRESS and the rest of the environment pass through.
"""
import argparse
import os
import re
import resource
import subprocess
import sys
import tempfile

PASS, FAIL, SKIP = 0, 1, 77
TIMEOUT = 120  # seconds for one case; a raise that nests for ever never ends

REPORT_94 = r"\n\*\*\* Runtime Error 94: out of memory\n\*\*\* at: [0-9A-F]{16}h\n"

# (name, limit in KiB, script body after the header, expected status, expected stdout as a regular expression)
CASES = [
    # The reservations shrink to fit the limit: about 1 GB and 3 GB both run.
    ("prints under 1 GB", 1_000_000, 'print "hi"', 0, r"hi\n"),
    ("prints under 3 GB", 3_000_000, 'print "hi"', 0, r"hi\n"),
    # Too little for even the smallest stack: the report, and nothing else, before anything runs.
    ("too little to start", 100_000, 'print "hi"', 94, REPORT_94),
    # At the smallest limit that starts, the language's depth limit still fires before the machine stack ends.
    ("depth limit before the machine's", 262_144, "f: func [n] [f n + 1] f 1", 1,
     r"\*\*\* Internal Error: stack overflow\n(.*\n)*"),
    # Memory runs out: each no-memory is raised once and caught, though making the error needs memory
    # too. Big buffers fill the address space, then middle-sized series the frames, then small ones the
    # frames' last bytes, so that the error made last finds no room anywhere but the held-back reserve.
    ("no-memory caught at every stage", 400_000,
     "b: copy []\n"
     "c: make block! 100000\n"
     "e1: try [forever [append b make string! 1000000]]\n"
     "e2: try [forever [append c make string! 10000]]\n"
     "e3: try [forever [append c make string! 100]]\n"
     "b: c: none\n"
     "print [e1/id e2/id e3/id]", 0, r"no-memory no-memory no-memory\n"),
    # Garbage beside a large live string: allocation grows the memory before it collects, and when the limit
    # refuses the growth, it collects at once instead of failing, for big buffers and for frames alike.
    ("garbage reclaimed at the limit", 400_000,
     "live: make string! 160000000\n"
     "loop 40 [make string! 10000000]\n"
     "loop 400 [make string! 1000000]\n"
     "print \"done\"", 0, r"done\n"),
    # Nothing catches it: the report is printed, the status is the script's failure.
    ("no-memory uncaught", 400_000, "b: copy []\nforever [append b make string! 1000000]", 1,
     r"\*\*\* Internal Error: not enough memory\n\*\*\* Where: make\n(.*\n)*"),
]

# Every allocation collects under XOL_GC_STRESS=1, so filling the whole memory with small series costs
# the square of their number: these run plain only (the staged case above stands for them under stress).
PLAIN_ONLY = [
    ("many small series", 400_000,
     "b: copy []\ne: try [forever [append b make string! 100]]\nb: none\nprint e/id", 0, r"no-memory\n"),
]


def limited(kib):
    def apply():
        hard = resource.getrlimit(resource.RLIMIT_AS)[1]
        soft = kib * 1024
        resource.setrlimit(resource.RLIMIT_AS, (soft if hard == resource.RLIM_INFINITY else min(soft, hard), hard))
    return apply


def run_case(interpreter, folder, name, kib, body, status, stdout):
    script = os.path.join(folder, "case.xol")
    with open(script, "w", encoding="utf-8") as f:
        f.write("Xol []\n" + body + "\n")
    try:
        result = subprocess.run([interpreter, script], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=TIMEOUT, preexec_fn=limited(kib))
    except subprocess.TimeoutExpired:
        return [f"no end within {TIMEOUT} s"]
    text = result.stdout.decode("utf-8", "replace")
    problems = []
    if result.returncode != status:
        problems.append(f"status {result.returncode}, expected {status}")
    if not re.fullmatch(stdout, text):
        problems.append(f"stdout {text!r} does not match {stdout!r}")
    if result.stderr:
        problems.append(f"unexpected stderr {result.stderr!r}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--interpreter", required=True)
    parser.add_argument("--sanitized", action="store_true")
    parser.add_argument("--release-interpreter")
    arguments = parser.parse_args()
    interpreter = arguments.interpreter
    if arguments.sanitized:
        release = arguments.release_interpreter
        if not release or not os.access(release, os.X_OK):
            print("skipped: the sanitizer reserves terabytes at start-up, so this build cannot run under an "
                  f"address-space limit, and no release build was found at {release}")
            return SKIP
        print(f"the sanitizer cannot run under an address-space limit: using the release build {release}")
        interpreter = release

    cases = CASES
    stressed = os.environ.get("XOL_GC_STRESS", "") not in ("", "0")
    if stressed:
        print("under XOL_GC_STRESS=1, not run: " + ", ".join(case[0] for case in PLAIN_ONLY))
    else:
        cases = CASES + PLAIN_ONLY
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for name, kib, body, status, stdout in cases:
            problems = run_case(interpreter, folder, name, kib, body, status, stdout)
            if problems:
                failures += 1
                print(f"{name} (ulimit -v {kib}): " + "; ".join(problems))
    print(f"{len(cases) - failures} passed, {failures} failed")
    return FAIL if failures else PASS


if __name__ == "__main__":
    sys.exit(main())
