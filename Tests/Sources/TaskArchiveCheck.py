#!/usr/bin/env python3
"""Compares two task-outline archives with Python's own property-list reader.

Usage: TaskArchiveCheck.py expected.plist actual.plist

Passes (exit 0) when both files hold the same tree of the same keys, each
value of the same kind (a boolean is not an integer here) and the same
value, when every task row carries every task key, and when the rows nest
at least three deep. Otherwise prints one line per difference and exits 1.
"""
import plistlib
import sys

TASK_KEYS = {
    "notes", "text", "uuid", "timeStamp", "priority", "relativeDate", "calendarDatePicker",
    "notificationDate", "due", "started", "ended", "completed", "flag", "open", "dateStyle",
    "dateRepeat", "dateNotify", "timerRunning", "style.bold", "style.italic", "style.underline",
    "style.strikethrough", "style.priority", "style.status",
}


def compare(expected, actual, path, problems):
    if type(expected) is not type(actual):
        problems.append(f"{path}: {type(expected).__name__} became {type(actual).__name__}")
        return
    if isinstance(expected, dict):
        for key in sorted(set(expected) | set(actual)):
            if key not in actual:
                problems.append(f"{path}/{key}: missing")
            elif key not in expected:
                problems.append(f"{path}/{key}: added")
            else:
                compare(expected[key], actual[key], f"{path}/{key}", problems)
    elif isinstance(expected, list):
        if len(expected) != len(actual):
            problems.append(f"{path}: {len(expected)} items became {len(actual)}")
        for index, (e, a) in enumerate(zip(expected, actual)):
            compare(e, a, f"{path}/{index}", problems)
    elif expected != actual:
        problems.append(f"{path}: {expected!r} became {actual!r}")


def rows(archive, depth=1):
    for child in archive.get("system.objects", []):
        yield child, depth
        yield from rows(child, depth + 1)


def main():
    with open(sys.argv[1], "rb") as file:
        expected = plistlib.load(file)
    with open(sys.argv[2], "rb") as file:
        actual = plistlib.load(file)
    problems = []
    compare(expected, actual, "", problems)
    deepest = 0
    for row, depth in rows(actual):
        deepest = max(deepest, depth)
        if row.get("system.class") == "TTask":
            for key in sorted(TASK_KEYS - set(row)):
                problems.append(f"row {row.get('text')!r}: no {key}")
    if deepest < 3:
        problems.append(f"rows nest {deepest} deep")
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
