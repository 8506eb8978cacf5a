#!/usr/bin/env python3
"""Times each benchmark program in Xol and in Lua 5.4 and prints their ratio.

Every benchmark is a pair of files doing the same work: bench/xol/NAME.xol and
bench/lua/NAME.lua. Each program runs a few times; the best wall time counts,
start-up included (nothing is subtracted). Both programs must print the same
lines, or the benchmark is reported as failed.

Builds nothing: point --xol at a Release binary for meaningful times.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
TOP_DIR = os.path.dirname(BENCH_DIR)

# The speed each benchmark must reach, as the largest xol/lua ratio accepted.
# Benchmarks without an entry are measured only.
TARGETS = {"fib": 1.5, "loop": 1.5}


def find_benchmarks():
    """Names that have both a Xol and a Lua program: those with targets first, then the others."""
    names = []
    for entry in sorted(os.listdir(os.path.join(BENCH_DIR, "xol"))):
        name, extension = os.path.splitext(entry)
        if extension == ".xol" and os.path.isfile(os.path.join(BENCH_DIR, "lua", name + ".lua")):
            names.append(name)
    ranked = list(TARGETS)
    return sorted(names, key=lambda name: (ranked.index(name) if name in ranked else len(ranked), name))


def ensure_lua(lua):
    """Path of the Lua interpreter, installing Debian's lua5.4 when it is the one missing."""
    found = shutil.which(lua)
    if found:
        return found
    if lua != "lua5.4":
        sys.exit(f"compare.py: {lua} not found")
    if os.geteuid() != 0 or not shutil.which("apt-get"):
        sys.exit("compare.py: lua5.4 not found; install it (apt-get install lua5.4) or pass --lua")
    print("compare.py: installing lua5.4", file=sys.stderr)
    quiet = {"stdout": subprocess.DEVNULL}
    subprocess.run(["apt-get", "update", "-qq"], check=True, **quiet)
    subprocess.run(["apt-get", "install", "-y", "-qq", "lua5.4"], check=True, **quiet)
    found = shutil.which(lua)
    if not found:
        sys.exit("compare.py: lua5.4 still missing after apt-get install")
    return found


class Outcome:
    """Best time over the runs, the printed lines, or why it failed."""

    def __init__(self):
        self.best = None
        self.lines = None
        self.failure = None


def time_program(command, runs, timeout):
    outcome = Outcome()
    for _ in range(runs):
        start = time.perf_counter()
        try:
            done = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                                  cwd=BENCH_DIR, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            outcome.failure = f"timed out after {timeout} s"
            return outcome
        elapsed = time.perf_counter() - start
        if done.returncode != 0:
            detail = (done.stderr.strip() or done.stdout.strip()).splitlines()
            outcome.failure = f"exit status {done.returncode}" + (f": {detail[-1]}" if detail else "")
            return outcome
        lines = [line.rstrip() for line in done.stdout.strip().splitlines()]
        if outcome.lines is not None and lines != outcome.lines:
            outcome.failure = "printed different results on different runs"
            return outcome
        outcome.lines = lines
        outcome.best = elapsed if outcome.best is None else min(outcome.best, elapsed)
    return outcome


def main():
    parser = argparse.ArgumentParser(description="Xol against Lua 5.4: best wall time of each program.")
    parser.add_argument("names", nargs="*", help="benchmarks to run (default: all)")
    parser.add_argument("--xol", default=os.path.join(TOP_DIR, "build", "release", "xol"),
                        help="the xol binary (default: build/release/xol)")
    parser.add_argument("--lua", default="lua5.4", help="the Lua interpreter (default: lua5.4)")
    parser.add_argument("--runs", type=int, default=3, help="runs of each program (default: 3)")
    parser.add_argument("--timeout", type=float, default=600, help="seconds allowed for one run")
    parser.add_argument("--check-targets", action="store_true",
                        help="exit non-zero also when a benchmark misses its target ratio")
    arguments = parser.parse_args()

    if not os.access(arguments.xol, os.X_OK):
        sys.exit(f"compare.py: no xol binary at {arguments.xol} (cmake --preset release && "
                 "cmake --build --preset release)")
    if arguments.runs < 1:
        sys.exit("compare.py: --runs must be at least 1")
    lua = ensure_lua(arguments.lua)

    available = find_benchmarks()
    names = arguments.names or available
    unknown = [name for name in names if name not in available]
    if unknown:
        sys.exit(f"compare.py: unknown benchmark {', '.join(unknown)} (have: {', '.join(available)})")

    print(f"{'name':<8} {'xol s':>9} {'lua s':>9} {'xol/lua':>8} {'target':>7}  result")
    failed = missed = False
    for name in names:
        xol = time_program([arguments.xol, os.path.join("xol", name + ".xol")],
                           arguments.runs, arguments.timeout)
        ref = time_program([lua, os.path.join("lua", name + ".lua")], arguments.runs, arguments.timeout)
        target = TARGETS.get(name)
        xol_time = f"{xol.best:.3f}" if xol.best is not None and not xol.failure else "-"
        lua_time = f"{ref.best:.3f}" if ref.best is not None and not ref.failure else "-"
        ratio = "-"
        if xol.failure:
            verdict = f"xol failed: {xol.failure}"
        elif ref.failure:
            verdict = f"lua failed: {ref.failure}"
        elif xol.lines != ref.lines:
            verdict = f"results differ: xol {' '.join(xol.lines)!r}, lua {' '.join(ref.lines)!r}"
        else:
            value = xol.best / ref.best
            ratio = f"{value:.2f}"
            verdict = "same result"
            if target is not None and value > target:
                verdict += ", target missed"
                missed = True
        if not verdict.startswith("same result"):
            failed = True
        target_text = f"{target:.1f}" if target is not None else "-"
        print(f"{name:<8} {xol_time:>9} {lua_time:>9} {ratio:>8} {target_text:>7}  {verdict}", flush=True)

    if failed or (missed and arguments.check_targets):
        sys.exit(1)


if __name__ == "__main__":
    main()
