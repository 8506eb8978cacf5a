"""unique: the distinct values of 1 million pseudo-random integers below 500,000, in first-seen order"""

# The numbers come from x = x * 48271 mod (2^31 - 1), seed 12345, by Schrage's method as in sort.py.


def main():
    numbers = []
    x = 12345
    for _ in range(1000000):
        x = 48271 * (x % 44488) - 3399 * (x // 44488)
        if x < 0:
            x += 2147483647
        numbers.append(x % 500000)
    distinct = list(dict.fromkeys(numbers))
    print(len(distinct))
    print(distinct[0])
    print(distinct[-1])


main()
