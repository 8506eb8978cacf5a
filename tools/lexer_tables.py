#!/usr/bin/env python3
"""Writes the lexer's scanner tables (a C++ source file) from the automaton given below as data.

    tools/lexer_tables.py OUTPUT

The automaton cuts UTF-8 source into tokens: every byte maps to one of 40 character classes, the pair
(state, class) gives the next state, and a final state (66 to 101) ends the token; its kind is the state
less 66. The rows below are the whole transition function: for each working state (0 to 64) the next
state for every class not listed ("otherwise"), then the exceptions as "class: next state".

Emitted tables: the character classes with their token flags (256 entries), the transitions (65 x 40),
the datatype each state stands for (working and final states), and the per-class path-element
terminators. Checks (the build fails when one does not hold): every byte has exactly one class, every
row names each class at most once, every next state is a working state or a final state, state 65 is
never produced, every working state is reachable from a start state, and every state has a type entry.
"""

import sys

CLASS_COUNT = 40
WORKING_STATES = 65
FIRST_FINAL = 66
KIND_COUNT = 36
START_STATES = (0, 4, 35, 59)

# state | otherwise | exceptions
TRANSITIONS = """
0 | 52 | 0: 0, 1: 0, 2: 23, 3: 23, 4: 68, 5: 69, 6: 70, 7: 71, 8: 72, 9: 67, 10: 2, 11: 16, 12: 51, 13: 51, 18: 40, 20: 40, 21: 13, 22: 67, 23: 43, 25: 58, 26: 6, 27: 78, 28: 1, 29: 57, 30: 49, 31: 36, 32: 47, 33: 47, 35: 0, 36: 67, 38: 67, 39: 66
1 | 1 | 1: 77, 38: 67, 39: 77
2 | 2 | 1: 67, 10: 79, 34: 3, 38: 67, 39: 67
3 | 2 | 38: 67, 39: 67
4 | 4 | 8: 72, 9: 73, 34: 5, 38: 67, 39: 67
5 | 4 | 38: 67, 39: 67
6 | 7 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 10, 9: 80, 10: 8, 13: 54, 26: 9, 28: 80, 29: 80, 35: 80, 38: 67, 39: 80
7 | 7 | 0: 85, 1: 85, 4: 85, 5: 85, 6: 85, 7: 85, 8: 85, 9: 85, 10: 67, 13: 85, 28: 85, 29: 85, 38: 67, 39: 85
8 | 8 | 1: 67, 10: 85, 38: 67, 39: 67
9 | 7 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 10, 9: 80, 10: 80, 22: 80, 26: 9, 28: 80, 35: 80, 38: 67, 39: 80
10 | 10 | 9: 11, 38: 67, 39: 67
11 | 10 | 9: 11, 26: 12, 38: 67, 39: 67
12 | 67 | 0: 100, 1: 100, 4: 100, 5: 100, 6: 100, 7: 100, 8: 100, 10: 100, 23: 100, 26: 12, 28: 100, 35: 100, 39: 100
13 | 14 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 13: 53, 21: 15, 27: 67, 28: 80, 29: 80, 35: 80, 38: 67, 39: 80
14 | 14 | 0: 83, 1: 83, 4: 83, 5: 83, 6: 83, 7: 83, 8: 83, 9: 83, 10: 83, 13: 67, 21: 83, 27: 67, 28: 83, 29: 83, 35: 83, 38: 67, 39: 83
15 | 52 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 21: 15, 26: 67, 27: 67, 28: 80, 29: 80, 31: 67, 35: 80, 38: 67, 39: 80
16 | 22 | 0: 67, 1: 67, 4: 74, 5: 67, 6: 21, 7: 67, 8: 17, 9: 67, 10: 19, 13: 67, 23: 67, 24: 67, 27: 67, 28: 81, 29: 81, 35: 81, 38: 67, 39: 81
17 | 67 | 0: 17, 1: 17, 2: 17, 3: 17, 9: 86, 14: 17, 15: 17, 16: 17, 17: 17, 18: 17, 19: 17, 20: 17, 21: 17, 25: 17, 28: 18, 32: 17, 37: 17
18 | 18 | 1: 17, 38: 67, 39: 67
19 | 19 | 10: 84, 34: 20, 38: 67, 39: 67
20 | 19 | 38: 67, 39: 67
21 | 21 | 7: 76, 38: 67, 39: 67
22 | 22 | 0: 81, 1: 81, 4: 81, 5: 81, 6: 81, 7: 81, 8: 81, 9: 81, 10: 81, 13: 67, 21: 67, 28: 81, 29: 81, 35: 81, 38: 67, 39: 81
23 | 82 | 2: 23, 3: 23, 11: 16, 12: 23, 13: 31, 14: 33, 15: 30, 16: 42, 17: 26, 18: 27, 19: 67, 20: 39, 21: 30, 22: 67, 24: 67, 25: 67, 26: 87, 29: 56, 30: 24, 31: 67, 32: 67, 33: 30, 34: 67, 36: 67, 37: 67, 38: 67
24 | 67 | 0: 88, 1: 88, 2: 25, 3: 25, 4: 88, 5: 88, 6: 88, 7: 88, 8: 88, 9: 88, 10: 88, 11: 28, 12: 25, 14: 33, 17: 26, 18: 26, 21: 88, 23: 88, 26: 87, 27: 88, 28: 88, 35: 88, 39: 88
25 | 88 | 2: 25, 3: 25, 11: 67, 12: 25, 14: 33, 15: 67, 16: 67, 17: 26, 18: 26, 19: 67, 20: 67, 22: 67, 24: 67, 25: 67, 26: 87, 29: 56, 30: 29, 31: 67, 32: 67, 33: 67, 34: 67, 36: 67, 37: 67, 38: 67
26 | 67 | 0: 88, 1: 88, 2: 26, 3: 26, 4: 88, 5: 88, 6: 88, 7: 88, 8: 88, 9: 88, 10: 88, 13: 88, 21: 88, 23: 88, 27: 88, 28: 88, 29: 56, 32: 26, 33: 26, 35: 88, 39: 88
27 | 88 | 2: 27, 3: 27, 11: 67, 12: 67, 14: 67, 15: 67, 16: 42, 17: 67, 18: 40, 19: 67, 20: 40, 22: 67, 24: 67, 25: 67, 26: 87, 28: 67, 29: 56, 30: 29, 31: 67, 32: 26, 33: 26, 34: 67, 36: 67, 37: 67, 38: 67
28 | 89 | 2: 88, 11: 67, 12: 67, 13: 67, 14: 28, 15: 28, 16: 28, 17: 28, 18: 28, 19: 28, 20: 28, 24: 28, 25: 28, 26: 67, 29: 67, 30: 28, 31: 67, 32: 28, 33: 28, 34: 67, 36: 28, 37: 28, 38: 67
29 | 67 | 0: 90, 1: 90, 2: 29, 3: 29, 4: 90, 5: 90, 6: 90, 7: 90, 8: 90, 9: 90, 10: 90, 13: 90, 21: 90, 23: 90, 28: 90, 30: 29, 35: 90, 39: 90
30 | 30 | 0: 91, 1: 91, 4: 91, 5: 91, 6: 91, 7: 91, 8: 91, 9: 91, 10: 91, 23: 91, 26: 67, 27: 67, 28: 91, 29: 67, 31: 91, 34: 67, 35: 91, 36: 67, 38: 67, 39: 91
31 | 67 | 2: 32, 3: 32
32 | 67 | 0: 94, 1: 94, 2: 32, 3: 32, 4: 94, 5: 94, 6: 94, 7: 94, 8: 94, 9: 94, 10: 94, 13: 32, 21: 94, 23: 94, 28: 94, 30: 32, 35: 94, 39: 94
33 | 67 | 2: 34, 3: 34, 29: 56, 32: 34, 33: 34
34 | 67 | 0: 92, 1: 92, 2: 34, 3: 34, 4: 92, 5: 92, 6: 92, 7: 92, 8: 92, 9: 92, 10: 92, 13: 92, 17: 34, 18: 34, 21: 92, 23: 92, 28: 92, 29: 56, 30: 34, 35: 92, 39: 92
35 | 67 | 0: 35, 2: 35, 3: 35, 5: 35, 7: 93, 11: 35, 17: 35, 18: 35, 19: 35, 20: 35, 27: 35, 30: 35, 32: 35, 33: 35, 37: 35
36 | 67 | 2: 37, 3: 37
37 | 67 | 0: 95, 1: 95, 2: 37, 3: 37, 4: 95, 5: 95, 6: 95, 7: 95, 8: 95, 9: 95, 10: 95, 11: 95, 12: 37, 13: 95, 21: 95, 23: 95, 28: 95, 30: 38, 35: 95, 39: 95
38 | 67 | 0: 95, 1: 95, 2: 38, 3: 38, 4: 95, 5: 95, 6: 95, 7: 95, 8: 95, 9: 95, 10: 95, 11: 95, 12: 38, 13: 95, 21: 95, 23: 95, 28: 95, 35: 95, 39: 95
39 | 67 | 2: 39, 3: 39, 16: 41, 18: 39, 20: 39, 29: 56
40 | 80 | 2: 40, 3: 40, 12: 52, 13: 53, 14: 52, 15: 52, 16: 41, 17: 52, 18: 40, 19: 52, 20: 40, 21: 75, 23: 52, 24: 52, 25: 52, 26: 67, 27: 67, 29: 56, 30: 52, 31: 37, 32: 52, 33: 52, 34: 52, 36: 52, 37: 52, 38: 67
41 | 52 | 0: 99, 1: 99, 4: 99, 5: 99, 6: 99, 7: 99, 8: 99, 9: 99, 10: 99, 11: 67, 13: 53, 21: 75, 22: 99, 26: 67, 27: 67, 28: 99, 29: 56, 31: 37, 35: 99, 38: 67, 39: 99
42 | 67 | 0: 99, 1: 99, 4: 99, 5: 99, 6: 99, 7: 99, 8: 99, 9: 99, 10: 99, 21: 75, 22: 99, 23: 99, 28: 99, 29: 56, 31: 37, 35: 99, 39: 99
43 | 44 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 12: 46, 13: 53, 23: 43, 24: 52, 25: 52, 28: 80, 33: 52, 35: 80, 38: 67, 39: 80
44 | 44 | 10: 45, 12: 46, 24: 96, 38: 67, 39: 67
45 | 45 | 10: 44, 38: 67, 39: 67
46 | 46 | 12: 44, 38: 67, 39: 67
47 | 52 | 0: 80, 1: 80, 2: 23, 3: 23, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 12: 67, 21: 75, 22: 80, 26: 67, 28: 80, 30: 49, 31: 37, 34: 67, 35: 80, 38: 67, 39: 80
48 | 52 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 12: 67, 21: 75, 22: 80, 26: 67, 28: 80, 31: 67, 34: 67, 35: 80, 38: 67, 39: 80
49 | 52 | 0: 80, 1: 80, 2: 50, 3: 50, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 13: 53, 21: 75, 22: 80, 26: 67, 27: 67, 28: 80, 29: 56, 31: 67, 32: 50, 33: 50, 35: 80, 38: 67, 39: 80
50 | 67 | 0: 88, 1: 88, 2: 50, 3: 50, 4: 88, 5: 88, 6: 88, 7: 88, 8: 88, 9: 88, 10: 88, 13: 88, 14: 33, 17: 50, 18: 50, 21: 88, 23: 88, 26: 87, 29: 56, 32: 50, 33: 50, 35: 88, 39: 88
51 | 67 | 14: 52, 15: 52, 16: 52, 17: 52, 18: 52, 19: 52, 20: 52, 21: 13, 23: 43, 24: 52, 25: 58, 26: 54, 30: 52, 32: 48, 33: 48, 34: 52, 36: 52, 37: 52
52 | 52 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 80, 13: 53, 21: 75, 22: 80, 23: 80, 26: 67, 27: 67, 28: 80, 29: 56, 31: 36, 35: 80, 38: 67, 39: 80
53 | 55 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 22: 80, 23: 67, 28: 80, 35: 80, 38: 67, 39: 80
54 | 67 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 22: 80, 26: 54, 28: 80, 35: 80, 39: 80
55 | 55 | 0: 97, 1: 97, 4: 97, 5: 97, 6: 97, 7: 97, 8: 97, 9: 97, 10: 97, 22: 97, 23: 97, 24: 67, 28: 97, 34: 67, 35: 97, 38: 67, 39: 97
56 | 98 | 2: 56, 3: 56, 11: 67, 12: 67, 13: 67, 14: 56, 15: 56, 16: 56, 17: 56, 18: 56, 19: 56, 20: 56, 24: 67, 25: 67, 26: 56, 27: 67, 29: 67, 30: 56, 31: 67, 32: 56, 33: 56, 34: 67, 36: 56, 37: 56, 38: 67
57 | 57 | 0: 101, 1: 101, 4: 101, 5: 101, 6: 101, 7: 101, 8: 101, 9: 101, 10: 101, 11: 67, 12: 67, 22: 67, 23: 101, 24: 67, 25: 67, 27: 67, 28: 101, 29: 67, 31: 67, 34: 67, 35: 101, 38: 67, 39: 101
58 | 52 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 67, 13: 80, 21: 75, 22: 80, 26: 67, 27: 67, 28: 80, 29: 67, 31: 67, 35: 80, 38: 67, 39: 80
59 | 67 | 2: 60, 3: 60, 6: 70, 7: 71, 10: 2, 11: 63, 12: 61, 13: 61, 14: 62, 15: 62, 16: 62, 17: 62, 18: 62, 19: 62, 20: 62, 23: 43, 24: 62, 25: 62, 29: 57, 30: 62, 31: 36, 32: 64, 33: 64, 36: 62, 37: 62
60 | 67 | 0: 82, 1: 82, 2: 60, 3: 60, 4: 82, 5: 82, 6: 82, 7: 82, 8: 82, 9: 82, 10: 82, 12: 60, 13: 82, 14: 33, 17: 26, 18: 26, 21: 82, 23: 82, 26: 87, 28: 82, 29: 56, 30: 24, 35: 82, 39: 82
61 | 67 | 14: 62, 15: 62, 16: 62, 17: 62, 18: 62, 19: 62, 20: 62, 23: 62, 24: 62, 25: 62, 30: 62, 32: 62, 33: 62, 36: 62, 37: 62
62 | 62 | 0: 80, 1: 80, 4: 80, 5: 80, 6: 80, 7: 80, 8: 80, 9: 80, 10: 80, 11: 67, 13: 80, 21: 80, 22: 80, 26: 67, 27: 67, 28: 80, 29: 56, 31: 36, 35: 80, 38: 67, 39: 80
63 | 22 | 0: 67, 1: 67, 4: 21, 5: 67, 6: 67, 7: 67, 8: 67, 9: 67, 10: 19, 13: 67, 21: 67, 23: 67, 24: 67, 25: 67, 27: 67, 28: 67, 29: 67, 35: 67, 38: 67, 39: 67
64 | 80 | 2: 60, 3: 60, 11: 67, 12: 67, 14: 62, 15: 62, 16: 62, 17: 62, 18: 62, 19: 62, 20: 62, 23: 67, 24: 62, 25: 62, 26: 67, 27: 67, 29: 56, 30: 62, 31: 36, 32: 64, 33: 64, 34: 67, 36: 62, 37: 62, 38: 67
"""

# Character classes: (class, bytes, flag). Printable bytes are given as text.
def chars(text):
    return [ord(c) for c in text]

def span(first, last):
    return list(range(first, last + 1))

LEAD_2_3 = 0x40000000  # a 2- or 3-byte UTF-8 lead: a string of the token needs 2-byte units
LEAD_4 = 0x80000000    # a 4-byte lead: 4-byte units

CLASSES = [
    (0, [9, 13, 32], 0),
    (1, [10], 0),
    (2, chars("123456789"), 0),
    (3, chars("0"), 0),
    (4, chars("["), 0),
    (5, chars("]"), 0),
    (6, chars("("), 0),
    (7, chars(")"), 0),
    (8, chars("{"), 0),
    (9, chars("}"), 0),
    (10, chars('"'), 0),
    (11, chars("#"), 0x00800000),
    (12, chars("'"), 0x02000000),
    (13, chars(":"), 0x04000000),
    (14, chars("xX"), 0),
    (15, chars("T"), 0),
    (16, chars("h"), 0),
    (17, chars("e"), 0x01000000),
    (18, chars("E"), 0x01000000),
    (19, chars("abcdf"), 0),
    (20, chars("ABCDF"), 0),
    (21, chars("/"), 0),
    (22, chars("\\"), 0),
    (23, chars("<"), 0x00100000),
    (24, chars(">"), 0x00080000),
    (25, chars("="), 0),
    (26, chars("%"), 0x00040000),
    (27, chars(","), 0x08000000),
    (28, chars(";"), 0),
    (29, chars("@"), 0),
    (30, chars("."), 0x10000000),
    (31, chars("$"), 0),
    (32, chars("+"), 0x00200000),
    (33, chars("-"), 0x00200000),
    (34, chars("^"), 0x20000000),
    (35, span(1, 8) + [11, 12] + span(14, 31), 0),
    (36, [127] + span(128, 191), 0),
    (37, chars("!&*?GHIJKLMNOPQRSUVWYZ_`gijklmnopqrstuvwyz|~"), 0),
    (37, span(194, 239), LEAD_2_3),
    (37, span(240, 247), LEAD_4),
    (38, [192, 193] + span(248, 255), 0),
    (39, [0], 0x00400000),
]

# Classes that end a path element.
PATH_TERMINATORS = (0, 1, 4, 5, 6, 7, 8, 10, 13, 23, 28, 37, 38, 39)

# The datatype each working state stands for: a pre-scan reports it, an "invalid" error names it.
WORKING_TYPES = {
    "none": [0, 1, 18, 21, 39],
    "string": [2, 3, 4, 5, 10, 11, 12],
    "file": [6, 7, 8, 9],
    "word": [13, 15, 41, 47, 48, 49, 51, 52, 54, 58, 61, 62, 64],
    "refinement": [14],
    "issue": [16, 22, 63],
    "binary": [17],
    "char_": [19, 20],
    "integer": [23, 40, 42, 60],
    "float_": [24, 25, 26, 27, 28, 50],
    "tuple": [29],
    "date": [30],
    "time": [31, 32],
    "pair": [33, 34],
    "point2d": [35],
    "money": [36, 37, 38],
    "tag": [43, 44, 45, 46],
    "set_word": [53],
    "url": [55],
    "email": [56],
    "ref": [57],
    "path": [59],
}

# Token kinds in order (final state = 66 + kind), with their datatypes.
KINDS = [
    ("Eof", "none"), ("Error", "error"), ("BlockOpen", "none"), ("BlockClose", "none"),
    ("ParenOpen", "none"), ("ParenClose", "none"), ("StringOpen", "none"), ("StringClose", "string"),
    ("MapOpen", "none"), ("Path", "none"), ("Construct", "none"), ("Comment", "none"), ("Comma", "none"),
    ("String", "string"), ("Word", "word"), ("Issue", "issue"), ("Integer", "integer"),
    ("Refinement", "refinement"), ("Char", "char_"), ("File", "file"), ("Binary", "binary"),
    ("Percent", "percent"), ("Float", "float_"), ("FloatSpecial", "float_"), ("Tuple", "tuple"),
    ("Date", "date"), ("Pair", "pair"), ("Point", "point2d"), ("Time", "time"), ("Money", "money"),
    ("Tag", "tag"), ("Url", "url"), ("Email", "email"), ("Hex", "integer"), ("RawString", "string"),
    ("Ref", "ref"),
]


def fail(message):
    sys.exit("lexer_tables.py: " + message)


def class_table():
    table = [None] * 256
    for cls, members, flag in CLASSES:
        for byte in members:
            if table[byte] is not None:
                fail("byte %d has two classes" % byte)
            table[byte] = cls | flag
    for byte, entry in enumerate(table):
        if entry is None:
            fail("byte %d has no class" % byte)
    return table


def transition_table():
    rows = {}
    for line in TRANSITIONS.strip().splitlines():
        state_text, otherwise_text, exceptions_text = [part.strip() for part in line.split("|")]
        state, otherwise = int(state_text), int(otherwise_text)
        if state in rows:
            fail("state %d has two rows" % state)
        row = [otherwise] * CLASS_COUNT
        seen = set()
        for item in exceptions_text.split(","):
            cls_text, target_text = item.split(":")
            cls = int(cls_text)
            if cls in seen or not 0 <= cls < CLASS_COUNT:
                fail("state %d: class %d repeated or out of range" % (state, cls))
            seen.add(cls)
            row[cls] = int(target_text)
        rows[state] = row
    if sorted(rows) != list(range(WORKING_STATES)):
        fail("the rows must be exactly the working states 0 to %d" % (WORKING_STATES - 1))
    for state, row in rows.items():
        for target in row:
            if not (0 <= target < WORKING_STATES or FIRST_FINAL <= target < FIRST_FINAL + KIND_COUNT):
                fail("state %d goes to %d, which is neither a working nor a final state" % (state, target))
    reached = set(START_STATES)
    pending = list(START_STATES)
    while pending:
        for target in rows[pending.pop()]:
            if target < WORKING_STATES and target not in reached:
                reached.add(target)
                pending.append(target)
    if len(reached) != WORKING_STATES:
        fail("unreachable working states: %s" % sorted(set(range(WORKING_STATES)) - reached))
    return [rows[state] for state in range(WORKING_STATES)]


def state_types():
    types = [None] * (FIRST_FINAL + KIND_COUNT)
    for name, states in WORKING_TYPES.items():
        for state in states:
            if types[state] is not None:
                fail("working state %d has two types" % state)
            types[state] = name
    types[65] = "none"  # never produced
    for kind, (_, name) in enumerate(KINDS):
        types[FIRST_FINAL + kind] = name
    for state, name in enumerate(types):
        if name is None:
            fail("state %d has no type" % state)
    return types


def write(path):
    classes = class_table()
    transitions = transition_table()
    types = state_types()
    out = []
    out.append("// Generated by tools/lexer_tables.py from its automaton data; edit the generator, not this file.")
    out.append("")
    out.append('#include "interpreter/lexer/scanner_tables.h"')
    out.append("")
    out.append("namespace xol::lexer::tables {")
    out.append("")
    out.append("std::uint32_t const character_classes[256] = {")
    for start in range(0, 256, 8):
        out.append("    " + " ".join("0x%08X," % entry for entry in classes[start:start + 8]))
    out.append("};")
    out.append("")
    out.append("std::uint8_t const transitions[working_state_count][class_count] = {")
    for state, row in enumerate(transitions):
        out.append("    { " + ", ".join("%d" % target for target in row) + " }, // %d" % state)
    out.append("};")
    out.append("")
    out.append("TypeId const state_types[state_count] = {")
    for start in range(0, len(types), 6):
        out.append("    " + " ".join("type_ids::%s," % name if name != "none" else "0," for name in types[start:start + 6]))
    out.append("};")
    out.append("")
    out.append("bool const path_terminators[class_count] = {")
    out.append("    " + " ".join("%s," % ("true" if cls in PATH_TERMINATORS else "false") for cls in range(CLASS_COUNT)))
    out.append("};")
    out.append("")
    out.append("}")
    with open(path, "w") as output:
        output.write("\n".join(out) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write(sys.argv[1])
