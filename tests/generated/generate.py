#!/usr/bin/env python3
"""Writes a random but well-formed Xol script from a seed: the programs of the generated-program check.

    python3 tests/generated/generate.py SEED [--without FEATURES]   # the script on standard output

The same seed always gives the same script (Python's own random.Random, no other input), so a seed
names a program. A script mixes nested blocks and parens, functions of every kind (func, function,
does, has, refinements, recursion), objects and paths into them, string and block operations (a
series changed with itself among them), sort of integers, strings and words (with comparators of the
script's own, some failing halfway), try, catch and throw, every loop with break and continue, the
conditionals, reduce and compose, and errors raised at random depths, the language's limits among
them: recursion to the end of the frame and value stacks through every kind of nesting, a paren that
holds itself, and nesting past the depth that mold and copy allow.

Each script prints as it goes, each line tagged with the place that printed it ("p12"), so two runs'
outputs can be compared line by line. Most statements run inside `check`, which catches their errors
and prints them, so a script usually runs to its end; a few run bare, and an error there ends the
script with its report. Where the result is known (a sort of literal data, a recursive sum, a loop's
count or a function's arguments after a stack overflow inside them), the script checks it and prints
a line starting with "BROKEN" when it is wrong. Loops keep the series they reach short, so every
script ends, and the runs to the stacks' end are few, so each stays quick under GC stress.

check.py, beside this file, runs the scripts and compares the runs; its docstring says how to run
many seeds by hand. Changing this generator changes the program behind every seed.
"""

import argparse
import random
import sys

# Words a script may sort; lower-case ASCII only, so their order is Python's order.
SORT_WORDS = ["alpha", "beta", "gamma", "delta", "w1", "w2", "w10", "w21", "x", "xy", "b", "a", "q-r", "z9"]
SORT_TEXTS = ["", "a", "ab", "abc", "b", "ba", "c", "w10", "w2", "zz", "m n", "k-1"]
# Text literals; a few are not ASCII, so multi-byte characters go through every string operation.
TEXTS = ["abc", "hello", "x", "", "a b c", "zyx", "Mixed Case", "é", "naïve", "日本", "ß-ok", "w1 w2", "12",
         "a😀b"]
# Source text with something wrong in it, loaded while the script runs.
BROKEN_SOURCES = ["1 + (", "[1 2", "a: }", "#{zz}", "1 2 )", "\"open", "x/:/y", "1.2.3.4.5.6.7.8.9.10.11", "@", ""]

PRELUDE = """\
; A value, molded on one line and cut short, after its tag.
show: func [tag value [any-type!]] [
    prin tag prin " " print mold/flat/part get/any 'value 160
]
; Runs a block and shows its value, or the error it raised.
check: func [tag code [block!] /local result] [
    set/any 'result try code
    either error! = type? get/any 'result [
        print [tag "error" result/type result/id mold/flat/part result/arg1 40]
    ] [show tag get/any 'result]
]
; The same, for a block that may also break, continue, return or throw.
check-all: func [tag code [block!] /local result] [
    set/any 'result try/all code
    either error! = type? get/any 'result [
        print [tag "error" result/type result/id]
    ] [show tag get/any 'result]
]
; An error's whole report: its message, where and near.
explain: func [tag code [block!] /local result] [
    set/any 'result try code
    either error! = type? get/any 'result [print [tag form/part result 300]] [show tag get/any 'result]
]
; True when every value is at most the next one.
ordered?: func [values [block! string!]] [
    either string? values [any [in-order? values :folded-lower in-order? values :folded-upper]] [
        in-order? values func [value] [value]
    ]
]
; A sorted string folds its letters one of two ways, by the width of its characters in memory: only
; A-Z to lower case for one-byte text, every letter to upper case (as texts compare) for wider text.
string?: func [value] [string! = type? :value]
folded-lower: func [c] [either all [c >= #"A" c <= #"Z"] [c + 32] [c]]
folded-upper: func [c] [to string! c]
in-order?: func [values key [any-function!] /local ok] [
    ok: true
    values: copy values
    while [1 < length? values] [
        if (key values/1) > (key values/2) [ok: false]
        values: next values
    ]
    ok
]
; A paren that holds itself, in a block: evaluating the block nests paren frames until the stack ends.
endless: make paren! 1 append/only endless endless endless: reduce [endless]
; The series, or a short copy of it once it has grown big: loops keep what they reach small. A block
; may grow deep rather than long (a deep copy of itself put into itself), so its molded size counts.
small: func [series /local cut] [
    if all [40 >= length? head series 300 > length? mold/flat/part head series 300] [return series]
    cut: copy/part head series 8
    either 300 > length? mold/flat/part cut 300 [cut] [copy []]
]
; Says BROKEN when a checked result is wrong.
expect: func [tag ok] [unless ok [print ["BROKEN" tag]]]
"""

# The series inside the two objects every script makes, and their kinds.
OBJECT_KINDS = {"o1/s": "str", "o1/sub/s": "str", "o2/s": "str", "o1/b": "blk", "o2/b": "blk"}
OBJECT_SERIES = list(OBJECT_KINDS)

# Runs to the end of the stacks a script makes at most, counted by cost: each takes a moment in the
# sanitizer build, and more under GC stress when the recursion allocates at every level.
DEEP_RUNS = 4


class Scope:
    """What the code being written may use: local words by kind, and the transfers that have a target."""

    def __init__(self, parent=None):
        self.locals = dict(parent.locals) if parent else {}  # name -> kind
        self.in_loop = parent.in_loop if parent else False
        self.in_function = parent.in_function if parent else False
        self.catch_names = list(parent.catch_names) if parent else []  # None stands for a plain catch
        self.loop_series = set(parent.loop_series) if parent else set()  # words forall walks: left alone
        self.repeats = parent.repeats if parent else 1  # how many times this code may run, at most

    def child(self, **changes):
        scope = Scope(self)
        for name, value in changes.items():
            setattr(scope, name, value)
        return scope


class Generator:
    def __init__(self, seed, without=()):
        self.seed = seed
        self.without = frozenset(without)
        self.rng = random.Random(seed)
        self.tag_count = 0
        self.name_count = 0
        self.out = []
        self.globals = {
            "int": ["i1", "i2", "i3"],
            "str": ["s1", "s2", "s3"],
            "blk": ["b1", "b2"],
            "sblk": ["t1"],
            "wblk": ["w1"],
            "obj": ["o1", "o2"],
        }
        # name -> (argument kinds, refinement argument kind or None, result kind)
        self.functions = {}
        # Recursions to the stacks' ends or a random depth: (name, arity, always an error, cost of a run).
        self.deep_functions = []
        self.budget = 0  # rough count of work, kept under a ceiling so GC stress stays quick
        self.deep_runs = 0  # runs to the stacks' end the script may make, at most

    # ---- small helpers

    def chance(self, p):
        return self.rng.random() < p

    def pick(self, items):
        return self.rng.choice(items)

    def tag(self):
        self.tag_count += 1
        return f'"p{self.tag_count}"'

    def fresh(self, stem):
        self.name_count += 1
        return f"{stem}{self.name_count}"

    def words_of(self, kind, scope):
        names = list(self.globals.get(kind, []))
        # The series forall walks is never read: a copy of the word could change it under the loop
        # (an insert at its position on every turn would never end).
        names += [n for n, k in scope.locals.items() if k == kind and n not in scope.loop_series]
        return names

    def series_target(self, kind, scope):
        """A word or path naming a series of the kind that may be changed in place."""
        return self.pick(self.words_of(kind, scope) + [t for t in OBJECT_SERIES if OBJECT_KINDS[t] == kind])

    # ---- expressions, by the kind of value they give

    def atom(self, kind, scope):
        rng = self.rng
        if kind == "int":
            if self.chance(0.5):
                return str(rng.randint(-20, 60))
            return self.pick(self.words_of("int", scope))
        # A literal series that a word takes and the script then changes is the code itself changing.
        # Code that runs more than once takes copies: run again, it would hand out the grown series,
        # and a loop walking that series while it grows might never end.
        fresh = "copy " if scope.repeats > 1 else ""
        if kind == "str":
            if self.chance(0.4):
                return fresh + self.text(self.pick(TEXTS))
            return self.pick(self.words_of("str", scope))
        if kind == "blk":
            if self.chance(0.4):
                return fresh + "[" + " ".join(str(rng.randint(-9, 30)) for _ in range(rng.randint(0, 5))) + "]"
            return self.pick(self.words_of("blk", scope))
        if kind == "logic":
            return self.pick(["true", "false"])
        if kind == "obj":
            return self.pick(self.words_of("obj", scope))
        raise ValueError(kind)

    def word_or_text(self, word):
        """A word, or a text in its place when sorts of words are left out (a block may be sorted later)."""
        return self.text(word) if "word-sort" in self.without else word

    @staticmethod
    def text(value):
        return '"' + value.replace("^", "^^").replace('"', '^"') + '"'

    def expr(self, kind, scope, depth):
        if depth <= 0 or self.chance(0.25):
            return self.atom(kind, scope)
        return getattr(self, "expr_" + kind)(scope, depth - 1)

    def paren(self, kind, scope, depth):
        """An expression safe to use as an operand: atoms as they are, anything else in parens."""
        text = self.expr(kind, scope, depth)
        if " " in text and not (text.startswith("[") or text.startswith('"')):
            return "(" + text + ")"
        return text

    def expr_int(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        e = lambda kind="int": self.expr(kind, scope, depth)  # noqa: E731
        c = lambda: self.cond(scope, depth)  # noqa: E731

        def arithmetic():
            op = self.pick(["+", "-", "+", "-", "*"])
            return f"{p('int')} {op} {str(rng.randint(-3, 3)) if op == '*' else p('int')}"

        def caught():
            inner = scope.child(catch_names=scope.catch_names + [None])
            return f"catch [{self.stmts(inner, depth, rng.randint(0, 2))} if {c()} [throw {p('int')}] {e()}]"

        def looped():
            count = rng.randint(1, 3)
            return f"loop {count} [{self.expr('int', scope.child(repeats=scope.repeats * count), depth)}]"

        def nested():
            parens = rng.randint(1, 12)
            return "(" * parens + e() + ")" * parens

        forms = [
            arithmetic, arithmetic, arithmetic, caught, looped, nested,
            lambda: f"{p('int')} % {self.pick(['2', '3', '7', '-5'])}",
            lambda: f"length? {p('str')}",
            lambda: f"length? {p('blk')}",
            lambda: f"index? {p('str')}",
            lambda: self.pick(["o1/n", "o1/sub/n", "o2/n"]),
            lambda: f"any [pick {p('blk')} {rng.randint(1, 4)} {p('int')}]",
            lambda: f"either {c()} [{e()}] [{e()}]",
            lambda: self.call("int", scope, depth) or f"absolute {p('int')}",
            lambda: f"do [{e()}]",
            lambda: (f"switch/default {p('int')} [{rng.randint(-2, 5)} [{e()}] "
                     f"{rng.randint(-2, 5)} {rng.randint(-2, 5)} [{e()}]] [{e()}]"),
            lambda: f"case [{c()} [{e()}] true [{e()}]]",
            lambda: f"length? reduce [{e()} {e('str')}]",
            lambda: f"negate {p('int')}",
            lambda: f"{self.pick(['o1', 'o2'])}/f {p('int')}",
            lambda: f"pick reduce [{e()} {e()}] {rng.randint(1, 2)}",
            lambda: f"length? mold {p(self.pick(['blk', 'str', 'int']))}",
            lambda: f"any [all [{c()} {p('int')}] {p('int')}]",
            lambda: f"any [o1/b/{rng.randint(1, 3)} {p('int')}]",
            lambda: f"any [pick {self.pick(self.words_of('blk', scope))} ({p('int')} % 3) + 1 {p('int')}]",
            lambda: f"index? any [find {p('blk')} {p('int')} {p('blk')}]",
            lambda: f"any [select [1 10 2 20 3 30] {p('int')} -1]",
            lambda: f"do bind [n + {p('int')}] {self.pick(['o1', 'o2', 'o1/sub'])}",
            lambda: f"length? to block! form {p('blk')}",
            lambda: f"index? any [find{self.pick(['', '/case', '/last'])} w1 '{self.pick(SORT_WORDS)} w1]",
            lambda: (f"switch/default to word! {self.text(self.pick(SORT_WORDS))} "
                     f"[{self.pick(SORT_WORDS)} [1] {self.pick(SORT_WORDS)} {self.pick(SORT_WORDS)} [2]] [3]"),
        ]
        return self.pick(forms)()

    def expr_str(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        n = lambda: str(rng.randint(-1, 6))  # noqa: E731
        any_kind = lambda: self.pick(["int", "str", "blk"])  # noqa: E731
        forms = [
            lambda: f"copy {p('str')}",
            lambda: f"copy/part {p('str')} {n()}",
            lambda: f"form {p(any_kind())}",
            lambda: f"mold {p(any_kind())}",
            lambda: f"append copy {p('str')} {p(any_kind())}",
            lambda: f"head insert copy {p('str')} {p(any_kind())}",
            lambda: f"reverse copy {p('str')}",
            lambda: f"sort copy {p('str')}",
            lambda: f"sort/reverse copy {p('str')}",
            lambda: f"either {self.cond(scope, depth)} [{self.expr('str', scope, depth)}] "
                    f"[{self.expr('str', scope, depth)}]",
            lambda: self.pick(["o1/s", "o1/sub/s", "o2/s"]),
            lambda: f"at {p('str')} {n()}",
            lambda: f"skip {p('str')} {n()}",
            lambda: f"next {p('str')}",
            lambda: f"head {p('str')}",
            lambda: f"any [find {p('str')} {self.text(self.pick(['a', 'b', ' ', 'w', 'é']))} {p('str')}]",
            lambda: f"trim copy {p('str')}",
            lambda: f"to string! {p(any_kind())}",
            lambda: f"take/part copy {p('str')} {n()}",
            lambda: f"head change copy {p('str')} {p(any_kind())}",
            lambda: f"head remove copy {p('str')}",
            lambda: f"remove/part copy {p('str')} {n()}",
            lambda: f"mold/flat/part {p(any_kind())} {rng.randint(0, 12)}",
            lambda: f"catch [throw {p('str')}]",
            lambda: self.call("str", scope, depth) or f"copy {p('str')}",
            lambda: f"form reduce [{self.expr('int', scope, depth)} {self.expr('str', scope, depth)}]",
            lambda: f"any [find/{self.pick(['tail', 'last', 'case', 'match'])} {p('str')} "
                    f"{self.text(self.pick(['a', 'B', 'w', 'ab', 'é']))} {p('str')}]",
            lambda: f"copy/part {(w := self.pick(self.words_of('str', scope)))} at {w} {n()}",
            lambda: f"mold/all {p(any_kind())}",
            lambda: f"form/part {p(any_kind())} {n()}",
            lambda: f"trim/all copy {p('str')}",
            lambda: f"head insert/dup copy {p('str')} {p(any_kind())} {rng.randint(0, 3)}",
            lambda: f"head reverse/part copy {p('str')} {n()}",
            lambda: f"sort/case copy {p('str')}",
            lambda: f"head sort/part at copy {p('str')} 2 {n()}",
            lambda: f"to string! any [pick {p('str')} {rng.randint(1, 3)} {self.text('-')}]",
            lambda: f"append/dup copy {p('str')} {p(any_kind())} {rng.randint(0, 3)}",
            lambda: f"head change/part copy {p('str')} {p('str')} {n()}",
        ]
        return self.pick(forms)()

    def expr_blk(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        forms = [
            lambda: f"copy {p('blk')}",
            lambda: f"reduce [{self.expr('int', scope, depth)} {self.expr('int', scope, depth)}]",
            lambda: f"compose [{rng.randint(0, 9)} ({self.expr('int', scope, depth)}) ({p('blk')})]",
            lambda: f"sort copy {p('blk')}",
            lambda: f"sort/reverse copy {p('blk')}",
            lambda: f"reverse copy {p('blk')}",
            lambda: f"append copy {p('blk')} {p('int')}",
            lambda: f"copy/part {p('blk')} {rng.randint(0, 4)}",
            lambda: f"next {p('blk')}",
            lambda: self.pick(["o1/b", "o2/b"]),
            lambda: f"head insert copy {p('blk')} {p('int')}",
            lambda: f"either {self.cond(scope, depth)} [{self.expr('blk', scope, depth)}] "
                    f"[{self.expr('blk', scope, depth)}]",
            lambda: f"head remove copy {p('blk')}",
            lambda: f"take/part copy {p('blk')} {rng.randint(0, 3)}",
            lambda: f"compose/deep [{self.word_or_text('a')} ({self.expr('int', scope, depth)}) "
                    f"[{self.word_or_text('b')} ({self.expr('int', scope, depth)})]]",
            lambda: f"copy/deep reduce [{p('blk')} {p('int')}]",
            lambda: self.call("blk", scope, depth) or f"copy {p('blk')}",
            lambda: f"sort/skip copy [{' '.join(str(rng.randint(0, 9)) for _ in range(2 * rng.randint(0, 4)))}] 2",
            lambda: f"sort/part copy {p('blk')} {rng.randint(0, 4)}",
            lambda: f"sort/stable copy {p('blk')}",
            # Loading a block's text back: form turns its texts into words, mold keeps them texts.
            lambda: (f"pick to block! mold {p('blk')} 1" if "word-sort" in self.without or self.chance(0.5)
                     else f"to block! form {p('blk')}"),
            lambda: f"copy/part {(w := self.pick(self.words_of('blk', scope)))} at {w} {rng.randint(0, 4)}",
            lambda: f"any [find/{self.pick(['tail', 'last'])} {p('blk')} {p('int')} {p('blk')}]",
            lambda: f"head insert/only copy {p('blk')} {p('blk')}",
            lambda: f"head change/part copy {p('blk')} {p('int')} {rng.randint(0, 3)}",
            lambda: f"reduce/into [{p('int')} {p('int')}] copy {p('blk')}",
            lambda: f"head reverse/part copy {p('blk')} {rng.randint(0, 4)}",
            lambda: f"append/dup copy {p('blk')} {p('int')} {rng.randint(0, 3)}",
        ]
        return self.pick(forms)()

    def expr_obj(self, scope, depth):
        return self.pick(self.words_of("obj", scope))

    def cond(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth - 1)  # noqa: E731
        choice = rng.randrange(11)
        if choice == 10:
            return f"'{self.pick(SORT_WORDS)} {self.pick(['<', '>', '=', '<>'])} any [pick w1 1 'none]"
        if choice < 3:
            return f"{p('int')} {self.pick(['<', '>', '=', '<>', '<=', '>='])} {p('int')}"
        if choice == 3:
            return f"{self.pick(['even?', 'odd?'])} {p('int')}"
        if choice == 4:
            return f"find {p('str')} {self.text(self.pick(['a', 'b', 'c', 'é', 'x']))}"
        if choice == 5:
            return f"({p('int')} > 0) and ({p('str')} < {p('str')})"
        if choice == 6:
            return f"any [{p('int')} = 1 {p('int')} = 2]"
        if choice == 7:
            return f"not {p('int')} < 3"
        if choice == 8:
            return f"find {p('blk')} {p('int')}"
        return self.pick(["true", "false", "none"])

    def call(self, kind, scope, depth):
        """A call of a generated function that gives the kind, or None when there is none yet."""
        names = [n for n, (_, _, result) in self.functions.items() if result == kind]
        if not names:
            return None
        name = self.pick(names)
        args, refinement, _ = self.functions[name]
        parts = [name]
        extra = []
        if refinement and self.chance(0.5):
            parts[0] = name + "/" + refinement[0]
            extra = [self.paren(refinement[1], scope, depth - 1)]
        parts += [self.paren(k, scope, depth - 1) for k in args] + extra
        return " ".join(parts)

    # ---- statements

    def stmts(self, scope, depth, count):
        return " ".join(self.stmt(scope, depth) for _ in range(count))

    def block(self, scope, depth, count=None):
        """A block of statements in brackets."""
        if count is None:
            count = self.rng.randint(1, 3)
        return "[" + self.stmts(scope.child(), depth, count) + "]"

    def loop_body(self, scope, depth, times=5):
        inner = scope.child(in_loop=True, repeats=scope.repeats * max(times, 1))
        body = self.stmts(inner, depth, self.rng.randint(1, 3))
        if self.chance(0.3):
            body += f" if {self.cond(inner, depth)} [{self.pick(['break', 'continue', 'break/return 7'])}]"
        return "[" + self.caps(scope) + " " + body + "]"

    def caps(self, scope):
        """Keeps every series a loop's body can reach from growing past a few dozen values.

        Every one, not only those the body changes: a word may share its series with another (`b2: b1`),
        and a function the body calls may change any. A series the loop walks then stops growing too,
        since the words that reach it are set to new copies.
        """
        targets = self.words_of("str", scope) + self.words_of("blk", scope) + OBJECT_SERIES
        return " ".join(f"{t}: small {t}" for t in targets)

    def stmt(self, scope, depth):
        self.budget += 1
        if depth <= 0 or self.budget > 900:
            return self.simple_stmt(scope, 0)
        weights = [
            (self.simple_stmt, 30),
            (self.mutate_stmt, 16),
            (self.cond_stmt, 10),
            (self.loop_stmt, 10),
            (self.catch_stmt, 5),
            (self.try_stmt, 5),
            (self.transfer_stmt, 5),
            (self.error_stmt, 3),
            (self.object_stmt, 5),
            (self.compose_stmt, 4),
            (self.sort_stmt, 5),
            (self.comparator_stmt, 1),
            (self.deep_stmt, 3),
            (self.cycle_stmt, 1),
        ]
        total = sum(w for _, w in weights)
        roll = self.rng.uniform(0, total)
        for method, weight in weights:
            roll -= weight
            if roll <= 0:
                return method(scope, depth - 1)
        return self.simple_stmt(scope, depth - 1)

    def simple_stmt(self, scope, depth):
        rng = self.rng
        kind = self.pick(["int", "str", "blk"])
        choice = rng.randrange(6)
        if choice < 2:
            return f"show {self.tag()} {self.expr(kind, scope, depth)}"
        if choice == 2:
            return f"print [{self.tag()} {self.paren('int', scope, depth)} {self.paren('str', scope, depth)}]"
        if choice == 3 and scope.locals:
            name = self.pick(sorted(scope.locals))
            return f"prin [{self.tag()} mold/flat/part get/any '{name} 60 {self.text(' ')}] print {self.text('')}"
        return f"{self.pick(self.words_of(kind, scope))}: {self.expr(kind, scope, depth)}"

    def mutate_stmt(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        if self.chance(0.55):
            target = self.series_target("str", scope)
            value = p(self.pick(["str", "int", "str"]))
            forms = [
                f"append {target} {value}",
                f"insert {target} {value}",
                f"change {target} {value}",
                f"remove {target}",
                f"reverse {target}",
                f"sort {target}",
                f"take {target}",
                f"trim {target}",
                f"insert/dup {target} {value} {rng.randint(0, 3)}",
                f"append/part {target} {p('str')} {rng.randint(0, 3)}",
                f"remove/part {target} {rng.randint(0, 3)}",
                f"change/part {target} {value} {rng.randint(0, 3)}",
                f"clear at {target} {rng.randint(2, 6)}",
                f"reverse/part {target} {rng.randint(0, 4)}",
            ]
        else:
            target = self.series_target("blk", scope)
            value = p(self.pick(["int", "int", "blk"]))
            forms = [
                f"append {target} {value}",
                f"insert {target} {value}",
                f"sort {target}",
                f"sort/reverse {target}",
                f"reverse {target}",
                f"remove {target}",
                f"take/last {target}",
                f"poke {target} 1 {value}",
                f"change {target} {value}",
                f"remove-each v {target} [{self.pick(['even? v', 'v > 5', 'false', 'true'])}]",
                f"append/only {target} [{value}]",
                f"insert/dup {target} {value} {rng.randint(0, 3)}",
                f"clear skip {target} {rng.randint(1, 5)}",
                f"swap {target} [{value}]",
            ]
        if self.chance(0.1):
            # The series into itself: the source grows, or moves, while it is read.
            forms = [f"{op} {target} {target}" for op in ["append", "insert", "change", "append/dup", "insert/part"]]
            forms = [f + (" 2" if "/" in f.split()[0] else "") for f in forms]
            forms.append(f"change/part {target} {target} 2")
        statement = self.pick(forms)
        if self.chance(0.3):
            return f"show {self.tag()} {statement}"
        return statement

    def cond_stmt(self, scope, depth):
        rng = self.rng
        c = lambda: self.cond(scope, depth)  # noqa: E731
        b = lambda: self.block(scope, depth)  # noqa: E731
        choice = rng.randrange(7)
        if choice == 0:
            return f"if {c()} {b()}"
        if choice == 1:
            return f"either {c()} {b()} {b()}"
        if choice == 2:
            return f"unless {c()} {b()}"
        if choice == 3:
            return f"case [{c()} {b()} {c()} {b()} true {b()}]"
        if choice == 4:
            return f"case/all [{c()} {b()} {c()} {b()}]"
        if choice == 5:
            cases = " ".join(f"{rng.randint(-1, 4)} {b()}" for _ in range(rng.randint(1, 3)))
            return f"switch/default {self.paren('int', scope, depth)} [{cases}] {b()}"
        cases = " ".join(f"{self.text(self.pick(TEXTS))} {b()}" for _ in range(rng.randint(1, 3)))
        return f"switch {self.paren('str', scope, depth)} [{cases}]"

    def loop_stmt(self, scope, depth):
        rng = self.rng
        count = rng.randint(0, 4)
        choice = rng.randrange(9)
        if choice == 0:
            return f"loop {count} {self.loop_body(scope, depth, count)}"
        if choice == 1:
            word = self.fresh("k")
            inner = scope.child(locals={**scope.locals, word: "int"})
            return f"repeat {word} {count} {self.loop_body(inner, depth, count)}"
        if choice == 2:
            word = self.fresh("v")
            inner = scope.child(locals={**scope.locals, word: "int"})
            return f"foreach {word} {self.paren('blk', scope, depth)} {self.loop_body(inner, depth)}"
        if choice == 3:
            first, second = self.fresh("v"), self.fresh("v")
            inner = scope.child(locals={**scope.locals, first: "int", second: "any"})
            return f"foreach [{first} {second}] {self.paren('blk', scope, depth)} {self.loop_body(inner, depth)}"
        if choice == 4:
            word = self.fresh("c")
            inner = scope.child(locals={**scope.locals, word: "any"})
            return f"foreach {word} {self.paren('str', scope, depth)} {self.loop_body(inner, depth)}"
        counter = self.fresh("n")
        inner = scope.child(locals={**scope.locals, counter: "count"})
        if choice == 5:
            body = self.loop_body(inner, depth, count)[1:]
            return f"{counter}: 0 while [{counter} < {count}] [{counter}: {counter} + 1 {body}"
        if choice == 6:
            # continue skips until's test, so the count is also checked at the start of the body.
            return (f"{counter}: 0 until [{counter}: {counter} + 1 if {counter} > {count} [break] "
                    f"{self.loop_body(inner, depth, count)[1:-1]} {counter} >= {count}]")
        if choice == 7:
            body = self.loop_body(inner, depth, count)[1:]
            return f"{counter}: 0 forever [{counter}: {counter} + 1 if {counter} > {count} [break] {body}"
        # forall walks a copy in a word of its own, which the body never reads (see words_of).
        word = self.fresh("f")
        kind = self.pick(["str", "blk"])
        inner = scope.child(locals={**scope.locals, word: kind})
        inner.loop_series = scope.loop_series | {word}
        return f"{word}: copy {self.paren(kind, scope, depth)} forall {word} {self.loop_body(inner, depth)}"

    def catch_stmt(self, scope, depth):
        rng = self.rng
        if self.chance(0.5):
            inner = scope.child(catch_names=scope.catch_names + [None])
            return f"show {self.tag()} catch {self.block(inner, depth, rng.randint(1, 4))}"
        name = self.pick(["alpha", "beta", "gamma"])
        inner = scope.child(catch_names=scope.catch_names + [name])
        names = self.pick([f"'{name}", f"[{name} delta]", f"[delta {name}]"])
        return f"show {self.tag()} catch/name {self.block(inner, depth, rng.randint(1, 4))} {names}"

    def try_stmt(self, scope, depth):
        rng = self.rng
        word = self.fresh("t")
        choice = rng.randrange(4)
        if choice == 0:
            return f"check {self.tag()} {self.block(scope, depth)}"
        if choice == 1:
            return f"check-all {self.tag()} {self.block(scope, depth)}"
        if choice == 2:
            return f"explain {self.tag()} {self.block(scope, depth)}"
        return f"set/any '{word} try {self.block(scope, depth)} print [{self.tag()} type? get/any '{word}]"

    def transfer_stmt(self, scope, depth):
        """break, continue, throw, return or exit: to their targets when there are some, else errors."""
        rng = self.rng
        options = []
        if scope.in_loop:
            options += ["break", "continue", f"break/return {self.paren('int', scope, depth)}"]
        if scope.catch_names:
            name = self.pick(scope.catch_names)
            options.append(f"throw {self.paren('int', scope, depth)}" if name is None
                           else f"throw/name {self.paren('str', scope, depth)} '{name}")
        if scope.in_function:
            options += [f"return {self.paren('int', scope, depth)}", "exit"]
        if not options or self.chance(0.1):
            options += ["break", f"throw {rng.randint(0, 9)}", "return 1"]
        return f"if {self.cond(scope, depth)} [{self.pick(options)}]"

    def error_stmt(self, scope, depth):
        errors = [
            "1 / 0",
            f'do make error! "raised {self.tag()[1:-1]}"',
            "o1/missing",
            "none + 1",
            f"poke b1 99 {self.paren('int', scope, depth)}",
            "add \"x\" 1",
            "undefined-word-here",
            f"o1/f {self.paren('str', scope, depth)}",
            "to integer! \"twelve\"",
            f"{self.paren('int', scope, depth)} / 0.0 + none",
        ]
        return f"if {self.cond(scope, depth)} [{self.pick(errors)}]"

    def object_stmt(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        forms = [
            lambda: f"o1/n: {p('int')}",
            lambda: f"o1/sub/n: {p('int')}",
            lambda: f"o2/s: {p('str')}",
            lambda: f"o2: make o1 [n: {p('int')} s: {p('str')}]",
            lambda: f"o2: make o2 [sub: make sub [s: {p('str')}]]",
            lambda: f"show {self.tag()} {self.pick(['o1', 'o2'])}/f {p('int')}",
            lambda: f"show {self.tag()} select w1 '{self.pick(SORT_WORDS)}",
            lambda: f"show {self.tag()} reflect {self.pick(['o1', 'o2', 'o1/sub'])} 'words",
            lambda: f"show {self.tag()} get in o1 '{self.pick(['n', 's', 'b'])}",
            lambda: f"show {self.tag()} select o2 '{self.pick(['n', 's', 'sub'])}",
            lambda: f"put o1 'n {p('int')}",
            lambda: f"show {self.tag()} o2/sub/{self.pick(['n', 's'])}",
            lambda: f"o1/count: o1/count + 1",
            lambda: f"show {self.tag()} make object! [a: {p('int')} b: {p('str')} c: [{p('int')}] d: a + 1]",
            lambda: f"o2/sub: make o1/sub [n: {p('int')}]",
            lambda: f"o1/b/{rng.randint(1, 3)}: {p('int')}",
            lambda: f"{self.pick(['b1', 'b2'])}/{rng.randint(1, 3)}: {p('int')}",
            lambda: f"o1/sub/s/{rng.randint(1, 3)}: #\"{self.pick('zé-')}\"",
            lambda: f"set [{self.pick(['i1', 'i2'])} {self.pick(['i3', 'i2'])}] reduce [{p('int')} {p('int')}]",
            lambda: f"set '{self.pick(['i1', 'i2', 'i3'])} get '{self.pick(['i1', 'i2', 'i3'])}",
            lambda: f"show {self.tag()} get in {self.pick(['o1', 'o2', 'o1/sub', 'o2/sub'])} 'n",
            lambda: (f"show {self.tag()} make object! [x: {p('int')} y: [{p('str')}] "
                     f"inner: make object! [z: x + 1] get-z: does [inner/z]]"),
            lambda: f"show {self.tag()} reflect {self.pick(['o1/sub', 'o2'])} 'values",
            lambda: f"o3/x: {p(self.pick(['int', 'str', 'blk']))} show {self.tag()} heard",
            lambda: f"set in o3 'x {p('int')} o3/y: {p('str')} show {self.tag()} heard",
        ]
        return self.pick(forms)()

    def compose_stmt(self, scope, depth):
        rng = self.rng
        p = lambda kind: self.paren(kind, scope, depth)  # noqa: E731
        forms = [
            lambda: f"show {self.tag()} reduce [{p('int')} {p('str')} [{p('int')}] ({p('int')})]",
            lambda: f"show {self.tag()} compose [x ({p('int')}) [({p('int')})] ({p('blk')})]",
            lambda: f"show {self.tag()} compose/deep [x [({p('int')}) [({p('str')})]] ({p('blk')})]",
            lambda: f"show {self.tag()} compose/only [({p('blk')}) ({p('str')})]",
            lambda: f"show {self.tag()} do compose [({p('int')}) + ({p('int')})]",
            lambda: f"show {self.tag()} do reduce [{self.pick(['add', 'subtract'])} {p('int')} {p('int')}]",
            lambda: f"show {self.tag()} reduce/into [{p('int')} {p('str')}] copy [z]",
            lambda: f"show {self.tag()} compose/into [({p('int')})] copy [y]",
            lambda: f"show {self.tag()} do {self.text(str(rng.randint(1, 9)) + ' + ' + str(rng.randint(1, 9)))}",
            lambda: f"show {self.tag()} mold/flat/part {self.nest(rng.randint(1, 40), p('int'))} 80",
            lambda: f"show {self.tag()} do/next [{p('int')} + 1 {p('str')}] 'rest show {self.tag()} rest",
            lambda: f"check {self.tag()} [do {self.text(self.pick(BROKEN_SOURCES))}]",
            lambda: f"check {self.tag()} [to block! {self.text(self.pick(BROKEN_SOURCES))}]",
        ]
        return self.pick(forms)()

    def nest(self, depth, inner):
        """A value nested `depth` deep in blocks and parens, written out literally."""
        opens, closes = [], []
        for _ in range(depth):
            if self.chance(0.5):
                opens.append("[")
                closes.append("]")
            else:
                opens.append("(")
                closes.append(")")
        return "".join(opens) + inner + "".join(reversed(closes))

    def cycle_stmt(self, scope, depth):
        """A block or object that holds itself, through the operations that walk into values."""
        rng = self.rng
        word, other = self.fresh("ring"), self.fresh("ring")
        if self.chance(0.5):
            make = (f"{word}: copy [{rng.randint(0, 9)} {self.text(self.pick(TEXTS))}] append/only {word} {word} "
                    f"{other}: reduce [{word} 1] append/only {word} {other}")
        else:
            make = (f"{word}: make object! [a: {rng.randint(0, 9)} b: none] {word}/b: {word} "
                    f"{other}: make object! [a: {word} b: [x]] append {other}/b {other}")
        operation = self.pick([
            f"mold/flat {word}", f"form {word}", f"copy {word}", f"length? mold copy/deep {word}",
            f"{word} = {other}", f"{word} = copy {word}", f"sort reduce [{word} {other} {word}]",
            f"find reduce [{other} {word}] {word}", f"length? mold/flat compose/deep [x ({word}) [{other}]]",
            f"length? mold/flat reduce [{word} {other}]", f"select reduce [{word} {other}] {word}",
            f"make {word} [c: 3]" if "object" in make else f"reverse copy {word}",
        ])
        return f"check {self.tag()} [{make} mold/flat/part {operation} 120]"

    def sort_stmt(self, scope, depth):
        """Sorts of data the generator knows, checked against Python's order, and sorts of anything."""
        rng = self.rng
        tag = self.tag()
        choice = rng.randrange(6)
        if "word-sort" in self.without and choice in (2, 3):
            choice = 0
        reverse = self.chance(0.3)
        refinement = "/reverse" if reverse else ""
        if choice < 5 and self.chance(0.3):
            # A comparator of the script's own: it may allocate at every call, so the collector runs
            # while the sort is under way.
            body = self.pick(["a {} b", "append copy [] a a {} b", "do [a {} b]",
                              "((mold reduce [a b]) = mold reduce [a b]) and (a {} b)",
                              "(length? reduce [a b]) = 2 and (a {} b)"])
            refinement = "/compare"
            comparator = " func [a b] [" + body.format(">" if reverse else "<") + "]"
        else:
            comparator = ""
        if choice == 0:
            values = [rng.randint(-50, 50) for _ in range(rng.randint(0, 12))]
            literal = "[" + " ".join(map(str, values)) + "]"
            wanted = "[" + " ".join(map(str, sorted(values, reverse=reverse))) + "]"
        elif choice == 1:
            values = [self.pick(SORT_TEXTS) for _ in range(rng.randint(0, 8))]
            literal = "[" + " ".join(self.text(v) for v in values) + "]"
            wanted = "[" + " ".join(self.text(v) for v in sorted(values, reverse=reverse)) + "]"
        elif choice == 2:
            values = [self.pick(SORT_WORDS) for _ in range(rng.randint(0, 10))]
            literal = "[" + " ".join(values) + "]"
            wanted = "[" + " ".join(sorted(values, reverse=reverse)) + "]"
        elif choice == 3:
            # Words made at run time, from text: their spellings are new to the symbol table.
            values = [f"g{rng.randint(0, 99)}x{self.seed % 97}" for _ in range(rng.randint(1, 10))]
            literal = f"to block! {self.text(' '.join(values))}"
            wanted = "[" + " ".join(sorted(values, reverse=reverse)) + "]"
        elif choice == 4:
            value = "".join(self.pick("abcxyz019") for _ in range(rng.randint(0, 10)))
            literal = self.text(value)
            wanted = self.text("".join(sorted(value, reverse=reverse)))
        else:
            target = self.pick(["b1", "t1", "s1", "o1/b"] + ([] if "word-sort" in self.without else ["w1"]))
            reversed_copy = "reverse copy " if reverse else ""
            return f"show {tag} sort{refinement} {target} expect {tag} ordered? {reversed_copy}{target}"
        word = self.fresh("sorted")
        # Each sort works on a copy, so the script's own literal stays as it is for the next run.
        return (f"{word}: sort{refinement} copy {literal}{comparator} show {tag} {word} "
                f"expect {tag} {self.text(wanted)} = mold/flat {word}")

    def comparator_stmt(self, scope, depth):
        """A sort whose comparator fails, throws, breaks or changes the series under the sort."""
        rng = self.rng
        word, calls = self.fresh("sorting"), self.fresh("calls")
        values = [rng.randint(-9, 30) for _ in range(rng.randint(2, 10))]
        leave = self.pick(["1 / 0", f"throw {calls}", "break", f"break/return {calls}",
                           f"append {word} 1", f"clear {word}", f"remove {word}", f"reverse {word}",
                           f"{word}: copy [1]", "return 5"])
        stop = rng.randint(1, 12)
        sort = (f"{word}: copy [{' '.join(map(str, values))}] {calls}: 0 "
                f"sort/compare {word} func [a b] [{calls}: {calls} + 1 if {calls} = {stop} [{leave}] a < b]")
        tag = self.tag()
        container = self.pick(["check-all {tag} [{sort}]", "show {tag} catch [{sort}]",
                               "show {tag} loop 2 [{sort}]", "check {tag} [{sort}]"])
        return container.format(tag=tag, sort=sort) + f" show {tag} {word}"

    # ---- the limits: deep recursion, nesting, errors at depth

    def wrapper(self, call, allocating=True):
        """Wraps a recursive call in one of the ways code nests: natives, parens, loops, catches."""
        forms = [
            "({})", "do [{}]", "either true [{}] [0]", "loop 1 [{}]", "reduce [{}]", "catch [{}]",
            "all [{}]", "foreach x [1] [{}]", "repeat i 1 [{}]", "if true [{}]", "1 + {}", "any [{}]",
            "do reduce [{}]", "case [true [{}]]", "switch 1 [1 [{}]]", "unless false [{}]",
            "compose [({})]", "until [{} true]", "while [true] [break/return {}]", "((({})))",
            "reduce [1 2 3 4 5 6 7 8 {}]", "pick reduce [{}] 1",
        ]
        if not allocating:
            forms = [form for form in forms if not ("reduce" in form or "compose" in form)]
        return self.pick(forms).format(call)

    def deep_function(self):
        """Defines a function that recurses until the stacks run out, or until it stops at a random depth."""
        rng = self.rng
        name = self.fresh("deep")
        arity = self.pick([1, 1, 1, 3, 8])
        params = ["n"] + [f"a{i}" for i in range(2, arity + 1)]
        body = f"{name} n + 1 " + " ".join(params[1:])
        # Under GC stress an allocation at every level costs a collection over every frame below it: one
        # such wrapper at most, and a run of it counts three.
        cost = 1
        for _ in range(rng.randint(1, 3)):
            body = self.wrapper(body.strip(), allocating=cost == 1)
            if "reduce" in body or "compose" in body:
                cost = 3
        stop = definition = ""
        choice = rng.randrange(5)
        depth = rng.randint(1, 6000)  # past the deepest the stacks allow, at times
        if choice == 0:
            stop = f"if n = {depth} [1 / 0] "
        elif choice == 1:
            stop = f"if n = {depth} [throw n] "
        elif choice == 2:
            # Nested parens evaluated at the bottom of a deep recursion: the frame stack may end inside
            # them. They stand in a word of their own, since func copies its body and refuses deep nesting.
            parens = rng.randint(100, 2000)
            definition = f"{name}-parens: [{'(' * parens}n{')' * parens}]\n"
            stop = f"if n = {depth} [return do {name}-parens] "
        elif choice == 3 and self.chance(0.5):
            stop = f"if n = {depth} [return do endless] "
        # Without a stop, or with an error at the stop, the recursion can only end in an error.
        self.deep_functions.append((name, arity, choice not in (1, 2), cost))
        return f"{definition}{name}: func [{' '.join(params)}] [{stop}{body}]"

    def deep_stmt(self, scope, depth):
        """Runs a deep recursion inside a container and checks that the container carries on as it should.

        The recursion ends at the stacks' limits or at a random depth; its error or thrown value comes
        back through a try. The container (a loop, a function's arguments, a reduce, a set-word...) must
        still hold its own values afterwards and run its course, which the script checks.
        """
        if "frame-limit" in self.without or self.deep_runs + 3 * scope.repeats > DEEP_RUNS:
            # Each run to the stacks' end takes a moment in the sanitizer build: a few a script.
            return self.simple_stmt(scope, depth)
        roll = self.rng.random()
        cost = 1
        if roll < 0.4 and self.deep_functions:
            name, arity, always_error, cost = self.pick(self.deep_functions)
            attempt = f"try [catch [{name} 0{' 1' * (arity - 1)}]]"
        elif roll < 0.55:
            # A block that evaluates itself through a paren: no function, no argument cells.
            cycle = self.fresh("cycle")
            attempt, always_error = f"try [{cycle}: [(do {cycle})] do {cycle}]", True
        else:
            # A paren that holds itself (made in the prelude): paren frames without end, and no cells.
            attempt, always_error = "try endless", True
        tag = self.tag()
        result = self.fresh("t")
        probe = f"set/any '{result} {attempt} print [{tag} type? get/any '{result}]"
        if always_error:
            probe += f" expect {tag} error! = type? get/any '{result}"
        visible = sorted(n for n, k in scope.locals.items() if k in ("int", "str", "count"))[:3]
        if visible:
            # The enclosing code's own words, the same before and after.
            saved = self.fresh("saved")
            values = " ".join(visible)
            probe = f"{saved}: reduce [{values}] {probe} expect {tag} {saved} = reduce [{values}]"
        count, item, series, function = self.fresh("count"), self.fresh("v"), self.fresh("series"), self.fresh("g")
        containers = [
            f"{probe}",
            f"{count}: 0 loop 3 [{count}: {count} + 1 {probe}] expect {tag} {count} = 3",
            f"{count}: 0 repeat {item} 3 [{count}: {count} + 1 {probe} expect {tag} {item} = {count}] "
            f"expect {tag} {count} = 3",
            f"{count}: 0 foreach {item} [10 20 30] [{count}: {count} + 1 {probe} expect {tag} {item} = ({count} * 10)] "
            f"expect {tag} {count} = 3",
            f"{count}: 0 while [{count} < 3] [{count}: {count} + 1 {probe}] expect {tag} {count} = 3",
            f"{count}: 0 until [{count}: {count} + 1 {probe} {count} >= 3] expect {tag} {count} = 3",
            f"{count}: 0 forever [{count}: {count} + 1 {probe} if {count} = 3 [break]] expect {tag} {count} = 3",
            f"{series}: copy [1 2 3] {count}: 0 forall {series} [{count}: {count} + 1 {probe} "
            f"expect {tag} {series}/1 = {count}] expect {tag} {count} = 3",
            f"{function}: func [a b c] [{probe} reduce [a b c]] expect {tag} [1 2 3] = {function} 1 2 3",
            f"{function}: function [a] [x: a + 1 {probe} reduce [a x]] expect {tag} [4 5] = {function} 4",
            f"{result}: reduce [1 2 (type? {attempt}) 3 4] expect {tag} [1 2 3 4] = head remove at {result} 3 "
            f"show {tag} {result}",
            f"{result}: compose [1 (type? {attempt}) 2] expect {tag} [1 2] = head remove at {result} 2",
            f"{result}: {attempt} print [{tag} type? :{result}]"
            + (f" expect {tag} error! = type? :{result}" if always_error else ""),
            f"{result}: either true [{probe} 5] [6] expect {tag} {result} = 5",
            f"{result}: catch [{probe} throw 7] expect {tag} {result} = 7",
            f"{result}: case [false [0] true [{probe} 8]] expect {tag} {result} = 8",
            f"{result}: switch 2 [1 [0] 2 [{probe} 9]] expect {tag} {result} = 9",
            f"{result}: all [true do [{probe} true] 10] expect {tag} {result} = 10",
            f"{result}: do [{probe} 11] expect {tag} {result} = 11",
            f"{result}: 100 + ({probe} 12) expect {tag} {result} = 112",
        ]
        # The first eight run the probe three times.
        container = self.rng.randrange(len(containers))
        runs = (3 if 1 <= container <= 7 else 1) * scope.repeats * cost
        if self.deep_runs + runs > DEEP_RUNS:
            container, runs = 0, scope.repeats * cost
        self.deep_runs += runs
        return containers[container]

    def nesting_stmt(self):
        """Values nested deep, near and past the depth that mold, copy/deep and compose/deep allow."""
        rng = self.rng
        depth = self.pick([rng.randint(2, 100), rng.randint(900, 1100), rng.randint(990, 1010), rng.randint(1, 400)])
        word = self.fresh("nest")
        if self.chance(0.4):
            # Parens nested in parens: evaluation goes as deep as the nesting.
            value = "(" * depth + str(rng.randint(0, 9)) + ")" * depth
            return f"check {self.tag()} [{word}: [{value}] do {word}]"
        value = self.nest(depth, str(rng.randint(0, 9)))
        operation = self.pick([
            f"length? mold {word}", f"length? mold copy/deep {word}", f"length? mold compose/deep {word}",
            f"{word} = copy/deep {word}", f"length? form {word}", f"length? reduce {word}",
            f"do {word}", f"find {word} 1", f"length? mold/flat {word}", f"{word} = {word}",
        ])
        return f"check {self.tag()} [{word}: [{value}] {operation}]"

    # ---- definitions

    def function_def(self):
        rng = self.rng
        name = self.fresh("f")
        result = self.pick(["int", "int", "str", "blk"])
        arg_count = rng.randint(0, 3)
        arg_kinds = [self.pick(["int", "int", "str", "blk"]) for _ in range(arg_count)]
        arg_names = [self.fresh("a") for _ in arg_kinds]
        locals_ = dict(zip(arg_names, arg_kinds))
        refinement = None
        maker = self.pick(["func", "func", "function", "does", "has"])
        if maker == "does":
            arg_kinds, arg_names, locals_ = [], [], {}
        if maker == "has":
            arg_kinds, arg_names = [], []
            local = self.fresh("l")
            locals_ = {local: "int"}
        scope = Scope()
        scope.in_function = True
        scope.repeats = 100  # a function may be called any number of times
        if maker == "func" and self.chance(0.4):
            ref_name, ref_arg = self.fresh("r"), self.fresh("a")
            refinement = (ref_name, "int", ref_arg)
            locals_[ref_arg] = "int"
        scope.locals = dict(locals_)
        if maker == "function":
            local = self.fresh("l")
            scope.locals[local] = "int"
        body = self.stmts(scope, 2, rng.randint(0, 3))
        if maker == "function":
            body = f"{local}: {self.expr('int', scope, 1)} " + body
        if maker == "has":
            body = f"{local}: {self.expr('int', scope, 1)} " + body
        if refinement:
            ref_name, _, ref_arg = refinement
            body += f" if {ref_name} [{ref_arg}: {ref_arg} + 1]"
            scope.locals[ref_arg] = "int"
        body += " " + self.expr(result, scope, 2)
        spec = " ".join(arg_names)
        if refinement:
            spec += f" /{refinement[0]} {refinement[2]}"
        if maker in ("func", "function"):
            text = f"{name}: {maker} [{spec.strip()}] [{body}]"
        elif maker == "does":
            text = f"{name}: does [{body}]"
        else:
            text = f"{name}: has [{' '.join(locals_)}] [{body}]"
        self.functions[name] = (arg_kinds, (refinement[0], "int") if refinement else None, result)
        return text

    def recursive_def(self):
        """A recursion with a known result, checked in the script: a sum, counted through a random route."""
        rng = self.rng
        name = self.fresh("rsum")
        route = self.pick([
            f"{name} n - 1", f"({name} n - 1)", f"do [{name} n - 1]", f"either true [{name} n - 1] [0]",
            f"catch [throw {name} n - 1]", f"pick reduce [{name} n - 1] 1", f"loop 1 [{name} n - 1]",
            f"all [{name} n - 1]", f"compose [({name} n - 1)]",
        ])
        if route.startswith("compose"):
            route = f"pick {route} 1"
        count = self.pick([rng.randint(0, 30), rng.randint(0, 300), rng.randint(0, 900)])
        lines = [f"{name}: func [n] [either n <= 0 [0] [n + {route}]]"]
        tag = self.tag()
        lines.append(f"check {tag} [{name} {count}] expect {tag} ({name} {count}) = {count * (count + 1) // 2}")
        return lines

    # ---- the script

    def prelude_values(self):
        rng = self.rng
        lines = []
        for name in self.globals["int"]:
            lines.append(f"{name}: {rng.randint(-10, 40)}")
        for name in self.globals["str"]:
            lines.append(f"{name}: copy {self.text(self.pick(TEXTS))}")
        for name in self.globals["blk"]:
            lines.append(f"{name}: copy [{' '.join(str(rng.randint(-9, 30)) for _ in range(rng.randint(0, 6)))}]")
        lines.append(f"t1: copy [{' '.join(self.text(self.pick(SORT_TEXTS)) for _ in range(rng.randint(0, 6)))}]")
        lines.append(f"w1: copy [{' '.join(self.pick(SORT_WORDS) for _ in range(rng.randint(0, 6)))}]")
        lines.append(
            "o1: make object! [n: 1 s: copy \"obj\" b: copy [3 1 2] count: 0\n"
            "    sub: make object! [n: 2 s: copy \"sub\"]\n"
            "    f: func [x] [count: count + 1 x + n]]")
        lines.append("o2: make o1 [n: 5 s: copy \"two\" b: copy [9 8]]")
        lines.append("heard: copy []")
        lines.append("o3: make object! [x: 0 y: \"\" on-change*: func [word old new] [\n"
                     "    heard: small append heard reduce [word type? :new]]]")
        return lines

    def script(self):
        rng = self.rng
        lines = [f'Xol [title: "generated program {self.seed}"]', "", PRELUDE]
        lines += self.prelude_values()
        for _ in range(rng.randint(1, 3)):
            lines.append(self.function_def())
        for _ in range(rng.randint(0, 2)):
            if "frame-limit" not in self.without:
                lines.append(self.deep_function())
        statements = rng.randint(15, 35)
        for _ in range(statements):
            roll = rng.random()
            scope = Scope()
            if roll < 0.06:
                lines.append(self.function_def())
            elif roll < 0.09 and "frame-limit" not in self.without:
                lines.append(self.deep_function())
            elif roll < 0.12:
                lines += self.recursive_def()
            elif roll < 0.16:
                lines.append(self.nesting_stmt())
            elif roll < 0.19:
                # Bare: an error here is nobody's to catch and ends the script.
                lines.append(self.stmt(scope, 2))
            else:
                tag = self.tag()
                body = self.stmts(scope, rng.randint(1, 4), rng.randint(1, 3))
                lines.append(f"check {tag} [{body}]")
        lines.append('print "end"')
        return "\n".join(lines) + "\n"


# What --without may leave out, to look past a known fault that many seeds would hit.
FEATURES = {
    "word-sort": "sorts of blocks that hold words",
    "frame-limit": "recursion to the end of the stacks",
}


def generate(seed, without=()):
    unknown = set(without) - set(FEATURES)
    if unknown:
        raise ValueError(f"unknown feature(s) {', '.join(sorted(unknown))}; known: {', '.join(FEATURES)}")
    return Generator(seed, without).script()


def main():
    parser = argparse.ArgumentParser(description="Write the generated Xol program of a seed.")
    parser.add_argument("seed", type=int)
    parser.add_argument("--without", default="", help="features left out, comma-separated: " + ", ".join(FEATURES))
    options = parser.parse_args()
    sys.stdout.write(generate(options.seed, [f for f in options.without.split(",") if f]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
