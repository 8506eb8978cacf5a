# PNG with Pillow for bench/image_png.cpp: encodes and decodes the RGBA pixels it is given, best of 3 each,
# and prints the two times in seconds. Installs Debian's python3-pil when it is missing.
import io
import subprocess
import sys
import time

try:
    from PIL import Image
except ImportError:
    subprocess.run(["apt-get", "install", "-y", "-qq", "python3-pil"], check=True, stdout=subprocess.DEVNULL)
    from PIL import Image

path, side = sys.argv[1], int(sys.argv[2])
with open(path, "rb") as source:
    picture = Image.frombytes("RGBA", (side, side), source.read())


def best(work):
    times = []
    for _ in range(3):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


encoded = io.BytesIO()


def encode():
    encoded.seek(0)
    encoded.truncate()
    picture.save(encoded, format="PNG")


def decode():
    Image.open(io.BytesIO(encoded.getvalue())).load()


encode_time = best(encode)
decode_time = best(decode)
print(encode_time, decode_time)
