#!/usr/bin/env python3
"""Fails when an OS or third-party header is included outside runtime/platform/ (and the test oracles).

Calls go down: only the platform layer talks to the OS and third-party libraries. The C++ standard
library is fine anywhere; so is the project's own code, included by its path from the repository root.
"""
import re
import sys
from pathlib import Path

STANDARD = set("""
algorithm any array atomic bit bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes climits cmath
csignal cuchar
compare concepts condition_variable cstdarg cstddef cstdint cstdio cstdlib cstring ctime cwchar cwctype deque
exception expected filesystem format forward_list fstream functional initializer_list iomanip ios iosfwd
iostream istream iterator limits list locale map memory memory_resource mutex new numbers numeric optional
ostream queue random ranges ratio regex set source_location span sstream stack stdexcept stop_token
streambuf string string_view system_error thread tuple type_traits typeindex typeinfo unordered_map
unordered_set utility valarray variant vector version
""".split())
ALLOWED_PREFIXES = ("gtest/", "gmock/")  # the unit-test framework
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def main(root):
    root = Path(root)
    offences = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(root).parts[:1]:
            continue
        relative = path.relative_to(root).as_posix()
        if relative.startswith("runtime/platform/") or relative.startswith("tests/unit/platform/"):
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, name = match.groups()
            if bracket == '"' or name in STANDARD or name.startswith(ALLOWED_PREFIXES):
                continue
            offences.append(f"{relative}:{number}: <{name}> belongs in runtime/platform/")
    for offence in offences:
        print(offence)
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
