#!/usr/bin/env python3
"""The built Vorn.exe as a monitor: copied as VornMon.exe it stays running and
is found by its title, a second copy ends at once with exit code 1, and
WM_QUIT ends it with 0. (What the shipped file carries is checked without
running it, by tests/pe/test_shipped_file.py.)"""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, MonitorTest, main  # noqa: E402


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
