#!/usr/bin/env python3
"""DEFLATE beside Python's zlib module: 50 MB of generated text compressed by zlib at its default level
and decompressed, best of 3 rounds each, then bench_deflate (our zlib writer and reader) on the same text
and on zlib's stream. Prints every time and size and the ratios ours / zlib's. Targets: inflate at most
1.5x zlib's time (ours decoding zlib's stream), deflate at most 2x.

    cmake --build --preset release --target bench_deflate
    /usr/bin/python3 bench/deflate.py [path/to/bench_deflate]
"""
import os
import random
import re
import subprocess
import sys
import tempfile
import time
import zlib

SIZE = 50_000_000
WORDS = ("the of and to in is was that for on as with by at from his an were are which this be or had "
         "not but first one their its new after who they have her she two been other when there all during "
         "into school time may years more most only over city some world would where later up such used many "
         "can state about national out known university united then made").split()


def generate():
    """Lines of words drawn with a fixed seed, some capitalised, with numbers and punctuation."""
    rng = random.Random(2024)
    parts = []
    total = 0
    while total < SIZE:
        words = [rng.choice(WORDS) for _ in range(rng.randint(6, 18))]
        words[0] = words[0].capitalize()
        if rng.random() < 0.3:
            words.insert(rng.randint(1, len(words)), str(rng.randint(1, 99999)))
        line = " ".join(words) + rng.choice((".", ".", ",", ";", "?")) + "\n"
        parts.append(line)
        total += len(line)
    return "".join(parts).encode()[:SIZE]


def best_of_3(work):
    best = None
    result = None
    for _ in range(3):
        start = time.perf_counter()
        result = work()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, result


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "build", "release", "bench", "bench_deflate")
    binary = sys.argv[1] if len(sys.argv) > 1 else default
    text = generate()
    deflate_time, packed = best_of_3(lambda: zlib.compress(text))
    inflate_time, unpacked = best_of_3(lambda: zlib.decompress(packed))
    assert unpacked == text
    print(f"zlib deflate          {deflate_time * 1000:8.1f} ms  {len(text):10d} -> {len(packed):10d} bytes")
    print(f"zlib inflate          {inflate_time * 1000:8.1f} ms  {len(packed):10d} -> {len(text):10d} bytes")
    with tempfile.TemporaryDirectory() as folder:
        text_path = os.path.join(folder, "text")
        packed_path = os.path.join(folder, "text.zlib")
        with open(text_path, "wb") as file:
            file.write(text)
        with open(packed_path, "wb") as file:
            file.write(packed)
        run = subprocess.run([binary, text_path, packed_path], capture_output=True, text=True)
    print(run.stdout, end="")
    if run.returncode != 0:
        print(run.stderr, end="")
        return 1
    times = {m.group(1): float(m.group(2)) for m in re.finditer(r"^xol (\w+(?: \(\w+'?s?\))?)\s+([\d.]+) ms", run.stdout, re.M)}
    deflate_ratio = times["deflate"] / (deflate_time * 1000)
    inflate_ratio = times["inflate (zlib's)"] / (inflate_time * 1000)
    print(f"ratio deflate xol/zlib {deflate_ratio:.2f} (target at most 2)")
    print(f"ratio inflate xol/zlib {inflate_ratio:.2f} (target at most 1.5)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
