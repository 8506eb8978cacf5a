import json
import time

with open("/tmp/xol-bench-codecs/document.json", encoding="utf-8") as f:
    text = f.read()
start = time.perf_counter()
data = json.loads(text)
decode_time = time.perf_counter() - start
start = time.perf_counter()
out = json.dumps(data, separators=(",", ":"), ensure_ascii=False)
encode_time = time.perf_counter() - start
items = data["items"]
print("check", len(items), items[0]["name"], items[-1]["id"], len(out))
print("decode", decode_time)
print("encode", encode_time)
