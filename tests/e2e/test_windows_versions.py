#!/usr/bin/env python3
"""The whole story under each Windows version Wine can pretend to be up to XP:
install from C:\\Downloads\\Vorn.exe, the monitor it starts asks for a clock
correction from servers 90 s off, and Add/Remove Programs removes it all
again. On Vista and later Vorn installs itself as a service instead:
test_service_setup.py tells that story under win7 and win10.

The version is set in the fresh prefix before the program first runs. Wine
keeps every export whatever the version, so this shows how the program
behaves when told it runs on an older Windows, not whether it would load
there (that is the import-table test's business, tests/pe/check_imports.py)."""
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import SET_RE, TITLE, _built_helper, bin_dir, clear_skew, main, report  # noqa: E402
from daytime_server import DaytimeServers  # noqa: E402
from vornwine import WinePrefix, wait_for_emptied_folder, wait_for_path, wait_until  # noqa: E402

SETUP = r"C:\Downloads\Vorn.exe"
SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
SKEW_S = 90
# A story takes well under this; the servers stay clear of midnight for it.
STORY_S = 300
# What `ver` says in each mode; win98's build number carries the version in
# its high word as Windows 9x's did, so only the start is compared.
VERSIONS = (
    ("win98", "4.10."),
    ("nt40", "4.0.1381"),
    ("win2k", "5.0.2195"),
    ("winxp", "5.1.2600"),
)
GONE_WITHIN_S = 10


class WindowsVersions(unittest.TestCase):
    def setUp(self):
        _built_helper()
        self.servers = DaytimeServers().start()
        self.addCleanup(self.servers.stop)
        self.skew = clear_skew(SKEW_S, STORY_S)
        self.servers.set("all", "nist", skew=self.skew)
        self.wp = WinePrefix()
        self.addCleanup(self.wp.close)

    def set_version(self, version, ver_says):
        self.wp.set_windows_version(version)
        ver = self.wp.run(["cmd", "/c", "ver"]).stdout.decode("ascii", "replace")
        self.assertIn("Microsoft Windows " + ver_says, ver)

    def story(self, version, ver_says):
        started = time.monotonic()
        wp = self.wp
        self.set_version(version, ver_says)
        startup = wp.reg_query(SHELL_FOLDERS, "Common Startup")
        self.assertTrue(startup, "no Common Startup folder in %s mode" % version)
        installed = wp.unix_path(startup + r"\VornMon.exe")
        # 98 keeps its script in the root; NT in a folder of its own under the
        # Windows folder, which the script removes too.
        script_folder = None if version == "win98" else wp.unix_path(r"C:\windows\VornRemoval")
        script = (wp.unix_path(r"C:\DelAll.bat") if script_folder is None
                  else script_folder / "DelAll.bat")

        setup = wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(bin_dir() / "VornFast.exe", setup)
        # The monitor the installer starts inherits err+sync and its stderr.
        installer = wp.spawn([SETUP], env={"WINEDEBUG": "err+sync"})
        text = wp.answer_box(installer, "Installation Status")
        self.assertTrue(text.startswith(b"Vorn 2.0 Successfully Installed."), text)
        self.assertEqual(installer.wait(30), 1)
        self.assertEqual(wp.reg_query(ENTRY, "DisplayName"), "Vorn (PC Clock Synchronizer)")
        self.assertEqual(installed.read_bytes(), setup.read_bytes())

        wait_until(lambda: wp.find_window(TITLE), 20, what="the installed monitor")
        self.assertEqual(wp.count_windows(TITLE), 1)
        asked = wait_until(lambda: SET_RE.findall(installer.stderr()), 20,
                           what="a clock correction")
        self.assertAlmostEqual(int(asked[0]), self.skew * 1000, delta=2000)

        remover = wp.spawn(["uninstaller", "--remove", "Vorn"])
        text = wp.answer_box(remover, "Uninstall Status")
        self.assertEqual(text, b"Vorn Successfully Removed.")
        remover.wait(30)
        self.assertIsNone(wp.reg_query(ENTRY))
        self.assertEqual(wp.count_windows(TITLE), 0)
        wait_for_path(installed, GONE_WITHIN_S, gone=True)
        wait_for_path(script, GONE_WITHIN_S, gone=True)
        if script_folder is not None:
            wait_for_emptied_folder(script_folder, GONE_WITHIN_S)
        report("the whole story under %s" % version, "%.1f s" % (time.monotonic() - started))


def _story_test(version, ver_says):
    def test(self):
        self.story(version, ver_says)
    test.__name__ = "test_%s" % version
    return test


for _version, _ver_says in VERSIONS:
    setattr(WindowsVersions, "test_%s" % _version, _story_test(_version, _ver_says))


if __name__ == "__main__":
    main()
