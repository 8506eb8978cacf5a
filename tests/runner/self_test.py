#!/usr/bin/env python3
"""Checks run_script.py against fake_xol.py: each fixture has a known verdict, and each failure
must be reported at the script line of the directive that failed."""

import concurrent.futures
import os
import shlex
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "..", "run_script.py")
FAKE = os.path.join(HERE, "fake_xol.py")
FIXTURES = os.path.join(HERE, "fixtures")

PASS, FAIL, SKIP = 0, 1, 77

# Fixtures whose point is whitespace an editor or hook could silently strip are written on the fly.
GENERATED = {
    "trailing_spaces_kept.xol": 'Xol []\nprint "x  "     ;-- expect: x  \n',
    "trailing_spaces_missing.xol": 'Xol []\nprint "x"       ;-- expect: x  \n',
    "crlf_source.xol": 'Xol []\r\nprint "one"     ;-- expect: one\r\n;-- exit: 0\r\n',
}

# fixture, extra runner arguments, verdict, texts the runner's report must contain
CASES = [
    ("all_directives.xol", [], PASS, []),
    ("env_tz_override.xol", [], PASS, []),
    ("directive_in_string.xol", [], PASS, []),
    ("trailing_spaces_kept.xol", [], PASS, []),
    ("crlf_source.xol", [], PASS, []),
    ("skip.xol", [], SKIP, ["skipped: waiting for the fake to grow wings"]),
    ("no_directives.xol", [], FAIL, ["no_directives.xol: no ';-- expect:'"]),
    ("missing_line.xol", [], FAIL, ["missing_line.xol:4: expected stdout 'three', but stdout ended"]),
    ("extra_line.xol", [], FAIL, ["extra_line.xol:2: unexpected extra stdout line 2: 'two'"]),
    ("out_of_order.xol", [], FAIL, ["out_of_order.xol:2: expected stdout 'second', got 'first'",
                                    "expected at line 3 (out of order?)"]),
    ("wrong_exit_status.xol", [], FAIL, ["wrong_exit_status.xol:3: exit status 3, expected 2"]),
    ("unexpected_stderr.xol", [], FAIL, ["unexpected_stderr.xol: unexpected stderr", "'oops'"]),
    ("stderr_mismatch.xol", [], FAIL, ["stderr_mismatch.xol:4: expected stderr 'warning: b', but stderr ended"]),
    ("expected_error_missing.xol", [], FAIL, [
        "expected_error_missing.xol:2: expected error '*** Script Error: boom', got 'fine'",
        "expected_error_missing.xol:2: exit status 0, expected 1"]),
    ("timeout.xol", ["--timeout", "1"], FAIL, ["timeout.xol: timed out after 1 s", "   1| started"]),
    ("trailing_cr.xol", [], FAIL, ["trailing_cr.xol:3: expected stdout 'two', got 'two\\r'", "carriage return"]),
    ("trailing_spaces_missing.xol", [], FAIL, ["trailing_spaces_missing.xol:2: expected stdout 'x  ', got 'x'"]),
    ("unknown_directive.xol", [], FAIL, ["unknown_directive.xol:3: unknown directive"]),
]


def check(case, interpreter, generated, cwd, env):
    name, extra, verdict, texts = case
    folder = generated if name in GENERATED else FIXTURES
    command = [sys.executable, RUNNER, "--interpreter", interpreter, *extra, os.path.join(folder, name)]
    started = time.monotonic()
    result = subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, timeout=30)
    elapsed = time.monotonic() - started
    report = result.stdout + result.stderr
    problems = []
    if result.returncode != verdict:
        problems.append(f"verdict {result.returncode}, expected {verdict}")
    problems += [f"report lacks {text!r}" for text in texts if text not in report]
    if elapsed > 5:
        problems.append(f"took {elapsed:.1f} s")
    return name, problems, report


def main():
    with tempfile.TemporaryDirectory(prefix="xol-runner-self-test-") as temp:
        generated = os.path.join(temp, "generated")
        os.mkdir(generated)
        for name, text in GENERATED.items():
            with open(os.path.join(generated, name), "w", encoding="utf-8", newline="") as f:
                f.write(text)
        # The fake runs through the Python running this test, whatever its executable bit says.
        interpreter = os.path.join(temp, "fake-xol")
        with open(interpreter, "w") as f:
            f.write(f"#!/bin/sh\nexec {shlex.quote(sys.executable)} {shlex.quote(FAKE)} \"$@\"\n")
        os.chmod(interpreter, 0o755)
        # Settings the runner must override, from a working folder the scripts must not depend on.
        env = dict(os.environ, TZ="Europe/Paris", XDG_CACHE_HOME=os.path.join(temp, "cache"))
        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            results = list(pool.map(lambda case: check(case, interpreter, generated, temp, env), CASES))

    failed = 0
    for name, problems, report in results:
        print(f"{'FAIL' if problems else 'ok  '} {name}")
        if problems:
            failed += 1
            for problem in problems:
                print(f"     {problem}")
            print("     runner said:")
            print("".join(f"       {line}\n" for line in report.splitlines()), end="")
    print(f"{len(results) - failed} of {len(results)} runner checks passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
