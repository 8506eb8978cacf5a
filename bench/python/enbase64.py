"""enbase64: encode a 10 MB binary to base 64, ten times"""

import base64


def main():
    # The bytes 0 to 255 over and over, 10 MB in all.
    data = bytes(range(256)) * 40960
    for _ in range(10):
        text = base64.b64encode(data)
    print(len(text))
    print(text[:8].decode())
    print(text[-4:].decode())


main()
