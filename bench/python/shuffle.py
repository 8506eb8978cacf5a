"""shuffle: shuffle a list of 10 million integers in place with random.shuffle; 3 rounds"""

import random


def main():
    n = 10000000
    numbers = list(range(1, n + 1))
    for _ in range(3):
        random.shuffle(numbers)
    print(len(numbers))
    print("true" if 1 <= numbers[0] <= n else "false")


main()
