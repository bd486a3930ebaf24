#!/usr/bin/env python3
"""The shipped Vorn.exe (two minutes between checks) registered by hand as the
service Vorn under Wine's Windows 10: its first check comes within 15 s of its
start, not an interval later.

The service is registered as in test_service.py: the prefix is restarted so
that `sc create` starts the service manager."""
import time

from clock_e2e import MonitorTest, bin_dir, main, report

FIRST_CHECK_S = 15


class ServiceFirstCheck(MonitorTest):
    def sc(self, *args):
        r = self.wp.run(["sc"] + list(args))
        return r.returncode, r.stdout.decode("latin-1")

    def test_first_check_soon_after_the_start(self):
        self.wp.set_windows_version("win10")
        folder = self.wp.drive_c / "Vorn"
        folder.mkdir()
        (folder / "VornMon.exe").write_bytes((bin_dir() / "Vorn.exe").read_bytes())
        self.servers.set("all", "nist")

        self.wp.kill_all()
        self.wp.wineserver("-p")
        first = self.wp.spawn(["sc", "create", "Vorn", "binpath=", r"C:\Vorn\VornMon.exe -service"])
        self.assertEqual(first.wait(30), 0, first.stdout())
        started = time.monotonic()
        code, out = self.sc("start", "Vorn")
        self.assertEqual(code, 0, out)
        self.servers.wait_requests(1, FIRST_CHECK_S + 5)
        took = time.monotonic() - started
        report("service start to its first request", "%.1f s" % took)
        self.assertLess(took, FIRST_CHECK_S)
        # Then no other check for a while: the next is an interval away (a
        # check may ask a second server).
        time.sleep(6)
        self.assertLessEqual(len(self.servers.requests), 2)
        code, out = self.sc("stop", "Vorn")
        self.assertEqual(code, 0, out)


if __name__ == "__main__":
    main()
