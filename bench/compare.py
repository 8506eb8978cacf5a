#!/usr/bin/env python3
"""Times each benchmark program in Xol, Lua 5.4 and CPython and prints their ratios to Lua.

Every benchmark is three files doing the same work: bench/xol/NAME.xol,
bench/lua/NAME.lua and bench/python/NAME.py. Each program runs a few times (the
three interpreters in turn, so that a change in the machine's load falls on all
of them); the best wall time counts, start-up included (nothing is subtracted).
The three must print the same lines, or the benchmark is reported as failed.

Builds nothing: point --xol at a Release binary for meaningful times.
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import time

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
TOP_DIR = os.path.dirname(BENCH_DIR)

# The order of the table; benchmarks not named here follow in alphabetical order.
ORDER = ["fib", "loop", "strings", "block", "sort", "shuffle", "draws", "unique"]

# The largest xol/lua ratio accepted per benchmark. Besides these, every
# benchmark must be no slower than CPython, and the geometric mean of xol/lua
# must stay at or below GEOMETRIC_MEAN_TARGET.
TARGETS = {"fib": 3.0, "loop": 3.0, "shuffle": 1.0}
GEOMETRIC_MEAN_TARGET = 2.5
# The largest xol/python ratio accepted where it is not 1 (no slower than CPython). These benchmarks time
# codecs that both sides run in compiled code, against a Lua written in Lua: they stay out of the mean
# (OUTSIDE_MEAN).
PYTHON_TARGETS = {"enbase64": 1.5, "debase64": 1.5, "capture": 1.5}

# The benchmarks of the random and set natives: they stay out of the geometric
# mean, whose target is the evaluator's. Those also named in MEASURED_ONLY are
# timed and reported with no target at all.
OUTSIDE_MEAN = {"shuffle", "draws", "unique", "enbase64", "debase64", "capture"}
MEASURED_ONLY = {"draws", "unique"}

# The interpreters, the folder of their programs and the extension of them.
LANGUAGES = [("xol", ".xol"), ("lua", ".lua"), ("python", ".py")]


def program_path(language, name):
    extension = dict(LANGUAGES)[language]
    return os.path.join(language, name + extension)


def find_benchmarks():
    """Names that have a program in every language, in table order."""
    names = []
    for entry in sorted(os.listdir(os.path.join(BENCH_DIR, "xol"))):
        name, extension = os.path.splitext(entry)
        if extension != ".xol":
            continue
        if all(os.path.isfile(os.path.join(BENCH_DIR, program_path(language, name)))
               for language, _ in LANGUAGES):
            names.append(name)
    return sorted(names, key=lambda name: (ORDER.index(name) if name in ORDER else len(ORDER), name))


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


def ensure_python(python):
    """Path of the CPython that runs the Python programs.

    The default is Debian's own, named by its full path: `python3` on PATH may be
    a version manager's shim, which adds its own start-up to every run."""
    found = shutil.which(python)
    if not found:
        sys.exit(f"compare.py: {python} not found; install Debian's python3 or pass --python")
    return found


class Outcome:
    """Best time over the runs, the printed lines, or why it failed."""

    def __init__(self):
        self.best = None
        self.lines = None
        self.failure = None

    def time_text(self):
        return f"{self.best:.3f}" if self.best is not None and not self.failure else "-"


def run_once(command, outcome, timeout):
    """Runs the program once, keeping the best time in outcome; a failure ends its runs."""
    start = time.perf_counter()
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                              cwd=BENCH_DIR, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        outcome.failure = f"timed out after {timeout} s"
        return
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        detail = (done.stderr.strip() or done.stdout.strip()).splitlines()
        outcome.failure = f"exit status {done.returncode}" + (f": {detail[-1]}" if detail else "")
        return
    lines = [line.rstrip() for line in done.stdout.strip().splitlines()]
    if outcome.lines is not None and lines != outcome.lines:
        outcome.failure = "printed different results on different runs"
        return
    outcome.lines = lines
    outcome.best = elapsed if outcome.best is None else min(outcome.best, elapsed)


def time_benchmark(commands, runs, timeout):
    """Outcome per language; the languages take turns, one run each per round."""
    outcomes = {language: Outcome() for language in commands}
    for _ in range(runs):
        for language, command in commands.items():
            if not outcomes[language].failure:
                run_once(command, outcomes[language], timeout)
    return outcomes


def target_text(name):
    """The target as printed: the largest xol/lua ratio, if any, and `py` for no slower than CPython
    (`1.5py` for at most 1.5 times CPython's time)."""
    if name in MEASURED_ONLY:
        return "-"
    limit = TARGETS.get(name)
    python_limit = PYTHON_TARGETS.get(name)
    python_text = f"{python_limit:.1f}py" if python_limit is not None else "py"
    return f"{limit:.1f},{python_text}" if limit is not None else python_text


def geometric_mean(values):
    return math.exp(sum(math.log(value) for value in values) / len(values))


def main():
    parser = argparse.ArgumentParser(
        description="Xol against Lua 5.4 and CPython: best wall time of each program.")
    parser.add_argument("names", nargs="*", help="benchmarks to run (default: all)")
    parser.add_argument("--xol", default=os.path.join(TOP_DIR, "build", "release", "xol"),
                        help="the xol binary (default: build/release/xol)")
    parser.add_argument("--lua", default="lua5.4", help="the Lua interpreter (default: lua5.4)")
    parser.add_argument("--python", default="/usr/bin/python3",
                        help="the CPython interpreter (default: /usr/bin/python3)")
    parser.add_argument("--runs", type=int, default=3, help="runs of each program (default: 3)")
    parser.add_argument("--timeout", type=float, default=600, help="seconds allowed for one run")
    parser.add_argument("--check-targets", action="store_true",
                        help="exit non-zero also when a target is missed")
    arguments = parser.parse_args()

    if not os.access(arguments.xol, os.X_OK):
        sys.exit(f"compare.py: no xol binary at {arguments.xol} (cmake --preset release && "
                 "cmake --build --preset release)")
    if arguments.runs < 1:
        sys.exit("compare.py: --runs must be at least 1")
    interpreters = {"xol": arguments.xol, "lua": ensure_lua(arguments.lua),
                    "python": ensure_python(arguments.python)}

    available = find_benchmarks()
    names = arguments.names or available
    unknown = [name for name in names if name not in available]
    if unknown:
        sys.exit(f"compare.py: unknown benchmark {', '.join(unknown)} (have: {', '.join(available)})")

    print(f"{'name':<8} {'xol s':>8} {'lua s':>8} {'python s':>8} {'xol/lua':>8} {'py/lua':>7} "
          f"{'target':>7}  result")
    failed = missed = False
    xol_ratios = []
    python_ratios = []
    for name in names:
        commands = {language: [interpreter, program_path(language, name)]
                    for language, interpreter in interpreters.items()}
        outcomes = time_benchmark(commands, arguments.runs, arguments.timeout)
        xol, lua, python = outcomes["xol"], outcomes["lua"], outcomes["python"]
        xol_ratio = python_ratio = "-"
        broken = [f"{language} failed: {outcome.failure}"
                  for language, outcome in outcomes.items() if outcome.failure]
        if broken:
            verdict = "; ".join(broken)
        elif not xol.lines == lua.lines == python.lines:
            verdict = (f"results differ: xol {' '.join(xol.lines)!r}, lua {' '.join(lua.lines)!r}, "
                       f"python {' '.join(python.lines)!r}")
        else:
            xol_value = xol.best / lua.best
            python_value = python.best / lua.best
            if name not in OUTSIDE_MEAN:
                xol_ratios.append(xol_value)
                python_ratios.append(python_value)
            xol_ratio = f"{xol_value:.2f}"
            python_ratio = f"{python_value:.2f}"
            misses = []
            limit = TARGETS.get(name)
            if limit is not None and xol_value > limit:
                misses.append(f"above {limit:.1f}x lua")
            python_limit = PYTHON_TARGETS.get(name, 1.0)
            if xol.best > python.best * python_limit and name not in MEASURED_ONLY:
                misses.append("slower than python" if python_limit == 1.0
                              else f"above {python_limit:.1f}x python")
            verdict = "same result"
            if misses:
                verdict += ", target missed: " + " and ".join(misses)
                missed = True
        if not verdict.startswith("same result"):
            failed = True
        print(f"{name:<8} {xol.time_text():>8} {lua.time_text():>8} {python.time_text():>8} "
              f"{xol_ratio:>8} {python_ratio:>7} {target_text(name):>7}  {verdict}", flush=True)

    if xol_ratios:
        xol_mean = geometric_mean(xol_ratios)
        python_mean = geometric_mean(python_ratios)
        verdict = f"over {len(xol_ratios)} of {len(names)} benchmarks"
        if sorted(set(names) - OUTSIDE_MEAN) != sorted(set(available) - OUTSIDE_MEAN):
            # The target is for the whole set: the mean of a few benchmarks says nothing of it.
            verdict += ", target not judged on a subset"
        elif xol_mean > GEOMETRIC_MEAN_TARGET:
            verdict += f", target missed: above {GEOMETRIC_MEAN_TARGET:.1f}x lua"
            missed = True
        print(f"{'geomean':<8} {'':>8} {'':>8} {'':>8} {xol_mean:>8.2f} {python_mean:>7.2f} "
              f"{GEOMETRIC_MEAN_TARGET:>7.1f}  {verdict}")
    print("target: the largest xol/lua accepted; py: xol no slower than python (1.5py: at most 1.5x); "
          "-: measured only")

    if failed or (missed and arguments.check_targets):
        sys.exit(1)


if __name__ == "__main__":
    main()
