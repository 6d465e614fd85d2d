#!/usr/bin/env python3
"""Writes the property-list benchmark's sheets with another writer: Python's
plistlib, the way many tools outside Brindlet write property lists.

The sheets hold exactly what PropertyListBenchmark builds (the same random
sequence, the same words, the same card shapes), so the benchmark can check
that our reader gives back the tree it would have built itself; only the
writer's layout differs (plistlib writes reals in their shortest form and
lays out data lines its own way).

Usage: make_plist_documents.py <output folder>
Writes plistlib-150KB.plist, plistlib-3MB.plist and plistlib-30MB.plist;
the same bytes on every run.
"""
import datetime
import os
import plistlib
import sys

MASK64 = (1 << 64) - 1
SEED = 0x4272696E646C6574

WORDS = [
    "Plan", "review", "budget", "call", "Anna", "draft", "release", "notes", "Q3", "ship",
    "fix", "login", "invoice", "week", "meeting", "R&D", "design", "<b>", "backlog", "travel",
    "Friday", "report", "dentist", "renew", "passport", "photos", "garden", "taxes", "v2.1", "follow-up",
]
FOREIGN_WORDS = [
    "Отчёт", "встреча", "会議", "メモ", "日程表", "σημείωση", "Ελλάδα", "תקציב",
    "مراجعة", "예산", "Grüße", "crème", "naïve", "✓ erledigt", "🚀 launch", "データ",
]
CARD_CLASSES = ["TTaskCard", "TNoteCard", "TCalendarCard"]
REFERENCE_DATE = datetime.datetime(2001, 1, 1)

SIZES = [("150KB", 150_000), ("3MB", 3_000_000), ("30MB", 30_000_000)]


class Random:
    """splitmix64, step for step as the benchmark's own."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def below(self, bound):
        return self.next() % bound

    def between(self, low, high):
        return low + self.below(high - low + 1)

    def percent(self, chance):
        return self.below(100) < chance


def make_title(random, minimum_words, maximum_words):
    words = []
    for _ in range(random.between(minimum_words, maximum_words)):
        if random.percent(25):
            words.append(FOREIGN_WORDS[random.below(len(FOREIGN_WORDS))])
        else:
            words.append(WORDS[random.below(len(WORDS))])
    return " ".join(words)


def make_coordinate(random, low, high):
    value = float(random.between(low, high))
    if random.percent(30):
        value += 0.5
    elif random.percent(25):
        value += 1.0 / float(random.between(3, 17))
    return value


def make_date(random):
    return REFERENCE_DATE + datetime.timedelta(seconds=random.between(450_000_000, 920_000_000))


def make_thumbnail(random):
    data = bytearray(b"\x89PNG\r\n\x1a\n")
    length = random.between(1024, 4096)
    while len(data) < length:
        data.append(random.next() >> 56)
    return bytes(data)


def make_uid(random):
    high = random.next()
    low = random.next()
    return "%08X-%04X-%04X-%04X-%012X" % (high >> 32, (high >> 16) & 0xFFFF, high & 0xFFFF, low >> 48,
                                          low & 0xFFFFFFFFFFFF)


def make_task(random):
    task = {"system.class": "TTask"}
    task["title"] = make_title(random, 1, 6)
    task["priority"] = random.between(0, 5)
    task["done"] = random.percent(40)
    task["uid"] = make_uid(random)
    return task


def make_card(random):
    card = {"system.class": CARD_CLASSES[random.below(len(CARD_CLASSES))]}
    card["title"] = make_title(random, 1, 4)
    card["frame.origin.x"] = make_coordinate(random, 0, 2560)
    card["frame.origin.y"] = make_coordinate(random, 0, 1440)
    card["frame.size.width"] = make_coordinate(random, 120, 640)
    card["frame.size.height"] = make_coordinate(random, 80, 900)
    card["z.order"] = random.between(0, 400)
    card["color.index"] = random.between(0, 11)
    card["identifier"] = random.between(1, 1 << 48)
    card["collapsed"] = random.percent(20)
    card["locked"] = random.percent(10)
    card["date"] = make_date(random)
    if random.percent(12):
        card["thumbnail"] = make_thumbnail(random)
    card["system.objects"] = [make_task(random) for _ in range(random.between(2, 10))]
    return card


def make_screen(card_count):
    random = Random(SEED)
    screen = {
        "system.class": "TScreen",
        "system.version": 3,
        "name": "Desktop — Arbeit",
        "grid.size": 8.0,
        "snap.to.grid": True,
        "modified": make_date(random),
    }
    screen["system.objects"] = [make_card(random) for _ in range(card_count)]
    return screen


def make_document(target_bytes):
    """The sheet within 2% of the target size, found as the benchmark finds
    its own: scale the card count by the bytes a card took so far."""
    fixed_bytes = len(plistlib.dumps(make_screen(0)))
    cards = 64
    for _ in range(4):
        document = plistlib.dumps(make_screen(cards))
        if abs(len(document) - target_bytes) <= 0.02 * target_bytes:
            break
        per_card = (len(document) - fixed_bytes) / cards
        cards = max(1, round((target_bytes - fixed_bytes) / per_card))
    return document


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for label, target in SIZES:
        path = os.path.join(folder, "plistlib-%s.plist" % label)
        temporary = path + ".part"
        with open(temporary, "wb") as file:
            file.write(make_document(target))
        os.replace(temporary, path)


if __name__ == "__main__":
    main()
