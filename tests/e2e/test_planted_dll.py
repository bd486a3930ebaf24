#!/usr/bin/env python3
"""A DLL planted beside the program is not loaded, in any of its roles: the
installer run from the downloads folder, the uninstaller (VornMon.exe -r) and
the monitor, each with a uxtheme.dll beside it that user32 would load when the
program shows a window or message box.

WINEDLLOVERRIDES="uxtheme=n,b" makes Wine do what Windows does for a DLL that
is not a KnownDLL: look in the program's folder first and load what it finds
there. The planted DLL (tests/e2e/planted_dll.cpp) appends the loading
program's path to C:\\planted-dll.log and refuses to load, so the program goes
on with the system's copy. A program that does not limit its DLL search loads
it; the control case shows that it would be seen."""
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from clock_e2e import TITLE, _built_helper, bin_dir, main  # noqa: E402
from vornwine import WinePrefix, winhelper_path  # noqa: E402

PLANTED_LOG = r"C:\planted-dll.log"
LOAD_NATIVE_UXTHEME = {"WINEDLLOVERRIDES": "mscoree=;mshtml=;uxtheme=n,b"}


def planted_dll():
    dll = bin_dir() / "planted" / "uxtheme.dll"
    if not dll.exists():
        raise AssertionError("%s is missing: build the planted_uxtheme target "
                             "(cmake/test-dll.cmake)" % dll)
    return dll


class PlantedDll(unittest.TestCase):
    def setUp(self):
        _built_helper()
        self.dll = planted_dll()

    def prefix(self):
        wp = WinePrefix()
        self.addCleanup(wp.close)
        return wp

    def plant(self, wp, program, source):
        """Copies source to the Windows path program and the DLL beside it."""
        path = wp.unix_path(program)
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(source, path)
        shutil.copy(self.dll, path.parent / "uxtheme.dll")

    def loaded_by(self, wp):
        """The programs that ran the planted DLL's DllMain, in order."""
        log = wp.unix_path(PLANTED_LOG)
        return log.read_bytes().decode("latin-1").splitlines() if log.exists() else []

    def test_a_program_that_does_not_limit_its_search_loads_it(self):
        # Else every other case here would pass whatever the program did.
        wp = self.prefix()
        program = r"C:\Downloads\winhelper.exe"
        self.plant(wp, program, winhelper_path())
        proc = wp.spawn([program, "message-box", "Planted"], env=LOAD_NATIVE_UXTHEME)
        wp.answer_box(proc, "Planted")
        self.assertEqual(proc.wait(30), 0)
        self.assertEqual(self.loaded_by(wp), [program])

    def test_no_role_loads_a_dll_beside_it(self):
        # role, where the program lies, its arguments, the message box it
        # shows (None: the monitor's window, with no box)
        cases = (
            ("installer", r"C:\Downloads\Vorn.exe", [], "Installation Status"),
            ("uninstaller", r"C:\Temp\VornMon.exe", ["-r"], "Uninstall Status"),
            ("monitor", r"C:\Vorn\VornMon.exe", [], None),
        )
        for role, program, args, caption in cases:
            with self.subTest(role=role):
                wp = self.prefix()
                self.plant(wp, program, bin_dir() / "Vorn.exe")
                proc = wp.spawn([program] + args, env=LOAD_NATIVE_UXTHEME)
                if caption:
                    wp.answer_box(proc, caption)
                    self.assertEqual(proc.wait(30), 1)
                else:
                    self.assertIsNotNone(wp.find_window(TITLE, timeout=20),
                                         "no monitor window; stderr: %r" % proc.stderr()[-2000:])
                    # The window is made by then, and with it the load.
                    self.assertTrue(wp.post_quit(TITLE, timeout=2))
                    self.assertEqual(proc.wait(10), 0)
                # The installer's monitor in StartUp has no DLL beside it: no
                # line at all.
                self.assertEqual(self.loaded_by(wp), [])
                wp.close()


if __name__ == "__main__":
    main()
