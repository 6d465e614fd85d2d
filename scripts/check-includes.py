#!/usr/bin/env python3
"""Keeps the layers apart, as the build declares them.

Fails (exit 1, one line per fault) when
  - a file outside Platform/ includes a platform header whose name ends in
    "Internal.h" (the layout of platform objects is the platform's own),
    except a test of that family (Tests/Platform/<Family>/), which may look
    inside what it tests;
  - a platform family includes another family's internal header, unless the
    pair is in ALLOWED_INTERNAL below;
  - a platform family includes a header of a family it does not stand on
    (the families and what they stand on are read from Platform/CMakeLists.txt);
  - anything under Platform/ includes a unit (Units/, ApplicationFramework/,
    SpriteEngine/, Sources/, Shared/, Helper/).

Usage: check-includes.py [root]   (root defaults to the project's root)
"""
import os
import re
import sys

# Internal headers one family may read of another: the few places where a
# family builds on another's object layout on purpose. Keep it short.
ALLOWED_INTERNAL = {
    # Core Image filters work on the pixels of Quartz images and contexts.
    ("CoreImage", "CoreGraphics/CGContextInternal.h"),
    # String drawing paints with the context's own painter and state.
    ("AppKit", "CoreGraphics/CGContextInternal.h"),
    # Controls and theme text paint with the context's own painter, and
    # text takes the context's fill colour.
    ("HIToolbox", "CoreGraphics/CGContextInternal.h"),
    # NSDate and NSCalendar share Core Foundation's calendar arithmetic.
    ("Foundation", "CoreFoundation/CFDateInternal.h"),
    ("Foundation", "CoreFoundation/CFTimeZoneInternal.h"),
    # Image I/O decodes from and encodes into a data object's bytes in place.
    ("CoreGraphics", "CoreFoundation/CFDataInternal.h"),
}

UNIT_ROOTS = ("Units/", "ApplicationFramework/", "SpriteEngine/", "Sources/", "Shared/", "Helper/")
SOURCE_SUFFIXES = (".h", ".cpp", ".hpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.MULTILINE)
FAMILY_CALL = re.compile(r"brindlet_platform_family\((\w+)(.*?)\)\s*$", re.DOTALL | re.MULTILINE)


def read_families(root):
    """Family name -> set of families it links directly, from the build."""
    text = open(os.path.join(root, "Platform", "CMakeLists.txt"), encoding="utf-8").read()
    text = re.sub(r"#[^\n]*", "", text)
    targets = {}
    families = {}
    for match in FAMILY_CALL.finditer(text):
        name, body = match.group(1), match.group(2)
        targets["brindlet_" + name.lower()] = name
        depends = body.split("DEPENDS", 1)[1].split() if "DEPENDS" in body else []
        families[name] = depends
    for match in re.finditer(r"add_library\((brindlet_\w+) INTERFACE\)\s*target_link_libraries\(\1 INTERFACE ([^)]*)\)", text):
        folder = {"brindlet_imageio": "ImageIO"}.get(match.group(1))
        if folder:
            targets[match.group(1)] = folder
            families[folder] = match.group(2).split()
    graph = {name: {targets[d] for d in deps if d in targets} for name, deps in families.items()}
    return graph


def reachable(graph, start):
    seen, stack = {start}, [start]
    while stack:
        for nxt in graph.get(stack.pop(), ()):
            if nxt not in seen:
                seen.add(nxt)
                stack.append(nxt)
    return seen


def source_files(root, top):
    base = os.path.join(root, top)
    for folder, _, names in os.walk(base):
        for name in sorted(names):
            if name.endswith(SOURCE_SUFFIXES):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, root)


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    graph = read_families(root)
    platform_families = set(os.listdir(os.path.join(root, "Platform")))
    faults = []

    def include_family(target):
        head = target.split("/", 1)[0]
        return head if "/" in target and head in platform_families else None

    for path in source_files(root, "Platform"):
        family = path.split(os.sep)[1]
        allowed = reachable(graph, family) if family in graph else None
        text = open(os.path.join(root, path), encoding="utf-8", errors="replace").read()
        for target in INCLUDE.findall(text):
            if target.startswith(UNIT_ROOTS):
                faults.append(f"{path}: the platform includes a unit: {target}")
                continue
            other = include_family(target)
            if other is None or other == family:
                continue
            if target.endswith("Internal.h") and (family, target) not in ALLOWED_INTERNAL:
                faults.append(f"{path}: {family} includes an internal header of {other}: {target}")
            if allowed is not None and other not in allowed:
                faults.append(f"{path}: {family} includes {target}, but does not stand on {other}")

    for top in os.listdir(root):
        if top in ("Platform", ".git") or top.startswith("build") or not os.path.isdir(os.path.join(root, top)):
            continue
        for path in source_files(root, top):
            text = open(os.path.join(root, path), encoding="utf-8", errors="replace").read()
            parts = path.split(os.sep)
            tested = parts[2] if len(parts) > 3 and parts[:2] == ["Tests", "Platform"] else None
            for target in INCLUDE.findall(text):
                family = include_family(target)
                if family and target.endswith("Internal.h") and family != tested:
                    faults.append(f"{path}: includes a platform-internal header: {target}")

    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
