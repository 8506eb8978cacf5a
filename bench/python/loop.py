"""loop: 20 million iterations, three rounds"""

# The total adds `i & 127`, as the Xol program does.


def main():
    total = i = 0
    for _ in range(3):
        total = 0
        i = 0
        for _ in range(20000000):
            i += 1
            total += i & 127
    print(total)


main()
