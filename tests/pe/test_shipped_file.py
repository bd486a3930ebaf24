#!/usr/bin/env python3
"""The shipped Vorn.exe as a file, read without running it (so on every host,
whichever build the Windows tests run): a static 32-bit GUI program of
bounded size that imports only system DLLs, with its icon, version record and
manifest. The executable comes from $VORN_BIN_DIR (default build/win32)."""
import json
import os
import re
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

HERE = Path(__file__).resolve().parent
PECHECK = HERE.parent / "e2e" / "pecheck.py"
SHIPPED_DIR = Path(os.environ.get("VORN_BIN_DIR") or HERE.parent.parent / "build" / "win32")
# Everything the program imports at load time; msvcrt is the C runtime's.
# wininet and rasapi32 are loaded when first needed.
LOAD_TIME_DLLS = {"kernel32", "user32", "gdi32", "advapi32", "shell32", "msvcrt"}
# 128 KiB: the program with its static C and C++ runtime, without the C
# library's printf formatter and the C++ library's prebuilt strings and
# standard exception classes.
MAX_BYTES = 131072
EVENT_KINDS = HERE.parent.parent / "src" / "monitor" / "event_kinds.inc"
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def inspect_shipped():
    out = subprocess.run([sys.executable, str(PECHECK), str(SHIPPED_DIR / "Vorn.exe")],
                         check=True, capture_output=True).stdout
    return json.loads(out)


class ShippedFile(unittest.TestCase):
    def test_pe_is_a_static_gui_program_with_its_resources(self):
        exe = SHIPPED_DIR / "Vorn.exe"
        self.assertLessEqual(exe.stat().st_size, MAX_BYTES)
        out = subprocess.run([sys.executable, str(PECHECK), str(exe)],
                             check=True, capture_output=True).stdout
        pe = json.loads(out)
        self.assertEqual((pe["format"], pe["machine"], pe["subsystem"]), ("PE32", "i386", "gui"))
        dlls = {d.lower().removesuffix(".dll") for d in pe["dlls"]}
        # The roles name all of these; a missing one means a part was left out.
        self.assertEqual(dlls, LOAD_TIME_DLLS)
        self.assertTrue(pe["has_mainicon"])
        self.assertEqual(sorted(i["width"] for i in pe["icon_groups"]["MAINICON"]), [16, 32, 48])
        strings = pe["version"]["strings"]["040904E4"]
        for key, value in {"FileVersion": "2.0.0.0", "ProductVersion": "2.0.0.0",
                           "InternalName": "Vorn", "ProductName": "Vorn",
                           "OriginalFilename": "Vorn.exe"}.items():
            self.assertEqual(strings[key], value)
        self.assertEqual(pe["version"]["fixed"]["file_version"], "2.0.0.0")
        self.assertIn([1033, 1252], pe["version"]["translations"])
        self.assertIn('level="asInvoker"', pe["manifest"]["text"])


    # Event Viewer shows an event's text only when the message file has its
    # number: the clock change (1), any other line (100) and every kind of
    # line the program numbers, each with the strings it is given.
    def test_message_table_has_every_event(self):
        messages = {int(k): v for k, v in (inspect_shipped()["messages"] or {}).items()}
        kinds = re.findall(r'^VORN_EVENT_KIND\((\d+), *\w+, *"[^"]+", *"([^"]+)"\)$',
                           EVENT_KINDS.read_text(), re.M)
        self.assertGreaterEqual(len(kinds), 6)
        expected = {1: ["%1", "%2", "%3", "%4"], 100: ["%1"]}
        expected.update({int(number): ["%1"] for number, _ in kinds})
        self.assertEqual(sorted(messages), sorted(expected))
        for number, inserts in expected.items():
            for insert in inserts:
                self.assertIn(insert, messages[number], number)
        for number, text in kinds:
            self.assertEqual(messages[int(number)].strip(), text)

    # Common Controls 6 for the boxes (XP on) and system DPI awareness (Vista
    # on), with what the manifest held before: asInvoker and the supported
    # systems.
    def test_manifest_asks_for_common_controls_6_and_dpi_awareness(self):
        root = ElementTree.fromstring(inspect_shipped()["manifest"]["text"].encode("utf-8"))
        identities = [d.find(f"{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity").attrib
                      for d in root.findall(f"{ASM_V1}dependency")]
        controls = [i for i in identities if i.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(len(controls), 1, identities)
        self.assertEqual(controls[0].get("version"), "6.0.0.0")
        self.assertEqual(controls[0].get("type"), "win32")
        self.assertEqual(controls[0].get("publicKeyToken"), "6595b64144ccf1df")
        self.assertIn(controls[0].get("processorArchitecture"), ("*", "x86"))
        aware = root.findall(f"{ASM_V3}application/{ASM_V3}windowsSettings/{WINDOWS_SETTINGS}dpiAware")
        self.assertEqual([a.text.strip() for a in aware], ["true"])
        levels = root.findall(f".//{ASM_V3}requestedExecutionLevel")
        self.assertEqual([(l.get("level"), l.get("uiAccess")) for l in levels],
                         [("asInvoker", "false")])
        self.assertEqual(len(root.findall(".//{urn:schemas-microsoft-com:compatibility.v1}supportedOS")), 5)


if __name__ == "__main__":
    unittest.main()
