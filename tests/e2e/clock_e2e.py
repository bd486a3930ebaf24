"""The monitor under Wine against the loopback DAYTIME servers.

    class T(MonitorTest):
        def test_x(self):
            skew = clear_skew(90, 60)          # 90 s ahead or behind, clear of midnight
            self.servers.set(0, "nist", skew=skew)
            mon = self.start_monitor("VornFast.exe")
            self.servers.wait_requests(2, 10)
            mon.set_requests()                  # [89999, ...]

Each test gets fresh servers and a fresh prefix; the monitor is a copy of one
of the built executables named C:\\Vorn\\VornMon.exe, so that it takes the
monitor role. The executables come from $VORN_BIN_DIR (default build/win32, or build/win64
when the x86_64 build is under test).
Run a test file under tests/e2e/in-netns.sh (main() re-executes it there).
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from daytime_server import DaytimeServers, clear_skew, in_midnight_band
from vornwine import MINGW_CXX, WINE_ARCH, WinePrefix, in_netns, reexec_in_netns, wait_until

HERE = Path(__file__).resolve().parent
TITLE = "Vorn Titlebar"
# Wine refuses every clock change; with WINEDEBUG=err+sync it says how far off
# the requested time was.
SET_RE = re.compile(rb"NtSetSystemTime not allowed: difference (-?\d+) ms")
# With +timestamp: "1787.151:0024:trace:wininet:InternetOpenA (...)".
LINE_RE = re.compile(rb"^(\d+\.\d+):([0-9a-f]{4}):(\w+):(\w+):(\w+)")
TRACE_DEBUG = "err+sync,+timestamp,trace+wininet"


def bin_dir():
    return Path(os.environ.get("VORN_BIN_DIR") or HERE.parent.parent / "build" / WINE_ARCH)


def _built_helper():
    built = bin_dir() / "winhelper.exe"
    if built.exists():
        os.environ.setdefault("VORN_WINHELPER", str(built))


def handle_count_exe():
    """handle_count.exe, built from handle_count.cpp into a cache keyed by its hash."""
    src = HERE / "handle_count.cpp"
    tag = hashlib.sha256(src.read_bytes() + MINGW_CXX.encode()).hexdigest()[:12]
    cache = Path(tempfile.gettempdir()) / ("vorn-winhelper-%d" % os.getuid())
    exe = cache / ("handle_count-%s.exe" % tag)
    if not exe.exists():
        cache.mkdir(parents=True, exist_ok=True)
        tmp = cache / ("build-hc-%d.exe" % os.getpid())
        subprocess.run([MINGW_CXX, "-static", "-Os", "-s", str(src), "-o", str(tmp)], check=True)
        os.replace(tmp, exe)
    return exe


class Monitor:
    """One running monitor: a copy of `exe` started as C:\\Vorn\\VornMon.exe."""

    def __init__(self, wp, exe, debug="err+sync", env=None):
        self.wp = wp
        folder = wp.drive_c / "Vorn"
        folder.mkdir(exist_ok=True)
        shutil.copy(bin_dir() / exe, folder / "VornMon.exe")
        self.started = time.monotonic()
        self.proc = wp.spawn([r"C:\Vorn\VornMon.exe"], env=dict(env or {}, WINEDEBUG=debug))
        self.win_pid = wp.find_window(TITLE, timeout=20)
        if self.win_pid is None:
            raise AssertionError("no monitor window (exit code %r); stderr: %r"
                                 % (self.proc.poll(), self.proc.stderr()[-2000:]))

    @property
    def running(self):
        return self.proc.running

    def set_requests(self):
        """How far off (ms) each clock change the monitor asked for was, in order."""
        return [int(m) for m in SET_RE.findall(self.proc.stderr())]

    def log(self):
        """The event log's bytes, or None when there is none."""
        path = self.wp.windows / "vorn.log"
        return path.read_bytes() if path.exists() else None

    def checks(self):
        """With TRACE_DEBUG: (start, end) in seconds of each check, from its
        InternetGetConnectedState to the last line its thread wrote before the
        next one. The end of a check whose worker was ended is not seen."""
        main_tid, spans = None, []
        for line in self.proc.stderr().splitlines():
            m = LINE_RE.match(line)
            if not m:
                continue
            t, tid, func = float(m.group(1)), m.group(2), m.group(5)
            if func == b"InternetGetConnectedState":
                main_tid = tid
                spans.append([t, t])
            elif spans and tid == main_tid:
                spans[-1][1] = t
        return [tuple(s) for s in spans]

    def stats(self):
        """Handles (from Wine's handle table), open fds, threads and memory (kB)."""
        r = self.wp.run([handle_count_exe(), self.win_pid])
        status = Path("/proc/%d/status" % self.proc.pid).read_text()
        field = lambda k: int(re.search(r"^%s:\s+(\d+)" % k, status, re.M).group(1))
        return {
            "handles": int(r.stdout.strip()),
            "fds": len(os.listdir("/proc/%d/fd" % self.proc.pid)),
            "threads": field("Threads"),
            "rss_kb": field("VmRSS"),
            "anon_kb": field("RssAnon"),
        }

    def stop(self, timeout=10):
        """Asks the monitor to quit as an installer would; its exit code."""
        if not self.wp.post_quit(TITLE, timeout=2):
            raise AssertionError("no monitor window to post WM_QUIT to")
        return self.proc.wait(timeout)


class MonitorTest(unittest.TestCase):
    """Fresh DAYTIME servers (all answering with true time) and a fresh prefix."""

    def setUp(self):
        _built_helper()
        self.servers = DaytimeServers().start()
        self.addCleanup(self.servers.stop)
        self.wp = WinePrefix()
        self.addCleanup(self.wp.close)

    def start_monitor(self, exe="VornFast.exe", debug="err+sync", env=None):
        """env: more environment for the monitor (WINEDEBUG is debug's)."""
        return Monitor(self.wp, exe, debug, env)

    def assertAlive(self, mon):
        self.assertTrue(mon.running, "the monitor ended: %r" % mon.proc.stderr()[-2000:])
        self.assertEqual(mon.stop(), 0)


def outside_band(requests):
    """The requests whose NIST line the monitor may act on: the others' server
    time lay in the band around midnight that it ignores."""
    return [r for r in requests if r.sent is not None and not in_midnight_band(r.sent)]


# Modes whose reply is a NIST line at the request's skew (0 unless given): a
# long line and one in two pieces read whole under Wine, whose read waits for
# all 256 bytes or the server's close.
LINE_MODES = ("nist", "big", "two_pieces")


class Rule:
    """The monitor's rotation and trust rules, followed request by request: a
    server that asks for a step has it put at once, in the same check, to
    the next server (of another site), and the step is taken only when that
    one asks for the same (within 30 s); a server is asked again only after
    it found the clock right or confirmed a step. Servers that refuse leave
    no request, so no test that uses this has one."""

    def __init__(self, names):
        self.names = list(names)
        self.next = 0         # the server the next request goes to (0..3)
        self.held = None      # (server, skew) of the step this check holds
        self.changes = 0      # clock changes asked for so far

    def follow(self, request):
        """Takes one request in order; the server it should have gone to."""
        expected, server = self.next, self.names.index(request.server)
        skew = request.params.get("skew", 0)
        held, self.held = self.held, None
        usable = request.mode in LINE_MODES and request.sent is not None \
            and not in_midnight_band(request.sent)
        if not usable:
            self.next = (server + 1) % 4  # nothing usable read
        elif abs(skew) <= 30:
            self.next = server  # the clock is right
        elif held is None:
            # A step: the next server is asked at once.
            self.next, self.held = (server + 1) % 4, (server, skew)
        elif abs(skew - held[1]) <= 30:
            self.next = server  # confirmed
            self.changes += 1
        else:
            self.next = (server + 1) % 4  # two servers disagree
        return expected


def main(offline=False):
    """Runs the file's tests inside in-netns.sh (offline: loopback only)."""
    if offline and in_netns() and os.environ.get("VORN_OFFLINE") != "1":
        # An online namespace of this test's own (ctest starts every file in
        # one): taking its default route away leaves what VORN_OFFLINE=1 makes.
        subprocess.run(["ip", "route", "del", "default"], check=True)
        subprocess.run(["ip", "link", "del", "vorn0"], check=True)
    reexec_in_netns(offline=offline)
    unittest.main()


def report(what, value):
    """A measurement, for the test's output."""
    print("measured: %s: %s" % (what, value), file=sys.stderr, flush=True)
