#!/bin/sh
# The console's start-up and `q` through a pipe, beside the lua5.4 and python3 interactive loops fed their
# own quit the same way, in one hyperfine run, so that the machine's load falls on all of them alike. The
# commands run through the shell for the redirection; hyperfine takes the shell's own start-up off. The
# console writes its settings on q: it gets a home folder of its own. Run from the source root after a
# release build:
#
#     bench/console/run.sh [path/to/xol]
set -e
here=$(cd "$(dirname "$0")" && pwd)
xol=$(cd "$(dirname "${1:-build/release/xol}")" && pwd)/$(basename "${1:-build/release/xol}")
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home hyperfine --warmup 20 --runs 200 \
    --command-name "xol console, q" "$xol < $here/quit.xol.in > /dev/null" \
    --command-name "lua5.4 -i, os.exit()" "lua5.4 -i < $here/quit.lua.in > /dev/null" \
    --command-name "python3 -i, quit()" "/usr/bin/python3 -q -i < $here/quit.py.in > /dev/null 2>&1"
