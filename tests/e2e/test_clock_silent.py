#!/usr/bin/env python3
"""A server that accepts and never answers: the watchdog closes the session
and leaves the worker (Wine's WinINet does not wake the blocked open, as
Windows' does); the next check asks the next server, with WinINet still
working beside the worker left blocked."""
from clock_e2e import TRACE_DEBUG, MonitorTest, clear_skew, main, report
from vornwine import wait_until

INTERVAL_S = 1.5  # VornFast.exe


class SilentServer(MonitorTest):
    def test_silent_server_check_ends_and_the_next_server_answers(self):
        self.servers.set("all", "nist", skew=clear_skew(90, 60))
        self.servers.set(0, "silent")
        mon = self.start_monitor(debug=TRACE_DEBUG)
        self.servers.wait_requests(1, 20, which=0)
        got = self.servers.wait_requests(1, 25, which=1)
        # Server 2 holds its step, server 3 confirms it, and so on.
        wait_until(lambda: len(mon.set_requests()) >= 2, 10, what="two clock changes")

        first_other = got[0]
        silent = self.servers.requests_for(0)[0]
        spans = mon.checks()
        silent_check = spans[0][0]
        next_check = spans[1][0]
        duration = next_check - silent_check - INTERVAL_S
        report("duration of a silent-server check (traced)", "%.2f s" % duration)
        report("silent request to next request",
               "%.2f s (minus the 1.5 s interval)" % (first_other.mono - silent.mono))
        # 10 s of watchdog and little else: nothing waits for the worker.
        self.assertLess(duration, 10.5)
        self.assertGreater(duration, 9.9)
        # Nothing is logged for a time-out; the worker left behind broke nothing.
        self.assertEqual(len(self.servers.requests_for(0)), 1)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
