#!/usr/bin/env python3
"""The shipped Vorn.exe as a file, read without running it (so on every host,
whichever build the Windows tests run): a static 32-bit GUI program of
bounded size that imports only system DLLs, with its icon, version record and
manifest. The executable comes from $VORN_BIN_DIR (default build/win32)."""
import json
import os
import subprocess
import sys
import unittest
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
        self.assertEqual(sorted(i["width"] for i in pe["icon_groups"]["MAINICON"]), [16, 32])
        strings = pe["version"]["strings"]["040904E4"]
        for key, value in {"FileVersion": "2.0.0.0", "ProductVersion": "2.0.0.0",
                           "InternalName": "Vorn", "ProductName": "Vorn",
                           "OriginalFilename": "Vorn.exe"}.items():
            self.assertEqual(strings[key], value)
        self.assertEqual(pe["version"]["fixed"]["file_version"], "2.0.0.0")
        self.assertIn([1033, 1252], pe["version"]["translations"])
        self.assertIn('level="asInvoker"', pe["manifest"]["text"])


if __name__ == "__main__":
    unittest.main()
