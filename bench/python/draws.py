"""draws: 10 million draws of random.randint(1, 1000), counting any outside 1 to 1000"""

import random


def main():
    outside = 0
    for _ in range(10000000):
        r = random.randint(1, 1000)
        if r > 1000:
            outside += 1
    print(outside)


main()
