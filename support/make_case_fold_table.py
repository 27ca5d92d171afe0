#!/usr/bin/env python3
"""Writes the simple case folding of Unicode (statuses C and S of CaseFolding.txt) as a C++ table of
code point pairs, sorted by the first."""

import os
import sys


def main():
    source, target = sys.argv[1], sys.argv[2]
    pairs = []
    with open(source, encoding="utf-8") as f:
        for line in f:
            fields = [field.strip() for field in line.split("#")[0].split(";")]
            if len(fields) >= 3 and fields[1] in ("C", "S"):
                pairs.append((int(fields[0], 16), int(fields[2], 16)))
    pairs.sort()
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "w", encoding="ascii") as f:
        f.write("// Made at build time from %s.\n" % source.replace("\\", "/"))
        for code, folded in pairs:
            f.write("{0x%X, 0x%X},\n" % (code, folded))


if __name__ == "__main__":
    main()
