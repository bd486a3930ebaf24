#!/usr/bin/env python3
"""Under Wine's Windows 10 the elevated installer makes Vorn's two folders
itself, C:\\Program Files\\Vorn (the program) and C:\\ProgramData\\Vorn (the
log). A folder someone else left at either place is renamed aside, to
<folder>.set-aside or, when that is taken, the first free one of
<folder>.set-aside.1 ... .99, with what it held intact, and made anew: the new
program folder holds only the installed VornMon.exe, the new log folder
nothing planted, and the service runs from the new one.

Wine cannot tell owners apart (every file of the prefix's Unix user reads as
owned by that user, a folder made with owner Administrators too; none reads
as Administrators or SYSTEM) and renames a symlink's target rather than the
link, so the planted folders here differ from Vorn's only in what they hold: a
file that is not Vorn's own. A foreign owner and a reparse point belong to the
simulated Windows."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import _built_helper, bin_dir, main  # noqa: E402
from daytime_server import DaytimeServers  # noqa: E402
from vornwine import WinePrefix, wait_until  # noqa: E402

SETUP = r"C:\Downloads\Vorn.exe"
PROGRAM_FOLDER = r"C:\Program Files\Vorn"
LOG_FOLDER = r"C:\ProgramData\Vorn"
PROGRAM = PROGRAM_FOLDER + r"\VornMon.exe"
SERVICE_RUNNING = "4"
PLANTED_LINE = b"12/8/26 9:00:00 am planted line\r\n"


class PlantedFolders(unittest.TestCase):
    def setUp(self):
        _built_helper()
        # The service asks them: true time, nothing to log.
        self.servers = DaytimeServers().start()
        self.addCleanup(self.servers.stop)

    def plant(self, win_folder, files):
        folder = self.wp.unix_path(win_folder)
        folder.mkdir(parents=True)
        for name, data in files.items():
            (folder / name).write_bytes(data)

    def contents(self, win_folder):
        """{name: bytes} of a folder's files, None when there is no folder."""
        folder = self.wp.unix_path(win_folder)
        if not folder.is_dir():
            return None
        return {p.name: p.read_bytes() if p.is_file() else "<folder>" for p in folder.iterdir()}

    def first_box(self, proc, captions, timeout=30):
        """(caption, text) of the first of those message boxes proc shows, pressing OK."""
        def seen():
            for caption in captions:
                text = self.wp.msgbox(caption, timeout=0, press="ok")
                if text is not None:
                    return caption, text
            return None
        return wait_until(seen, timeout, interval=0.1,
                          what="one of %r (exit code %r)" % (captions, proc.poll()))

    def test_planted_folders_are_set_aside_and_made_anew(self):
        program_files = {"VornMon.exe": b"planted program", "version.dll": b"planted dll"}
        log_files = {"vorn.log": PLANTED_LINE, "notes.txt": b"planted notes"}
        # what is planted first (folder -> files), where the planted program
        # and log folders should then be found
        cases = (
            ("names free", {}, ".set-aside", ".set-aside"),
            ("names taken", {
                PROGRAM_FOLDER + ".set-aside": {"old.txt": b"set aside before"},
                PROGRAM_FOLDER + ".set-aside.1": {"old.txt": b"set aside before that"},
                LOG_FOLDER + ".set-aside": {"vorn.log": b"an older log\r\n"},
            }, ".set-aside.2", ".set-aside.1"),
        )
        for name, earlier, program_aside, log_aside in cases:
            with self.subTest(name):
                self.wp = wp = WinePrefix()
                self.addCleanup(wp.close)
                wp.set_windows_version("win10")
                for folder, files in earlier.items():
                    self.plant(folder, files)
                self.plant(PROGRAM_FOLDER, program_files)
                self.plant(LOG_FOLDER, log_files)
                setup = wp.unix_path(SETUP)
                setup.parent.mkdir(parents=True)
                setup.write_bytes((bin_dir() / "Vorn.exe").read_bytes())

                installer = wp.spawn([SETUP])
                caption, text = self.first_box(installer, ("Installation Status", "Application Error"))
                # A planted version.dll beside the service is found before
                # the system's: had the folder been used, it would not start.
                self.assertEqual(caption, "Installation Status", text)
                self.assertTrue(text.startswith(b"Vorn 2.0 Successfully Installed."), text)
                self.assertEqual(installer.wait(30), 1)

                self.assertEqual(self.contents(PROGRAM_FOLDER + program_aside), program_files)
                self.assertEqual(self.contents(LOG_FOLDER + log_aside), log_files)
                for folder, files in earlier.items():
                    self.assertEqual(self.contents(folder), files, folder)
                self.assertEqual(self.contents(PROGRAM_FOLDER), {"VornMon.exe": setup.read_bytes()})
                log = self.contents(LOG_FOLDER)
                self.assertIsNotNone(log, "no log folder")
                self.assertLessEqual(set(log), {"vorn.log"}, log)
                self.assertNotIn(PLANTED_LINE.strip(), log.get("vorn.log", b""))
                config = wp.service_config("Vorn")
                self.assertIsNotNone(config, "no service")
                self.assertEqual(config["path"], '"%s" -service' % PROGRAM)
                self.assertEqual(config["state"], SERVICE_RUNNING)
                wp.close()


if __name__ == "__main__":
    main()
