total = 0
for i in range(1, 300001):
    total += len("".join(["key", str(i), "-", str(i * 2)]))
print(total)
