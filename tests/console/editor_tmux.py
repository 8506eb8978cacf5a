#!/usr/bin/env python3
"""The line editor on a real terminal: a private tmux server runs a shell, the shell runs a small script that
asks for lines in a loop, and the test types keys with send-keys and reads the screen with capture-pane.

Usage: editor_tmux.py --interpreter XOL [--only NAME]

Each case runs at 80x24 and at 40x10. When the build has the console written in Xol, a few cases run the
console itself (its prompts, results, completion and settings file); without it they are skipped. The
terminal's modes (stty -g in the pane's shell) must be the same after every way the run ends: q, Ctrl-D,
Ctrl-C, quit/return, an error, SIGTERM, SIGHUP, a fatal signal and a refused allocation during an edit, and
Ctrl-C outside one.
Exits 77 (skipped) when tmux is missing.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77

# Asks in a loop and prints each line molded. A few lines are commands: "hide" asks once with /hide,
# "hist" prints the history, "fail" raises an error nothing catches. Completion offers words of a fixed list.
DRIVER = r'''Xol [title: "The line editor, driven by keys"]

system/console: make object! [history: copy [] size: 0x0]
_save-cfg: does []
_console-init "Xol Console"

words: ["append" "print" "prin" "probe" "pwd"]
xol-complete-input: func [str [string!] console? [logic!] /local start word found result common] [
    start: str
    while [all [not head? start  #" " <> first back start]] [start: back start]
    word: copy/part start str
    found: copy []
    foreach w words [if find/match w word [append found w]]
    result: copy []
    if empty? found [return result]
    either 1 = length? found [
        append result skip tail rejoin [copy/part head str start found/1 copy str] negate length? str
    ] [
        common: copy found/1
        foreach w next found [while [not find/match w common] [remove back tail common]]
        append result skip tail rejoin [copy/part head str start common] 0
        append result found
    ]
    result
]

forever [
    line: ask ">> "
    case [
        line = "hide" [print ["hidden:" mold ask/hide "Secret: "]]
        line = "hist" [print ["history:" mold/flat system/console/history]]
        line = "size" [print ["size:" system/console/size]]
        line = "fail" [1 / 0]
        line = "busy" [print "busy" wait 60]
        line = "nocomp" [unset 'xol-complete-input]
        true [
            ; Quoted whole, so that a long line is not molded in braces; Escape and Tab shown as escapes.
            shown: copy line
            replace/all shown "^[" "^^["
            replace/all shown "^-" "^^-"
            print rejoin [{got: "} shown {"}]
        ]
    ]
    if line = "q" [quit]
    if _input-ended? [quit]
]
'''


class Tmux:
    count = 0

    def __init__(self, folder, width, height):
        Tmux.count += 1
        self.socket = f"xol-editor-{os.getpid()}-{Tmux.count}"
        self.folder = folder
        env = dict(os.environ, HOME=folder, TZ="UTC", PS1="$ ", ENV="")
        env.pop("XDG_CACHE_HOME", None)
        env.pop("TMUX", None)
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", str(width), "-y", str(height), "-s", "main",
                  "env", "PS1=$ ", "sh", env=env)
        self.tmux("set-option", "-g", "status", "off")
        self.wait_for(lambda screen: screen.rstrip().endswith("$"))

    def tmux(self, *arguments, env=None):
        return subprocess.run(["tmux", "-L", self.socket, *arguments], capture_output=True, text=True, env=env,
                              timeout=30).stdout

    def keys(self, *keys, literal=False):
        self.tmux("send-keys", "-t", "main", *(["-l"] if literal else []), *keys)

    def type(self, text):
        self.keys(text, literal=True)

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "main")

    def joined_screen(self):
        # Wrapped rows joined back into their lines (-J keeps trailing spaces: they go).
        return "\n".join(line.rstrip() for line in self.tmux("capture-pane", "-p", "-J", "-t", "main").split("\n"))

    def cursor(self):
        x, y = self.tmux("display-message", "-p", "-t", "main", "#{cursor_x} #{cursor_y}").split()
        return int(x), int(y)

    def wait_for(self, test, timeout=20.0):
        end = time.time() + timeout
        while time.time() < end:
            screen = self.screen()
            if test(screen):
                return screen
            time.sleep(0.05)
        raise AssertionError("timed out; the screen:\n" + self.screen())

    def wait_text(self, text, timeout=20.0):
        end = time.time() + timeout
        while time.time() < end:
            if text in self.joined_screen():
                return
            time.sleep(0.05)
        raise AssertionError(f"timed out waiting for {text!r}; the screen:\n" + self.screen())

    def settle(self):
        # The screen stops changing: the program has drawn what the keys asked for.
        last = None
        for _ in range(100):
            time.sleep(0.08)
            now = (self.screen(), self.cursor())
            if now == last:
                return
            last = now

    def pane_shell(self):
        return int(self.tmux("display-message", "-p", "-t", "main", "#{pane_pid}").strip())

    def kill_server(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True, timeout=30)


def interpreter_pid(shell_pid):
    """The interpreter the pane's shell started: its child, found through /proc."""
    for _ in range(200):
        try:
            with open(f"/proc/{shell_pid}/task/{shell_pid}/children") as file:
                children = file.read().split()
            if children:
                return int(children[0])
        except OSError:
            pass
        time.sleep(0.05)
    raise AssertionError("the interpreter did not start")


class Run:
    """One run of the driver in the pane, bracketed by stty -g before and after."""

    def __init__(self, term, interpreter, script):
        self.term = term
        self.done = os.path.join(term.folder, "done")
        for name in ("before", "after", "done"):
            path = os.path.join(term.folder, name)
            if os.path.exists(path):
                os.remove(path)
        term.type("clear; stty -g > before; " + interpreter + " " + script
                  + "; echo \"status=$?\" > done; stty -g > after; echo fini\"\"shed")
        term.keys("Enter")
        term.wait_for(lambda screen: ">>" in screen)  # capture-pane drops trailing spaces
        term.settle()

    def wait_end(self):
        self.term.wait_for(lambda screen: os.path.exists(os.path.join(self.term.folder, "after"))
                           and "finished" in screen)
        with open(self.done) as file:
            status = file.read().strip()
        with open(os.path.join(self.term.folder, "before")) as file:
            before = file.read()
        with open(os.path.join(self.term.folder, "after")) as file:
            after = file.read()
        return status, before == after


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def lines_of(screen):
    return [line.rstrip() for line in screen.split("\n")]


def got(term, text):
    term.wait_text("got: " + text)


# ---- The cases: each takes (term, run, width, height) ----------------------------------------------------

def case_typing_and_editing_keys(term, run, width, height):
    table = [
        # (keys, expected molded line)
        (["abcdef", "Left", "Left", "X"], '"abcdXef"'),
        (["abc", "C-a", "S", "C-e", "E"], '"SabcE"'),
        (["abcd", "C-b", "C-b", "C-k"], '"ab"'),
        (["abcd", "C-a", "C-f", "C-d"], '"acd"'),
        (["abcd", "Home", "Delete", "End", "BSpace", "z"], '"bcz"'),
        (["abcd", "Left", "Left", "BSpace"], '"acd"'),
        (["ab", "Right", "Right", "C-d", "C-f", "c"], '"abc"'),
        (["a€中😀"], '"a€中😀"'),
        (["x", "Insert", "PageUp", "PageDown", "C-s", "C-z", "y"], '"xy"'),
    ]
    for keys, expected in table:
        for key in keys:
            if key in ("Left", "Right", "Home", "End", "Delete", "BSpace", "Insert", "PageUp", "PageDown") \
                    or key.startswith("C-"):
                term.keys(key)
            else:
                term.type(key)
        term.keys("Enter")
        got(term, expected)
    term.type("q")
    term.keys("Enter")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_history(term, run, width, height):
    for line in ("one", "two", "two", "three", ""):
        term.type(line)
        term.keys("Enter")
    term.wait_text('got: ""')
    # The same line twice in a row is stored once, an empty line not at all; each line entered joins the
    # history unless it equals the newest entry.
    table = [
        (["Up"], '"three"'),
        (["Up", "Up", "Up", "Down"], '"one"'),  # the first Down after Ups shows the same entry again
        (["Up", "Up", "Up", "Up", "Up", "Up"], '""'),  # Up past the oldest empties the line
        (["Down"], '""'),  # Down with no entry fetched empties the line
        (["Up", "C-p", "C-n"], '"three"'),
    ]
    for keys, expected in table:
        for key in keys:
            term.keys(key)
        term.keys("Enter")
        got(term, expected)
    term.type("hist")
    term.keys("Enter")
    term.wait_text('history: ["hist" "three" "one" "three" "two" "one"]')
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_wrapped_line(term, run, width, height):
    text = "".join(chr(ord("a") + i % 26) for i in range(width + width // 2))
    term.type(text)
    term.settle()
    x, y = term.cursor()
    check((x, y)[0] == (3 + len(text)) % width, f"cursor after the wrapped text at {x},{y}")
    term.keys("Home")
    term.settle()
    hx, hy = term.cursor()
    check(hx == 3 and hy == y - 1, f"Home at {hx},{hy}, end was at {x},{y}")
    term.type("<")
    term.keys("End")
    term.type(">")
    term.keys("Enter")
    got(term, '"<' + text + '>"')
    term.keys("C-c")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_wide_at_last_column(term, run, width, height):
    # The prompt takes 3 cells; after width - 4 letters the cursor stands in the last column.
    term.type("a" * (width - 4))
    term.settle()
    x, y = term.cursor()
    check(x == width - 1, f"cursor at {x} before the wide character")
    term.type("中")
    term.settle()
    x2, y2 = term.cursor()
    check((x2, y2) == (2, y + 1), f"cursor at {x2},{y2} after the wide character, was {x},{y}")
    rows = lines_of(term.screen())
    check(rows[y] == ">> " + "a" * (width - 4) and rows[y + 1].startswith("中"), f"rows {rows[y]!r} {rows[y + 1]!r}")
    term.keys("Left")
    term.settle()
    check(term.cursor() == (0, y + 1), f"Left onto the wide character: cursor at {term.cursor()}")
    term.keys("Enter")
    got(term, '"' + "a" * (width - 4) + '中"')
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_completion(term, run, width, height):
    term.type("x app")
    term.keys("Tab")
    term.settle()
    check(lines_of(term.screen())[term.cursor()[1]].endswith(">> x append"), "one candidate completes in place")
    term.keys("Enter")
    got(term, '"x append"')
    term.type("pr")
    term.keys("Tab")
    got(term, '""')  # several candidates end the edit with an empty line ...
    check(any(line.endswith("print prin probe") for line in lines_of(term.screen())), "candidates shown")
    term.settle()
    term.type("i")  # ... and the next edit starts with the common part typed
    term.keys("Enter")
    got(term, '"pri"')
    term.type("zz")
    term.keys("Tab")  # no candidate: the Tab is a character
    term.keys("Enter")
    got(term, '"zz^-"')
    term.type("nocomp")
    term.keys("Enter")
    term.type("ap")
    term.keys("Tab")  # no completion function: the Tab is a character
    term.keys("Enter")
    got(term, '"ap^-"')
    term.keys("C-c")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_escape_and_hidden(term, run, width, height):
    term.type("abc")
    term.keys("Escape")
    got(term, '"abc^["')
    term.type("hide")
    term.keys("Enter")
    term.wait_text("Secret:")
    term.type("pass")
    term.settle()
    check(any(line.endswith("Secret: ****") for line in lines_of(term.screen())), "hidden echo")
    term.keys("Enter")
    term.wait_text('hidden: "pass"')
    term.type("hist")
    term.keys("Enter")
    term.wait_text('history: ["hist" "hide"]')
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_resize(term, run, width, height):
    term.type("size")
    term.keys("Enter")
    term.wait_text(f"size: {width}x{height}")
    text = "r" * (width + 10)
    term.type(text)
    term.settle()
    narrow = width // 2
    term.tmux("resize-window", "-t", "main", "-x", str(narrow), "-y", str(height))
    term.settle()
    term.type("Z")
    term.settle()
    x, _ = term.cursor()
    check(x == (3 + len(text) + 1) % narrow, f"cursor at column {x} after the resize")
    term.keys("Enter")
    got(term, '"' + text + 'Z"')
    term.type("size")
    term.keys("Enter")
    term.wait_text(f"size: {narrow}x{height}")
    term.tmux("resize-window", "-t", "main", "-x", str(width), "-y", str(height))
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_paste(term, run, width, height):
    term.tmux("set-buffer", "first\nsecond line\nthird\n")
    term.tmux("paste-buffer", "-t", "main")
    got(term, '"third"')
    screen = term.screen()
    order = [screen.find('got: "first"'), screen.find('got: "second line"'), screen.find('got: "third"')]
    check(-1 not in order and order == sorted(order), f"pasted lines in order: {order}")
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def end_case(how):
    def case(term, run, width, height):
        term.type("half typed")
        term.settle()
        if how == "interrupt":
            # Control-C outside an edit ends the run quietly with status 0.
            term.keys("C-a", "C-k")
            term.type("busy")
            term.keys("Enter")
            term.wait_for(lambda screen: any(line == "busy" for line in lines_of(screen)))
            term.keys("C-c")
            expected = "status=0"
        elif how == "error":
            term.keys("C-a", "C-k")
            term.type("fail")
            term.keys("Enter")
            expected = "status=1"
        elif how == "allocation":
            # Run with the editor's second allocation refused: the first redraw of a line too long for the
            # buffer the edit started with, while the terminal is raw.
            term.keys("C-a", "C-k")
            term.type("y" * 300)
            term.settle()
            term.keys("C-a")
            term.type("x")
            expected = "status=94"
        elif how == "quit":
            term.keys("C-a", "C-k")
            term.type("q")
            term.keys("Enter")
            expected = "status=0"
        else:
            signal = {"SIGTERM": 15, "SIGHUP": 1, "SIGSEGV": 11}[how]
            os.kill(interpreter_pid(term.pane_shell()), signal)
            expected = {"SIGTERM": "status=143", "SIGHUP": "status=129", "SIGSEGV": "status=1"}[how]
        status, same = run.wait_end()
        check(status == expected, f"{how}: {status}, expected {expected}")
        check(same, f"{how}: the terminal's modes changed")
        if how == "SIGSEGV":
            term.wait_text("*** Runtime Error 1: access violation")
        if how == "allocation":
            screen = term.joined_screen()
            check(re.search(r"y\n\*\*\* Runtime Error 94: out of memory\n\*\*\* at: [0-9A-F]{16}h\nfinished\n", screen),
                  "the out-of-memory report:\n" + screen)
            check("got:" not in screen, "the failed edit answered a line")
        if how == "interrupt":
            check("***" not in term.screen(), "Control-C printed something")
    return case


# ---- The console itself: its prompt, continuation prompt, completion and settings ------------------------

def settings_history(term):
    path = os.path.join(term.folder, ".cache", "xol", "Xol-Console", "console-cfg.xol")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as file:
        text = file.read()
    return text[text.find("history:"):].strip()


def case_console_session(term, run, width, height):
    term.wait_text("Type HELP for starting information.")
    term.type("1 + 2")
    term.keys("Enter")
    term.wait_text("== 3")
    term.type("x: [1")
    term.keys("Enter")
    term.settle()
    check(lines_of(term.screen())[term.cursor()[1]] == "[", "the continuation prompt")
    check(term.cursor()[0] == 5, f"cursor after the continuation prompt at {term.cursor()}")
    term.type("2]")
    term.keys("Enter")
    term.type("length? x")
    term.keys("Enter")
    term.wait_text("== 2")
    term.type("pri")
    term.keys("Tab")
    term.wait_text("prin print")
    term.settle()
    check(lines_of(term.screen())[term.cursor()[1]] == ">> prin", "the common part starts the next line")
    term.keys("C-a", "C-k")
    term.keys("Up")
    term.keys("Enter")
    term.wait_text("prin print\n>> length? x\n== 2")  # the line of candidates stays
    term.type("ab")
    term.keys("Escape")
    term.wait_text("(escape)")
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")
    history = settings_history(term)
    check(history == 'history: ["length? x" "2]" "x: [1" "1 + 2"]', f"settings saved: {history}")


def case_console_prompt_after_output(term, run, width, height):
    # The prompt starts where the output left off, and after an edit in the next row's first column.
    term.type('prin "x" a: ask "A? " b: ask "B? "')
    term.keys("Enter")
    term.wait_text("xA?")
    term.settle()
    x, y = term.cursor()
    check((lines_of(term.screen())[y], x) == ("xA?", 4), f"first ask: row {lines_of(term.screen())[y]!r}, cursor {x}")
    term.type("1")
    term.keys("Enter")
    term.wait_text("B?")
    term.settle()
    x, y = term.cursor()
    check((lines_of(term.screen())[y], x) == ("B?", 3), f"second ask: row {lines_of(term.screen())[y]!r}, cursor {x}")
    term.type("2")
    term.keys("Enter")
    term.wait_text('xA? 1\nB? 2\n== "2"')
    term.keys("C-d")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def case_console_unreadable_script(term, run, width, height):
    # At a terminal a script that cannot be read is reported, and the console starts as without one.
    term.wait_text("*** Access Error: cannot open: %missing.xol\n*** Where: read\n")
    term.wait_text("\n--== Xol ")
    term.wait_text("Type HELP for starting information.")
    screen = term.joined_screen()
    check(screen.find("cannot open") < screen.find("--== Xol"), "the error comes before the banner")
    term.type("1 + 1")
    term.keys("Enter")
    term.wait_text("== 2")
    term.type("q")
    term.keys("Enter")
    status, same = run.wait_end()
    check(status == "status=0" and same, f"{status}, modes kept: {same}")


def console_end_case(end, expected, history):
    def case(term, run, width, height):
        term.type("1 + 1")
        term.keys("Enter")
        term.wait_text("== 2")
        term.type("half")
        end(term)
        status, same = run.wait_end()
        check(status == expected and same, f"{status}, expected {expected}; modes kept: {same}")
        check(settings_history(term) == "history: " + history, f"settings saved: {settings_history(term)}")
    return case


# (name, case, the console's command line)
CONSOLE_CASES = [
    ("console session", case_console_session, ""),
    ("console prompt after output", case_console_prompt_after_output, ""),
    ("console after an unreadable script", case_console_unreadable_script, "missing.xol"),
    ("console ends by Ctrl-C", console_end_case(lambda term: term.keys("C-c"), "status=0", '["1 + 1"]'), ""),
    ("console ends by quit/return", console_end_case(
        lambda term: (term.keys("C-a", "C-k"), term.type("quit/return 3"), term.keys("Enter")), "status=3",
        '["quit/return 3" "1 + 1"]'), ""),
]

# (name, case), or (name, case, command line, environment)
CASES = [
    ("typing and editing keys", case_typing_and_editing_keys),
    ("history", case_history),
    ("wrapped line", case_wrapped_line),
    ("wide character at the last column", case_wide_at_last_column),
    ("completion", case_completion),
    ("escape and hidden echo", case_escape_and_hidden),
    ("resize", case_resize),
    ("paste", case_paste),
    ("ends by q", end_case("quit")),
    ("ends by an error", end_case("error")),
    ("ends by Ctrl-C outside an edit", end_case("interrupt")),
    ("ends by SIGTERM", end_case("SIGTERM")),
    ("ends by SIGHUP", end_case("SIGHUP")),
    ("ends by a fatal signal", end_case("SIGSEGV")),
    ("ends by a failed allocation", end_case("allocation"), "driver.xol", "XOL_EDITOR_FAIL_ALLOCATION=2"),
]


def run_case(interpreter, width, height, name, case, command_line="", driver=None, environment=""):
    """Runs one case in a fresh folder and tmux server: the interpreter with the command line given (the
    console when it is empty) and the variables of `environment` ("NAME=value ..."), beside a driver.xol
    holding `driver` when one is given. Prints a failure and answers False."""
    # A run killed with its server may still be writing its settings while the folder goes.
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as folder:
        if driver:
            with open(os.path.join(folder, "driver.xol"), "w") as file:
                file.write(driver)
        term = None
        try:
            term = Tmux(folder, width, height)
            term.tmux("send-keys", "-t", "main", f"cd {folder}", "Enter")
            case(term, Run(term, f"{environment} {interpreter}".strip(), command_line), width, height)
            return True
        except AssertionError as failure:
            print(f"FAIL {name} at {width}x{height}: {failure}")
            return False
        finally:
            if term:
                term.kill_server()


def has_console(interpreter):
    """Whether the build's start-up runs the console written in Xol."""
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, HOME=folder)
        env.pop("XDG_CACHE_HOME", None)
        process = subprocess.run([interpreter], input=b"print object? system/console\n", capture_output=True,
                                 env=env, timeout=120)
    return "true" in process.stdout.decode(errors="replace").split()


def parse_arguments():
    """The interpreter's path and the --only text of a tmux test; None when tmux is missing (skipped)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--interpreter", required=True)
    parser.add_argument("--only")
    arguments = parser.parse_args()
    if shutil.which("tmux") is None:
        print("skipped: tmux is not installed (tools/setup installs it)")
        return None
    return os.path.abspath(arguments.interpreter), arguments.only


def main():
    parsed = parse_arguments()
    if not parsed:
        return SKIP
    interpreter, only = parsed
    console = has_console(interpreter)
    if not console:
        print("skipped the console's own cases: this build has no system/console")
    failures = 0
    count = 0
    for width, height in ((80, 24), (40, 10)):
        for name, case, *rest in CASES + (CONSOLE_CASES if console else []):
            if only and only not in name:
                continue
            count += 1
            command_line = rest[0] if rest else "driver.xol"
            if not run_case(interpreter, width, height, name, case, command_line, DRIVER, rest[1] if rest[1:] else ""):
                failures += 1
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
