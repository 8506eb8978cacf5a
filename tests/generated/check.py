#!/usr/bin/env python3
"""The generated-program check: runs the scripts generate.py writes, plain and under GC stress, and compares.

    python3 tests/generated/check.py --interpreter PATH --seeds 1-200 [--jobs 8]

For each seed the script runs twice: without XOL_GC_STRESS, then with XOL_GC_STRESS=1 (every allocation
collects). A seed fails when the two runs differ in standard output or exit status, when either run does
not end within its timeout, writes anything to standard error (a sanitizer report, an assertion), prints
"*** Runtime Error" (a fatal error of the runtime, not of the script), or prints a line starting with
"BROKEN" (a result the script checks came out wrong). An error report of an error nothing catches is
fine when both runs agree.

A failing seed is reported with its script saved to a file and a command that reproduces it.

Many more seeds by hand, against the debug build (sanitizers) and the release build:

    python3 tests/generated/check.py --interpreter build/debug/xol --seeds 1-5000 --jobs 8
    python3 tests/generated/check.py --interpreter build/release/xol --seeds 1-50000 --jobs 8

Options: --seeds takes ranges and single seeds ("1-100,250,300-310"); --keep DIR saves failing scripts
there (default: generated-failures/ in the current folder); --timeout and --stress-timeout bound each
run (the machine's load matters: raise them on a busy machine); --quiet prints failures only.

CTest runs a few slices of seeds (tests/CMakeLists.txt). Under the gc-stress test preset the driver itself
has XOL_GC_STRESS set; then --second-pass-offset N shifts its seeds by N, so the two passes of tools/test
check different programs. --skip-known leaves out the seeds listed in KNOWN_FAULTS.
"""

import argparse
import concurrent.futures
import difflib
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import generate  # noqa: E402

# Seeds that fail because of a fault already reported and not mended yet: seed -> the fault. CTest leaves
# them out (--skip-known); a run by hand checks them. Remove an entry once its fault is mended.
KNOWN_FAULTS = {}


def parse_seeds(text):
    seeds = []
    for part in text.split(","):
        part = part.strip()
        if not part:
            continue
        first, dash, last = part.partition("-")
        if dash:
            seeds.extend(range(int(first), int(last) + 1))
        else:
            seeds.append(int(first))
    return seeds


def run(interpreter, script, stress, timeout):
    """Runs the script once: (exit status or None on timeout, stdout, stderr, seconds)."""
    env = dict(os.environ)
    env.pop("XOL_GC_STRESS", None)
    if stress:
        env["XOL_GC_STRESS"] = "1"
    home = tempfile.mkdtemp(prefix="xol-generated-home-")
    env.update(HOME=home, TZ="UTC")
    start = time.monotonic()
    try:
        process = subprocess.Popen([interpreter, script], cwd=home, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = process.communicate(timeout=timeout)
            status = process.returncode
        except subprocess.TimeoutExpired:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                out, err = process.communicate(timeout=5)
            except subprocess.TimeoutExpired:
                out, err = b"", b""
            status = None
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return status, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"), time.monotonic() - start


def problems_of_run(name, status, out, err, timeout):
    problems = []
    if status is None:
        problems.append(f"{name} run did not end within {timeout:g} s")
    elif status < 0:
        problems.append(f"{name} run ended by signal {-status}")
    if err:
        problems.append(f"{name} run wrote to standard error:\n" + indent(err, 40))
    for line in out.splitlines():
        if "*** Runtime Error" in line:
            problems.append(f"{name} run: {line.strip()}")
            break
    for line in out.splitlines():
        if line.startswith("BROKEN"):
            problems.append(f"{name} run: a checked result is wrong: {line.strip()}")
            break
    return problems


def indent(text, limit):
    lines = text.splitlines()
    shown = lines[:limit] + ([f"... {len(lines) - limit} more line(s)"] if len(lines) > limit else [])
    return "\n".join("    | " + line for line in shown)


def check_seed(seed, options):
    """Returns (seed, list of problems, script text, seconds plain, seconds under stress)."""
    text = generate.generate(seed, options.without)
    with tempfile.TemporaryDirectory(prefix="xol-generated-") as folder:
        script = os.path.join(folder, f"seed-{seed}.xol")
        with open(script, "w", encoding="utf-8") as file:
            file.write(text)
        plain = run(options.interpreter, script, False, options.timeout)
        stressed = run(options.interpreter, script, True, options.stress_timeout)
    problems = problems_of_run("plain", plain[0], plain[1], plain[2], options.timeout)
    problems += problems_of_run("GC-stress", stressed[0], stressed[1], stressed[2], options.stress_timeout)
    if plain[0] is not None and stressed[0] is not None:
        if plain[0] != stressed[0]:
            problems.append(f"exit status {plain[0]} plain, {stressed[0]} under GC stress")
        if plain[1] != stressed[1]:
            diff = difflib.unified_diff(plain[1].splitlines(), stressed[1].splitlines(), "plain", "GC stress",
                                        lineterm="", n=2)
            problems.append("the outputs differ:\n" + indent("\n".join(diff), 30))
    return seed, problems, text, plain[3], stressed[3]


def report_failure(seed, problems, text, options):
    os.makedirs(options.keep, exist_ok=True)
    saved = os.path.abspath(os.path.join(options.keep, f"seed-{seed}.xol"))
    with open(saved, "w", encoding="utf-8") as file:
        file.write(text)
    interpreter = options.interpreter
    print(f"FAIL seed {seed}")
    for problem in problems:
        print("  " + problem.replace("\n", "\n  "))
    print(f"  script: {saved}")
    without = f" --without {','.join(options.without)}" if options.without else ""
    print(f"  again:  {shlex.quote(sys.executable)} {shlex.quote(os.path.abspath(__file__))} "
          f"--interpreter {shlex.quote(interpreter)} --seeds {seed}{without}")
    print(f"  by hand: XOL_GC_STRESS=1 {shlex.quote(interpreter)} {shlex.quote(saved)}")
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description="Run generated Xol programs plain and under GC stress.")
    parser.add_argument("--interpreter", required=True, help="the xol binary")
    parser.add_argument("--seeds", required=True, help='seeds: "1-100,250"')
    parser.add_argument("--jobs", type=int, default=1, help="scripts run at once (default 1)")
    parser.add_argument("--timeout", type=float, default=20, help="seconds for a plain run (default 20)")
    parser.add_argument("--stress-timeout", type=float, default=120,
                        help="seconds for a run under GC stress (default 120)")
    parser.add_argument("--keep", default="generated-failures", help="folder for the scripts of failing seeds")
    parser.add_argument("--second-pass-offset", type=int, default=0,
                        help="shift the seeds by this when XOL_GC_STRESS is set for the driver itself")
    parser.add_argument("--skip-known", action="store_true", help="leave out the seeds in KNOWN_FAULTS")
    parser.add_argument("--without", default="",
                        help="features the programs leave out, comma-separated: " + ", ".join(generate.FEATURES))
    parser.add_argument("--quiet", action="store_true", help="print failures and the summary only")
    parser.add_argument("--verbose", action="store_true", help="print every seed with its times")
    options = parser.parse_args()
    options.without = [feature for feature in options.without.split(",") if feature]
    # Each run starts in a fresh folder of its own, so a relative path would not reach the interpreter.
    options.interpreter = os.path.abspath(options.interpreter)
    if not os.access(options.interpreter, os.X_OK):
        parser.error(f"no interpreter to run at {options.interpreter}")
    try:
        generate.generate(0, options.without)
    except ValueError as error:
        parser.error(str(error))

    seeds = parse_seeds(options.seeds)
    if options.second_pass_offset and os.environ.get("XOL_GC_STRESS"):
        seeds = [seed + options.second_pass_offset for seed in seeds]
    skipped = [seed for seed in seeds if options.skip_known and seed in KNOWN_FAULTS]
    seeds = [seed for seed in seeds if seed not in skipped]
    if not options.quiet:
        print(f"checking {len(seeds)} seed(s) from {min(seeds, default=0)} to {max(seeds, default=0)} "
              f"with {options.interpreter}")
        for seed in skipped:
            print(f"skipped seed {seed}: {KNOWN_FAULTS[seed]}")
        sys.stdout.flush()

    failures = 0
    slowest = (0.0, 0.0, None)
    start = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
        for seed, problems, text, plain_time, stress_time in pool.map(lambda s: check_seed(s, options), seeds):
            if stress_time > slowest[1]:
                slowest = (plain_time, stress_time, seed)
            if problems:
                failures += 1
                report_failure(seed, problems, text, options)
            elif options.verbose:
                print(f"seed {seed}: ok, {plain_time:.2f} s plain, {stress_time:.2f} s under GC stress")
                sys.stdout.flush()
    elapsed = time.monotonic() - start
    slow = f"; slowest seed {slowest[2]} ({slowest[0]:.1f} s plain, {slowest[1]:.1f} s stressed)" if slowest[2] else ""
    print(f"{len(seeds)} seed(s) checked in {elapsed:.0f} s, {failures} failed, {len(skipped)} skipped{slow}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
