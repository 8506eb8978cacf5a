text = "f1,f22,f333,f4444,f55555," * 100000 + "last"
for _ in range(5):
    pieces = text.split(",")
print(len(pieces), pieces[0], pieces[-1])
