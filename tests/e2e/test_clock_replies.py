#!/usr/bin/env python3
"""Replies that are not a usable DAYTIME line set nothing, end nothing, and
do not move the monitor off a server that opened."""
from clock_e2e import MonitorTest, main

# (mode, parameters): every one opens, so the monitor stays on server 1.
REPLIES = [
    ("garbage", {}),
    ("garbage", {"seed": 7, "size": 300}),
    ("big", {"size": 4096}),
    ("empty", {}),
    ("close", {}),
    ("two_pieces", {"gap": 0.3}),
    ("raw", {"data": b"\n\x00\x1a\xff" * 80}),
]


class BadReplies(MonitorTest):
    def test_unusable_replies_change_nothing(self):
        mon = self.start_monitor()
        seen = 0
        for mode, params in REPLIES:
            with self.subTest(mode=mode, **{k: v for k, v in params.items() if k != "data"}):
                self.servers.set(0, mode, **params)
                # The next connection after the switch gets the new behaviour.
                got = self.servers.wait_requests(seen + 1, 10)
                while got[-1].mode != mode:
                    seen = len(got)
                    got = self.servers.wait_requests(seen + 1, 10)
                seen = len(got)
        # Let the last check end.
        self.servers.set(0, "nist")
        got = self.servers.wait_requests(seen + 1, 10)
        self.assertEqual({r.server for r in got}, {"time-b-g.nist.gov"})
        self.assertEqual(mon.set_requests(), [])
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
