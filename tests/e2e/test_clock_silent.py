#!/usr/bin/env python3
"""A server that accepts and never answers: the watchdog, then half a second
of grace and TerminateThread (Wine's WinINet does not wake the blocked open when
the session is closed), then the next server, with WinINet still working."""
from clock_e2e import TRACE_DEBUG, MonitorTest, clear_skew, main, report
from vornwine import wait_until

INTERVAL_S = 1.5  # VornFast.exe


class SilentServer(MonitorTest):
    def test_silent_server_check_ends_and_the_next_server_answers(self):
        self.servers.set(0, "silent")
        self.servers.set(1, "nist", skew=clear_skew(90, 60))
        mon = self.start_monitor(debug=TRACE_DEBUG)
        self.servers.wait_requests(1, 20, which=0)
        got = self.servers.wait_requests(2, 25, which=1)
        wait_until(lambda: len(mon.set_requests()) >= 2, 5, what="two clock changes")

        first_other = got[0]
        silent = self.servers.requests_for(0)[0]
        spans = mon.checks()
        silent_check = spans[0][0]
        next_check = spans[1][0]
        duration = next_check - silent_check - INTERVAL_S
        report("duration of a silent-server check (traced)", "%.2f s" % duration)
        report("silent request to next request",
               "%.2f s (minus the 1.5 s interval)" % (first_other.mono - silent.mono))
        # 10 s of watchdog and 0.5 s of grace, and little else.
        self.assertLess(duration, 11.0)
        self.assertGreater(duration, 10.3)
        # Nothing is logged for a time-out; the ended worker broke nothing.
        self.assertEqual(len(self.servers.requests_for(0)), 1)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
