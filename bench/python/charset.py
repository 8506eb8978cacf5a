"""charset: find a character of a set near the end of 10 MB of text, 100 times each way"""

# The text is 10 million letters with one digit near the end; the wide copy starts with a character above
# 255, so it is held in 2-byte units. The first set is the digits, the second everything but the letters
# (and that first character). Positions print 1-based, as in the Xol and Lua programs.
import re


def main():
    letters = "abcdefghijklmnopqrstuvwxy"
    narrow = letters * 400000
    narrow = narrow[:9999989] + "7" + narrow[9999990:]
    wide = "\u0101" + narrow[1:]
    patterns = (re.compile("[0-9]"), re.compile("[^a-z\u0101]"))
    for text in (narrow, wide):
        for pattern in patterns:
            for _ in range(100):
                place = pattern.search(text)
            print(place.start() + 1)


main()
