#!/usr/bin/env python3
"""A server that cannot be opened, whose reply cannot be used, or that says its
own time is wrong, moves the monitor on to the next one."""
from clock_e2e import MonitorTest, clear_skew, main
from daytime_server import SERVERS
from vornwine import wait_until


class Rotation(MonitorTest):
    def test_refusing_server_is_followed_by_the_next(self):
        self.servers.set("all", "nist", skew=clear_skew(90, 60))
        self.servers.set(0, "refuse")
        mon = self.start_monitor()
        # Check 1 is refused (no request reaches server 1); check 2 asks
        # server 2, which holds its step, so check 3 asks server 3, which
        # confirms it and is asked again.
        got = self.servers.wait_requests(3, 20)
        self.assertEqual([r.server for r in got[:3]], [SERVERS[i][0] for i in (1, 2, 2)])
        self.assertEqual(got[0].host, "time-a-wwv.nist.gov:13")
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
        self.assertEqual([r.server for r in got[:2]], ["utcnist.colorado.edu"] * 2)
        # Now 3 and 4 refuse: after 4 comes 1.
        self.servers.set(2, "refuse")
        self.servers.set(0, "nist")
        others = lambda: [r.server for r in self.servers.requests if r.server != "utcnist.colorado.edu"]
        self.assertEqual(wait_until(others, 20, what="a request to another server"),
                         ["time-a-g.nist.gov"])
        self.assertAlive(mon)


    def test_impossible_year_and_failed_server_set_nothing(self):
        # Year field -9 (1991): nothing is set from it and the next check asks
        # server 2, whose step server 3 confirms.
        skew = clear_skew(90, 90)
        self.servers.set("all", "nist", skew=skew)
        self.servers.set(0, "raw", data=b"\n61382 -9-12-08 12:00:00 00 0 0  50.0 UTC(NIST) * \n")
        mon = self.start_monitor()
        got = self.servers.wait_requests(3, 20)
        self.assertEqual([r.server for r in got], [SERVERS[i][0] for i in (0, 1, 2)])
        wait_until(mon.set_requests, 5, what="a clock change")
        # Health 4: the server's time scale failed. Nothing is set from it and
        # the next check asks server 2. (Inside the midnight band the line
        # would not be read at all, which moves on all the same.)
        self.servers.set(0, "nist", skew=clear_skew(600, 90), health=4)
        failed = wait_until(lambda: [i for i, r in enumerate(self.servers.requests)
                                     if r.mode == "nist" and r.server == SERVERS[0][0]], 25,
                            what="a request to the failed server")
        after = self.servers.wait_requests(failed[0] + 2, 5)[failed[0] + 1]
        self.assertEqual(after.server, SERVERS[1][0])
        self.assertAlive(mon)
        # Every change asked for is the others' (90 s off), never server 1's.
        sets = mon.set_requests()
        self.assertTrue(all(abs(d - skew * 1000) < 10000 for d in sets), sets)
        self.assertIsNone(mon.log())


if __name__ == "__main__":
    main()
