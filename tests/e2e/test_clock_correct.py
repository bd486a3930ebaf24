#!/usr/bin/env python3
"""The monitor asks to set the clock when two servers find it off by the same,
and only then."""
import statistics

from clock_e2e import TRACE_DEBUG, MonitorTest, Rule, clear_skew, main, outside_band, report
from daytime_server import SERVERS
from vornwine import wait_until


class ClockCorrection(MonitorTest):
    def test_servers_that_agree_make_the_monitor_set_the_clock(self):
        skew = clear_skew(90, 60)
        self.servers.set("all", "nist", skew=skew)
        mon = self.start_monitor(debug=TRACE_DEBUG)
        sets = wait_until(lambda: len(mon.set_requests()) >= 3 and mon.set_requests(), 30,
                          what="three clock changes")
        # Whole seconds from the server: 89 to 90 s, plus a check's duration.
        for difference in sets:
            self.assertAlmostEqual(difference, skew * 1000, delta=1500)
        # Wine never moves the clock, so every server asks for the same step:
        # one holds it, the next confirms it (a change), the confirming one is
        # asked again and holds it, the one after confirms, and so on.
        read = outside_band(self.servers.requests)
        self.assertIn(len(read), (2 * len(sets), 2 * len(sets) + 1))
        names = [r.server for r in self.servers.requests[:6]]
        self.assertEqual(names, [SERVERS[i][0] for i in (0, 1, 1, 2, 2, 3)])
        self.assertEqual(self.servers.requests[0].host, "time-a-g.nist.gov:13")
        self.assertIsNone(mon.log())

        durations = [end - start for start, end in mon.checks()[:3]]
        report("wall time of one check against a loopback server (traced)",
               "median %.0f ms of %s" % (statistics.median(durations) * 1000,
                                         ["%.0f" % (d * 1000) for d in durations]))
        starts = [r.mono for r in self.servers.requests]
        report("request spacing with a 1500 ms interval",
               ["%.0f ms" % ((b - a) * 1000) for a, b in zip(starts, starts[1:])])
        self.assertLess(max(durations), 2.0)
        self.assertAlive(mon)

    def test_true_time_server_changes_nothing(self):
        mon = self.start_monitor()
        self.servers.wait_requests(3, 20)
        # Let the third check finish.
        self.servers.wait_requests(4, 5)
        self.assertEqual(mon.set_requests(), [])
        # Server 1 finds the clock right and is asked again (near midnight its
        # line is not read and the next one is asked: the rule says which).
        rule = Rule(name for name, _ in SERVERS)
        for request in self.servers.requests:
            self.assertEqual(rule.names.index(request.server), rule.follow(request))
        self.assertEqual(rule.changes, 0)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
