#!/usr/bin/env python3
"""Installing from read-only media (a CD-ROM; here a Vorn.exe without a Unix
write bit, which Wine shows as read-only) and removing again. The installed
copy is a new file of its own, so no flag of the CD's file comes with it; a
read-only copy left by an older install is replaced all the same, and the
uninstaller clears it on the file it deletes: cmd's del refuses a read-only
file and the script would retry for ever.

The tests run as root, for whom Wine's CopyFileA overwrites a read-only file
(Windows, and Wine for any other user, refuse with error 5). The prefix's
wineserver, which opens the files, is therefore run without CAP_DAC_OVERRIDE:
Unix permissions then hold for it as for a user."""
import re
import shutil
import stat
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, _built_helper, bin_dir, main  # noqa: E402
from vornwine import WinePrefix, wait_for_emptied_folder, wait_for_path, wait_until  # noqa: E402

SETUP = r"C:\CDROM\Vorn.exe"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
INSTALLED_MESSAGE = b"Vorn 2.0 Successfully Installed."
GONE_WITHIN_S = 10
# attrib's line: the letters of the set attributes, then the path.
ATTRIB_RE = re.compile(r"^([A-Z ]+?)\s+([A-Za-z]:\\.*?)\r?$", re.M)


class ReadOnlyMedia(unittest.TestCase):
    def setUp(self):
        _built_helper()
        self.wp = None

    def fresh_prefix(self):
        """A new prefix for the next case; the last one's processes end."""
        if self.wp is not None:
            self.wp.close()
        self.wp = WinePrefix(persistent=False)
        self.addCleanup(self.wp.close)
        subprocess.run(["setpriv", "--inh-caps=-dac_override", "--bounding-set=-dac_override",
                        "wineserver", "-p"], env=self.wp.env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def attributes(self, win_path):
        """The attribute letters attrib shows for a file, e.g. {"A", "R"}."""
        out = self.wp.run(["cmd", "/c", "attrib", win_path]).stdout.decode("ascii", "replace")
        m = ATTRIB_RE.search(out)
        self.assertIsNotNone(m, "attrib %s said %r" % (win_path, out))
        return set(m.group(1).replace(" ", ""))

    def read_only_setup(self, extra=()):
        """C:\\CDROM\\Vorn.exe with no write bit, plus attrib's extra flags."""
        setup = self.wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True)
        shutil.copy(bin_dir() / "Vorn.exe", setup)
        for flag in extra:
            self.wp.run(["cmd", "/c", "attrib", flag, SETUP], check=True)
        setup.chmod(setup.stat().st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
        self.assertIn("R", self.attributes(SETUP))
        return setup

    def install(self, other_than=None):
        """Runs the installer to its success box (pressing OK); the installed
        copy's Windows path and the pid of the monitor it started."""
        proc = self.wp.spawn([SETUP])
        text = self.wp.answer_box(proc, "Installation Status")
        self.assertTrue(text.startswith(INSTALLED_MESSAGE), text)
        self.assertEqual(proc.wait(30), 1)
        pid = wait_until(
            lambda: (lambda p: p if p not in (None, other_than) else None)(
                self.wp.find_window(TITLE)),
            20, what="a new monitor window")
        self.assertEqual(self.wp.count_windows(TITLE), 1)
        return self.wp.reg_query(ENTRY, "UninstallString").split('"')[1], pid

    def make_read_only(self, win_path):
        path = self.wp.unix_path(win_path)
        path.chmod(path.stat().st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
        self.assertIn("R", self.attributes(win_path))

    def script_processes(self):
        return [argv for _pid, argv in self.wp.processes()
                if argv and re.search(r"(^|\\)cmd\.exe$", argv[0], re.I)]

    def remove(self, installed):
        """Add/Remove Programs; then the program, its script and the script's
        cmd are all gone."""
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"])
        text = self.wp.answer_box(proc, "Uninstall Status")
        self.assertEqual(text, b"Vorn Successfully Removed.")
        proc.wait(30)
        self.assertIsNone(self.wp.reg_query(ENTRY))
        self.assertEqual(self.wp.count_windows(TITLE), 0)
        wait_for_path(self.wp.unix_path(installed), GONE_WITHIN_S, gone=True)
        # The prefix plays Windows XP: the script lies in a folder of its own.
        folder = self.wp.unix_path(r"C:\windows\VornRemoval")
        wait_for_path(folder / "DelAll.bat", GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(folder, GONE_WITHIN_S)
        try:
            wait_until(lambda: not self.script_processes(), 5, what="the script's cmd.exe to end")
        except TimeoutError:
            self.fail("still running: %r" % self.script_processes())

    def test_install_twice_from_read_only_media_and_remove(self):
        # attrib flags the CD's file has besides read-only
        for extra in ((), ("+h",)):
            with self.subTest(extra=extra):
                self.fresh_prefix()
                setup = self.read_only_setup(extra)
                # The copy is a new file: none of the CD's flags come with it.
                installed, first = self.install()
                self.assertFalse(self.attributes(installed) & {"R", "H"})
                self.assertEqual(self.wp.unix_path(installed).read_bytes(), setup.read_bytes())

                # Over the copy the first install left, and a running monitor.
                installed, _ = self.install(other_than=first)
                self.assertFalse(self.attributes(installed) & {"R", "H"})
                self.remove(installed)

    def test_read_only_copy_of_an_older_install(self):
        # what is done to the read-only installed copy
        for then in ("install again", "remove"):
            with self.subTest(then=then):
                self.fresh_prefix()
                self.read_only_setup()
                installed, first = self.install()
                self.make_read_only(installed)
                if then == "install again":
                    installed, _ = self.install(other_than=first)
                    self.assertNotIn("R", self.attributes(installed))
                else:
                    self.remove(installed)


if __name__ == "__main__":
    main()
