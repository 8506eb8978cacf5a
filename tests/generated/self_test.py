#!/usr/bin/env python3
"""Checks check.py against a stand-in interpreter: each way a run can go wrong must fail the seed, and
say why; two runs that agree must pass."""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "check.py")

# The stand-in ignores the script and behaves as FAKE_MODE says; XOL_GC_STRESS tells it which run it is.
FAKE = """\
import os, sys, time
mode, stressed = os.environ["FAKE_MODE"], bool(os.environ.get("XOL_GC_STRESS"))
print("p1 1")
if mode == "differ" and stressed:
    print("p2 2")
elif mode == "status" and stressed:
    sys.exit(1)
elif mode == "stderr":
    print("==1==ERROR: AddressSanitizer: heap-use-after-free", file=sys.stderr)
elif mode == "runtime-error":
    print("*** Runtime Error 1: access violation")
elif mode == "broken":
    print("BROKEN p3")
elif mode == "hang" and stressed:
    time.sleep(60)
elif mode == "uncaught":
    print("*** Script Error: x has no value")
    sys.exit(1)
"""

# mode, check.py passes, a text its report must hold
CASES = [
    ("agree", True, "1 seed(s) checked"),
    ("uncaught", True, "0 failed"),  # an uncaught error is fine when both runs report it
    ("differ", False, "+p2 2"),
    ("status", False, "exit status 0 plain, 1 under GC stress"),
    ("stderr", False, "wrote to standard error"),
    ("runtime-error", False, "plain run: *** Runtime Error 1: access violation"),
    ("broken", False, "a checked result is wrong: BROKEN p3"),
    ("hang", False, "GC-stress run did not end within 2 s"),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory(prefix="xol-generated-self-test-") as folder:
        fake = os.path.join(folder, "fake_xol")
        with open(fake, "w") as file:
            file.write(f"#!{sys.executable}\n{FAKE}")
        os.chmod(fake, 0o755)
        for mode, passes, text in CASES:
            env = dict(os.environ, FAKE_MODE=mode)
            result = subprocess.run([sys.executable, CHECK, "--interpreter", fake, "--seeds", "7", "--quiet",
                                     "--timeout", "2", "--stress-timeout", "2", "--keep", folder],
                                    env=env, capture_output=True, text=True, timeout=60)
            problems = []
            if (result.returncode == 0) != passes:
                problems.append(f"status {result.returncode}, expected it to {'pass' if passes else 'fail'}")
            if text not in result.stdout:
                problems.append(f"no {text!r} in its report")
            if not passes and "--seeds 7" not in result.stdout:
                problems.append("no command to run the seed again")
            if not passes and not os.path.exists(os.path.join(folder, "seed-7.xol")):
                problems.append("the failing script was not saved")
            if problems:
                failures += 1
                print(f"FAIL {mode}: " + "; ".join(problems))
                print(result.stdout + result.stderr)
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
