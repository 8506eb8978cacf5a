#!/usr/bin/env python3
"""Runs one Xol script test and checks its output against the directives in its comments.

    python3 tests/run_script.py --interpreter PATH [--timeout SECONDS] SCRIPT.xol

A test is an ordinary Xol script. A comment starting with ";--" is a directive; any other comment
is a heading and ignored. Directives are read in file order and may follow code on the same line:

    ;-- expect: TEXT         next line of standard output is exactly TEXT (nothing after it: empty line)
    ;-- expect error: TEXT   the script stops with an uncaught error whose report starts with the line
                             TEXT; later "expect:" lines may pin the rest of the report; exit status 1
    ;-- exit: N              the exit status is N (default 0, or 1 after "expect error:")
    ;-- stdin: TEXT          a line fed to standard input
    ;-- args: A "B C"        arguments after the script's name, split like a POSIX shell
    ;-- env: NAME=VALUE      set in the interpreter's environment (TZ is UTC unless set here)
    ;-- expect stderr: TEXT  next line of standard error; with none, any standard error fails
    ;-- skip: REASON         not run; reported as skipped

Exit status: 0 pass, 1 fail, 77 skipped (CTest's SKIP_RETURN_CODE).
"""

import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PASS, FAIL, SKIP = 0, 1, 77

TEXT_DIRECTIVES = {"expect", "expect error", "expect stderr", "stdin"}
DIRECTIVES = TEXT_DIRECTIVES | {"exit", "args", "env", "skip"}


class ScriptError(Exception):
    """A malformed test script; reported as a failure at its line."""

    def __init__(self, line, message):
        super().__init__(message)
        self.line = line


def comment_start(line, braces):
    """Index of the comment on `line` (None if none) and the {...} nesting depth at its end.

    Only string literals can hide a ";": "..." ends with the line, while {...} nests and may span
    lines, so its depth is carried from line to line. "^" escapes the next character in both.
    """
    quoted = False
    i = 0
    while i < len(line):
        ch = line[i]
        if quoted or braces:
            if ch == "^":
                i += 1
            elif quoted:
                quoted = ch != '"'
            elif ch == "{":
                braces += 1
            elif ch == "}":
                braces -= 1
        elif ch == ";":
            return i, braces
        elif ch == '"':
            quoted = True
        elif ch == "{":
            braces = 1
        i += 1
    return None, braces


class Test:
    def __init__(self):
        self.stdout = []  # (line, text, is the error report's first line)
        self.stderr = []  # (line, text)
        self.stdin = []
        self.args = []
        self.env = {}
        self.exit = None  # (line, status)
        self.error_line = None
        self.skip = None
        self.open_brace = None  # line of a {...} string that never closes; it hides what follows

    def add(self, line, name, value):
        if name in TEXT_DIRECTIVES:
            # Exactly one space separates the colon from TEXT; anything further is part of it.
            value = value[1:] if value.startswith(" ") else value
        else:
            value = value.strip()
        if name == "expect":
            self.stdout.append((line, value, False))
        elif name == "expect error":
            if self.error_line is not None:
                raise ScriptError(line, f"second 'expect error:' (the first is at line {self.error_line})")
            self.error_line = line
            self.stdout.append((line, value, True))
        elif name == "expect stderr":
            self.stderr.append((line, value))
        elif name == "stdin":
            self.stdin.append(value)
        elif name == "exit":
            if self.exit is not None:
                raise ScriptError(line, f"second 'exit:' (the first is at line {self.exit[0]})")
            if not re.fullmatch(r"\d+", value) or int(value) > 255:
                raise ScriptError(line, f"'exit:' needs a status from 0 to 255, not {value!r}")
            self.exit = (line, int(value))
        elif name == "args":
            try:
                self.args += shlex.split(value)
            except ValueError as e:
                raise ScriptError(line, f"cannot split 'args:' {value!r}: {e}") from None
        elif name == "env":
            env_name, eq, env_value = value.partition("=")
            if not eq or not env_name:
                raise ScriptError(line, f"'env:' needs NAME=VALUE, not {value!r}")
            self.env[env_name] = env_value
        elif name == "skip":
            self.skip = value or "no reason given"

    def expected_exit(self):
        if self.exit is not None:
            return self.exit
        if self.error_line is not None:
            return self.error_line, 1
        return None, 0


def parse(text):
    test = Test()
    braces = 0
    opened_at = None
    for number, line in enumerate(text.split("\n"), 1):
        # A CRLF-saved script still means plain lines; a stray CR in the output is still caught.
        line = line.removesuffix("\r")
        before = braces
        start, braces = comment_start(line, braces)
        if braces and not before:
            opened_at = number
        if start is None or not line.startswith(";--", start):
            continue
        rest = line[start + 3:]
        if rest.startswith("-"):
            continue  # a ";-----" ruler is decoration, not a directive
        match = re.match(r"([^:]*):(.*)", rest)
        name = " ".join(match[1].split()) if match else rest.strip()
        if not match or name not in DIRECTIVES:
            raise ScriptError(number, f"unknown directive {';--' + rest!r} (known: {', '.join(sorted(DIRECTIVES))})")
        test.add(number, name, match[2])
    if braces:
        test.open_brace = opened_at
    return test


def split_lines(text):
    """Lines split on LF only, so a CR stays visible; a final LF is optional."""
    if text == "":
        return []
    return text.removesuffix("\n").split("\n")


def decode(data):
    return data.decode("utf-8", errors="surrogateescape")


def describe_status(status):
    if status < 0:
        try:
            return f"killed by signal {-status} ({signal.Signals(-status).name})"
        except ValueError:
            return f"killed by signal {-status}"
    return str(status)


def difference_hint(got, want):
    if got.rstrip("\r") == want and got != want:
        return " (a stray carriage return)"
    if got.rstrip() == want.rstrip():
        return " (differs only in trailing whitespace)"
    return ""


def compare(where, stream, actual, expected):
    """First mismatch between actual lines and expected (line, text, is_error) entries, or None."""
    for i, (line, want, is_error) in enumerate(expected):
        what = "error" if is_error else stream
        if i >= len(actual):
            return f"{where}:{line}: expected {what} {want!r}, but {stream} ended after {len(actual)} line(s)"
        got = actual[i]
        if got != want:
            message = f"{where}:{line}: expected {what} {want!r}, got {got!r} ({stream} line {i + 1})"
            message += difference_hint(got, want)
            later = [ln for ln, text, _ in expected[i + 1:] if text == got]
            if later:
                message += f"; that line is expected at line {later[0]} (out of order?)"
            return message
    # The lines after an uncaught error's first one are the rest of its report: pinned only when wanted.
    if len(actual) > len(expected) and not any(is_error for _, _, is_error in expected):
        extra = actual[len(expected)]
        where_line = f"{where}:{expected[-1][0]}" if expected else where
        if stream == "stderr" and not expected:
            return f"{where}: unexpected stderr (no ';-- expect stderr:' directives): {extra!r}"
        return f"{where_line}: unexpected extra {stream} line {len(expected) + 1}: {extra!r}"
    return None


def show(title, lines):
    print(f"--- {title} ({len(lines)} line(s)) ---")
    for i, line in enumerate(lines, 1):
        print(f"{i:4}| {line if line.isprintable() else repr(line)}")


def run(interpreter, script, test, timeout):
    folder = os.path.dirname(os.path.abspath(script))
    command = [interpreter, os.path.basename(script), *test.args]
    home = tempfile.mkdtemp(prefix="xol-test-home-")
    env = dict(os.environ)
    # Never read or write the user's own files; the fresh HOME is thrown away afterwards.
    for name in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
        env.pop(name, None)
    env.update(HOME=home, TZ="UTC")
    env.update(test.env)
    stdin = "".join(line + "\n" for line in test.stdin).encode("utf-8", errors="surrogateescape")
    try:
        # A session of its own: no controlling terminal, and one process group to kill on timeout.
        process = subprocess.Popen(command, cwd=folder, env=env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = process.communicate(stdin, timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                out, err = process.communicate(timeout=5)
            except subprocess.TimeoutExpired:  # something escaped the group and holds the pipes
                out, err = b"", b""
            timed_out = True
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return command, folder, process.returncode, decode(out), decode(err), timed_out


def main():
    parser = argparse.ArgumentParser(description="Run one Xol script test.")
    parser.add_argument("--interpreter", required=True, help="the xol executable")
    parser.add_argument("--timeout", type=float, default=110, help="seconds before the run is killed (default 110)")
    parser.add_argument("script")
    options = parser.parse_args()
    sys.stdout.reconfigure(errors="backslashreplace")
    script = options.script

    try:
        with open(script, "rb") as f:
            test = parse(decode(f.read()))
    except OSError as e:
        print(f"{script}: cannot read: {e.strerror}")
        return FAIL
    except ScriptError as e:
        print(f"{script}:{e.line}: {e}")
        return FAIL
    if test.skip is not None:
        print(f"skipped: {test.skip}")
        return SKIP
    if not test.stdout and not test.stderr and test.exit is None:
        print(f"{script}: no ';-- expect:' or ';-- exit:' directives; the script would test nothing")
        return FAIL

    interpreter = options.interpreter
    interpreter = os.path.abspath(interpreter) if os.sep in interpreter else shutil.which(interpreter) or interpreter
    started = time.monotonic()
    try:
        command, folder, status, out, err, timed_out = run(interpreter, script, test, options.timeout)
    except OSError as e:
        print(f"{script}: cannot run {interpreter}: {e.strerror}")
        return FAIL
    elapsed = time.monotonic() - started

    out_lines, err_lines = split_lines(out), split_lines(err)
    failures = []
    if timed_out:
        failures.append(f"{script}: timed out after {options.timeout:g} s; the interpreter was killed")
    else:
        failures.append(compare(script, "stdout", out_lines, test.stdout))
        exit_line, want_status = test.expected_exit()
        if status != want_status:
            where = f"{script}:{exit_line}" if exit_line else script
            failures.append(f"{where}: exit status {describe_status(status)}, expected {want_status}")
        failures.append(compare(script, "stderr", err_lines, [(ln, text, False) for ln, text in test.stderr]))
    failures = [f for f in failures if f]
    if not failures:
        return PASS

    for failure in failures:
        print(failure)
    if test.open_brace:
        print(f"{script}:{test.open_brace}: note: this {{...}} string never closes; no directives after it were read")
    print()
    print(f"command: {shlex.join(command)}  (in {folder}, {elapsed:.2f} s)")
    print(f"exit status: {'none (timed out)' if timed_out else describe_status(status)}")
    show("stdout", out_lines)
    show("stderr", err_lines)
    return FAIL


if __name__ == "__main__":
    sys.exit(main())
