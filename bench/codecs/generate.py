#!/usr/bin/env python3
"""Writes the codec benchmarks' inputs, when missing: a JSON document and a CSV file of about 20 MB each.

    python3 bench/codecs/generate.py FOLDER

The JSON document is an object holding "items", a list of records with an integer id, a name, a list of
tags, a boolean, a score and a null; the CSV file has a header line and rows of an integer, a plain text, a
quoted text holding the delimiter and a doubled quote, and a number. Both are ASCII with LF line ends and
the same every time.
"""

import json
import os
import sys


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    document = os.path.join(folder, "document.json")
    if not os.path.exists(document):
        items = [
            {"id": i, "name": "item %d" % i, "tags": ["red", "green", "blue"][: 1 + i % 3], "active": i % 2 == 0,
             "score": i * 7 % 1000, "note": None}
            for i in range(138000)
        ]
        with open(document, "w", encoding="ascii") as f:
            json.dump({"title": "benchmark", "items": items}, f, indent=1)
    table = os.path.join(folder, "table.csv")
    if not os.path.exists(table):
        with open(table, "w", encoding="ascii", newline="") as f:
            f.write("id,name,text,amount\n")
            for i in range(370000):
                f.write('%d,name %d,"text, with ""quotes"" %d",%d\n' % (i, i, i, i * 13 % 10007))
    return 0


if __name__ == "__main__":
    sys.exit(main())
