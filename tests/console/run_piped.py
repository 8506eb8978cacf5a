#!/usr/bin/env python3
"""Runs the console with piped standard input and compares what it prints, byte for byte.

    run_piped.py --interpreter XOL NAME

For tests/console/NAME.in (standard input, fed whole), the console's standard output must equal NAME.out
exactly. Optional companions:
    NAME.args     the command-line arguments, one a line; "{home}" stands for the run's home folder
    NAME.status   the expected exit status (0 without the file)
    NAME.err      the expected standard error, exactly (empty without the file)
    NAME.cfg-in   the settings file the run finds at start
    NAME.cfg      the settings file the run must leave, exactly ("-" on its own: none at all)
Each run gets a fresh HOME, XDG_CACHE_HOME unset, TZ=UTC, and tests/console/ as its current folder.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SETTINGS = os.path.join(".cache", "xol", "Xol-Console", "console-cfg.xol")


def read_optional(name, suffix, binary=False):
    path = os.path.join(HERE, name + suffix)
    if not os.path.exists(path):
        return None
    with open(path, "rb" if binary else "r", encoding=None if binary else "utf-8") as f:
        return f.read()


def show_difference(title, expected, actual):
    print(f"--- {title}: expected ({len(expected)} bytes) ---")
    print(repr(expected))
    print(f"--- {title}: actual ({len(actual)} bytes) ---")
    print(repr(actual))
    for i, (a, b) in enumerate(zip(expected, actual)):
        if a != b:
            print(f"first difference at byte {i}: expected {expected[i:i + 40]!r}, got {actual[i:i + 40]!r}")
            break


def main():
    parser = argparse.ArgumentParser(description="Run one piped console test.")
    parser.add_argument("--interpreter", required=True)
    parser.add_argument("name")
    options = parser.parse_args()
    name = options.name
    stdin = read_optional(name, ".in", binary=True)
    expected_out = read_optional(name, ".out", binary=True)
    if stdin is None or expected_out is None:
        print(f"{name}: needs both {name}.in and {name}.out")
        return 1
    expected_err = read_optional(name, ".err", binary=True) or b""
    expected_status = int((read_optional(name, ".status") or "0").strip())
    home = tempfile.mkdtemp(prefix="xol-console-home-")
    try:
        args = [line.replace("{home}", home) for line in (read_optional(name, ".args") or "").split("\n")]
        if args and args[-1] == "":
            args.pop()
        settings = os.path.join(home, SETTINGS)
        settings_in = read_optional(name, ".cfg-in", binary=True)
        if settings_in is not None:
            os.makedirs(os.path.dirname(settings))
            with open(settings, "wb") as f:
                f.write(settings_in)
        env = dict(os.environ, HOME=home, TZ="UTC")
        env.pop("XDG_CACHE_HOME", None)
        try:
            result = subprocess.run([options.interpreter, *args], input=stdin, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, cwd=HERE, env=env, timeout=60, start_new_session=True)
        except subprocess.TimeoutExpired:
            print(f"{name}: no end within 60 s")
            return 1
        failed = False
        if result.stdout != expected_out:
            show_difference("standard output", expected_out, result.stdout)
            failed = True
        if result.stderr != expected_err:
            show_difference("standard error", expected_err, result.stderr)
            failed = True
        if result.returncode != expected_status:
            print(f"exit status {result.returncode}, expected {expected_status}")
            failed = True
        expected_settings = read_optional(name, ".cfg", binary=True)
        if expected_settings is not None:
            actual_settings = None
            if os.path.exists(settings):
                with open(settings, "rb") as f:
                    actual_settings = f.read()
            if expected_settings.strip() == b"-":
                if actual_settings is not None:
                    print(f"a settings file was written: {actual_settings!r}")
                    failed = True
            elif actual_settings != expected_settings:
                show_difference("settings file", expected_settings, actual_settings or b"")
                failed = True
    finally:
        shutil.rmtree(home, ignore_errors=True)
    print(f"{name}: " + ("failed" if failed else "passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
