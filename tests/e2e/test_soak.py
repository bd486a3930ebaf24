#!/usr/bin/env python3
"""Soak: 1,000 checks of VornSoak.exe (200 ms interval, 400 ms watchdog)
against servers whose behaviour changes from check to check.

Every check reaches a server (refusals, which leave no trace there, are
covered by test_clock_rotation), so the requests count the checks, and the
server of each one must be the one the rotation rule predicts from what the
previous checks met: a server is asked again only after it found the clock
right or confirmed a step another server asked for. A check that never ended
would stop the requests.

The monitor's handles (Wine's handle table), open fds, threads and memory are
sampled every 100 checks. A worker left blocked on a silent server ends once
the server lets go, which the test makes it do after the next check; the
silent servers come in the first half only, and the second half must be flat.
Takes about four minutes.
"""
import time

from clock_e2e import MonitorTest, Rule, main, report

CHECKS = 1000
SAMPLES_AT = [30] + list(range(100, CHECKS + 1, 100))
# Checks after which the servers go silent for one check (worker left).
SILENT_AT = [50, 150, 250, 350, 450]
# Every "nist" line is skewed, so it holds a step or confirms one; nothing
# else may ask for a change.
SCHEDULE = [
    ("nist", {"skew": 90}),
    ("garbage", {}),
    ("reset", {}),
    ("big", {}),
    ("nist", {"skew": -90}),
    ("empty", {}),
    ("close", {}),
    ("two_pieces", {"gap": 0.02}),
    ("reset", {}),
    ("raw", {"data": b"\n61382 26-13-40 25:61:61\n"}),
]
STABLE = ("nist", {"skew": 90})


class Soak(MonitorTest):
    def set_all(self, step):
        mode, params = step
        self.servers.set("all", mode, **params)

    def sample(self, mon):
        """Handles and fds at rest (the least of five looks, each after a
        check: under load one check now and then is still in flight 60 ms
        after its request, holding its worker's and WinINet's handles), and
        memory, with every server answering the same way."""
        self.set_all(STABLE)
        looks = []
        for _ in range(5):
            self.servers.wait_requests(len(self.servers.requests) + 1, 10)
            time.sleep(0.06)  # the check in flight ends well within this
            looks.append(mon.stats())
        return {k: min(s[k] for s in looks) for k in looks[0]}

    def test_thousand_checks_stay_flat(self):
        self.set_all(STABLE)
        mon = self.start_monitor("VornSoak.exe")
        started = time.monotonic()
        names = [self.servers.server(i).name for i in range(4)]
        samples_at, silent_at = list(SAMPLES_AT), list(SILENT_AT)
        samples, seen, step, rule = [], 0, 0, Rule(names)
        while samples_at:
            try:
                requests = self.servers.wait_requests(seen + 1, 10)
            except TimeoutError:
                self.fail("no request for 10 s after check %d: a check did not end" % seen)
            for request in requests[seen:]:
                server = names.index(request.server)
                expected = rule.follow(request)
                self.assertEqual(server, expected, "check %d asked server %d, expected %d; %s"
                                 % (seen + 1, server + 1, expected + 1, [
                                     (r.server, r.mode, round(r.mono - started, 3))
                                     for r in requests[max(0, seen - 4):seen + 1]]))
                seen += 1
            # Plans the next check (or, when a sample is taken meanwhile, a
            # later one: the rotation check above relies only on what each
            # check met).
            if seen >= samples_at[0]:
                samples_at.pop(0)
                stats = self.sample(mon)
                stats["checks"] = len(self.servers.requests)
                samples.append(stats)
            elif silent_at and seen >= silent_at[0]:
                silent_at.pop(0)
                self.set_all(("silent", {}))
            else:
                self.set_all(SCHEDULE[step % len(SCHEDULE)])
                step += 1
            if requests[-1].mode != "silent":
                # The check on the silent server is over; its worker, left
                # blocked (Wine's WinINet does not wake it), ends now.
                self.servers.release()

        elapsed = time.monotonic() - started
        self.assertEqual(mon.stop(), 0)
        requests = self.servers.requests
        # The last sample's checks, and any after it, count too.
        for request in requests[seen:]:
            self.assertEqual(names.index(request.server), rule.follow(request))
        modes = [r.mode for r in requests]
        report("soak", "%d checks in %.0f s: %s" % (len(requests), elapsed, {
            m: modes.count(m) for m in sorted(set(modes))}))
        for s in samples:
            report("soak sample", s)
        first, last = samples[0], samples[-1]
        report("soak first/last handles", "%d / %d" % (first["handles"], last["handles"]))
        report("soak first/last RSS kB", "%d / %d (anonymous %d / %d)"
               % (first["rss_kb"], last["rss_kb"], first["anon_kb"], last["anon_kb"]))

        self.assertGreaterEqual(len(requests), CHECKS)
        silents = modes.count("silent")
        self.assertEqual(silents, len(SILENT_AT))
        # One clock change per confirmed step (the last check may have ended
        # after the quit was posted).
        sets = len(mon.set_requests())
        self.assertIn(sets, (rule.changes, rule.changes - 1))
        self.assertIsNone(mon.log())
        # Wine starts and ends a helper thread of its own now and then; each
        # extra thread is allowed a handle, its few fds and its stack.
        def allowance(ref, later):
            extra = max(0, later["threads"] - ref["threads"])
            return extra, 5 * extra, 1100 * extra

        # No worker left after the last silent check: nothing grows from there on.
        rest = [s for s in samples if s["checks"] > max(SILENT_AT) + 20]
        for later in rest[1:]:
            handles, fds, kb = allowance(rest[0], later)
            self.assertLessEqual(later["handles"], rest[0]["handles"] + handles, later)
            self.assertLessEqual(later["fds"], rest[0]["fds"] + fds, later)
            self.assertLess(later["anon_kb"], rest[0]["anon_kb"] + kb + 512, later)
        # Before: at most what the left workers cost.
        handles, fds, kb = allowance(first, rest[0])
        self.assertLessEqual(rest[0]["handles"], first["handles"] + handles + 2 * silents)
        self.assertLessEqual(rest[0]["fds"], first["fds"] + fds + silents)
        self.assertLess(rest[0]["anon_kb"], first["anon_kb"] + kb + 1536 * silents)


if __name__ == "__main__":
    main()
