"""block: append 3 million integers, sum them, reverse"""

# `x & 255` as in the Xol program, which keeps its total inside 32-bit integers.


def main():
    numbers = []
    for i in range(1, 3000001):
        numbers.append(i)

    total = 0
    for x in numbers:
        total += x & 255

    numbers.reverse()

    print(total)
    print(len(numbers))
    print(numbers[0])
    print(numbers[2999999])


main()
