#!/usr/bin/env python3
"""Compares a sheet file written by the program with the sheet it was read from.

Usage: SheetArchiveCheck.py expected.brproj actual.brproj

Reads both with Python's own property-list reader. Passes (exit 0) when the
written sheet holds the same cards with the same keys, kinds and values,
every row every task key, rows at least three deep, and at the top level
nothing but the cards and the thumbnail "image" (PNG data). Otherwise prints
one line per difference and exits 1.
"""
import os
import plistlib
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import TaskArchiveCheck  # noqa: E402


def main():
    with open(sys.argv[1], "rb") as file:
        expected = plistlib.load(file)
    with open(sys.argv[2], "rb") as file:
        actual = plistlib.load(file)
    problems = []
    image = actual.pop("image", None)
    if not isinstance(image, bytes) or not image.startswith(b"\x89PNG\r\n\x1a\n"):
        problems.append("image: no PNG thumbnail")
    extra = set(actual) - {"system.objects"}
    problems += [f"{key}: not a key of a sheet" for key in sorted(extra)]
    TaskArchiveCheck.compare(expected, actual, "", problems)
    deepest = 0
    for card in actual.get("system.objects", []):
        for row, depth in TaskArchiveCheck.rows(card.get("browser", {})):
            deepest = max(deepest, depth)
            for key in sorted(TaskArchiveCheck.TASK_KEYS - set(row)):
                problems.append(f"card {card.get('title')!r}, row {row.get('text')!r}: no {key}")
    if deepest < 3:
        problems.append(f"rows nest {deepest} deep")
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
