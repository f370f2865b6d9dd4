"""The docs against the tree: the integrator's table of events names every event the program writes, at
its level, and its no-flood rule the kinds the cycle holds back; the installer properties the docs name
are the ones the packages take; every relative link of README.md, CONTRIBUTING.md and docs/*.md reaches
its file and, with a #part, a heading of it.

The events come from PELLUX_SYSTEM_EVENTS (wherever it is defined under src/), from the message table
src/win32/event_messages.mc and from the Repeating(...) calls under src/; the properties from the
settings' registry values of packaging/PelluxMONITOR.wxs. Standard library only.

Usage: python3 test_docs.py [ROOT]   (ROOT defaults to the tree above tests/)
"""

import pathlib
import re
import sys
import unittest
import xml.etree.ElementTree as ET

LEVELS = ("Information", "Warning", "Error")
NUMBERS = {"one": 1, "two": 2, "three": 3, "four": 4, "five": 5, "six": 6, "seven": 7, "eight": 8,
           "nine": 9, "ten": 10, "eleven": 11, "twelve": 12}


class Tree:
    root = pathlib.Path(__file__).resolve().parents[2]

    @classmethod
    def text(cls, *parts):
        return cls.root.joinpath(*parts).read_text(encoding="utf-8")

    @classmethod
    def docs(cls):
        return [cls.root / "README.md", cls.root / "CONTRIBUTING.md"] + sorted((cls.root / "docs").glob("*.md"))


def table_rows(markdown, first_header):
    """The cells of each row of the table whose header row starts with first_header."""
    rows, inside = [], False
    for line in markdown.splitlines():
        if line.startswith("| " + first_header + " |"):
            inside = True
            continue
        if inside:
            if not line.startswith("|"):
                break
            if not line.startswith("|---"):
                rows.append([cell.strip() for cell in line.strip().strip("|").split(" | ")])
    return rows


class EventsTable(unittest.TestCase):
    def setUp(self):
        macro = None
        for path in sorted((Tree.root / "src").rglob("*.h")):
            found = re.search(r"#define PELLUX_SYSTEM_EVENTS\(X\)((?:[^\n]*\\\n)*[^\n]*)", path.read_text())
            if found:
                macro = found.group(1)
        self.assertIsNotNone(macro, "PELLUX_SYSTEM_EVENTS is defined nowhere under src/")
        # X(name, id, symbol, level, strings)
        self.code = {name: (int(id_), level)
                     for name, id_, level in re.findall(r"X\((\w+), (\d+), \w+, (\w+), \d+\)", macro)}
        self.levels = {id_: level for id_, level in self.code.values()}
        self.integrator = Tree.text("docs", "integrator.md")
        self.rows = table_rows(self.integrator, "Id")

    def test_every_event_stands_in_the_table_once_in_order_at_its_level(self):
        ids = [int(row[0]) for row in self.rows]
        self.assertEqual(ids, sorted(set(ids)), "each id once, in order")
        self.assertEqual(ids, sorted(self.levels), "the table's ids are the program's")
        for id_, level, *_ in self.rows:
            with self.subTest(event=id_):
                if int(id_) == self.code["RepeatSummary"][0]:
                    self.assertEqual(level, "the level of the event it sums up")
                else:
                    self.assertEqual(level, self.levels[int(id_)])

    def test_the_message_table_has_a_text_for_each_event_and_no_other(self):
        mc = Tree.text("src", "win32", "event_messages.mc")
        self.assertEqual(sorted(int(i) for i in re.findall(r"^MessageId=(\d+)", mc, re.M)), sorted(self.levels))

    def test_the_no_flood_rule_names_the_kinds_the_cycle_holds_back_at_their_levels(self):
        held = set()
        for path in (Tree.root / "src").rglob("*.cpp"):
            for call in re.findall(r"\bRepeating\(([^;]*);", path.read_text()):
                held.update(self.code[name][0] for name in re.findall(r"EventId::(\w+)", call))
        self.assertTrue(held)
        rule = re.search(r"\*\*No flood:\*\*[^(]*\(([^)]*)\)", self.integrator)
        self.assertIsNotNone(rule, "the no-flood rule")
        self.assertEqual(sorted(int(i) for i in re.findall(r"\d+", rule.group(1))), sorted(held))
        summary = re.search(r"1023 says how many, at the kind's own level \(([^)]*)\)", self.integrator)
        self.assertIsNotNone(summary, "the summary's levels")
        told = {}
        for level, ids in re.findall(r"an? (warning|error) for (\d+(?:(?:, | and )\d+)*)", summary.group(1)):
            told.update({int(i): level.capitalize() for i in re.findall(r"\d+", ids)})
        self.assertEqual(told, {id_: self.levels[id_] for id_ in held})


class InstallerProperties(unittest.TestCase):
    def setUp(self):
        wxs = ET.parse(Tree.root / "packaging" / "PelluxMONITOR.wxs").getroot()
        # Each setting's component writes its value from one property: Value="[PROPERTY]".
        self.packaged = {}
        for value in wxs.iter():
            if value.tag.endswith("RegistryValue") and (value.get("Id") or "").startswith("Setting"):
                self.packaged[re.fullmatch(r"\[(\w+)\]", value.get("Value")).group(1)] = value.get("Name")
        self.assertTrue(self.packaged)

    def test_the_integrators_table_names_each_property_and_the_value_it_writes(self):
        rows = table_rows(Tree.text("docs", "integrator.md"), "Property")
        documented = {}
        for row in rows:
            documented[row[0].strip("`")] = re.match(r"`(\w+)`", row[1]).group(1)
        self.assertEqual(documented, self.packaged)

    def test_the_packages_let_an_elevated_install_pass_each_property(self):
        secure = re.search(r"SET Value = '([^']*)' WHERE Property = 'SecureCustomProperties'",
                           Tree.text("packaging", "CMakeLists.txt")).group(1)
        self.assertLessEqual(set(self.packaged), set(re.split(r"\\;", secure)))

    def test_every_property_the_docs_name_exists_and_every_count_is_right(self):
        candidates = re.compile(r"`([A-Z][A-Z0-9]*(?:_[A-Z0-9]+)+)`")
        counted = re.compile(r"\b(" + "|".join(NUMBERS) + r")\b (?:installer )?properties\b", re.I)
        for path in Tree.docs():
            text = path.read_text(encoding="utf-8")
            for name in set(candidates.findall(text)):
                # Upper-case names with an underscore beside a property are the packages' properties;
                # the build's own (PELLUX_...) and Windows' (KEY_..., WM_..., ERROR_...) are not.
                if re.search(r"`" + name + r"`\s*(\||=|,|→)", text) and not name.startswith(
                        ("PELLUX_", "KEY_", "WM_", "ERROR_", "WSF_", "UOI_", "CLSID_")):
                    with self.subTest(doc=path.name, property=name):
                        self.assertIn(name, self.packaged)
            for number in counted.findall(text):
                with self.subTest(doc=path.name, count=number):
                    self.assertEqual(NUMBERS[number.lower()], len(self.packaged))


def anchors(markdown):
    """The #parts GitHub gives the headings of a page: lower case, punctuation dropped, blanks as -."""
    seen, out = {}, set()
    fenced = False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        heading = not fenced and re.match(r"#{1,6} (.*)", line)
        if heading:
            slug = re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower()).replace(" ", "-")
            out.add(slug if slug not in seen else "%s-%d" % (slug, seen[slug]))
            seen[slug] = seen.get(slug, 0) + 1
    return out


class Links(unittest.TestCase):
    def test_every_relative_link_reaches_its_file_and_heading(self):
        link = re.compile(r"\]\(([^)\s]+)\)")
        for path in Tree.docs():
            text = re.sub(r"```.*?```", "", path.read_text(encoding="utf-8"), flags=re.S)
            for target in link.findall(text):
                if re.match(r"[a-z]+:", target):
                    continue
                with self.subTest(doc=path.name, link=target):
                    file, _, part = target.partition("#")
                    reached = (path.parent / file).resolve() if file else path
                    self.assertTrue(reached.exists(), "no file")
                    if part:
                        self.assertIn(part, anchors(reached.read_text(encoding="utf-8")), "no such heading")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        Tree.root = pathlib.Path(sys.argv.pop(1))
    unittest.main()
