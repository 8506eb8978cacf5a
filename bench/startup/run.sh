#!/bin/sh
# Start-up of the three interpreters on empty scripts, in one hyperfine run, so that the machine's load
# falls on all of them alike. Run from the source root after a release build:
#
#     bench/startup/run.sh [path/to/xol]
set -e
here=$(dirname "$0")
xol=${1:-build/release/xol}
hyperfine --warmup 20 --runs 300 -N \
    "$xol $here/empty.xol" \
    "lua5.4 $here/empty.lua" \
    "/usr/bin/python3 $here/empty.py"
