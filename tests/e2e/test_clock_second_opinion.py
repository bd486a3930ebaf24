#!/usr/bin/env python3
"""A step is taken only when a second server asks for the same; and server
times near midnight are ignored, however far off, and move the monitor on.

Wine refuses every clock change, so the clock never moves: a step a second
server confirmed is asked for again by the next pair of replies. Wine prints
the refused difference as 32-bit milliseconds, so every step here stays well
under 24 days."""
import datetime as dt

from clock_e2e import MonitorTest, Rule, clear_skew, main
from daytime_server import SERVERS, in_midnight_band
from vornwine import wait_until

DAY_S = 86400


class SecondOpinion(MonitorTest):
    def names(self, requests):
        return [self.servers.server(r.server).address[-1] for r in requests]

    def test_forged_step_is_not_taken_until_another_server_agrees(self):
        forged = clear_skew(3 * DAY_S, 60)
        ahead = clear_skew(2 * 3600, 60)
        self.servers.set("all", "nist")
        self.servers.set(0, "nist", skew=forged)
        mon = self.start_monitor()
        # Server 1's step is held and server 2 asked; it finds the clock right
        # and is asked again (at midnight its line is not read, and server 3
        # is asked instead: the rule below follows either way).
        got = self.servers.wait_requests(3, 20)
        rule = Rule(name for name, _ in SERVERS)
        for request in got:
            self.assertEqual(rule.names.index(request.server), rule.follow(request))
        self.assertEqual(self.names(got[:2]), ["1", "2"])
        self.assertEqual(mon.set_requests(), [])
        self.servers.set("all", "nist", skew=ahead)
        # Every server two hours off: the first to say so is held, the next one
        # is believed and asked again, and holds it again (the clock did not
        # move), and so on: a change every second reply.
        steps = lambda: [r for r in self.servers.requests if r.params.get("skew") == ahead]
        wait_until(lambda: len(steps()) >= 4, 20, what="four replies two hours off")
        # Changes first: a request taken after them may add one, never lose one.
        sets = mon.set_requests()
        for request in self.servers.requests[len(got):]:
            self.assertEqual(rule.names.index(request.server), rule.follow(request))
        self.assertIn(len(sets), (rule.changes - 1, rule.changes))
        self.assertGreaterEqual(rule.changes, 1)
        for difference in sets:
            self.assertAlmostEqual(difference, ahead * 1000, delta=2000)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)

    def test_reply_at_23_59_changes_nothing_and_at_00_02_30_does(self):
        # The midnight nearest now, a minute before it: a confirmed step
        # stays within the 15 hours taken on the servers' word at any hour.
        now = dt.datetime.now(dt.timezone.utc)
        midnight = dt.datetime.combine(now.date(), dt.time(0), dt.timezone.utc)
        if now - midnight > dt.timedelta(hours=12):
            midnight += dt.timedelta(days=1)
        before = midnight - dt.timedelta(minutes=1)
        self.servers.set("all", "nist", at=before)
        mon = self.start_monitor()
        # Not read at all, so not a useful answer: each check asks the next.
        got = self.servers.wait_requests(3, 20)
        self.assertEqual(self.names(got), ["1", "2", "3"])
        self.assertTrue(all(in_midnight_band(r.sent) for r in got), [r.sent for r in got])
        self.servers.set("all", "nist", at=before + dt.timedelta(minutes=3, seconds=30))
        after = wait_until(mon.set_requests, 20, what="a clock change")
        seen = [r for r in self.servers.requests if r.params["skew"] != got[0].params["skew"]]
        # The first server to read a time outside the band holds the step;
        # the next one confirms it.
        first, second = (int(n) for n in self.names(seen[:2]))
        self.assertEqual(second, first % 4 + 1)
        self.assertEqual((seen[0].sent.hour, seen[0].sent.minute), (0, 2))
        self.assertAlmostEqual(after[0], seen[1].params["skew"] * 1000, delta=2000)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
