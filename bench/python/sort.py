"""sort: sort 1 million pseudo-random integers with the built-in sort; 3 rounds"""

# The numbers come from x = x * 48271 mod (2^31 - 1), seed 12345, computed by
# Schrage's method (q = 44488, r = 3399) as the Xol program must, so that all
# three programs do the same arithmetic.


def main():
    for _ in range(3):
        numbers = []
        x = 12345
        for _ in range(1000000):
            x = 48271 * (x % 44488) - 3399 * (x // 44488)
            if x < 0:
                x += 2147483647
            numbers.append(x)
        numbers.sort()
    print(len(numbers))
    print(x)
    print(numbers[0])
    print(numbers[499999])
    print(numbers[999999])


main()
