#!/usr/bin/env python3
"""A step of more than 1000 s is taken only when a second server asks for the
same; and server times near midnight are ignored, however far off.

Wine refuses every clock change, so the clock never moves: a step a second
server confirmed is asked for again by the next pair of replies. Wine prints
the refused difference as 32-bit milliseconds, so every step here stays well
under 24 days."""
import datetime as dt

from clock_e2e import MonitorTest, clear_skew, main
from daytime_server import in_midnight_band
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
        # (or, at midnight, is not read) and is asked again.
        got = self.servers.wait_requests(3, 20)
        self.assertEqual(self.names(got[:3]), ["1", "2", "2"])
        self.servers.set("all", "nist", skew=ahead)
        # Every server two hours off: the first to say so is held, the next one
        # is believed. The third such reply is held again (the clock did not
        # move), so nothing can be set while it is being read.
        steps = lambda: [r for r in self.servers.requests if r.params.get("skew") == ahead]
        wait_until(lambda: len(steps()) >= 3, 20, what="three replies two hours off")
        first = self.servers.requests.index(steps()[0])
        self.assertEqual(self.names(self.servers.requests[first - 1:first + 3]),
                         ["2", "2", "3", "3"])
        sets = mon.set_requests()
        self.assertEqual(len(sets), 1, sets)
        self.assertAlmostEqual(sets[0], ahead * 1000, delta=2000)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)

    def test_far_off_reply_at_23_59_changes_nothing_and_at_00_02_30_does(self):
        # Two days on, so that a confirmed step is far off at any hour.
        day = dt.datetime.now(dt.timezone.utc).date() + dt.timedelta(days=2)
        before = dt.datetime.combine(day, dt.time(23, 59), dt.timezone.utc)
        self.servers.set("all", "nist", at=before)
        mon = self.start_monitor()
        # Not read at all: server 1 is asked again and again.
        got = self.servers.wait_requests(3, 20)
        self.assertEqual(self.names(got), ["1", "1", "1"])
        self.assertTrue(all(in_midnight_band(r.sent) for r in got), [r.sent for r in got])
        self.servers.set("all", "nist", at=before + dt.timedelta(minutes=3, seconds=30))
        after = wait_until(mon.set_requests, 20, what="a clock change")
        seen = [r for r in self.servers.requests if r.params["skew"] != got[0].params["skew"]]
        self.assertEqual(self.names(seen[:2]), ["1", "2"])
        self.assertEqual((seen[0].sent.hour, seen[0].sent.minute), (0, 2))
        self.assertAlmostEqual(after[0], seen[1].params["skew"] * 1000, delta=2000)
        self.assertGreater(after[0], DAY_S * 1000)
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
