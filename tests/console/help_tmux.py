#!/usr/bin/env python3
"""help, trace and the debugger typed at the console on a real terminal, at 80x24 and at 40x10: the layouts
that follow the console's width, the "debug> " prompt, and the history left as it was after a debug.

Usage: help_tmux.py --interpreter XOL [--only NAME]

Reuses the tmux harness of editor_tmux.py. Exits 77 (skipped) when tmux is missing or the build has no
console written in Xol.
"""
import sys

from editor_tmux import SKIP, check, has_console, lines_of, parse_arguments, run_case, settings_history

# A block whose mold is wider than any line: every layout must cut it.
LONG = "zqx-long: make block! 100 repeat n 100 [append zqx-long n] ()"
# How long a command may take: a sanitizer build under GC stress walks the global words slowly.
SLOW = 90.0
LONG_MOLD = "[" + " ".join(str(n) for n in range(1, 101)) + "]"


def fitted(text, width):
    """A help line fitted to the width: cut to width - 1 columns, the last three of them "..."."""
    return text if len(text) < width else text[:width - 4] + "..."


def enter(term, line, wait=None, prompt=">>"):
    """Types a line, waits for a text of its output when given, then for the next prompt."""
    term.type(line)
    term.keys("Enter")
    if wait:
        term.wait_text(wait, SLOW)
    wait_row(term, prompt)


def wait_row(term, text):
    """Waits until the cursor's row reads `text` (a prompt, or a line brought back from the history)."""
    term.wait_for(lambda screen: lines_of(screen)[term.cursor()[1]] == text, SLOW)


def rows_after(term, command, prompt=">>"):
    """The rows printed after the last row ending with the command that a prompt follows, up to that prompt."""
    rows = lines_of(term.tmux("capture-pane", "-p", "-J", "-S", "-", "-t", "main"))
    for start in reversed([i for i, row in enumerate(rows) if row.endswith(command)]):
        ends = [i for i in range(start + 1, len(rows)) if rows[i].startswith(prompt)]
        if ends:
            return rows[start + 1:ends[0]]
    raise AssertionError(f"no rows after {command!r}; the screen:\n" + term.screen())


def case_help(term, run, width, height):
    enter(term, LONG)
    enter(term, "? zqx-long", "ZQX-LONG is a block! value.")
    line = rows_after(term, "? zqx-long")[0]
    expected = fitted("ZQX-LONG is a block! value.  length: 100  " + LONG_MOLD, width)
    check(line == expected, f"the block's line: {line!r}, expected {expected!r}")

    enter(term, "what/with 'zqx-", "     zqx-long        block!")
    line = rows_after(term, "what/with 'zqx-")[0]
    expected = fitted("     zqx-long        block!        length: 100  " + LONG_MOLD, width)
    check(line == expected, f"what's line: {line!r}, expected {expected!r}")

    # An image prints its size line: there is no GUI to show it in.
    enter(term, "zqx-image: make image! 3x2 ()")
    enter(term, "? zqx-image", "size: 3x2")
    check(rows_after(term, "? zqx-image") == ["size: 3x2", ""], "the image's size line")

    # Every line of the system object fits (its heading is not fitted), and the prompt comes back.
    enter(term, "? system", "tools")
    rows = [row for row in rows_after(term, "? system") if row]
    check(rows[0] == "SYSTEM is an object! with the following words and values:", f"the heading: {rows[0]!r}")
    check(all(len(row) < width for row in rows[1:]), f"lines wider than {width - 1}: {rows}")
    check(any(row.startswith("     tools ") for row in rows), f"the last words of system: {rows}")

    # The tracer's line: " => " at the middle of the width less 7, at most 60.
    enter(term, "trace [1 + 2]", "== 3")
    line = rows_after(term, "trace [1 + 2]")[0]
    check(line.startswith("  1 + 2 ") and line.find(" => 3") == min(60, (width - 7) // 2),
          f"the traced line at {width}: {line!r}")
    # The profiler's result line fills the width, "== " included.
    enter(term, "profile [zqx-long]", "== [1 2 3")
    line = rows_after(term, "profile [zqx-long]")[0]
    expected = ("== " + LONG_MOLD)[:width].rstrip()
    check(line == expected, f"the profiler's result: {line!r}, expected {expected!r}")
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_debug(term, run, width, height):
    enter(term, LONG)
    enter(term, "debug [zqx-y: zqx-long]", "-----> EVAL zqx-y:", "debug>")
    enter(term, "n", "-----> EVAL zqx-long", "debug>")
    enter(term, "w zqx-long", prompt="debug>")
    enter(term, "", "-----> PUSH [1 2 3", "debug>")
    rows = rows_after(term, "debug>", "debug>")
    push = next((row for row in rows if row.startswith("-----> PUSH ")), None)
    watch = next((row for row in rows if row.startswith("Watch: zqx-long: ")), None)
    # The value is cut, without an ellipsis, to the width left after the text before it; the event's line
    # keeps one more column free. (The screen drops the spaces that end a row.)
    expected = (("-----> PUSH " + LONG_MOLD)[:width - 1].rstrip(), ("Watch: zqx-long: " + LONG_MOLD)[:width].rstrip())
    check((push, watch) == expected, f"lines at {width}: {push!r} {watch!r}, expected {expected}")
    enter(term, ":zqx-y", "== unset", "debug>")
    enter(term, "c")

    # q halts the evaluation; the console goes on.
    enter(term, "debug [print 1]", "-----> EVAL print", "debug>")
    enter(term, "q", "(halted)")
    enter(term, "zqx-x: 1", "== 1")

    # The lines typed at "debug> " leave no trace in the history: Up brings back the console's lines.
    term.keys("Up")
    wait_row(term, ">> zqx-x: 1")
    term.keys("Up")
    wait_row(term, ">> debug [print 1]")
    term.keys("C-a", "C-k")
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")
    expected = 'history: ["zqx-x: 1" "debug [print 1]" "debug [zqx-y: zqx-long]" {' + LONG + '}]'
    check(settings_history(term) == expected, f"settings saved: {settings_history(term)}")


CASES = [
    ("help at the console's width", case_help),
    ("debug at the prompt", case_debug),
]


def main():
    parsed = parse_arguments()
    if not parsed:
        return SKIP
    interpreter, only = parsed
    if not has_console(interpreter):
        print("skipped: this build has no system/console")
        return SKIP
    failures = 0
    count = 0
    for width, height in ((80, 24), (40, 10)):
        for name, case in CASES:
            if only and only not in name:
                continue
            count += 1
            if not run_case(interpreter, width, height, name, case, ""):
                failures += 1
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
