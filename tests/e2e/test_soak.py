#!/usr/bin/env python3
"""Soak: 1,000 checks of VornSoak.exe (200 ms interval, 400 ms watchdog)
against servers whose behaviour changes from check to check.

Every check is accounted for: each one that reaches a server leaves a request,
a refused one shows as the next request landing on the following server, and
the server of every request must be the one the rotation rule predicts. A
check that never ended would stop the requests.

The monitor's handles (Wine's handle table), open fds, threads and memory are
sampled every 100 checks. Ending a worker blocked in WinINet costs a little
under Wine (TerminateThread leaves that thread's socket and stack behind), so
the silent servers come in the first half only, and the second half must be
exactly flat. Takes about four minutes.
"""
import time

from clock_e2e import MonitorTest, main, report

CHECKS = 1000
SAMPLE_EVERY = 100
# Checks at which the server in turn goes silent (worker ended after the grace).
SILENT_AT = {50, 150, 250, 350, 450}
SCHEDULE = [
    ("nist", {"skew": 90}),
    ("garbage", {}),
    ("nist", {}),
    ("refuse", {}),
    ("big", {}),
    ("nist", {"skew": -90}),
    ("empty", {}),
    ("close", {}),
    ("two_pieces", {"gap": 0.02}),
    ("refuse", {}),
    ("raw", {"data": b"\n61382 26-13-40 25:61:61\n"}),
]
STABLE = ("nist", {"skew": 90})


class Soak(MonitorTest):
    def setUp(self):
        super().setUp()
        self.servers.set("all", *STABLE[:1], **STABLE[1])
        self.next_server = 0       # where the next request must land
        self.refused_before = 0    # refused checks expected before it
        self.skewed = set()        # request numbers that carry a skewed line

    def plan(self, step, current):
        """Sets every server for the check after the one at `current`."""
        mode, params = step
        if mode == "refuse":
            # The next check is refused by `current`, the one after asks the
            # following server.
            self.servers.set("all", *STABLE[:1], **STABLE[1])
            self.servers.set(current, "refuse")
            self.next_server, self.refused_before = (current + 1) % 4, 1
            return STABLE
        self.servers.set("all", mode, **params)
        self.next_server, self.refused_before = current, 0
        return step

    def sample(self, mon, seen):
        """Handles and fds at rest (the least of three looks), memory."""
        looks = []
        for _ in range(3):
            self.servers.wait_requests(seen + len(looks) + 1, 10)
            time.sleep(0.06)  # the check in flight ends well within this
            looks.append(mon.stats())
        stats = {k: min(s[k] for s in looks) for k in looks[0]}
        return stats, seen + len(looks)

    def test_thousand_checks_stay_flat(self):
        mon = self.start_monitor("VornSoak.exe")
        started = time.monotonic()
        names = [self.servers.server(i).name for i in range(4)]
        sample_at = [30] + list(range(SAMPLE_EVERY, CHECKS + 1, SAMPLE_EVERY))
        silent_at = sorted(SILENT_AT)
        checks, seen, step_index, samples, silents = 0, 0, 0, [], 0
        active = STABLE
        while sample_at:
            try:
                request = self.servers.wait_requests(seen + 1, 10)[seen]
            except TimeoutError:
                self.fail("no request for 10 s after check %d: a check did not end" % checks)
            server = names.index(request.server)
            self.assertEqual(server, self.next_server,
                             "check %d asked server %d, expected %d (request %d, mode %s)"
                             % (checks, server + 1, self.next_server + 1, seen, request.mode))
            if request.mode == "nist" and active[1].get("skew"):
                self.skewed.add(seen)
            seen += 1
            checks += 1 + self.refused_before
            current = (server + 1) % 4 if request.mode == "silent" else server

            if checks >= sample_at[0]:
                sample_at.pop(0)
                # Stable servers while sampling: any number of checks may pass.
                active = self.plan(STABLE, current)
                before = seen
                stats, seen = self.sample(mon, seen)
                self.skewed.update(range(before, seen))
                checks += seen - before
                stats["checks"] = checks
                samples.append(stats)
            elif silent_at and checks >= silent_at[0]:
                silent_at.pop(0)
                silents += 1
                active = self.plan(("silent", {}), current)
            else:
                active = self.plan(SCHEDULE[step_index % len(SCHEDULE)], current)
                step_index += 1
            if request.mode != "silent":
                # The silent server's worker has been ended by now.
                self.servers.release()

        elapsed = time.monotonic() - started
        self.assertEqual(mon.stop(), 0)
        sets = len(mon.set_requests())

        report("soak", "%d checks (%d requests, %d silent) in %.0f s" % (checks, seen, silents, elapsed))
        for s in samples:
            report("soak sample", s)
        first, last = samples[0], samples[-1]
        # The sample taken once the last silent server is behind.
        half = next(x for x in samples if x["checks"] > max(SILENT_AT))
        report("soak first/last handles", "%d / %d" % (first["handles"], last["handles"]))
        report("soak first/last RSS kB", "%d / %d (anonymous %d / %d)"
               % (first["rss_kb"], last["rss_kb"], first["anon_kb"], last["anon_kb"]))

        self.assertEqual(silents, len(SILENT_AT))
        # Every skewed line seen asked for a clock change; nothing else did.
        self.assertGreaterEqual(sets, len(self.skewed))
        self.assertLessEqual(sets, len(self.skewed) + 2)
        self.assertIsNone(mon.log())
        # Second half, no worker ended: flat.
        for later in samples[samples.index(half) + 1:]:
            self.assertEqual(later["handles"], half["handles"], later)
            self.assertEqual(later["fds"], half["fds"], later)
            self.assertEqual(later["threads"], half["threads"], later)
            self.assertLess(later["anon_kb"] - half["anon_kb"], 512, later)
        # First half: at most what the ended workers left behind.
        self.assertLessEqual(half["handles"] - first["handles"], 2 * len(SILENT_AT))
        self.assertLessEqual(half["fds"] - first["fds"], len(SILENT_AT))
        self.assertLess(half["anon_kb"] - first["anon_kb"], 1536 * len(SILENT_AT))


if __name__ == "__main__":
    main()
