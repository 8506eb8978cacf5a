"""file_binary: write a 100 MB binary to a file and read it back, three times"""

import os


def main():
    # The bytes 0 to 255 over and over, 100 MiB in all, in a folder of the benchmarks under /tmp.
    folder = "/tmp/xol-bench-files/"
    os.makedirs(folder, exist_ok=True)
    name = folder + "python.bin"
    data = bytes(range(256)) * 409600
    for _ in range(3):
        with open(name, "wb") as file:
            file.write(data)
        with open(name, "rb") as file:
            back_again = file.read()
    print(len(back_again))
    print(back_again[1000])
    print(back_again[-1])
    print(os.path.getsize(name))
    os.remove(name)


main()
