import csv
import io
import time

with open("/tmp/xol-bench-codecs/table.csv", encoding="utf-8", newline="") as f:
    text = f.read()
start = time.perf_counter()
rows = list(csv.reader(io.StringIO(text)))
load_time = time.perf_counter() - start
print("check", len(rows), rows[0][-1], rows[-1][1], len(rows[-1]))
print("load", load_time)
