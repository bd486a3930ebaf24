#!/usr/bin/env python3
"""The shipped Vorn.exe (default timing) first asks a server two minutes
after it started, and does not set the clock on that one server's word.
Takes about two minutes."""
import time

from clock_e2e import MonitorTest, clear_skew, main, report


class ShippedTiming(MonitorTest):
    def test_first_check_comes_120_s_after_start(self):
        self.servers.set(0, "nist", skew=clear_skew(90, 180))
        mon = self.start_monitor("Vorn.exe")
        try:
            got = self.servers.wait_requests(1, 126 - (time.monotonic() - mon.started))
        except TimeoutError:
            self.fail("no server asked within 125 s of the start")
        after = got[0].mono - mon.started
        report("first request after the shipped monitor's start", "%.2f s" % after)
        self.assertGreaterEqual(after, 120.0)
        self.assertLessEqual(after, 125.0)
        # One server's word moves nothing: its step waits for the next check.
        time.sleep(1.0)
        self.assertEqual(mon.set_requests(), [])
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
