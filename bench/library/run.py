#!/usr/bin/env python3
"""Times the library benchmarks, each a Xol program and a CPython program doing the same work.

Prints, per benchmark, the best wall time of each over a few runs taken in turn (start-up included), the
ratio xol/python and whether both printed the same lines. Builds nothing: give a Release binary with --xol.
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
NAMES = ["rejoin", "replace_all", "collect_keep", "split"]


def timed(command):
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True, check=False)
    return time.perf_counter() - start, result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--xol", default=os.path.join(TOP, "build", "release", "xol"))
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("names", nargs="*", default=NAMES)
    options = parser.parse_args()
    print(f"{'name':14} {'xol s':>8} {'python s':>9} {'ratio':>6}  same")
    for name in options.names:
        xol_time = python_time = float("inf")
        for _ in range(options.runs):
            elapsed, xol_out = timed([options.xol, os.path.join(HERE, name + ".xol")])
            xol_time = min(xol_time, elapsed)
            elapsed, python_out = timed([options.python, os.path.join(HERE, name + ".py")])
            python_time = min(python_time, elapsed)
        same = xol_out.split() == python_out.split()
        print(f"{name:14} {xol_time:8.2f} {python_time:9.2f} {xol_time / python_time:6.2f}  {same}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
