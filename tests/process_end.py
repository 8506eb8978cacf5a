#!/usr/bin/env python3
"""How the process ends: exit status and the exact bytes on standard output and standard error.

Usage: process_end.py XOL PROVOKE. `xol` itself, fed nothing, shows its banner and ends as `q` does; PROVOKE
is a stand-in console that starts the runtime the same way and then provokes the end its argument names.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The address sanitizer's note on a refused allocation is the sanitizer's, not the program's output.
SANITIZER_NOTE = re.compile(rb"==\d+==WARNING: AddressSanitizer failed to allocate [^\n]*\n")

# A script that prints nothing.
QUIET_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", "quiet.xol")

# A script that counts on standard output for ever.
COUNTING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", "counting_forever.xol")

BANNER = r"--== Xol [0-9.]+ ==-- \nType HELP for starting information\. \n\n"

REPORT = r"\n\*\*\* Runtime Error {status}: {message}\n\*\*\* at: [0-9A-F]{{16}}h\n"

# The formed error, printed when nothing catches it (raised with no frame, so no place and no trace).
UNCAUGHT = r"\*\*\* Script Error: none has no value\n\*\*\* Where: \?\?\?\n\*\*\* Near : none\n"

# (name, program, argument, expected status, expected stdout as a regular expression)
CASES = [
    ("xol fed nothing shows its banner and ends", "xol", None, 0, BANNER),
    # An empty script name names no file: it is reported as one that cannot be opened.
    ("an empty script name", "xol", "", 1, r'\*\*\* Access Error: cannot open: %""\n(.*\n)*'),
    ("the launch returns", "provoke", "nothing", 0, r"before\n"),
    ("access violation", "provoke", "segv", 1, "before\n" + REPORT.format(status=1, message="access violation")),
    ("machine stack exhausted", "provoke", "machine-stack", 19,
     "before\n" + REPORT.format(status=19, message="stack error or overflow")),
    ("C heap exhausted", "provoke", "out-of-memory", 94, "before\n" + REPORT.format(status=94, message="out of memory")),
    ("an error nothing catches", "provoke", "uncaught-error", 254, "before\n" + UNCAUGHT),
    ("an error nothing catches in a script", "provoke", "uncaught-error-in-script", 1, "before\n" + UNCAUGHT),
    ("a stray C++ throw", "provoke", "stray-throw", 95,
     "before\n" + REPORT.format(status=95, message="no CATCH for THROW")),
    ("quit from deep inside", "provoke", "quit-request", 3, r"before\n"),
    ("no case matched", "provoke", "no-case", 100,
     "before\n" + REPORT.format(status=100, message="no value matched in CASE")),
    ("control-C", "provoke", "interrupt", 0, r"before\n"),
    ("abort", "provoke", "abort", 98, "before\n" + REPORT.format(status=98, message="assertion failed")),
    ("a floating-point signal", "provoke", "divide", 33, "before\n" + REPORT.format(status=33, message="FPU error")),
    ("a termination request", "provoke", "terminate", -signal.SIGTERM, r"before\n"),
]


def run(program, argument, stdout=subprocess.PIPE, preexec_fn=None):
    command = [program] + ([argument] if argument is not None else [])
    # The console keeps its settings under HOME: a fresh one, thrown away afterwards.
    home = tempfile.mkdtemp(prefix="xol-test-home-")
    env = dict(os.environ, HOME=home)
    env.pop("XDG_CACHE_HOME", None)
    try:
        return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE, timeout=60,
                              preexec_fn=preexec_fn, env=env)
    finally:
        shutil.rmtree(home, ignore_errors=True)


def close_stdout():
    os.close(1)


# Output that cannot be written is lost without a word, but a run that would have ended with 0 ends with
# 1; other statuses stay. (name, program, argument, where standard output goes, what the child does to it
# before it starts, expected status)
UNWRITABLE = [
    ("output to a full device", "provoke", "nothing", "/dev/full", None, 1),
    ("output to a closed descriptor", "provoke", "nothing", os.devnull, close_stdout, 1),
    ("nothing written to a full device", "xol", QUIET_SCRIPT, "/dev/full", None, 0),
    ("the banner to a full device", "xol", None, "/dev/full", None, 1),
    ("a quit status over lost output", "provoke", "quit-request", "/dev/full", None, 3),
]


def main(xol, provoke):
    programs = {"xol": xol, "provoke": provoke}
    failures = 0
    for name, program, argument, status, stdout in CASES:
        result = run(programs[program], argument)
        text = result.stdout.decode("utf-8", "replace")
        problems = []
        if result.returncode != status:
            problems.append(f"status {result.returncode}, expected {status}")
        if not re.fullmatch(stdout, text):
            problems.append(f"stdout {text!r} does not match {stdout!r}")
        stderr = SANITIZER_NOTE.sub(b"", result.stderr)
        if stderr:
            problems.append(f"unexpected stderr {stderr!r}")
        if problems:
            failures += 1
            print(f"{name}: " + "; ".join(problems))

    # A reader that quits early ends the run quietly, as a closed pipe ends any Unix tool.
    reader = subprocess.Popen([provoke, "flood"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
    reader.stdout.read(10)
    reader.stdout.close()
    error_output = reader.stderr.read()
    reader.wait(timeout=60)
    if reader.returncode != -signal.SIGPIPE or error_output:
        failures += 1
        print(f"closed reader: status {reader.returncode}, stderr {error_output!r}")

    # Control-C while the console waits for a line (no terminal: the line editor is not in raw mode) ends it
    # quietly with status 0, and saves no settings.
    home = tempfile.mkdtemp(prefix="xol-test-home-")
    try:
        env = dict(os.environ, HOME=home)
        env.pop("XDG_CACHE_HOME", None)
        console = subprocess.Popen([xol], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        banner = os.read(console.stdout.fileno(), 4096)
        time.sleep(0.3)  # the console reads its first line once the banner is out
        console.send_signal(signal.SIGINT)
        rest, error_output = console.communicate(timeout=60)
        saved = os.path.exists(os.path.join(home, ".cache", "xol", "Xol-Console", "console-cfg.xol"))
        if console.returncode != 0 or error_output or saved or not re.fullmatch(BANNER, (banner + rest).decode()):
            failures += 1
            print(f"control-C in the console: status {console.returncode}, stderr {error_output!r}, "
                  f"settings saved {saved}, stdout {banner + rest!r}")
    finally:
        shutil.rmtree(home, ignore_errors=True)

    # Control-C while a print waits on a full pipe: the bytes of the interrupted write are not written again
    # by the flush that ends the run, so the reader sees 1, 2, 3 ... with no line twice.
    for _ in range(3):
        flood = subprocess.Popen([xol, COUNTING], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        first = os.read(flood.stdout.fileno(), 4096)  # the script runs: the signal handlers are in place
        time.sleep(0.3)  # long enough for the pipe to fill again
        flood.send_signal(signal.SIGINT)
        out, error_output = flood.communicate(timeout=60)
        out = first + out
        whole_lines = out.split(b"\n")[:-1]
        counted = [int(line) for line in whole_lines] == list(range(1, len(whole_lines) + 1))
        if flood.returncode != 0 or error_output or not counted:
            failures += 1
            print(f"control-C during a blocked print: status {flood.returncode}, stderr {error_output!r}, "
                  f"lines in order {counted}")
            break

    for name, program, argument, path, prepare, status in UNWRITABLE:
        with open(path, "wb") as sink:
            result = run(programs[program], argument, stdout=sink, preexec_fn=prepare)
        stderr = SANITIZER_NOTE.sub(b"", result.stderr)
        if result.returncode != status or stderr:
            failures += 1
            print(f"{name}: status {result.returncode}, expected {status}; stderr {stderr!r}")

    total = len(CASES) + 3 + len(UNWRITABLE)
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
