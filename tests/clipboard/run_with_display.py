#!/usr/bin/env python3
"""Runs one clipboard script test on a virtual X display of its own.

    python3 tests/clipboard/run_with_display.py --interpreter PATH [--timeout SECONDS] SCRIPT.xol

Needs xvfb-run and xclip (tools/setup installs both); without them the test reports itself skipped with
the reason. The script runs through tests/run_script.py as any other script, under xvfb-run with a
display number it picks, WAYLAND_DISPLAY cleared so that xclip serves the clipboard.
"""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import run_script  # noqa: E402

INSIDE = "XOL_CLIPBOARD_TEST_DISPLAY"


def main():
    if os.environ.get(INSIDE):
        return run_script.main()
    missing = [tool for tool in ("xvfb-run", "xclip") if shutil.which(tool) is None]
    if missing:
        print("skipped: %s not installed (tools/setup installs them)" % " and ".join(missing))
        return run_script.SKIP
    environment = dict(os.environ)
    environment.pop("WAYLAND_DISPLAY", None)
    environment[INSIDE] = "1"
    return subprocess.run(["xvfb-run", "-a", sys.executable, os.path.abspath(__file__)] + sys.argv[1:],
                          env=environment).returncode


if __name__ == "__main__":
    sys.exit(main())
