#!/usr/bin/env python3
"""The whole story of Vorn under a throwaway Wine prefix: install, the monitor
correcting a clock that is several minutes off once two servers agree on it
(Wine refuses the change and says how far off it was), and removal through
Add/Remove Programs.

Run by tools/demo.sh inside tests/e2e/in-netns.sh: the four DAYTIME servers
are loopback fixtures that answer 5 minutes off true UTC (ahead, or behind
when ahead would put their time in the two minutes either side of midnight
that the monitor ignores)."""
import re
import shutil
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from clock_e2e import SET_RE, TITLE, bin_dir  # noqa: E402
from daytime_server import DaytimeServers, clear_skew  # noqa: E402
from vornwine import WINE_ARCH, WinePrefix, wait_until  # noqa: E402

# Five minutes, clear of midnight for the first two checks and some to spare.
SKEW_S = clear_skew(300, 330)
OFF = "%d s %s" % (abs(SKEW_S), "ahead of" if SKEW_S > 0 else "behind")
ENTRY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vorn"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"
T0 = time.monotonic()


def say(text=""):
    print("[%5.1f s] %s" % (time.monotonic() - T0, text) if text else "", flush=True)


def show(block):
    for line in block.splitlines():
        print("           | " + line, flush=True)


def stage(n, text):
    print(flush=True)
    say("== %d. %s" % (n, text))


def main():
    exe = bin_dir() / "Vorn.exe"
    with DaytimeServers() as servers, WinePrefix() as wp:
        servers.set("all", "nist", skew=SKEW_S)
        say("fresh %s Wine prefix %s; DAYTIME servers on 127.0.0.11-14, %s UTC"
            % ("64-bit" if WINE_ARCH == "win64" else "32-bit", wp.path, OFF))

        stage(1, "install: the user runs C:\\Downloads\\Vorn.exe")
        setup = wp.unix_path(r"C:\Downloads\Vorn.exe")
        setup.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(exe, setup)
        # err+sync is inherited by the monitor the installer starts.
        installer = wp.spawn([r"C:\Downloads\Vorn.exe"], env={"WINEDEBUG": "err+sync"})
        text = wp.msgbox("Installation Status", timeout=30, press="ok")
        if text is None:
            sys.exit("no installation message appeared")
        say("the installer showed \"Installation Status\" (OK pressed):")
        show(text.decode("cp1252"))
        say("installer exit code: %s" % installer.wait(30))

        stage(2, "what the install left behind")
        say("Add/Remove Programs entry: DisplayName = %r" % wp.reg_query(ENTRY, "DisplayName"))
        say("                           UninstallString = %r"
            % wp.reg_query(ENTRY, "UninstallString"))
        installed = wp.unix_path(STARTUP) / "VornMon.exe"
        say("installed copy: %s\\VornMon.exe (%d bytes, identical: %s)"
            % (STARTUP, installed.stat().st_size, installed.read_bytes() == exe.read_bytes()))
        pid = wp.find_window(TITLE, timeout=20)
        if pid is None:
            sys.exit("no monitor is running")
        started = time.monotonic()
        say("monitor running: window \"%s\" owned by process %d" % (TITLE, pid))

        stage(3, "the monitor checks every 120 s; two servers of two sites must agree")
        requests, last = [], None
        while not requests:
            waited = time.monotonic() - started
            if waited > 150:
                sys.exit("no clock change was asked for within 150 s")
            requests = [int(m) for m in SET_RE.findall(installer.stderr())]
            if not requests:
                left = max(0, 120 - int(waited))
                if sys.stdout.isatty():
                    print("\r           first check in %3d s  " % left, end="", flush=True)
                elif left % 15 == 0 and left != last:
                    print("           first check in %3d s" % left, flush=True)
                last = left
                time.sleep(1)
        print(flush=True)
        first, second = servers.requests[:2]
        say("the monitor asked %s (%s) %.0f s after it started: it asked for a step"
            % (first.server, first.address, first.mono - started))
        say("in the same check %s (%s), %.1f s later, asked for the same step"
            % (second.server, second.address, second.mono - first.mono))
        say("and asked to set the clock: Wine refused it and logged "
            "\"NtSetSystemTime not allowed: difference %d ms\"" % requests[0])
        say("(the servers are %s UTC, so about %d ms was expected)" % (OFF, SKEW_S * 1000))

        stage(4, "uninstall through Add/Remove Programs: wine uninstaller --remove Vorn")
        remover = wp.spawn(["uninstaller", "--remove", "Vorn"])
        text = wp.msgbox("Uninstall Status", timeout=60, press="ok")
        if text is None:
            sys.exit("no uninstall message appeared")
        say("the uninstaller showed \"Uninstall Status\": %r (OK pressed)" % text.decode("cp1252"))
        remover.wait(60)

        stage(5, "what is left")
        gone = wait_until(lambda: not installed.exists(), 20, what="VornMon.exe deleted")
        # On NT the removal script lies in a folder of its own under the
        # Windows folder, and takes it along.
        script = wp.unix_path(r"C:\windows\VornRemoval\DelAll.bat")
        wait_until(lambda: not script.exists(), 20, what="the removal script deleted")
        entry = wp.reg_query(ENTRY, "DisplayName")
        say("Add/Remove Programs entry: %s" % ("gone" if entry is None else "STILL THERE"))
        say("monitor window: %s" % ("gone" if wp.count_windows(TITLE) == 0 else "STILL THERE"))
        say("installed VornMon.exe: %s" % ("gone" if gone and not installed.exists() else "STILL THERE"))
        say("removal script: %s" % ("gone" if not script.exists() else "STILL THERE"))
        ok = entry is None and wp.count_windows(TITLE) == 0 and not installed.exists() \
            and not script.exists()
        print(flush=True)
        say("the whole story %s in %.0f s" % ("ran" if ok else "FAILED", time.monotonic() - T0))
        return 0 if ok else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit("demo: interrupted")
    except Exception as e:  # a failed step says what failed, not where in Python
        sys.exit("demo: failed: %s" % (e or type(e).__name__))
