#!/usr/bin/env python3
"""The removal script is started by the system's own cmd.exe, named in full as
the program to run, with /d so that no AutoRun command of the registry runs
before it: `C:\\windows\\system32\\cmd.exe /d /c "<script>"`. A script started
as a plain .bat is run by whatever cmd.exe the search finds, and with the
AutoRun commands of HKLM and HKCU.

Wine's cmd runs no AutoRun command at all (with or without /d), so the marker
an AutoRun command would leave cannot show the fault here; what Wine does show
is how the program asked for the script to be started: WINEDEBUG=+process logs
every CreateProcess with its application name and command line (a .bat handed
over as it is shows up as `app (null) cmdline L"…DelAll.bat"`, which Wine then
runs as `cmd.exe /s/c "…"`). The prefix plays Windows XP, where Vorn is the
classic monitor and the script lies in C:\\windows\\VornRemoval."""
import re
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, _built_helper, bin_dir, main  # noqa: E402
from vornwine import WinePrefix, wait_for_emptied_folder, wait_for_path, wait_until  # noqa: E402

SETUP = r"C:\Downloads\Setup.exe"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"
FOLDER = r"C:\windows\VornRemoval"
SCRIPT = FOLDER + r"\DelAll.bat"
# GetSystemDirectoryA of the build under test: a 64-bit program under wine64
# and a 32-bit one under 32-bit Wine both get system32.
CMD = r"C:\windows\system32\cmd.exe"
AUTORUN_KEYS = (r"HKCU\Software\Microsoft\Command Processor",
                r"HKLM\Software\Microsoft\Command Processor")
AUTORUN_MARKER = r"C:\autorun-ran.txt"
GONE_WITHIN_S = 10

# 0130:trace:process:CreateProcessInternalW app L"C:\\..." cmdline L"..."
CREATE_RE = re.compile(r':process:CreateProcessInternalW app (\(null\)|L"(?:[^"\\]|\\.)*") '
                       r'cmdline (L"(?:[^"\\]|\\.)*")')


def wide(text):
    """The string a Wine trace shows as L"…" (None for "(null)")."""
    if text == "(null)":
        return None
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)),
                  text[2:-1])


def created(trace):
    """[(application name, command line)] of every CreateProcess in the trace."""
    return [(wide(m.group(1)), wide(m.group(2))) for m in CREATE_RE.finditer(trace)]


def after_first_word(cmdline):
    """A command line without its first word (the program, quoted or not)."""
    m = re.match(r'\s*(?:"[^"]*"|\S+)\s*(.*)\Z', cmdline, re.S)
    return m.group(1)


class RemovalInterpreter(unittest.TestCase):
    def setUp(self):
        _built_helper()
        self.wp = WinePrefix()
        self.addCleanup(self.wp.close)
        setup = self.wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True)
        shutil.copy(bin_dir() / "Vorn.exe", setup)
        proc = self.wp.spawn([SETUP])
        self.wp.answer_box(proc, "Installation Status")
        proc.wait(30)
        wait_until(lambda: self.wp.find_window(TITLE), 20, what="the installed monitor")

    def test_script_is_run_by_the_system_cmd_without_autorun(self):
        for key in AUTORUN_KEYS:
            self.wp.reg_add(key, "AutoRun", "echo ran> %s" % AUTORUN_MARKER)
        proc = self.wp.spawn(["uninstaller", "--remove", "Vorn"], env={"WINEDEBUG": "+process"})
        self.assertEqual(self.wp.answer_box(proc, "Uninstall Status"), b"Vorn Successfully Removed.")
        proc.wait(30)
        # The script ran to its end: started that way, it still works.
        wait_for_path(self.wp.unix_path(STARTUP + r"\VornMon.exe"), GONE_WITHIN_S, gone=True)
        wait_for_path(self.wp.unix_path(SCRIPT), GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(self.wp.unix_path(FOLDER), GONE_WITHIN_S)

        trace = proc.stderr().decode("utf-8", "replace")
        starts = [(app, cmdline) for app, cmdline in created(trace)
                  if SCRIPT.lower() in cmdline.lower()]
        self.assertEqual(len(starts), 1, created(trace))
        app, cmdline = starts[0]
        self.assertIsNotNone(app, "the script was handed over as a program: %r" % cmdline)
        self.assertEqual(app.lower(), CMD.lower(), cmdline)
        self.assertEqual(after_first_word(cmdline).lower(), ('/d /c "%s"' % SCRIPT).lower(), cmdline)
        # Shows nothing under Wine, whose cmd runs no AutoRun (see above).
        self.assertFalse(self.wp.unix_path(AUTORUN_MARKER).exists())


if __name__ == "__main__":
    main()
