"""file_list: list a folder of 10,000 files, sorted, 50 times"""

import os


def main():
    # The folder is made on the first run (f00000 to f09999, empty), in a folder of the benchmarks under /tmp.
    listed = "/tmp/xol-bench-files/list/"
    if not os.path.exists(listed + "f09999"):
        os.makedirs(listed, exist_ok=True)
        for i in range(10000):
            with open(f"{listed}f{i:05}", "w"):
                pass
    for _ in range(50):
        names = sorted(os.listdir(listed))
    print(len(names))
    print(names[0])
    print(names[-1])


main()
