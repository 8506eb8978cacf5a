"""capture: 50 MB of a child's output, as bytes and as text, three rounds"""

import subprocess

BYTES_COMMAND = ["head", "-c", "52428800", "/dev/zero"]
TEXT_COMMAND = "yes 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOP | head -c 52428800"


def main():
    data = b""
    text = ""
    for _ in range(3):
        data = subprocess.run(BYTES_COMMAND, stdout=subprocess.PIPE, check=True).stdout
        text = subprocess.run(TEXT_COMMAND, shell=True, stdout=subprocess.PIPE, text=True, check=True).stdout
    print(len(data))
    print(len(text))
    print(text[:10])


main()
