#!/usr/bin/env python3
"""Writes runtime/unicode_tables.cpp from the Unicode Character Database of Debian's unicode-data package.

    tools/unicode_tables.py [--data DIRECTORY] OUTPUT

Tables:
- case pairs: the simple upper- and lower-case mappings of UnicodeData.txt (fields 12 and 13), split at
  U+FFFF: the Basic Multilingual Plane pairs fill flat tables at start-up, the others are searched.
- zero-width ranges: the nonspacing (Mn) and enclosing (Me) marks, adjacent code points merged.
- double-width ranges: East Asian Wide (W) and Fullwidth (F) in EastAsianWidth.txt, reserved code points
  included (the file gives whole CJK planes as W), adjacent code points merged.

Checks (the build fails when one does not hold):
- For the database versions listed in KNOWN_COUNTS, the exact counts of every table.
- For any version, the runtime's original case tables, which were made from Unicode 11.0: restricted to the
  characters assigned by 11.0 (DerivedAge.txt), there are 1,158 lower-case pairs in the Basic Multilingual
  Plane and 225 pairs above it in each direction. The original upper-case table counted 1,250 pairs because
  it also mapped the 75 characters whose only upper-case form is a multi-character one (U+00DF, the
  ligatures U+FB00-U+FB17, Greek with ypogegrammeni...) to the first character of that form, which loses
  text ("ß" would become "S"). We do not copy those 75: such a character stays as it is, so the 11.0 part of
  the simple table holds 1,250 - 75 = 1,175 pairs.
- The first and last entries of every table as the original tables had them, where later Unicode versions
  have not extended them (the last double-width rows of emoji grow with each version).
The original width tables (339 zero-width and 122 double-width ranges) came from Unicode 14 data merged
differently; newer data gives other counts, so those two are checked through KNOWN_COUNTS and their ends.
"""

import argparse
import os
import sys

# Counts of what we emit, by database version: upper BMP, lower BMP, upper above, lower above, zero-width
# ranges, double-width ranges. A version not listed is generated with the structural checks only.
KNOWN_COUNTS = {
    "15.0.0": (1190, 1173, 260, 260, 343, 121),
}

ORIGINAL_AGE = (11, 0)
ORIGINAL_LOWER_BMP = 1158
ORIGINAL_UPPER_BMP = 1250
ORIGINAL_UPPER_FULL_ONLY = 75
ORIGINAL_ABOVE_BMP = 225


def fail(message):
    sys.exit("unicode_tables.py: " + message)


def code_range(text):
    first, _, last = text.strip().partition("..")
    return int(first, 16), int(last or first, 16)


def data_lines(path):
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def read_unicode_data(directory):
    upper, lower, category = {}, {}, {}
    range_start = None
    with open(os.path.join(directory, "UnicodeData.txt"), encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split(";")
            code_point = int(fields[0], 16)
            if fields[1].endswith(", First>"):
                range_start = code_point
                continue
            if fields[1].endswith(", Last>"):
                for inside in range(range_start, code_point + 1):
                    category[inside] = fields[2]
                continue
            category[code_point] = fields[2]
            if fields[12]:
                upper[code_point] = int(fields[12], 16)
            if fields[13]:
                lower[code_point] = int(fields[13], 16)
    return upper, lower, category


def read_ages(directory):
    ages = {}
    for fields in data_lines(os.path.join(directory, "DerivedAge.txt")):
        first, last = code_range(fields[0])
        major, minor = fields[1].split(".")
        for code_point in range(first, last + 1):
            ages[code_point] = (int(major), int(minor))
    return ages


def read_version(directory):
    with open(os.path.join(directory, "DerivedAge.txt"), encoding="utf-8") as lines:
        first = lines.readline()
    # "# DerivedAge-15.0.0.txt"
    return first.strip().lstrip("# ").removeprefix("DerivedAge-").removesuffix(".txt")


def read_full_uppercase(directory):
    """Code points whose unconditional full upper-case mapping is more than one character."""
    multiple = set()
    for fields in data_lines(os.path.join(directory, "SpecialCasing.txt")):
        if len(fields) > 4 and fields[4]:
            continue  # language- or context-dependent
        if len(fields[3].split()) > 1:
            multiple.add(int(fields[0], 16))
    return multiple


def read_wide(directory):
    wide = set()
    for fields in data_lines(os.path.join(directory, "EastAsianWidth.txt")):
        if fields[1] in ("W", "F"):
            first, last = code_range(fields[0])
            wide.update(range(first, last + 1))
    return wide


def merged_ranges(code_points):
    ranges = []
    for code_point in sorted(code_points):
        if ranges and ranges[-1][1] == code_point - 1:
            ranges[-1][1] = code_point
        else:
            ranges.append([code_point, code_point])
    return [tuple(item) for item in ranges]


def check(condition, message):
    if not condition:
        fail("check failed: " + message)


def check_original_case_tables(upper, lower, ages, full_upper_only):
    def assigned_early(code_point):
        return ages.get(code_point, (99, 0)) <= ORIGINAL_AGE

    def early(pairs):
        return {key: value for key, value in pairs.items() if assigned_early(key) and assigned_early(value)}

    early_upper, early_lower = early(upper), early(lower)
    count = lambda pairs, bmp: sum(1 for key in pairs if (key <= 0xFFFF) == bmp)
    left_out = {code_point for code_point in full_upper_only
                if code_point <= 0xFFFF and code_point not in upper and assigned_early(code_point)}
    check(count(early_lower, True) == ORIGINAL_LOWER_BMP, "lower-case pairs of Unicode 11.0 in the BMP")
    check(count(early_lower, False) == ORIGINAL_ABOVE_BMP, "lower-case pairs of Unicode 11.0 above the BMP")
    check(count(early_upper, False) == ORIGINAL_ABOVE_BMP, "upper-case pairs of Unicode 11.0 above the BMP")
    check(len(left_out) == ORIGINAL_UPPER_FULL_ONLY, "characters with only a multi-character upper case")
    check(count(early_upper, True) + len(left_out) == ORIGINAL_UPPER_BMP, "upper-case pairs of Unicode 11.0 in the BMP")


def check_ends(tables):
    upper_bmp, lower_bmp, upper_above, lower_above, zero, double = tables
    check(upper_bmp[:2] == [(0x61, 0x41), (0x62, 0x42)] and upper_bmp[-1] == (0xFF5A, 0xFF3A), "upper-case ends")
    check(lower_bmp[:1] == [(0x41, 0x61)] and lower_bmp[-1] == (0xFF3A, 0xFF5A), "lower-case ends")
    check(upper_above[0] == (0x10428, 0x10400) and upper_above[-1] == (0x1E943, 0x1E921), "upper-case pairs above")
    check(lower_above[0] == (0x10400, 0x10428) and lower_above[-1] == (0x1E921, 0x1E943), "lower-case pairs above")
    check(zero[:3] == [(0x300, 0x36F), (0x483, 0x489), (0x591, 0x5BD)], "first zero-width ranges")
    check(zero[-3:] == [(0x1E8D0, 0x1E8D6), (0x1E944, 0x1E94A), (0xE0100, 0xE01EF)], "last zero-width ranges")
    check(double[:3] == [(0x1100, 0x115F), (0x231A, 0x231B), (0x2329, 0x232A)], "first double-width ranges")
    check(double[-2:] == [(0x20000, 0x2FFFD), (0x30000, 0x3FFFD)], "last double-width ranges")


def format_rows(name, kind, rows):
    lines = ["{} const {}[] = {{".format(kind, name)]
    per_line = 4
    for start in range(0, len(rows), per_line):
        chunk = rows[start:start + per_line]
        lines.append("    " + " ".join("{{ 0x{:04X}, 0x{:04X} }},".format(a, b) for a, b in chunk))
    lines.append("};")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default="/usr/share/unicode", help="the Unicode Character Database folder")
    parser.add_argument("output")
    arguments = parser.parse_args()
    directory = arguments.data
    if not os.path.isfile(os.path.join(directory, "UnicodeData.txt")):
        fail("no UnicodeData.txt in {} (install the unicode-data package)".format(directory))

    version = read_version(directory)
    upper, lower, category = read_unicode_data(directory)
    ages = read_ages(directory)
    check_original_case_tables(upper, lower, ages, read_full_uppercase(directory))

    split = lambda pairs, bmp: sorted((key, value) for key, value in pairs.items() if (key <= 0xFFFF) == bmp)
    zero = merged_ranges(code_point for code_point, kind in category.items() if kind in ("Mn", "Me"))
    double = merged_ranges(read_wide(directory))
    tables = (split(upper, True), split(lower, True), split(upper, False), split(lower, False), zero, double)
    check(all(value <= 0xFFFF for _, value in tables[0] + tables[1]), "BMP mappings stay in the BMP")
    check_ends(tables)
    counts = tuple(len(table) for table in tables)
    if version in KNOWN_COUNTS:
        check(counts == KNOWN_COUNTS[version], "counts {} for Unicode {}".format(counts, version))

    names = ("upper_bmp", "lower_bmp", "upper_above", "lower_above", "zero_width", "double_width")
    kinds = ("CasePair",) * 4 + ("CodeRange",) * 2
    parts = [
        "// Generated by tools/unicode_tables.py from the Unicode Character Database {}: do not edit.".format(version),
        "",
        '#include "runtime/unicode_tables.h"',
        "",
        "namespace xol::unicode::tables {",
        "",
        "namespace {",
        "",
    ]
    for name, kind, table in zip(names, kinds, tables):
        parts += [format_rows(name + "_rows", kind, table), ""]
    parts += ["}", ""]
    for name, kind in zip(names, kinds):
        parts.append("std::span<{} const> const {} {{ {}_rows }};".format(kind, name, name))
    parts += ["", "}", ""]

    text = "\n".join(parts)
    temporary = arguments.output + ".tmp"
    with open(temporary, "w", encoding="utf-8") as output:
        output.write(text)
    os.replace(temporary, arguments.output)


if __name__ == "__main__":
    main()
