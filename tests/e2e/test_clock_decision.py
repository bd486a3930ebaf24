#!/usr/bin/env python3
"""What the monitor makes of two servers that agree: a step of 300 s is asked
for at the first check, both servers asked in it; one of 20 hours, with the
PC's clock after the build date, is not taken and said once in the log; and on
a PC whose Windows Time service follows its domain no server is asked at all.
Wine refuses every clock change, so a step asked for is seen in its trace."""
import time

from clock_e2e import LINE_RE, SET_RE, TRACE_DEBUG, MonitorTest, clear_skew, main
from daytime_server import clear_of_midnight
from vornwine import wait_until

W32TIME = r"HKLM\SYSTEM\CurrentControlSet\Services\W32Time"


def far_skew(duration):
    """About 20 hours either way, the servers' times clear of midnight."""
    now = time.time()
    for skew in (72000, -72000, 73800, -73800):
        if clear_of_midnight(now + skew, duration):
            return skew
    raise AssertionError("no 20-hour skew clear of midnight")


class ClockDecision(MonitorTest):
    def test_a_step_two_servers_agree_on_is_asked_for_at_the_first_check(self):
        skew = clear_skew(300, 30)
        self.servers.set("all", "nist", skew=skew)
        mon = self.start_monitor(debug=TRACE_DEBUG)
        sets = wait_until(mon.set_requests, 20, what="a clock change")
        self.assertAlmostEqual(sets[0], skew * 1000, delta=1500)
        # From Wine's trace: the URLs each check opened, and the check that
        # asked for the change: the first, with two servers of two sites.
        opened, set_in = [], None
        for line in mon.proc.stderr().splitlines():
            m = LINE_RE.match(line)
            if m and m.group(5) == b"InternetGetConnectedState":
                opened.append([])
            elif m and m.group(5) == b"InternetOpenUrlA" and opened:
                opened[-1].append(line)
            elif SET_RE.search(line) and set_in is None:
                set_in = len(opened) - 1
        self.assertEqual(set_in, 0)
        self.assertEqual(len(opened[0]), 2, opened[0])
        self.assertEqual([r.server for r in self.servers.requests[:2]],
                         ["time-a-g.nist.gov", "time-a-wwv.nist.gov"])
        self.assertIsNone(mon.log())
        self.assertAlive(mon)

    def test_a_step_of_20_hours_is_not_taken_and_said_once(self):
        skew = far_skew(60)
        self.servers.set("all", "nist", skew=skew)
        mon = self.start_monitor()
        # Four checks, each asking two servers that agree.
        self.servers.wait_requests(8, 30)
        self.assertEqual(mon.set_requests(), [])
        hours = int(skew / 3600)
        log = wait_until(mon.log, 5, what="the log")
        self.assertEqual(log.count(b" Step Of %d Hours Not Taken\r\n" % hours), 1, log)
        self.assertEqual(log.count(b"\r\n"), 1, log)
        self.assertAlive(mon)

    def test_a_pc_that_follows_its_domain_is_left_alone(self):
        for version in ("winxp", "win10"):
            with self.subTest(version=version):
                self.wp.set_windows_version(version)
                self.wp.reg_add(W32TIME + r"\Parameters", "Type", "NT5DS")
                self.wp.reg_add(W32TIME, "Start", "2", type="REG_DWORD")
                self.servers.set("all", "nist", skew=clear_skew(300, 30))
                mon = self.start_monitor()
                # Four intervals of VornFast: time for four checks.
                time.sleep(6.5)
                self.assertEqual(self.servers.requests, [])
                self.assertEqual(mon.set_requests(), [])
                log = mon.log() or b""
                self.assertEqual(log.count(b" Clock Kept By The Domain\r\n"), 1, log)
                self.assertEqual(log.count(b"\r\n"), 1, log)
                self.assertAlive(mon)
                self.wp.reg_delete(W32TIME + r"\Parameters", "Type")
                (self.wp.windows / "vorn.log").unlink()


if __name__ == "__main__":
    main()
