#!/bin/sh
# Start-up of the three interpreters on empty scripts, in one hyperfine run, so that the machine's load
# falls on all of them alike; then the boot of a generated library of the full library's size (lexing it,
# decoding its image, decoding and running it), when the benchmark programs are built. Run from the source
# root after a release build:
#
#     bench/startup/run.sh [path/to/xol]
set -e
here=$(dirname "$0")
xol=${1:-build/release/xol}
hyperfine --warmup 20 --runs 300 -N \
    "$xol $here/empty.xol" \
    "lua5.4 $here/empty.lua" \
    "/usr/bin/python3 $here/empty.py"
image_bench=$(dirname "$xol")/bench/bench_boot_image
if [ -x "$image_bench" ]; then "$image_bench"; fi
