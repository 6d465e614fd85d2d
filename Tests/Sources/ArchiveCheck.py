#!/usr/bin/env python3
"""Compares an archive the program wrote with the one it was read from, using
Python's own property-list reader (not the program's).

Usage: ArchiveCheck.py expected actual

The archives may be a task outline, a task-list card file or a sheet (cards
as the indexed children, a PNG thumbnail under "image"). Passes (exit 0) when
both hold the same tree of the same keys, each value of the same kind (a
boolean is not an integer here) and the same value; when every task row
carries every task key and the rows nest at least three deep; when every
card keeps its own keys in the kinds the helper reads; and when a sheet holds
nothing at its top but its cards and its thumbnail. Otherwise prints one line
per difference and exits 1.
"""
import plistlib
import sys

TASK_KEYS = {
    "notes", "text", "uuid", "timeStamp", "priority", "relativeDate", "calendarDatePicker",
    "notificationDate", "due", "started", "ended", "completed", "flag", "open", "dateStyle",
    "dateRepeat", "dateNotify", "timerRunning", "style.bold", "style.italic", "style.underline",
    "style.strikethrough", "style.priority", "style.status",
}
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


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


def check_card(card, problems):
    title = card.get("title")
    if type(card.get("hideCompletedTasks")) is not bool:
        problems.append(f"card {title!r}: hideCompletedTasks is no boolean")
    if type(card.get("showTasksFrom")) is not int:
        problems.append(f"card {title!r}: showTasksFrom is no integer")
    if card.get("browser", {}).get("system.class") != "TBrowser":
        problems.append(f"card {title!r}: browser is no outline")


def main():
    with open(sys.argv[1], "rb") as file:
        expected = plistlib.load(file)
    with open(sys.argv[2], "rb") as file:
        actual = plistlib.load(file)
    problems = []
    cards = []
    if "browser" in actual:
        cards = [actual]
    elif any(isinstance(child, dict) and "browser" in child for child in actual.get("system.objects", [])):
        cards = actual["system.objects"]
        image = actual.pop("image", None)
        if not isinstance(image, bytes) or not image.startswith(PNG_SIGNATURE):
            problems.append("image: no PNG thumbnail")
        problems += [f"{key}: not a key of a sheet" for key in sorted(set(actual) - {"system.objects"})]
    outlines = [card.get("browser", {}) for card in cards] or [actual]
    for card in cards:
        check_card(card, problems)
    compare(expected, actual, "", problems)
    deepest = 0
    for outline in outlines:
        for row, depth in rows(outline):
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
