#!/usr/bin/env python3
"""The real Vorn.exe run as Setup.exe in a fresh Wine prefix: what the user is
shown, the Add/Remove Programs entry, the installed copy and the monitor it
starts; installing again over a running monitor, also over one that is busy
with a server that never answers; a StartUp folder value of the wrong type."""
import os
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import bin_dir, main, report  # noqa: E402
from daytime_server import DaytimeServers  # noqa: E402
from pecheck import inspect  # noqa: E402
from vornwine import WinePrefix, wait_until  # noqa: E402

TITLE = "Vorn Titlebar"
SETUP = r"C:\Downloads\Setup.exe"
SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"

INSTALL_MESSAGE = b"\r\n".join([
    b"Vorn 2.0 Successfully Installed.",
    b"",
    b"Monitoring and correction of your system clock will be performed",
    b"automatically and transparently.",
    b"",
    b"You can temporarily disable Vorn if needed by following these steps:",
    b"    1)  Use Ctrl-Alt-Del to bring up the running task list.",
    b'    2)  Highlight the "Vornmon" entry.',
    b'    3)  Click the "End Task" button.',
    b"",
    b'Use the "Add/Remove Programs" Control Panel to uninstall Vorn.',
])


class Install(unittest.TestCase):
    exe = "Vorn.exe"

    def setUp(self):
        self.wp = WinePrefix()
        self.addCleanup(self.wp.close)
        setup = self.wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(bin_dir() / self.exe, setup)
        self.setup_bytes = setup.read_bytes()
        self.installed = self.wp.unix_path(STARTUP) / "VornMon.exe"

    def install(self, caption="Installation Status", timeout=30):
        """Runs the installer; returns the text of the box it showed (pressing
        OK) and its exit code."""
        proc = self.wp.spawn([SETUP])
        text = self.wp.answer_box(proc, caption, timeout=timeout)
        return text, proc.wait(30)

    def monitor_pid(self, other_than=None):
        return wait_until(
            lambda: (lambda pid: pid if pid not in (None, other_than) else None)(
                self.wp.find_window(TITLE)),
            20, what="a monitor window")

    def test_install_shows_the_message_registers_copies_and_starts(self):
        text, code = self.install()
        self.assertEqual(text, INSTALL_MESSAGE)
        self.assertEqual(len(text), 411)
        self.assertEqual(code, 1)

        self.assertEqual(self.wp.reg_query(ENTRY, "DisplayName"), "Vorn (PC Clock Synchronizer)")
        self.assertEqual(self.wp.reg_query(ENTRY, "UninstallString"),
                         '"%s\\VornMon.exe" -r' % STARTUP)
        listed = self.wp.run(["uninstaller", "--list"], timeout=60).stdout.decode("utf-8", "replace")
        self.assertIn("Vorn (PC Clock Synchronizer)", listed)

        self.assertEqual(self.installed.read_bytes(), self.setup_bytes)
        self.monitor_pid()
        self.assertEqual(self.wp.count_windows(TITLE), 1)

    def test_installing_again_replaces_the_running_monitor(self):
        self.install()
        first = self.monitor_pid()
        text, code = self.install()
        # Had the running monitor kept its file, the copy would have failed.
        self.assertEqual(text, INSTALL_MESSAGE)
        self.assertEqual(code, 1)
        second = self.monitor_pid(other_than=first)
        self.assertNotEqual(second, first)
        self.assertEqual(self.wp.count_windows(TITLE), 1)
        self.assertEqual(self.installed.read_bytes(), self.setup_bytes)

    def test_dword_startup_folder_is_reported_and_nothing_is_copied(self):
        self.wp.reg_add(SHELL_FOLDERS, "Common Startup", 1, type="REG_DWORD")
        text, code = self.install("Application Error")
        # The address is as wide as the build's pointers.
        digits = {"PE32": 8, "PE32+": 16}[inspect(bin_dir() / self.exe)["format"]]
        self.assertRegex(text, re.compile(
            rb"\AException RegistryError in module Setup\.exe at [0-9A-F]{%d}\.\n" % digits +
            rb"Invalid data type for 'Common Startup'\.\Z"))
        self.assertEqual(code, 1)
        self.assertFalse(self.installed.exists())
        self.assertIsNone(self.wp.reg_query(ENTRY))
        self.assertIsNone(self.wp.find_window(TITLE))


class InstallOverBusyMonitor(Install):
    """The same program with a 1.5 s check interval, so that the monitor it
    installs is soon stuck in a check on a server that never answers; it takes
    the quit message only when that check has ended, some 10.5 s later."""
    exe = "VornFast.exe"

    def test_installer_waits_for_a_monitor_in_the_middle_of_a_check(self):
        servers = DaytimeServers().start()
        self.addCleanup(servers.stop)
        servers.set(0, "silent")
        self.install()
        first = self.monitor_pid()
        servers.wait_requests(1, 20, which=0)
        started = time.monotonic()
        # Had the installer not waited, the copy over the running monitor
        # would have failed and said so.
        text, code = self.install(timeout=60)
        report("install over a busy monitor", "%.1f s" % (time.monotonic() - started))
        self.assertEqual(text, INSTALL_MESSAGE)
        self.assertEqual(code, 1)
        self.monitor_pid(other_than=first)
        self.assertEqual(self.wp.count_windows(TITLE), 1)

    # The other cases are the same as with Vorn.exe.
    test_install_shows_the_message_registers_copies_and_starts = None
    test_installing_again_replaces_the_running_monitor = None
    test_dword_startup_folder_is_reported_and_nothing_is_copied = None


if __name__ == "__main__":
    main()
