#!/usr/bin/env python3
"""The include check on a small planted tree: clean, then one fault at a time."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-includes.py")

CMAKE = """
# Low stands on nothing; High stands on Low; Side on nothing.
brindlet_platform_family(Low
    SOURCES Low.cpp)
brindlet_platform_family(High
    SOURCES High.cpp
    DEPENDS brindlet_low Qt6::Core)
brindlet_platform_family(Side
    SOURCES Side.cpp)
"""

CLEAN = {
    "Platform/CMakeLists.txt": CMAKE,
    "Platform/Low/Low.h": "#pragma once\n",
    "Platform/Low/LowInternal.h": "#pragma once\n#include <Low/Low.h>\n",
    "Platform/Low/Low.cpp": '#include "LowInternal.h"\n#include <vector>\n',
    "Platform/High/High.cpp": "#include <Low/Low.h>\n#include <High/High.h>\n",
    "Platform/High/High.h": "#pragma once\n",
    "Platform/Side/Side.cpp": "#include <Side/Side.h>\n",
    "Platform/Side/Side.h": "#pragma once\n",
    "Units/Classes/TThing.cpp": "#include <High/High.h>\n#include <Units/Classes/TThing.h>\n",
    "Units/Classes/TThing.h": "#pragma once\n",
    # A family's own tests may look inside it.
    "Tests/Platform/Low/LowTests.cpp": "#include <Low/LowInternal.h>\n",
}


def run_on(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as out:
                out.write(text)
        result = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return result.returncode, result.stdout


class CheckIncludes(unittest.TestCase):
    def test_clean_tree_passes(self):
        self.assertEqual(run_on(CLEAN), (0, ""))

    def test_each_planted_fault_fails_with_its_line(self):
        cases = [
            ("a unit reads a platform object's layout",
             "Units/Classes/TThing.cpp", "#include <Low/LowInternal.h>\n", "platform-internal header"),
            ("a test reads another family's internals",
             "Tests/Platform/High/HighTests.cpp", "#include <Low/LowInternal.h>\n", "platform-internal header"),
            ("a family reads another's internals",
             "Platform/High/High.cpp", "#include <Low/LowInternal.h>\n", "internal header of Low"),
            ("a family includes one it does not stand on",
             "Platform/High/High.cpp", "#include <Side/Side.h>\n", "does not stand on Side"),
            ("a family includes one that stands on it",
             "Platform/Low/Low.cpp", "#include <High/High.h>\n", "does not stand on High"),
            ("the platform includes a unit",
             "Platform/Side/Side.cpp", "#include <Units/Classes/TThing.h>\n", "includes a unit"),
        ]
        for label, path, line, expected in cases:
            with self.subTest(label):
                files = dict(CLEAN)
                files[path] = files.get(path, "") + line
                code, output = run_on(files)
                self.assertEqual(code, 1, output)
                self.assertIn(path, output)
                self.assertIn(expected, output)


if __name__ == "__main__":
    unittest.main()
