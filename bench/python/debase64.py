"""debase64: decode the base-64 text of a 10 MB binary, ten times"""

import base64


def main():
    # The bytes 0 to 255 over and over, 10 MB in all, encoded once.
    text = base64.b64encode(bytes(range(256)) * 40960)
    for _ in range(10):
        data = base64.b64decode(text)
    print(len(data))
    print(data[999])
    print(data[-1])


main()
