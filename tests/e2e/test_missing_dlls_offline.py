#!/usr/bin/env python3
"""Offline (loopback only) with rasapi32.dll turned off: the monitor keeps
running, asks no server and logs the failed RasEnumConnections of each check.
With wininet.dll off as well it goes the same way."""
import re
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import Monitor, _built_helper, main  # noqa: E402
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
                mon = Monitor(wp, "VornFast.exe", env=without(*dlls))
                # A line for each check.
                wait_until(lambda: (mon.log() or b"").count(b"\n") >= 2, 10 * INTERVAL_S,
                           what="two lines in vorn.log")
                self.assertTrue(mon.running, "the monitor ended: %r" % mon.proc.stderr()[-2000:])
                self.assertEqual(mon.stop(), 0)
                log = mon.log()
                self.assertEqual(len(LOG_LINE.findall(log)), log.count(b"\n"), log)
                self.assertEqual(self.servers.requests, [])
                self.assertEqual(mon.set_requests(), [])
                wp.close()


if __name__ == "__main__":
    main(offline=True)
