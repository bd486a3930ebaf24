#!/usr/bin/env python3
"""What Wine shows of the service's events. Wine keeps no event log:
RegisterEventSourceA and ReportEventA are stubs that succeed, and their
fixme lines (channel fixme:advapi) give each report's type and number;
ReportEventA hands the strings to ReportEventW, which prints an error's on
err:eventlog and an information event's on trace:eventlog. event_probe.exe
reports as the service does (two log lines, one clock change): the numbers,
types and strings must be those the program gives Windows, and the log lines
must still reach vorn.log."""
import re
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import bin_dir, main  # noqa: E402
from vornwine import WinePrefix  # noqa: E402

PROBE = r"C:\probe\event_probe.exe"
EVENTLOG_ERROR_TYPE = 1
EVENTLOG_INFORMATION_TYPE = 4


class Events(unittest.TestCase):
    def test_reports_carry_their_numbers_types_and_strings(self):
        wp = WinePrefix()
        self.addCleanup(wp.close)
        probe = wp.unix_path(PROBE)
        probe.parent.mkdir(parents=True)
        shutil.copy(bin_dir() / "event_probe.exe", probe)
        r = wp.run([PROBE], env={"WINEDEBUG": "-all,fixme+advapi,+eventlog"})
        self.assertEqual(r.returncode, 0, r.stderr)
        trace = r.stderr.decode("utf-8", "replace")

        self.assertIn('RegisterEventSourceA ((null),"Vorn")', trace)
        reports = [(int(t, 16), int(n, 16), int(c, 16)) for t, n, c in re.findall(
            r"fixme:advapi:ReportEventA \(\w+,0x(\w+),0x\w+,0x(\w+),\w+,0x(\w+),", trace)]
        self.assertEqual(reports, [(EVENTLOG_ERROR_TYPE, 101, 1), (EVENTLOG_ERROR_TYPE, 100, 1),
                                   (EVENTLOG_INFORMATION_TYPE, 1, 4)])
        self.assertEqual(re.findall(r'err:eventlog:ReportEventW L"([^"]*)"', trace),
                         ["InternetOpen Failed", "A line of no kind of its own"])
        self.assertEqual(re.findall(r'trace:eventlog:ReportEventW L"([^"]*)"', trace),
                         ["2026-12-09 10:04:05", "2026-12-09 10:04:47", "time-a.example",
                          "http://time-b.example:13"])
        self.assertIn("DeregisterEventSource", trace)

        log = (wp.windows / "vorn.log").read_bytes()
        self.assertEqual(len(log.splitlines()), 2, log)
        self.assertIn(b" InternetOpen Failed\r\n", log)


if __name__ == "__main__":
    main()
