#!/usr/bin/env python3
"""Checks that every internal-error code of the program names one place: fails, naming the places,
when one code appears at two places of the program's sources.

A code is a 16-bit value, the module in the high byte and the place in the low one (docs/
ARCHITECTURE.md, "Internal-error codes"). It is found as a four-digit hexadecimal literal of a
module up to 0x0A (0x0770), as a shorter literal given to Debug, log_debug, show_debug or
debug_errtext (0x901), or as the place given to a module's helper `<name>_code(place)` defined as
`return 0xMM00 | place` (a literal place, or the two literals of `cond ? a : b`). A place passed on
through a variable is not seen here.
Usage: check_error_codes.py [source tree, default .]
"""
import re
import sys
from pathlib import Path

FOLDERS = ["common", "text", "core", "metrics", "link", "tcp", "ui", "app"]
LAST_MODULE = 0x0A

four_digits = re.compile(r"\b0x(0[0-9A-Fa-f]{3})\b")
short_in_call = re.compile(r"\b(?:Debug|log_debug|show_debug|debug_errtext)\(\s*0x([0-9A-Fa-f]{1,3})\b")
helper_definition = re.compile(r"\b(\w+_code)\s*\(\s*unsigned char \w+\s*\)\s*\{\s*return\s+0x([0-9A-Fa-f]+)\s*\|")
ternary = re.compile(r"\?\s*(\d+)\s*:\s*(\d+)\s*$")


def helper_places(helper, line):
    for call in re.finditer(r"\b%s\(([^()]*)\)" % re.escape(helper), line):
        argument = call.group(1).strip()
        if argument.isdigit():
            yield int(argument)
        else:
            both = ternary.search(argument)
            if both:
                yield int(both.group(1))
                yield int(both.group(2))


def codes_in(path):
    text = path.read_text(encoding="utf-8")
    helpers = {name: int(base, 16) for name, base in helper_definition.findall(text)}
    for number, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith("//") or re.search(r"\breturn\s+0x[0-9A-Fa-f]+\s*\|", line):
            continue
        found = {int(digits, 16) for digits in four_digits.findall(line)}
        found |= {int(digits, 16) for digits in short_in_call.findall(line)}
        for helper, base in helpers.items():
            found |= {base | place for place in helper_places(helper, line)}
        for code in found:
            if code >> 8 <= LAST_MODULE:
                yield code, "%s:%d" % (path, number)


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    places = {}
    for folder in FOLDERS:
        for path in sorted((root / folder).glob("*.[ch]*")):
            if path.suffix in (".cpp", ".h"):
                for code, place in codes_in(path.relative_to(root) if root == Path(".") else path):
                    places.setdefault(code, []).append(place)
    status = 0
    for code in sorted(places):
        if len(places[code]) > 1:
            print("internal-error code %d.%d (0x%04X) names %d places: %s"
                  % (code >> 8, code & 0xFF, code, len(places[code]), ", ".join(places[code])))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
