"""fib: naive recursive fib 30, ten times"""


def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)


def main():
    result = 0
    for _ in range(10):
        result = fib(30)
    print(result)


main()
