text = "alpha beta gamma " * 200000
for _ in range(5):
    s = text.replace("beta", "BETA!")
print(len(s))
