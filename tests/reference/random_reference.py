#!/usr/bin/env python3
"""A reference of the signed random generator, written from its description alone, checked against xol.

The generator: 624 signed 32-bit words, shift 397, twist constant 0x9908B0DF, tempering masks 0x9D2C5680
and 0xEFC60000, seeding multiplier 1812433253; every right shift carries the sign bit down. Draws of
`random n` are uniform in 1..n by rejection of draws at or above the largest multiple of n.

    random_reference.py XOL    runs XOL on a script of draws and compares every line with the reference
"""

import subprocess
import sys
import tempfile


def signed(value):
    value &= 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


class Generator:
    def __init__(self, seed=19650218):
        self.seed(seed)

    def seed(self, value):
        words = [signed(value)]
        for i in range(1, 624):
            previous = words[-1]
            words.append(signed(i + 1812433253 * (previous ^ (previous >> 30))))
        self.words = words
        self.index = 0

    def twist(self):
        w = self.words

        def mixed(high_from, low_from, far):
            y = signed((high_from & 0x80000000) | (low_from & 0x7FFFFFFF))
            return signed(far ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0))

        for k in range(623):
            w[k] = mixed(w[k], w[k + 1], w[(k + 397) % 624])
        w[623] = mixed(w[623], w[0], w[396])
        self.index = 0

    def next(self):
        if self.index == 624:
            self.twist()
        y = self.words[self.index]
        self.index += 1
        y = signed(y ^ (y >> 11))
        y = signed(y ^ ((y << 7) & 0x9D2C5680))
        y = signed(y ^ ((y << 15) & 0xEFC60000))
        y = signed(y ^ (y >> 18))
        return y

    def int(self, n):
        if n == 0:
            return 0
        if n == -(1 << 31):
            return -1 - self.next()
        size = -n if n < 0 else n
        limit = (2147483647 // size) * size
        d = self.next()
        while d >= limit:
            d = self.next()
        result = d % size + 1
        return -result if n < 0 else result


# The script: for each run, an optional seed and the limits of the draws, printed one a line.
RUNS = [
    (None, [2147483647] * 1300),  # the start-up sequence, across two twists
    (19650218, [2147483647] * 700),  # reseeding gives the start-up sequence again
    (0, [1000] * 300 + [-7] * 50 + [1, -1, 0, -2147483648] * 5),
    (-1, [6] * 200 + [1073741825] * 50),
    (-2147483648, [2147483647] * 10 + [3] * 100),
]


def script_and_expected():
    lines = ["Xol []"]
    expected = []
    generator = Generator()
    for seed, limits in RUNS:
        if seed is not None:
            lines.append(f"random/seed {seed}")
            generator.seed(seed)
        lines.append(f"foreach n [{' '.join(str(n) for n in limits)}] [print random n]")
        expected.extend(str(generator.int(n)) for n in limits)
    return "\n".join(lines) + "\n", expected


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    script, expected = script_and_expected()
    with tempfile.NamedTemporaryFile("w", suffix=".xol") as file:
        file.write(script)
        file.flush()
        run = subprocess.run([sys.argv[1], file.name], capture_output=True, text=True, timeout=120)
    got = run.stdout.splitlines()
    if run.returncode != 0 or run.stderr:
        print(f"xol ended with status {run.returncode}: {run.stderr.strip()}")
        return 1
    for number, (want, have) in enumerate(zip(expected, got), 1):
        if want != have:
            print(f"draw {number}: expected {want}, got {have}")
            return 1
    if len(got) != len(expected):
        print(f"expected {len(expected)} draws, got {len(got)}")
        return 1
    print(f"{len(expected)} draws agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
