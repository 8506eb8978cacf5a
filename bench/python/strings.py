"""strings: append 2 million pieces to a string, find a marker 1,000 times; 3 rounds"""

# Python strings are immutable, so the pieces go into a list joined once, as a
# Python programmer builds a long string. Positions print 1-based, as in the
# Xol and Lua programs.
PIECES = ["alpha ", "beta ", "gamma ", "delta ", "eps ", "zeta ", "eta "]


def main():
    for _ in range(3):
        parts = []
        for i in range(1, 2000001):
            if i == 100000:
                parts.append("NEEDLE ")
            else:
                parts.append(PIECES[(i - 1) % 7])
        s = "".join(parts)
        found = total = 0
        for offset in range(1, 1001):
            place = s.find("NEEDLE", offset - 1)
            if place >= 0:
                found += 1
                total += place + 1
    print(len(s))
    print(found)
    print(total)


main()
