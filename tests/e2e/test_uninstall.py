#!/usr/bin/env python3
"""The real Vorn.exe installed in a fresh Wine prefix and removed again: through
Wine's Add/Remove Programs, a second time with the entry already gone, from
a copy outside the StartUp folder, which removes that copy only, and from
StartUp folders whose paths hold characters cmd gives a meaning: % signs, an &
and a ^. The script lies in a folder of its own under the Windows folder
(the prefix plays Windows XP) and takes that folder with it. While it runs, no
other user may change it; a folder of its name that someone else made is
passed over; where it cannot be written, Vorn stays installed and running."""
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import _built_helper, bin_dir, main, report  # noqa: E402
from pecheck import inspect  # noqa: E402
from vornwine import (WinePrefix, wait_for_emptied_folder, wait_for_path, wait_until,  # noqa: E402
                      winhelper_path)

TITLE = "Vorn Titlebar"
SETUP = r"C:\Downloads\Setup.exe"
SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"
EVENT_LOG = r"C:\windows\vorn.log"
REMOVED = b"Vorn Successfully Removed."
FOLDER = r"C:\windows\VornRemoval"
SCRIPT = FOLDER + r"\DelAll.bat"
SYSTEM = "S-1-5-18"
ADMINISTRATORS = "S-1-5-32-544"
EVERYONE = "S-1-1-0"
# The script retries until the uninstaller has let go of its file.
GONE_WITHIN_S = 10


class Uninstall(unittest.TestCase):
    startup = STARTUP

    def setUp(self):
        _built_helper()
        self.wp = WinePrefix()
        self.addCleanup(self.wp.close)
        if self.startup != STARTUP:
            self.wp.unix_path(self.startup).mkdir(parents=True)
            self.wp.reg_add(SHELL_FOLDERS, "Common Startup", self.startup)
        self.exe_bytes = (bin_dir() / "Vorn.exe").read_bytes()
        setup = self.wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True, exist_ok=True)
        setup.write_bytes(self.exe_bytes)
        self.installed = self.wp.unix_path(self.startup + r"\VornMon.exe")
        self.script = self.wp.unix_path(SCRIPT)
        self.folder = self.wp.unix_path(FOLDER)

        proc = self.wp.spawn([SETUP])
        self.wp.answer_box(proc, "Installation Status")
        proc.wait(30)
        wait_until(lambda: self.wp.find_window(TITLE), 20, what="the installed monitor")
        self.assertIsNotNone(self.wp.reg_query(ENTRY))

    def run_copy(self, win_path):
        """Runs a fresh copy of the program at win_path with -r; returns the box
        text and the exit code."""
        copy = self.wp.unix_path(win_path)
        copy.parent.mkdir(parents=True, exist_ok=True)
        copy.write_bytes(self.exe_bytes)
        proc = self.wp.spawn([win_path, "-r"])
        text = self.wp.answer_box(proc, "Uninstall Status")
        return text, proc.wait(30), copy

    def test_add_remove_programs_removes_everything_but_the_log(self):
        log = self.wp.unix_path(EVENT_LOG)
        log.write_bytes(b"12/8/26 9:00:00 am InternetOpen Failed\r\n")

        started = time.monotonic()
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.assertEqual(self.wp.answer_box(proc, "Uninstall Status"), REMOVED)
        proc.wait(30)

        self.assertIsNone(self.wp.reg_query(ENTRY))
        self.assertIsNone(self.wp.find_window(TITLE))
        wait_for_path(self.installed, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)
        report("uninstall until both files were gone", "%.1f s" % (time.monotonic() - started))
        self.assertEqual(log.read_bytes(), b"12/8/26 9:00:00 am InternetOpen Failed\r\n")
        listed = self.wp.run(["uninstaller", "--list"], timeout=60).stdout
        self.assertNotIn(b"Vorn", listed)

    def test_second_uninstall_with_the_entry_gone(self):
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.wp.answer_box(proc, "Uninstall Status")
        proc.wait(30)
        wait_for_path(self.installed, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)
        self.assertIsNone(self.wp.reg_query(ENTRY))

        text, code, copy = self.run_copy(self.startup + r"\VornMon.exe")
        self.assertEqual(text, REMOVED)
        self.assertEqual(code, 1)
        wait_for_path(copy, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)
        self.assertIsNone(self.wp.reg_query(ENTRY))

    def test_copy_outside_startup_removes_itself_only(self):
        text, code, copy = self.run_copy(r"C:\Temp\Old Copy\VornMon.exe")
        self.assertEqual(text, REMOVED)
        self.assertEqual(code, 1)
        wait_for_path(copy, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)
        self.assertEqual(self.installed.read_bytes(), self.exe_bytes)
        # The entry and the monitor go all the same.
        self.assertIsNone(self.wp.reg_query(ENTRY))
        self.assertIsNone(self.wp.find_window(TITLE))

    def access_list(self, win_path):
        """(the helper's own account, [(entry type, SID, mask)]) of a file."""
        r = self.wp.helper("access-list", win_path)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        lines = r.stdout.decode().split()
        self.assertEqual(lines[0], "user")
        return lines[1], [tuple(lines[i:i + 3]) for i in range(2, len(lines), 3)]

    def test_running_script_is_closed_to_other_users(self):
        # Held open by another process, the program file cannot be deleted:
        # the script keeps running until it is let go.
        release = r"C:\release-program"
        holder = self.wp.spawn([winhelper_path(), "hold-file", self.startup + r"\VornMon.exe",
                                release, 60000])
        holder.wait_output("held", 30)
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.assertEqual(self.wp.answer_box(proc, "Uninstall Status"), REMOVED)
        proc.wait(30)
        self.assertTrue(self.installed.exists())
        self.assertTrue(self.script.exists())

        # Wine keeps a list as Unix permissions: it shows the Administrators'
        # full access as its own account's (the prefix's user is the
        # administrator), SYSTEM's, and Everyone only where others may get
        # in, as on the program file, which was made with no list.
        for path in (SCRIPT, FOLDER):
            user, entries = self.access_list(path)
            self.assertLessEqual({sid for _kind, sid, _mask in entries},
                                 {user, SYSTEM, ADMINISTRATORS}, (path, entries))
            self.assertIn(("allow", user, "001f01ff"), entries)
        _user, plain = self.access_list(self.startup + r"\VornMon.exe")
        self.assertIn(EVERYONE, {sid for _kind, sid, _mask in plain})

        self.wp.unix_path(release).write_bytes(b"")
        self.assertEqual(holder.wait(30), 0)
        wait_for_path(self.installed, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)

    def test_someone_elses_folder_of_the_name_is_passed_over(self):
        planted_script = self.folder / "DelAll.bat"
        self.folder.mkdir()
        planted = b"echo planted> C:\\planted-ran.txt\r\n"
        planted_script.write_bytes(planted)
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.assertEqual(self.wp.answer_box(proc, "Uninstall Status"), REMOVED)
        proc.wait(30)
        ours = self.wp.unix_path(FOLDER + ".1")
        wait_for_path(self.installed, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(ours, GONE_WITHIN_S)
        self.assertEqual(planted_script.read_bytes(), planted)
        self.assertFalse((self.wp.drive_c / "planted-ran.txt").exists())

    def test_script_cannot_be_made_leaves_vorn_installed(self):
        # Every name the folder may take is taken (by files, here).
        self.wp.unix_path(FOLDER).write_bytes(b"")
        for attempt in range(1, 100):
            self.wp.unix_path("%s.%d" % (FOLDER, attempt)).write_bytes(b"")
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        text = self.wp.answer_box(proc, "Application Error")
        proc.wait(30)
        digits = {"PE32": 8, "PE32+": 16}[inspect(bin_dir() / "Vorn.exe")["format"]]
        self.assertRegex(text, re.compile(
            rb"\AException InOutError in module VornMon\.exe at [0-9A-F]{%d}\.\n" % digits +
            rb"I/O error 183\.\Z"))
        self.assertIsNotNone(self.wp.reg_query(ENTRY))
        self.assertEqual(self.installed.read_bytes(), self.exe_bytes)
        self.assertIsNotNone(self.wp.find_window(TITLE))


class UninstallFromAFolderWithPercentSigns(Uninstall):
    r"""cmd expands %B% in a batch file to nothing: unescaped, the script would
    delete C:\AC\VornMon.exe and never its own program. Every name here is
    its own 8.3 form, so the script names the path as it is."""
    startup = r"C:\A%B%C"
    # The file the script would delete instead of ours.
    decoy = r"C:\AC\VornMon.exe"

    def test_add_remove_programs_removes_the_program_and_nothing_else(self):
        decoy = self.wp.unix_path(self.decoy)
        decoy.parent.mkdir(parents=True, exist_ok=True)
        decoy.write_bytes(b"not ours")
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.assertEqual(self.wp.answer_box(proc, "Uninstall Status"), REMOVED)
        proc.wait(30)
        wait_for_path(self.installed, GONE_WITHIN_S, gone=True)
        wait_for_path(self.script, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.folder, GONE_WITHIN_S)
        self.assertEqual(decoy.read_bytes(), b"not ours")
        self.assertIsNone(self.wp.reg_query(ENTRY))

    # The other cases do not depend on the folder.
    test_add_remove_programs_removes_everything_but_the_log = None
    test_second_uninstall_with_the_entry_gone = None
    test_copy_outside_startup_removes_itself_only = None
    test_running_script_is_closed_to_other_users = None
    test_someone_elses_folder_of_the_name_is_passed_over = None
    test_script_cannot_be_made_leaves_vorn_installed = None


class UninstallFromAFolderWithAnAmpersand(UninstallFromAFolderWithPercentSigns):
    r"""Unquoted, cmd reads `del C:\r&d\VornMon.exe` as `del C:\r` followed by
    the command d\VornMon.exe: the file C:\r would go, ours would stay, and the
    script would loop for ever."""
    startup = r"C:\r&d"
    decoy = r"C:\r"


class UninstallFromAFolderWithACaret(UninstallFromAFolderWithPercentSigns):
    r"""Unquoted, ^ escapes the character after it: cmd would delete
    C:\xy\VornMon.exe and loop for ever on ours."""
    startup = r"C:\x^y"
    decoy = r"C:\xy\VornMon.exe"


if __name__ == "__main__":
    main()
