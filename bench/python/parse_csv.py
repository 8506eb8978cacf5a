"""parse_csv: a generated 10 MB CSV-like text split into a list of fields with re.findall"""

import re


def main():
    # 1,000 lines of four fields, none of them empty, made one by one; the text is 350 copies of them.
    lines = []
    for i in range(1, 1001):
        lines.append("name%d,%d,some text %d,%d\n" % (i, i * 7, i, i % 10))
    text = "".join(lines) * 350

    # The fields: each run of characters other than the comma and the line end.
    fields = re.findall(r"[^,\n]+", text)
    print(len(text))
    print(len(fields))
    print(fields[0])
    print(fields[-1])


main()
