#!/usr/bin/env python3
"""Offline (loopback only) with rasapi32.dll turned off: the monitor keeps
running, asks no server and logs the failed RasEnumConnections once, at the
first check: a missing DLL stays missing. With wininet.dll off as well it goes
the same way."""
import re
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TRACE_DEBUG, Monitor, _built_helper, main  # noqa: E402
from daytime_server import DaytimeServers  # noqa: E402
from test_missing_dlls import INTERVAL_S, without  # noqa: E402
from vornwine import WinePrefix, wait_until  # noqa: E402

LOG_LINE = re.compile(rb"^\d+/\d+/\d+ \d+:\d\d:\d\d(?: [AP]M)? RasEnumConnections Failed\r$",
                      re.M | re.I)


class MissingDllsOffline(unittest.TestCase):
    def setUp(self):
        _built_helper()
        routes = subprocess.run(["ip", "route"], stdout=subprocess.PIPE, check=True).stdout
        self.assertNotIn(b"default", routes, "not an offline namespace")
        self.servers = DaytimeServers().start()
        self.addCleanup(self.servers.stop)

    def test_monitor_logs_the_failed_dial_up_check(self):
        for dlls in (("rasapi32",), ("rasapi32", "wininet")):
            with self.subTest(off=dlls):
                wp = WinePrefix()
                self.addCleanup(wp.close)
                mon = Monitor(wp, "VornFast.exe", debug=TRACE_DEBUG, env=without(*dlls))
                wait_until(lambda: (mon.log() or b"").count(b"\n") >= 1, 10 * INTERVAL_S,
                           what="a line in vorn.log")
                # Three checks or more after the first, and no line of theirs.
                time.sleep(4 * INTERVAL_S)
                self.assertTrue(mon.running, "the monitor ended: %r" % mon.proc.stderr()[-2000:])
                self.assertEqual(mon.stop(), 0)
                if "wininet" not in dlls:
                    self.assertGreaterEqual(len(mon.checks()), 4)
                log = mon.log()
                self.assertEqual(log.count(b"\n"), 1, log)
                self.assertEqual(len(LOG_LINE.findall(log)), 1, log)
                self.assertEqual(self.servers.requests, [])
                self.assertEqual(mon.set_requests(), [])
                wp.close()


if __name__ == "__main__":
    main(offline=True)
