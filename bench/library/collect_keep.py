for _ in range(3):
    b = []
    for i in range(1, 2000001):
        if i % 2:
            b.append(i)
print(len(b), b[-1])
