#!/usr/bin/env python3
"""rasapi32.dll and wininet.dll are loaded on first use, not at start: with
either turned off (WINEDLLOVERRIDES=NAME=d) the installer still installs and
the monitor still runs. Online without wininet the monitor cannot tell it is
on a LAN and takes the dial-up path, where RAS has no connection: it stays
silent. Without rasapi32 an online machine is corrected as usual. (A build
that imports them at load time ends at once with exit code 53.)

test_missing_dlls_offline.py has the offline cases."""
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, Monitor, _built_helper, bin_dir, clear_skew, main  # noqa: E402
from daytime_server import DaytimeServers  # noqa: E402
from vornwine import WinePrefix, wait_until  # noqa: E402

SETUP = r"C:\Downloads\Vorn.exe"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
INTERVAL_S = 1.5  # VornFast.exe


def without(*dlls):
    """The environment that turns those DLLs off (and Mono and Gecko, as always)."""
    return {"WINEDLLOVERRIDES": ";".join(["mscoree=", "mshtml="] + ["%s=d" % d for d in dlls])}


class MissingDlls(unittest.TestCase):
    def setUp(self):
        _built_helper()
        self.servers = DaytimeServers().start()
        self.addCleanup(self.servers.stop)
        # 90 s off, and clear of midnight for the longest case.
        self.skew = clear_skew(90, 300)
        self.servers.set("all", "nist", skew=self.skew)

    def prefix(self):
        wp = WinePrefix()
        self.addCleanup(wp.close)
        return wp

    def test_installer_installs_without_either(self):
        for dll in ("rasapi32", "wininet"):
            with self.subTest(off=dll):
                wp = self.prefix()
                setup = wp.unix_path(SETUP)
                setup.parent.mkdir(parents=True)
                shutil.copy(bin_dir() / "VornFast.exe", setup)
                proc = wp.spawn([SETUP], env=without(dll))
                text = wp.answer_box(proc, "Installation Status")
                self.assertTrue(text.startswith(b"Vorn 2.0 Successfully Installed."), text)
                self.assertEqual(proc.wait(30), 1)
                installed = wp.reg_query(ENTRY, "UninstallString").split('"')[1]
                self.assertEqual(wp.unix_path(installed).read_bytes(), setup.read_bytes())
                # The monitor it started has the same DLL off.
                self.assertIsNotNone(wp.find_window(TITLE, timeout=20))
                wp.close()

    def test_monitor_runs_without_either(self):
        # dll turned off, whether the clock is then corrected
        cases = (
            ("wininet", False),
            ("rasapi32", True),
        )
        for dll, corrects in cases:
            with self.subTest(off=dll):
                self.servers.clear_requests()
                wp = self.prefix()
                mon = Monitor(wp, "VornFast.exe", env=without(dll))
                if corrects:
                    asked = wait_until(mon.set_requests, 10 * INTERVAL_S, what="a clock correction")
                    self.assertAlmostEqual(asked[0], self.skew * 1000, delta=2000)
                else:
                    time.sleep(4 * INTERVAL_S + 1)
                    self.assertEqual(self.servers.requests, [])
                    self.assertEqual(mon.set_requests(), [])
                self.assertIsNone(mon.log())
                self.assertTrue(mon.running, "the monitor ended: %r" % mon.proc.stderr()[-2000:])
                self.assertEqual(mon.stop(), 0)
                wp.close()


if __name__ == "__main__":
    main()
