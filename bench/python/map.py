"""map: insert 1 million string keys, then look each one up, two rounds"""

# `x & 255` as in the Xol program, which keeps its total inside 32-bit integers.


def main():
    total = 0
    m = {}
    for _ in range(2):
        m = {}
        for i in range(1, 1000001):
            m["key" + str(i - 1)] = i
        for i in range(1, 1000001):
            total += m["key" + str(i - 1)] & 255
    print(len(m))
    print(total)
    print(m["key999999"])


main()
