#!/usr/bin/env python3
"""A stand-in interpreter for the runner's self-test: one statement per line, just enough to
produce the output, errors, exit statuses and delays the runner has to judge.

    print "TEXT"   prin "TEXT"   print-err "TEXT"   print-arg N   print-env NAME
    print-input    quit-return N   fail "MSG"   sleep SECONDS

Strings are "..." or {...} on one line with ^ escapes (^" ^^ ^M for CR); ";" outside one starts a
comment. "print-arg 0" prints the script's name as given; an unset variable prints as an empty line;
"print-input" shows a line missing its newline as <unterminated: TEXT> and end of input as <eof>.
"""

import os
import sys
import time

ESCAPES = {"M": "\r", "/": "\n", "-": "\t"}


def tokens(line):
    """Words and strings of one line, up to its comment."""
    result, i = [], 0
    while i < len(line):
        ch = line[i]
        if ch.isspace():
            i += 1
        elif ch == ";":
            break
        elif ch in '"{':
            close, depth, text = '"' if ch == '"' else "}", 1, ""
            i += 1
            while i < len(line):
                ch = line[i]
                i += 1
                if ch == "^" and i < len(line):
                    text += ESCAPES.get(line[i], line[i])
                    i += 1
                    continue
                depth += ch == "{" and close == "}"
                depth -= ch == close
                if not depth:
                    break
                text += ch
            result.append(text)
        else:
            start = i
            while i < len(line) and not line[i].isspace() and line[i] != ";":
                i += 1
            result.append(line[start:i])
    return result


def say(text, end="\n", stream=sys.stdout):
    stream.write(text + end)
    stream.flush()  # keep output that precedes a kill


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[0].startswith("Xol"):
        lines = lines[1:]
    for line in lines:
        words = tokens(line)
        if not words:
            continue
        word, arg = words[0], words[1] if len(words) > 1 else ""
        if word == "print":
            say(arg)
        elif word == "prin":
            say(arg, end="")
        elif word == "print-err":
            say(arg, stream=sys.stderr)
        elif word == "print-arg":
            say(sys.argv[1 + int(arg)])
        elif word == "print-env":
            say(os.environ.get(arg, ""))
        elif word == "print-input":
            got = sys.stdin.readline()
            say(got[:-1] if got.endswith("\n") else f"<unterminated: {got}>" if got else "<eof>")
        elif word == "quit-return":
            sys.exit(int(arg))
        elif word == "fail":
            say(f"*** Script Error: {arg}\n*** Where: fail")
            sys.exit(1)
        elif word == "sleep":
            time.sleep(float(arg))
        else:
            say(f"*** Script Error: {word} has no value")
            sys.exit(1)


if __name__ == "__main__":
    main()
