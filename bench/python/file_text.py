"""file_text: write a 100 MB text to a file and read it back as text, three times"""

import os


def main():
    # 1,000 numbered lines copied until the text holds about 100 MB, in a folder of the benchmarks under /tmp.
    folder = "/tmp/xol-bench-files/"
    os.makedirs(folder, exist_ok=True)
    name = folder + "python.txt"
    chunk = "".join(f"line {i} of some text to read back\n" for i in range(1, 1001))
    text = chunk * 2800
    for _ in range(3):
        with open(name, "w", encoding="utf-8", newline="\n") as file:
            file.write(text)
        with open(name, encoding="utf-8") as file:
            back_again = file.read()
    print(len(back_again))
    print(back_again[:12])
    print(back_again[-12:-1])
    print(os.path.getsize(name))
    os.remove(name)


main()
