#!/usr/bin/env python3
"""VornMon.exe registered by hand as the service Vorn under Wine's Windows 10:
started by the service manager, it asks the loopback servers over a TCP
connection of its own (no HTTP request, unlike WinINet), asks to set the clock
once two servers agree, makes no log folder of its own in C:\\ProgramData
(the installer makes it), and stops within a few seconds when told to, in the
middle of a check too.

A service's debug output goes where the first Wine process of the prefix sent
its stderr: the prefix is restarted so that `sc create` is that process."""
import time

from clock_e2e import SET_RE, MonitorTest, bin_dir, clear_skew, main, report
from vornwine import wait_until

INTERVAL_S = 1.5  # VornFast.exe


class Service(MonitorTest):
    def sc(self, *args):
        r = self.wp.run(["sc"] + list(args), env={"WINEDEBUG": "err+sync"})
        return r.returncode, r.stdout.decode("latin-1")

    def state(self):
        _, out = self.sc("query", "Vorn")
        for word in ("STOPPED", "START_PENDING", "STOP_PENDING", "RUNNING"):
            if word in out:
                return word
        return out

    def test_service_asks_servers_sets_the_clock_and_stops(self):
        self.wp.set_windows_version("win10")
        folder = self.wp.drive_c / "Vorn"
        folder.mkdir()
        (folder / "VornMon.exe").write_bytes((bin_dir() / "VornFast.exe").read_bytes())
        skew = clear_skew(90, 60)
        self.servers.set("all", "nist", skew=skew)

        # A fresh wineserver, so that `sc create` starts the service manager.
        self.wp.kill_all()
        self.wp.wineserver("-p")
        first = self.wp.spawn(["sc", "create", "Vorn", "binpath=", r"C:\Vorn\VornMon.exe -service"],
                              env={"WINEDEBUG": "err+sync"})
        self.assertEqual(first.wait(30), 0, first.stdout())
        started = time.monotonic()
        code, out = self.sc("start", "Vorn")
        self.assertEqual(code, 0, out)

        sets = wait_until(lambda: SET_RE.findall(first.stderr()), 20, what="a clock change")
        report("service start to its first clock change", "%.1f s" % (time.monotonic() - started))
        self.assertAlmostEqual(int(sets[0]), skew * 1000, delta=2500)
        asked = self.servers.requests
        self.assertGreaterEqual(len(asked), 2)
        # Over a socket: the client sends nothing, a URL session a GET.
        self.assertEqual([r.data for r in asked[:2]], [b"", b""])
        self.assertEqual([r.server for r in asked[:2]], ["time-a-g.nist.gov", "time-a-wwv.nist.gov"])
        # Registered by hand, not installed: no folder someone may have put
        # there is taken over, and none is made.
        self.assertFalse((self.wp.drive_c / "ProgramData" / "Vorn").exists())
        self.assertEqual(self.state(), "RUNNING")

        # Told to stop while it waits for a silent server.
        self.servers.set("all", "silent")
        seen = len(self.servers.requests)
        self.servers.wait_requests(seen + 1, 10)
        asked_to_stop = time.monotonic()
        code, out = self.sc("stop", "Vorn")
        self.assertEqual(code, 0, out)
        wait_until(lambda: self.state() == "STOPPED", 5, what="the service stopped")
        took = time.monotonic() - asked_to_stop
        report("stop in the middle of a check", "%.2f s" % took)
        self.assertLess(took, 3.0)
        self.assertFalse((self.wp.drive_c / "ProgramData" / "Vorn").exists())


if __name__ == "__main__":
    main()
