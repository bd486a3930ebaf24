"""Checks of the e2e harness itself: the DAYTIME fixture, pecheck, the Wine
prefix plumbing and winhelper.exe.

    tests/e2e/in-netns.sh python3 -m unittest discover -s tests/e2e -v

Outside in-netns.sh the socket tests skip; without Wine or MinGW the Windows
tests skip.
"""
import datetime as dt
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import daytime_server as ds  # noqa: E402
import pecheck  # noqa: E402
import vornwine  # noqa: E402

HAVE_WINE = shutil.which("wine") is not None and shutil.which("wineserver") is not None
HAVE_MINGW = shutil.which(vornwine.MINGW_CXX) is not None
WINE_RUN = vornwine.WINE_DIR / "wine-run.sh"

WINHTTP_REQUEST = b"GET / HTTP/1.1\r\nAccept: */*\r\nHost: %s:13\r\n\r\n"


def mingw(src_name, source, *libs, gui=False):
    """Builds a small Windows program into a per-run temp dir; returns its path."""
    out = Path(_BUILD_DIR.name)
    src = out / src_name
    src.write_text(source)
    exe = src.with_suffix(".exe")
    subprocess.run([vornwine.MINGW_CXX, "-static", "-Os", "-s"] + (["-mwindows"] if gui else [])
                   + [str(src), "-o", str(exe)] + list(libs), check=True)
    return exe


_BUILD_DIR = tempfile.TemporaryDirectory(prefix="vorn-harness.")


class NistLineTest(unittest.TestCase):
    def test_mjd(self):
        for day, want in [(dt.date(1858, 11, 17), 0), (dt.date(2000, 1, 1), 51544),
                          (dt.date(2026, 12, 8), 61382), (dt.date(2024, 2, 29), 60369)]:
            with self.subTest(day=day):
                self.assertEqual(ds.mjd(day), want)

    def test_dst_code(self):
        # 2026: DST from Sunday 8 March to Sunday 1 November; 2025: 9 March, 2 November.
        for day, want in [((2026, 2, 28), 0), ((2026, 3, 1), 58), ((2026, 3, 7), 52),
                          ((2026, 3, 8), 51), ((2026, 3, 9), 50), ((2026, 7, 4), 50),
                          ((2026, 10, 31), 50), ((2026, 11, 1), 1), ((2026, 11, 2), 0),
                          ((2026, 12, 8), 0), ((2025, 11, 1), 2), ((2025, 11, 2), 1),
                          ((2025, 11, 3), 0)]:
            with self.subTest(day=day):
                self.assertEqual(ds.nist_tt(dt.date(*day)), want)

    def test_line_layout_matches_a_real_server(self):
        when = dt.datetime(2026, 12, 8, 4, 54, 38, tzinfo=dt.timezone.utc)
        self.assertEqual(ds.nist_line(when),
                         b"\n61382 26-12-08 04:54:38 00 0 0  50.0 UTC(NIST) * \n")
        self.assertEqual(ds.nist_line(when, tt=50, leap=1, health=2, adv=123.4),
                         b"\n61382 26-12-08 04:54:38 50 1 2 123.4 UTC(NIST) * \n")


def _utc(day, hour, minute, second=0):
    return dt.datetime(2026, 12, day, hour, minute, second, tzinfo=dt.timezone.utc).timestamp()


class MidnightBandTest(unittest.TestCase):
    """How the tests keep their servers clear of the band of server times the
    monitor ignores, checked at the times of day where it matters (the tests
    themselves cannot be run at a chosen hour)."""

    def test_band(self):
        for (day, h, m, s), inside in [
                ((8, 12, 0, 0), False), ((8, 23, 55, 0), False), ((8, 23, 57, 30), False),
                ((8, 23, 58, 0), False), ((8, 23, 58, 1), True), ((8, 23, 59, 0), True),
                ((9, 0, 0, 0), True), ((9, 0, 1, 30), True), ((9, 0, 1, 59), True),
                ((9, 0, 2, 0), False), ((9, 0, 2, 30), False), ((9, 0, 5, 0), False)]:
            with self.subTest(at="%02d:%02d:%02d" % (h, m, s)):
                when = _utc(day, h, m, s)
                self.assertEqual(ds.in_midnight_band(when), inside)
                self.assertEqual(ds.in_midnight_band(dt.datetime.fromtimestamp(
                    when, dt.timezone.utc)), inside)

    def test_skew(self):
        # (now, skew for a test of 60 s, for one of 300 s); 90 s either way is
        # preferred, ahead first.
        rows = [
            ((8, 12, 0, 0), 90, 90),
            ((8, 23, 55, 0), 90, -120),
            ((8, 23, 57, 30), -90, 270),
            ((8, 23, 59, 0), -120, 180),
            ((9, 0, 0, 0), 120, 120),
            ((9, 0, 1, 30), 90, 90),
            ((9, 0, 5, 0), 90, 90),
        ]
        for (day, h, m, s), *wanted in rows:
            now = _utc(day, h, m, s)
            for duration, want in zip((60, 300), wanted):
                with self.subTest(at="%02d:%02d:%02d" % (h, m, s), duration=duration):
                    skew = ds.clear_skew(90, duration, now)
                    self.assertEqual(skew, want)
                    seen = range(int(now + skew), int(now + skew + duration) + 1)
                    self.assertFalse(any(ds.in_midnight_band(t) for t in seen))
        # A big step keeps its size as far as it can, a day later or not.
        self.assertEqual(ds.clear_skew(7200, 60, _utc(8, 21, 59, 0)), -7200)
        self.assertEqual(ds.clear_skew(3 * 86400, 60, _utc(9, 0, 0, 0)), 3 * 86400 + 120)
        with self.assertRaises(ValueError):
            ds.clear_skew(90, 3000, _utc(8, 23, 30, 0))


@unittest.skipUnless(vornwine.in_netns(), "needs tests/e2e/in-netns.sh")
class DaytimeServerTest(unittest.TestCase):
    def setUp(self):
        self.srv = ds.DaytimeServers().start()
        self.addCleanup(self.srv.stop)

    def ask(self, index, read_for=3.0):
        """Connects like WinINet; returns (chunks with arrival times, error)."""
        name, addr = ds.SERVERS[index]
        s = socket.create_connection((addr, 13), timeout=2)
        try:
            s.sendall(WINHTTP_REQUEST % name.encode())
            chunks, t0 = [], time.monotonic()
            s.settimeout(read_for)
            while True:
                try:
                    b = s.recv(65536)
                except socket.timeout:
                    return chunks, "timeout"
                except ConnectionResetError:
                    return chunks, "reset"
                if not b:
                    return chunks, None
                chunks.append((time.monotonic() - t0, b))
        finally:
            s.close()

    def test_replies(self):
        fixed_now = lambda b: b.startswith(b"\n") and b.endswith(b" UTC(NIST) * \n")
        cases = [
            ("nist", {}, lambda b: fixed_now(b) and len(b) == 51),
            ("garbage", {"seed": 7}, lambda b: len(b) == 66 and b[0] == 10 and b[-1] == 10),
            ("big", {}, lambda b: len(b) == 4096 and fixed_now(b[:51]) and b[51:-1] == b"x" * 4044),
            ("big", {"size": 300}, lambda b: len(b) == 300),
            ("empty", {}, lambda b: b == b"\n\n"),
            ("close", {}, lambda b: b == b""),
            ("raw", {"data": b"no line feed"}, lambda b: b == b"no line feed"),
        ]
        for mode, params, ok in cases:
            with self.subTest(mode=mode, params=params):
                self.srv.set(0, mode, **params)
                chunks, err = self.ask(0)
                self.assertIsNone(err)
                data = b"".join(c for _, c in chunks)
                self.assertTrue(ok(data), data[:80])

    def test_garbage_is_repeatable_per_seed(self):
        got = []
        for seed in (1, 1, 2):
            self.srv.set(0, "garbage", seed=seed)
            got.append(b"".join(c for _, c in self.ask(0)[0]))
        self.assertEqual(got[0], got[1])
        self.assertNotEqual(got[0], got[2])

    def test_time_and_skew(self):
        for skew in (0, -3600, 86400 * 400):
            with self.subTest(skew=skew):
                self.srv.set(2, "nist", skew=skew)
                line = b"".join(c for _, c in self.ask(2)[0]).decode()
                mjd, date, clock = line.split()[:3]
                sent = dt.datetime.strptime(date + " " + clock, "%y-%m-%d %H:%M:%S")
                sent = sent.replace(tzinfo=dt.timezone.utc)
                want = dt.datetime.now(dt.timezone.utc) + dt.timedelta(seconds=skew)
                self.assertLess(abs((sent - want).total_seconds()), 2)
                self.assertEqual(int(mjd), ds.mjd(sent.date()))

    def test_absolute_time_goes_on_and_is_recorded(self):
        at = dt.datetime(2026, 12, 31, 23, 59, 0, tzinfo=dt.timezone.utc)
        self.srv.set(1, "nist", at=at)
        line = b"".join(c for _, c in self.ask(1)[0])
        sent = self.srv.requests_for(1)[-1].sent
        self.assertLess(abs((sent - at).total_seconds()), 2)
        self.assertEqual(line, ds.nist_line(sent))

    def test_two_pieces_arrive_apart(self):
        self.srv.set(1, "two_pieces", gap=0.5)
        chunks, err = self.ask(1)
        self.assertIsNone(err)
        self.assertEqual(len(chunks), 2)
        self.assertGreater(chunks[1][0] - chunks[0][0], 0.4)
        self.assertEqual(len(chunks[0][1] + chunks[1][1]), 51)

    def test_refuse_reset_and_switching_back(self):
        self.srv.set(3, "refuse")
        with self.assertRaises(ConnectionRefusedError):
            self.ask(3)
        self.srv.set(3, "reset")
        self.assertEqual(self.ask(3), ([], "reset"))
        self.srv.set(3, "nist")
        self.assertEqual(len(b"".join(c for _, c in self.ask(3)[0])), 51)

    def test_silent_holds_until_released(self):
        self.srv.set(0, "silent")
        t0 = time.monotonic()
        self.assertEqual(self.ask(0, read_for=0.5), ([], "timeout"))
        self.assertGreaterEqual(time.monotonic() - t0, 0.45)
        name, addr = ds.SERVERS[0]
        s = socket.create_connection((addr, 13), timeout=2)
        s.sendall(WINHTTP_REQUEST % name.encode())
        self.srv.wait_requests(2, 2, which=0)
        self.srv.release()
        s.settimeout(2)
        self.assertEqual(s.recv(10), b"")
        s.close()

    def test_requests_are_recorded_per_server(self):
        before = time.time()
        for i in (0, 2, 2):
            self.ask(i)
        reqs = self.srv.wait_requests(3, 2)
        self.assertEqual([r.server for r in reqs],
                         ["time-a-g.nist.gov", "utcnist.colorado.edu", "utcnist.colorado.edu"])
        self.assertEqual([r.host for r in reqs],
                         ["time-a-g.nist.gov:13", "utcnist.colorado.edu:13", "utcnist.colorado.edu:13"])
        self.assertTrue(all(before <= r.time <= time.time() for r in reqs))
        self.assertEqual(len(self.srv.requests_for("127.0.0.13")), 2)
        self.assertEqual(self.srv.requests_for("time-a-wwv.nist.gov"), [])
        with self.assertRaises(TimeoutError):
            self.srv.wait_requests(1, 0.2, which=1)

    def test_names_resolve_to_their_own_address(self):
        for name, addr in ds.SERVERS:
            with self.subTest(name=name):
                self.assertEqual(socket.gethostbyname(name), addr)
        with self.assertRaises(socket.gaierror):
            socket.gethostbyname("unknown.invalid")


RC = r"""#include <windows.h>
MAINICON ICON "t.ico"
1 RT_MANIFEST "t.manifest"
VS_VERSION_INFO VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 1,2,0,0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Vorn Test\0"
      VALUE "FileDescription", "PC Clock Synchronizer\0"
      VALUE "ProductVersion", "1.2"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
"""
MANIFEST = '<?xml version="1.0" encoding="UTF-8"?>\n<assembly manifestVersion="1.0"/>\n'


def tiny_ico(size=16):
    hdr = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    img = hdr + b"\x80\x80\x80\xff" * size * size + b"\0" * 4 * size
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, size, size, 0, 0, 1, 32, len(img), 22) + img


@unittest.skipUnless(HAVE_MINGW, "needs MinGW-w64")
class PecheckTest(unittest.TestCase):
    def test_gui_exe_with_resources(self):
        d = Path(_BUILD_DIR.name) / "pe"
        d.mkdir(exist_ok=True)
        (d / "t.ico").write_bytes(tiny_ico())
        (d / "t.manifest").write_text(MANIFEST)
        (d / "t.rc").write_text(RC)
        (d / "t.c").write_text("#include <windows.h>\n#include <wininet.h>\n"
                               "int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int e)"
                               "{ return InternetGetConnectedState(0, 0); }\n")
        subprocess.run(["i686-w64-mingw32-windres", "t.rc", "-O", "coff", "-o", "t.res"],
                       cwd=d, check=True)
        subprocess.run(["i686-w64-mingw32-gcc", "-mwindows", "-s", "t.c", "t.res", "-o", "t.exe",
                        "-lwininet"], cwd=d, check=True)
        info = pecheck.inspect(d / "t.exe")
        self.assertEqual((info["machine"], info["format"], info["subsystem"]), ("i386", "PE32", "gui"))
        self.assertIn("wininet.dll", [x.lower() for x in info["dlls"]])
        self.assertIn("InternetGetConnectedState",
                      next(v for k, v in info["imports"].items() if k.lower() == "wininet.dll"))
        self.assertTrue(info["has_mainicon"])
        self.assertEqual([(i["width"], i["bits"]) for i in info["icon_groups"]["MAINICON"]], [(16, 32)])
        self.assertEqual(info["version"]["fixed"]["file_version"], "1.2.3.4")
        self.assertEqual(info["version"]["fixed"]["product_version"], "1.2.0.0")
        self.assertEqual(info["version"]["strings"]["040904B0"],
                         {"CompanyName": "Vorn Test", "FileDescription": "PC Clock Synchronizer",
                          "ProductVersion": "1.2"})
        self.assertEqual(info["version"]["translations"], [[0x409, 1200]])
        self.assertEqual(info["manifest"], {"id": 1, "text": MANIFEST})

    def test_console_exe_without_resources(self):
        exe = mingw("plain.c", "int main(void) { return 0; }\n")
        info = pecheck.inspect(exe)
        self.assertEqual(info["subsystem"], "console")
        self.assertFalse(info["has_mainicon"])
        self.assertIsNone(info["version"])
        self.assertIsNone(info["manifest"])

    def test_not_a_pe(self):
        for data in (b"", b"#!/bin/sh\n", b"MZ" + b"\0" * 62):
            with self.subTest(data=data[:8]):
                with tempfile.NamedTemporaryFile() as f:
                    f.write(data)
                    f.flush()
                    with self.assertRaises((pecheck.PEError, struct.error)):
                        pecheck.inspect(f.name)


PROBE = r"""
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 1) return (LRESULT)(wp + lp);
    return DefWindowProcA(w, m, wp, lp);
}
int main(int argc, char** argv) {
    if (argc > 1 && !strcmp(argv[1], "exit")) {
        HANDLE f = CreateFileA("C:\\probe.txt", GENERIC_WRITE, 0, 0, CREATE_NEW, 0, 0);
        printf("fresh=%d\n", f != INVALID_HANDLE_VALUE);
        return atoi(argv[2]);
    }
    WNDCLASSA wc = {0};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = "ProbeCls";
    RegisterClassA(&wc);
    CreateWindowExA(0, "ProbeCls", "Probe Window", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, 0, 0, 0, 0);
    CreateWindowExA(0, "ProbeCls", "Probe Hidden", 0, 0, 0, 0, 0, HWND_MESSAGE, 0, 0, 0);
    printf("box=%d\n", MessageBoxA(NULL, "First line\r\nSecond: \xe9", "Probe Box", MB_OKCANCEL));
    fflush(stdout);
    MSG m;
    while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
    return 7;
}
"""


@unittest.skipUnless(HAVE_WINE and HAVE_MINGW, "needs Wine and MinGW-w64")
class WineHarnessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.probe = mingw("probe.c", PROBE, "-luser32")

    def test_wine_run_passes_exit_code_and_uses_fresh_prefixes(self):
        for code, want in [(0, 0), (3, 3), (300, 44)]:
            with self.subTest(code=code):
                r = subprocess.run([str(WINE_RUN), str(self.probe), "exit", str(code)],
                                   stdout=subprocess.PIPE, timeout=120)
                self.assertEqual(r.returncode, want)
                self.assertEqual(r.stdout, b"fresh=1\r\n")   # C:\probe.txt never seen before

    def test_prefix_paths_registry_and_teardown(self):
        with vornwine.WinePrefix() as wp:
            path = wp.path
            self.assertTrue(wp.common_startup.is_dir())
            self.assertEqual(wp.unix_path(r"c:\PROGRAMDATA\microsoft"),
                             wp.drive_c / "ProgramData" / "Microsoft")
            self.assertEqual(wp.win_path(wp.program_files / "Vorn"), r"C:\Program Files\Vorn")
            self.assertEqual(wp.reg_query(r"HKLM\Software\Microsoft\Windows\CurrentVersion"
                                          r"\Explorer\Shell Folders", "Common Startup"),
                             wp.win_path(wp.common_startup))
            key = r"HKCU\Software\VornHarness"
            self.assertIsNone(wp.reg_query(key))
            wp.reg_add(key, "Text", r"a b\c")
            wp.reg_add(key, "Count", 4660, "REG_DWORD")
            self.assertEqual(wp.reg_query(key), {"Text": ("REG_SZ", r"a b\c"),
                                                 "Count": ("REG_DWORD", 4660)})
            self.assertEqual(wp.reg_query(key, "count"), 4660)
            self.assertTrue(wp.reg_delete(key, "Text"))
            self.assertIsNone(wp.reg_query(key, "Text"))
            r = wp.run([self.probe, "exit", "5"])
            self.assertEqual((r.returncode, r.stdout), (5, b"fresh=1\r\n"))
            self.assertEqual(wp.run([self.probe, "exit", "5"]).stdout, b"fresh=0\r\n")
            busy = wp.spawn([self.probe])
            wp.find_window("Probe Window", timeout=20)
        self.assertFalse(path.exists())
        busy.wait(5)   # ended with the prefix

    def test_winhelper_windows_and_message_box(self):
        with vornwine.WinePrefix() as wp:
            p = wp.spawn([self.probe])
            pid = wp.find_window("Probe Window", timeout=20)
            self.assertIsInstance(pid, int)
            self.assertEqual(wp.find_window("Probe Hidden"), pid)     # message-only window
            self.assertIsNone(wp.find_window("No Such Window", timeout=0.1))
            self.assertEqual(wp.count_windows("Probe Window"), 1)
            self.assertEqual(wp.count_windows("Probe Hidden"), 1)
            self.assertEqual(wp.send("Probe Hidden", 0x401, 30, 12), 42)
            self.assertEqual(wp.msgbox("Probe Box", 10, press="cancel"), b"First line\r\nSecond: \xe9")
            p.wait_output(b"box=2", 5)
            self.assertIsNone(wp.msgbox("Probe Box", 0.2))
            stats = wp.proc_stats(pid)
            self.assertGreater(stats["ws"], 0)
            self.assertIn("handles", stats)
            self.assertTrue(wp.post_quit("Probe Window"))
            self.assertEqual(p.wait(10), 7)
            self.assertTrue(wp.wait_gone("Probe Window", 5))
            self.assertFalse(wp.post_quit("Probe Window"))


if __name__ == "__main__":
    unittest.main()
