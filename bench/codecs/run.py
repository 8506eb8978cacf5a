#!/usr/bin/env python3
"""Times the JSON and CSV codecs against CPython's json (its C accelerator) and csv modules.

Generates the inputs under /tmp/xol-bench-codecs/ when missing (generate.py), then runs json_codec.xol and
json_codec.py, csv_codec.xol and csv_codec.py in turn a few times (the Python programs are not named json
and csv, which would hide the modules they import). Each program times its own decoding or encoding, so
start-up and reading the file are left out, and prints a check line; the best time of each operation
counts. Prints the times, the ratios xol/python and whether the check lines agree. Builds nothing: give a
Release binary with --xol.

    python3 bench/codecs/run.py                  # build/release/xol
    python3 bench/codecs/run.py --runs 5
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
FOLDER = "/tmp/xol-bench-codecs"


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, check=True)
    check, times = None, {}
    for line in result.stdout.splitlines():
        name, _, rest = line.partition(" ")
        if name == "check":
            check = rest.split()
        else:
            times[name] = float(rest)
    return check, times


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--xol", default=os.path.join(TOP, "build", "release", "xol"))
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    subprocess.run([options.python, os.path.join(HERE, "generate.py"), FOLDER], check=True)
    print(f"{'operation':14} {'xol s':>8} {'python s':>9} {'ratio':>6}  same")
    failed = False
    for name in ("json_codec", "csv_codec"):
        best_xol, best_python = {}, {}
        same = True
        for _ in range(options.runs):
            xol_check, xol_times = run([options.xol, os.path.join(HERE, name + ".xol")])
            python_check, python_times = run([options.python, os.path.join(HERE, name + ".py")])
            same = same and xol_check == python_check
            for key, value in xol_times.items():
                best_xol[key] = min(best_xol.get(key, value), value)
            for key, value in python_times.items():
                best_python[key] = min(best_python.get(key, value), value)
        failed = failed or not same
        for key in best_xol:
            xol_time, python_time = best_xol[key], best_python[key]
            label = name.split("_")[0] + " " + key
            print(f"{label:14} {xol_time:8.3f} {python_time:9.3f} {xol_time / python_time:6.2f}  {same}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
