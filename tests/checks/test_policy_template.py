"""The group-policy template: well-formed, and it names exactly the monitor's settings.

Every policy writes one value of the settings under SOFTWARE\\Policies\\PelluxMONITOR,
for the machine and for the user; every text it shows is in the ADML, and each
explanation gives the value's built-in value.

Usage: python3 test_policy_template.py [ROOT]   (ROOT defaults to the tree above tests/)
"""

import pathlib
import re
import sys
import unittest
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
KEY = "SOFTWARE\\Policies\\PelluxMONITOR"
# The built-in value each explanation must give, as the program's table has it.
BUILT_IN = {
    "ControllerPath": "C:\\Program Files\\Pellux\\Pellux.exe",
    "ControllerProcess": "javaw.exe",
    "BridgePath": "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe",
    "BridgeProcess": "Lintaro.exe",
    "ControlFile": "D:\\Pellux.stp",
    "LogFile": "PelluxMONITOR.anc in the monitor's own folder",
    "LogLimitKB": "65536",
    "BridgeHungSeconds": "0",
    "ControllerMatch": "empty",
}


class PolicyTemplateTest(unittest.TestCase):
    root = pathlib.Path(__file__).resolve().parents[2]

    def setUp(self):
        policy = self.root / "packaging" / "policy"
        self.admx = ET.parse(policy / "PelluxMONITOR.admx").getroot()
        self.adml = ET.parse(policy / "en-US" / "PelluxMONITOR.adml").getroot()
        self.strings = {s.get("id"): s.text or "" for s in self.adml.iterfind(".//p:stringTable/p:string", NS)}
        self.presentations = {p.get("id"): p for p in self.adml.iterfind(".//p:presentationTable/p:presentation", NS)}

    def settings_in_code(self):
        header = (self.root / "src" / "programs" / "settings.h").read_text()
        names = re.search(r"kSettingNames\[\]\s*=\s*\{([^}]*)\}", header).group(1)
        return re.findall(r'"(\w+)"', names)

    def test_one_policy_per_setting_for_machine_and_user_under_the_policies_key(self):
        written = []
        for policy in self.admx.iterfind(".//p:policies/p:policy", NS):
            with self.subTest(policy=policy.get("name")):
                self.assertEqual(policy.get("key"), KEY)
                self.assertEqual(policy.get("class"), "Both")
                # Texts are REG_SZ/REG_EXPAND_SZ; a decimal writes a REG_DWORD.
                texts = policy.findall("p:elements/*", NS)
                self.assertEqual(len(texts), 1)
                self.assertIn(texts[0].tag.split("}")[1], ("text", "decimal"))
                written.append(texts[0].get("valueName"))
        self.assertEqual(sorted(written), sorted(self.settings_in_code()))
        self.assertEqual(sorted(written), sorted(BUILT_IN))

    def test_every_text_is_in_the_adml_and_each_explanation_gives_the_built_in_value(self):
        refs = re.compile(r"^\$\((string|presentation)\.(\w+)\)$")
        for element in self.admx.iter():
            for attribute in ("displayName", "explainText", "presentation"):
                value = element.get(attribute)
                if value is None:
                    continue
                kind, name = refs.match(value).groups()
                table = self.strings if kind == "string" else self.presentations
                self.assertIn(name, table, value)
        for policy in self.admx.iterfind(".//p:policies/p:policy", NS):
            text = policy.find("p:elements/*", NS)
            explain = self.strings[refs.match(policy.get("explainText")).group(2)]
            self.assertIn("Built-in value: " + BUILT_IN[text.get("valueName")], explain)
            if text.get("valueName").endswith("Process"):
                # A name without .exe never matches a process: no text may suggest leaving it out.
                self.assertIn("ending in .exe", explain)
                self.assertNotRegex(explain, r"(?i)without (its )?\.exe")
            presentation = self.presentations[refs.match(policy.get("presentation")).group(2)]
            boxes = [b.get("refId") for b in presentation if b.tag.split("}")[1] in ("textBox", "decimalTextBox")]
            self.assertEqual(boxes, [text.get("id")])


if __name__ == "__main__":
    if len(sys.argv) > 1:
        PolicyTemplateTest.root = pathlib.Path(sys.argv.pop(1))
    unittest.main()
