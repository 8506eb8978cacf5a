"""parse_block: a block of 3 million values, word integer string triples, matched by a grammar"""

# The block holds words (one shared Word object), integers and strings; the grammar's checks are
# type tests in a loop over the triples, as a Python programmer writes them.


class Word:
    __slots__ = ("name",)

    def __init__(self, name):
        self.name = name


def plain(block):
    """some [word! integer! string!]: at least one triple, and nothing else."""
    size = len(block)
    if size == 0:
        return False
    i = 0
    while i < size:
        if i + 3 > size:
            return False
        if not (isinstance(block[i], Word) and type(block[i + 1]) is int and type(block[i + 2]) is str):
            return False
        i += 3
    return True


def counting(block):
    """The same, the integer of each triple counted and added up (`x & 255`)."""
    size = len(block)
    if size == 0:
        return False, 0, 0
    n = 0
    total = 0
    i = 0
    while i < size:
        if i + 3 > size:
            return False, n, total
        if not (isinstance(block[i], Word) and type(block[i + 1]) is int):
            return False, n, total
        x = block[i + 1]
        n += 1
        total += x & 255
        if type(block[i + 2]) is not str:
            return False, n, total
        i += 3
    return True, n, total


def main():
    # 1,000 triples made one by one, then the block of 1,000 copies of them: the time goes to the matching.
    w = Word("w")
    triples = []
    for i in range(1, 1001):
        triples.append(w)
        triples.append(i)
        triples.append("s")
    block = triples * 1000

    print("true" if plain(block) else "false")
    matched, n, total = counting(block)
    print("true" if matched else "false")
    print(n)
    print(total)


main()
