#!/usr/bin/env python3
"""Fails when a header is included across the layering.

Calls go down: only the platform layer talks to the OS and third-party libraries (the C++ standard library
is fine anywhere, and tests may include an oracle). The project's own headers, included by their path from
the repository root, follow the floors: the platform layer includes nothing of the rest, the runtime
nothing above it, the datatypes nothing of the interpreter, the console or start-up, the interpreter
nothing of the console or start-up. Start-up (app/) sits on top and may include everything; the calls
that go up run through the services record (runtime/services.h), which start-up fills.
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
ORACLES = {"zlib.h"}  # libraries the tests check our own code against
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

# For a file under each folder (the first that matches): the only project folders it may include from, or
# None for any; then the project folders it may never include from.
LAYERS = (
    ("runtime/platform/", ("runtime/platform/",), ()),
    ("runtime/", ("runtime/",), ()),
    ("datatypes/", None, ("interpreter/", "console/", "app/")),
    ("interpreter/", None, ("console/", "app/")),
)


def layering_offence(relative, name):
    """Why the file may not include the project header `name`, or None when it may."""
    for folder, only, never in LAYERS:
        if not relative.startswith(folder):
            continue
        if only is not None and not name.startswith(only):
            return f"{folder} includes only from {', '.join(only)}"
        if name.startswith(never):
            return f"{folder} includes nothing of {', '.join(never)}"
        return None
    return None


def main(root):
    root = Path(root)
    offences = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(root).parts[:1]:
            continue
        relative = path.relative_to(root).as_posix()
        may_use_os = relative.startswith("runtime/platform/") or relative.startswith("tests/unit/platform/")
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, name = match.groups()
            if bracket == '"':
                why = layering_offence(relative, name)
                if why:
                    offences.append(f'{relative}:{number}: "{name}": {why}')
                continue
            if may_use_os or name in STANDARD or name.startswith(ALLOWED_PREFIXES):
                continue
            if relative.startswith("tests/") and name in ORACLES:
                continue
            offences.append(f"{relative}:{number}: <{name}> belongs in runtime/platform/")
    for offence in offences:
        print(offence)
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
