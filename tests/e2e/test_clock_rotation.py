#!/usr/bin/env python3
"""A server that cannot be opened, or that says its own time is wrong, moves
the monitor on to the next one."""
from clock_e2e import MonitorTest, clear_skew, main, outside_band
from vornwine import wait_until


class Rotation(MonitorTest):
    def test_refusing_server_is_followed_by_the_next(self):
        self.servers.set(0, "refuse")
        self.servers.set(1, "nist", skew=clear_skew(90, 60))
        mon = self.start_monitor()
        # Check 1 is refused (no request reaches server 1); check 2 asks
        # server 2, which opens, so check 3 asks it again.
        got = self.servers.wait_requests(2, 20)
        self.assertEqual([r.server for r in got[:2]], ["utcnist.colorado.edu"] * 2)
        self.assertEqual(got[0].host, "utcnist.colorado.edu:13")
        wait_until(lambda: len(mon.set_requests()) >= 2, 5, what="two clock changes")
        self.assertIsNone(mon.log())
        self.assertAlive(mon)

    def test_failures_walk_the_four_servers_in_order(self):
        # Refused servers leave no request; where the next one lands shows the walk.
        for i in (0, 1, 3):
            self.servers.set(i, "refuse")
        self.servers.set(2, "nist")
        mon = self.start_monitor()
        got = self.servers.wait_requests(2, 20)
        self.assertEqual([r.server for r in got[:2]], ["time-c-g.nist.gov"] * 2)
        # Now 3 and 4 refuse: after 4 comes 1.
        self.servers.set(2, "refuse")
        self.servers.set(0, "nist")
        others = lambda: [r.server for r in self.servers.requests if r.server != "time-c-g.nist.gov"]
        self.assertEqual(wait_until(others, 20, what="a request to another server"),
                         ["time-b-g.nist.gov"])
        self.assertAlive(mon)


    def test_impossible_year_and_failed_server_set_nothing(self):
        # Year field -9 (1991): the reply opens, so the monitor stays on server
        # 1, and sets nothing.
        self.servers.set(0, "raw", data=b"\n61382 -9-12-08 12:00:00 00 0 0  50.0 UTC(NIST) * \n")
        skew = clear_skew(90, 60)
        self.servers.set(1, "nist", skew=skew)
        mon = self.start_monitor()
        self.servers.wait_requests(2, 20, which=0)
        self.assertEqual(mon.set_requests(), [])
        # Health 4: the server's time scale failed. Nothing is set from it and
        # the next check asks server 2. (Inside the midnight band the line
        # would not be read at all, and server 1 asked again.)
        self.servers.set(0, "nist", skew=clear_skew(600, 60), health=4)
        wait_until(lambda: self.servers.requests_for(1), 20, what="a request to server 2")
        wait_until(lambda: mon.set_requests(), 5, what="a clock change")
        self.assertAlive(mon)
        got = self.servers.requests
        failed = [i for i, r in enumerate(got) if r.mode == "nist" and r.server == "time-b-g.nist.gov"]
        self.assertEqual(len(failed), 1, got)
        self.assertEqual({r.server for r in got[failed[0] + 1:]}, {"utcnist.colorado.edu"})
        # Every change asked for is server 2's (90 s off), one a request.
        sets = mon.set_requests()
        self.assertTrue(all(abs(d - skew * 1000) < 10000 for d in sets), sets)
        self.assertEqual(len(sets), len(outside_band(self.servers.requests_for(1))))
        self.assertIsNone(mon.log())


if __name__ == "__main__":
    main()
