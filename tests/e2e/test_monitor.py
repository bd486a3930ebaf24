#!/usr/bin/env python3
"""The shipped Vorn.exe as a file and as a monitor: what the PE carries and
imports; copied as VornMon.exe it stays running and is found by its title, a
second copy ends at once with exit code 1, and WM_QUIT ends it with 0."""
import json
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, MonitorTest, bin_dir, main  # noqa: E402

HERE = Path(__file__).resolve().parent
# Everything the program imports at load time; msvcrt is the C runtime's.
# wininet and rasapi32 are loaded when first needed.
LOAD_TIME_DLLS = {"kernel32", "user32", "gdi32", "advapi32", "shell32", "msvcrt"}
# 224 KiB: the program with its static C and C++ runtime, nothing more.
MAX_BYTES = 229376


class ShippedFile(unittest.TestCase):
    def test_pe_is_a_static_gui_program_with_its_resources(self):
        exe = bin_dir() / "Vorn.exe"
        self.assertLessEqual(exe.stat().st_size, MAX_BYTES)
        out = subprocess.run([sys.executable, str(HERE / "pecheck.py"), str(exe)],
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


class ShippedMonitor(MonitorTest):
    def test_runs_is_found_refuses_a_second_and_quits_with_zero(self):
        mon = self.start_monitor("Vorn.exe")
        self.assertTrue(mon.running)
        self.assertEqual(self.wp.count_windows(TITLE), 1)

        second = self.wp.spawn([r"C:\Vorn\VornMon.exe"])
        self.assertEqual(second.wait(20), 1)
        self.assertTrue(mon.running)
        self.assertEqual(self.wp.find_window(TITLE), mon.win_pid)

        self.assertEqual(mon.stop(), 0)
        self.assertEqual(self.wp.count_windows(TITLE), 0)
        # No check ran in its short life, so nothing was asked or logged.
        self.assertEqual(self.servers.requests, [])
        self.assertIsNone(mon.log())


if __name__ == "__main__":
    main()
