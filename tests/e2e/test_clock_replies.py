#!/usr/bin/env python3
"""Replies that are not a usable DAYTIME line set nothing and end nothing, and
move the monitor on to the next server: only a useful answer keeps one."""
from clock_e2e import MonitorTest, Rule, main
from daytime_server import SERVERS

# (mode, parameters): every one opens. A long line and one in two pieces still
# read as a true NIST line, which finds the clock right and keeps the server.
REPLIES = [
    ("garbage", {}),
    ("garbage", {"seed": 7, "size": 300}),
    ("big", {"size": 4096}),
    ("empty", {}),
    ("close", {}),
    ("two_pieces", {"gap": 0.3}),
    ("raw", {"data": b"\n\x00\x1a\xff" * 80}),
    ("raw", {"data": b"\nHTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n\r\n<html>"}),
]


class BadReplies(MonitorTest):
    def test_unusable_replies_change_nothing_and_move_on(self):
        mon = self.start_monitor()
        seen = 0
        for mode, params in REPLIES:
            with self.subTest(mode=mode, **{k: v for k, v in params.items() if k != "data"}):
                self.servers.set("all", mode, **params)
                # The next connection after the switch gets the new behaviour.
                got = self.servers.wait_requests(seen + 1, 10)
                while got[-1].mode != mode:
                    seen = len(got)
                    got = self.servers.wait_requests(seen + 1, 10)
                seen = len(got)
        # Let the last check end.
        self.servers.set("all", "nist")
        got = self.servers.wait_requests(seen + 1, 10)
        rule = Rule(name for name, _ in SERVERS)
        for request in got:
            self.assertEqual(rule.names.index(request.server), rule.follow(request),
                             (request.mode, request.params))
        self.assertEqual(mon.set_requests(), [])
        self.assertIsNone(mon.log())
        self.assertAlive(mon)


if __name__ == "__main__":
    main()
