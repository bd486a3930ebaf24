#!/usr/bin/env python3
"""Vorn.exe under Wine's Windows 10 (and 7) installs itself as the service
Vorn: the program in C:\\Program Files\\Vorn, the service as the service
manager keeps it (read back with QueryServiceConfigA), running, no StartUp
copy; the service asks the loopback servers and asks to set the clock;
installing again replaces the program and keeps the one service running;
Wine's Add/Remove Programs removes service, program, folder and entry, and
the script goes (its folder emptied: Wine's cmd holds a running script open).

A service's debug output goes where the first Wine process of the prefix sent
its stderr: the prefix is restarted so that the test's own `sc` is that
process."""
import shutil

from clock_e2e import SET_RE, MonitorTest, bin_dir, clear_skew, main
from vornwine import wait_for_emptied_folder, wait_for_path, wait_until

SETUP = r"C:\Downloads\Vorn.exe"
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"
PROGRAM = r"C:\Program Files\Vorn\VornMon.exe"
SCRIPT_FOLDER = r"C:\windows\VornRemoval"
SERVICE_RUNNING = "4"
GONE_WITHIN_S = 10


class ServiceSetup(MonitorTest):
    def install(self, setup):
        installer = self.wp.spawn([SETUP])
        text = self.wp.answer_box(installer, "Installation Status")
        self.assertTrue(text.startswith(b"Vorn 2.0 Successfully Installed."), text)
        self.assertIn(b'the Windows service "Vorn"', text)
        self.assertIn(b"services.msc", text)
        self.assertEqual(installer.wait(30), 1)
        config = self.wp.service_config("Vorn")
        self.assertEqual(config, {
            "type": "16",  # its own process
            "start": "2",  # automatic
            "error_control": "1",
            "path": '"%s" -service' % PROGRAM,
            "account": r"NT AUTHORITY\LocalService",
            "display": "Vorn (PC Clock Synchronizer)",
            "state": SERVICE_RUNNING,
        })
        self.assertEqual(self.wp.unix_path(PROGRAM).read_bytes(), setup.read_bytes())
        self.assertFalse((self.wp.unix_path(STARTUP) / "VornMon.exe").exists())
        self.assertEqual(self.wp.reg_query(ENTRY, "UninstallString"), '"%s" -r' % PROGRAM)
        self.assertEqual(self.wp.reg_query(ENTRY, "DisplayName"), "Vorn (PC Clock Synchronizer)")

    def story(self, version):
        wp = self.wp
        wp.set_windows_version(version)
        skew = clear_skew(90, 60)
        self.servers.set("all", "nist", skew=skew)
        setup = wp.unix_path(SETUP)
        setup.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(bin_dir() / "VornFast.exe", setup)

        # A fresh wineserver, so that a first process of the test's own starts
        # the service manager, which sends a service's output where it did.
        wp.kill_all()
        wp.wineserver("-p")
        first = wp.spawn(["sc", "query", "Vorn"], env={"WINEDEBUG": "err+sync"})
        first.wait(30)
        self.install(setup)
        sets = wait_until(lambda: SET_RE.findall(first.stderr()), 20, what="a clock change")
        self.assertAlmostEqual(int(sets[0]), skew * 1000, delta=2500)
        # Over a socket of its own: the client sends nothing, a URL session a GET.
        self.assertEqual([r.data for r in self.servers.requests[:2]], [b"", b""])

        # Again over the running service: stopped, replaced, the same one started.
        setup.write_bytes((bin_dir() / "Vorn.exe").read_bytes())
        self.install(setup)

        program = wp.unix_path(PROGRAM)
        remover = wp.spawn(["uninstaller", "--remove", "Vorn"])
        self.assertEqual(wp.answer_box(remover, "Uninstall Status"), b"Vorn Successfully Removed.")
        remover.wait(30)
        self.assertIsNone(wp.service_config("Vorn"))
        self.assertIsNone(wp.reg_query(ENTRY))
        wait_for_path(program, GONE_WITHIN_S, gone=True)
        wait_for_path(program.parent, GONE_WITHIN_S, gone=True)
        wait_for_emptied_folder(wp.unix_path(SCRIPT_FOLDER), GONE_WITHIN_S)
        self.assertFalse((wp.unix_path(SCRIPT_FOLDER) / "DelAll.bat").exists())

    def test_win10(self):
        self.story("win10")

    def test_win7(self):
        self.story("win7")


if __name__ == "__main__":
    main()
