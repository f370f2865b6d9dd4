"""The rooms of src/ and who may use whom.

Each room may include its own headers and those of the rooms below it, never
one above: the plan of the house, kept true by this check. The portable rooms
include no Windows header.

Usage: python3 test_include_order.py [SRC]   (SRC defaults to the src/ beside tests/)
"""

import pathlib
import re
import sys
import unittest

# Bottom first. A room uses only the rooms before it in this list.
ROOMS = ["common", "platform", "programs", "log", "process", "tray", "ui", "supervision", "app",
         "win32"]
SOURCE_SUFFIXES = {".h", ".cpp", ".in"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
WINDOWS_HEADERS = re.compile(r"^(windows|winnt|winuser|winbase|shellapi|psapi|commctrl)\.h$",
                             re.IGNORECASE)


def violations(src):
    """Every include that breaks the order, as 'file:line: why'."""
    found = []
    rank = {room: i for i, room in enumerate(ROOMS)}
    for path in sorted(src.rglob("*")):
        if not path.is_file() or path.suffix not in SOURCE_SUFFIXES:
            continue
        rel = path.relative_to(src)
        room = rel.parts[0] if len(rel.parts) > 1 else None
        if room not in rank:
            found.append(f"{rel}: not in a room of the plan")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            quote, target = m.groups()
            where = f"{rel}:{number}: {target}"
            if quote == "<":
                if room != "win32" and WINDOWS_HEADERS.match(target):
                    found.append(f"{where}: a Windows header outside win32/")
                continue
            parts = pathlib.PurePosixPath(target).parts
            if len(parts) < 2:
                continue  # a file beside this one, or generated beside the build
            used = parts[0]
            if used not in rank:
                found.append(f"{where}: names no room")
            elif rank[used] > rank[room]:
                found.append(f"{where}: {room}/ uses {used}/, which stands above it")
    return found


class IncludeOrderTest(unittest.TestCase):
    src = pathlib.Path(__file__).resolve().parents[2] / "src"

    def test_no_room_includes_one_above_it(self):
        self.assertEqual(violations(self.src), [])

    def test_the_check_sees_an_include_upwards(self):
        # Guards the guard: a file of log/ that reaches into app/ is reported.
        import tempfile
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            (root / "log").mkdir()
            (root / "app").mkdir()
            (root / "app" / "monitor.h").write_text("#pragma once\n")
            (root / "log" / "event_log.cpp").write_text(
                '#include "app/monitor.h"\n#include <windows.h>\n')
            self.assertEqual(len(violations(root)), 2)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        IncludeOrderTest.src = pathlib.Path(sys.argv.pop(1))
    unittest.main()
