"""Running Windows programs in throw-away Wine prefixes, for end-to-end tests.

    from vornwine import WinePrefix, wait_until
    with WinePrefix() as wp:                       # fresh copy of the template
        p = wp.spawn([exe, "/install"])            # a WineProcess, output to files
        pid = wp.find_window("Vorn", timeout=5)    # Windows pid, or None
        wp.reg_query(r"HKCU\\Software\\Vorn", "Server")
        p.wait(10); p.stdout()

Tests that touch the network run under tests/e2e/in-netns.sh (wineserver must
start inside the namespace, and every prefix here starts its own). Running
under it, or under tests/wine/reap.py, also makes teardown ~10x faster.

WINE_ARCH is the build under test: "win32" (the i686 build, 32-bit Wine and
prefixes) or "win64" (the x86_64 build under wine64, for hosts that run no
32-bit x86 code); VORN_WINE_ARCH sets it, else what the host runs. The `wine`
this module runs is tests/wine/bin's, which picks the loader from the program
and the prefix rather than Debian's script.
"""
import hashlib
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
WINE_DIR = HERE.parent / "wine"
NEW_PREFIX = WINE_DIR / "new-prefix.sh"
DROP_PREFIX = WINE_DIR / "drop-prefix.sh"
IN_NETNS = HERE / "in-netns.sh"
WINHELPER_SRC = HERE / "winhelper.cpp"
LOADER_SH = WINE_DIR / "loader.sh"


def _wine_arch():
    arch = os.environ.get("VORN_WINE_ARCH")
    if arch in ("win32", "win64"):
        return arch
    r = subprocess.run(["bash", "-c", '. "$1" && vorn_default_arch', "-", str(LOADER_SH)],
                       stdout=subprocess.PIPE, text=True)
    return r.stdout.strip() or "win32"


WINE_ARCH = _wine_arch()
# Every prefix, helper and child process of this run agrees on the arch.
os.environ["VORN_WINE_ARCH"] = WINE_ARCH
if not os.environ.get("PATH", "").startswith(str(WINE_DIR / "bin") + os.pathsep):
    os.environ["PATH"] = str(WINE_DIR / "bin") + os.pathsep + os.environ.get("PATH", "")
# Helpers run in the prefix of the build under test, so they are built for it.
MINGW_CPU = "i686" if WINE_ARCH == "win32" else "x86_64"
MINGW_CXX = MINGW_CPU + "-w64-mingw32-g++-posix"


# -- deadlines ---------------------------------------------------------------
class Deadline:
    """A point in time `seconds` from now."""

    def __init__(self, seconds):
        self.seconds = seconds
        self.end = time.monotonic() + seconds

    def left(self):
        return max(0.0, self.end - time.monotonic())

    @property
    def expired(self):
        return time.monotonic() >= self.end


def wait_until(pred, timeout, interval=0.02, what=None):
    """Calls pred() until it returns something truthy and returns that; raises
    TimeoutError (naming `what`, and the last value) when timeout runs out."""
    d = Deadline(timeout)
    while True:
        v = pred()
        if v:
            return v
        if d.expired:
            raise TimeoutError("timed out after %.1f s waiting for %s (last: %r)"
                               % (timeout, what or getattr(pred, "__name__", "condition"), v))
        time.sleep(min(interval, d.left()) or interval)


def wait_for_path(path, timeout, gone=False):
    """Waits until path exists (or, with gone=True, no longer exists)."""
    path = Path(path)
    return wait_until(lambda: path.exists() != gone, timeout,
                      what="%s to %s" % (path, "disappear" if gone else "appear"))


def wait_for_emptied_folder(path, timeout):
    """Waits until the removal script's folder is gone or holds nothing.

    The script's last line deletes the script and then removes its folder.
    Windows' cmd opens a running batch file anew for every line, so the
    folder is empty then and goes. Wine's cmd keeps the file open until it
    ends (measured: "Directory is not empty."), so under Wine the folder
    stays, empty."""
    path = Path(path)
    return wait_until(lambda: not path.exists() or not any(path.iterdir()), timeout,
                      what="%s to be emptied" % path)


# -- namespaces --------------------------------------------------------------
def in_netns():
    """True inside tests/e2e/in-netns.sh."""
    return os.environ.get("VORN_NETNS") == "1"


def reexec_in_netns(offline=False):
    """For a test script's __main__: runs this same command again inside
    in-netns.sh unless already there. Does not return when it re-executes."""
    if in_netns():
        return
    env = dict(os.environ)
    if offline:
        env["VORN_OFFLINE"] = "1"
    os.execve(str(IN_NETNS), [str(IN_NETNS), sys.executable] + sys.argv, env)


# -- the helper program ------------------------------------------------------
def winhelper_path():
    """winhelper.exe: $VORN_WINHELPER if set, otherwise built from winhelper.cpp
    into a cache keyed by the source's hash (a few seconds, once)."""
    env = os.environ.get("VORN_WINHELPER")
    if env:
        return Path(env)
    src = WINHELPER_SRC.read_bytes()
    tag = hashlib.sha256(src + MINGW_CXX.encode()).hexdigest()[:12]
    cache = Path(tempfile.gettempdir()) / ("vorn-winhelper-%d" % os.getuid())
    exe = cache / ("winhelper-%s.exe" % tag)
    if not exe.exists():
        cache.mkdir(parents=True, exist_ok=True)
        tmp = cache / ("build-%d.exe" % os.getpid())
        subprocess.run([MINGW_CXX, "-static", "-Os", "-s", str(WINHELPER_SRC), "-o", str(tmp),
                        "-luser32", "-lpsapi"], check=True)
        os.replace(tmp, exe)
    return exe


# -- processes ---------------------------------------------------------------
class WineProcess:
    """A wine process started by WinePrefix.spawn; stdout/stderr go to files."""

    def __init__(self, popen, args, out_path, err_path):
        self.popen = popen
        self.args = args
        self.out_path = out_path
        self.err_path = err_path

    @property
    def pid(self):
        """Linux pid of the wine process (not the Windows pid)."""
        return self.popen.pid

    def poll(self):
        return self.popen.poll()

    @property
    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """Exit code (Windows code modulo 256); TimeoutError if still running."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError("%s still running after %.1f s" % (self.args, timeout)) from None

    def kill(self):
        """SIGKILL, like TerminateProcess."""
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()

    def stdout(self):
        return self.out_path.read_bytes()

    def stderr(self):
        return self.err_path.read_bytes()

    def wait_output(self, needle, timeout):
        """Waits until stdout contains needle (bytes or str); returns stdout."""
        if isinstance(needle, str):
            needle = needle.encode()
        return wait_until(lambda: needle in self.stdout() and self.stdout(), timeout,
                          what="%r in the output of %s" % (needle, self.args))


_REG_LINE = re.compile(r"^    (.*?)    (REG_[A-Z_0-9]+)(?:    (.*))?$")


class WinePrefix:
    """A fresh Wine prefix copied from the cached template, deleted on close().
    It plays Windows XP until set_windows_version says otherwise.

    keep=True (or VORN_KEEP_PREFIX=1) keeps the directory for a post-mortem.
    persistent=True starts `wineserver -p` so each later wine start takes
    ~0.05 s instead of ~0.5 s.
    """

    def __init__(self, keep=None, persistent=True, debug=None):
        if keep is None:
            keep = os.environ.get("VORN_KEEP_PREFIX") == "1"
        self.keep = keep
        self.debug = debug
        out = subprocess.run([str(NEW_PREFIX)], stdout=subprocess.PIPE)
        if out.returncode != 0:
            raise RuntimeError("no %s Wine prefix: tests/wine/new-prefix.sh failed (exit code %d)"
                               % (WINE_ARCH, out.returncode))
        self.path = Path(out.stdout.decode().strip())
        self.logs = Path(tempfile.mkdtemp(prefix="vorn-logs."))
        self._procs = []
        self._seq = 0
        self._closed = False
        # Windows XP, where Vorn is the classic monitor started from StartUp,
        # rather than Wine's own Windows 7, where it is a service: tests of
        # Vista and later say so with set_windows_version. Written before any
        # Wine process reads the registry.
        with open(self.path / "user.reg", "a") as reg:
            reg.write('\n[Software\\\\Wine] 1796832560\n"Version"="winxp"\n')
        if persistent:
            subprocess.run(["wineserver", "-p"], env=self.env(), check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    # -- paths -------------------------------------------------------------
    @property
    def drive_c(self):
        return self.path / "drive_c"

    @property
    def user(self):
        return pwd.getpwuid(os.getuid()).pw_name

    @property
    def user_dir(self):
        return self.drive_c / "users" / self.user

    @property
    def program_files(self):
        return self.drive_c / "Program Files"

    @property
    def common_startup(self):
        return self.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp"

    @property
    def user_startup(self):
        return self.user_dir / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"

    @property
    def windows(self):
        return self.drive_c / "windows"

    def unix_path(self, win):
        """C:\\dir\\file -> <prefix>/drive_c/dir/file, matching each component
        without regard to case as Windows does; Z:\\x -> /x."""
        m = re.match(r"^([A-Za-z]):[\\/]?(.*)$", win)
        if not m:
            raise ValueError("not an absolute Windows path: %r" % win)
        drive, rest = m.group(1).lower(), m.group(2)
        base = self.path / "dosdevices" / (drive + ":")
        base = Path(os.path.realpath(base))
        p = base
        for part in [x for x in re.split(r"[\\/]+", rest) if x]:
            exact = p / part
            if not exact.exists() and p.is_dir():
                low = part.lower()
                for c in p.iterdir():
                    if c.name.lower() == low:
                        exact = c
                        break
            p = exact
        return p

    def win_path(self, unix):
        """A Unix path as Wine names it: C:\\... inside drive_c, Z:\\... elsewhere."""
        unix = Path(os.path.abspath(unix))
        try:
            rel = unix.relative_to(self.drive_c)
            return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(unix).replace("/", "\\")

    # -- running -----------------------------------------------------------
    def env(self, extra=None):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        env["WINEPREFIX"] = str(self.path)
        env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=")
        if self.debug is not None:
            env["WINEDEBUG"] = self.debug
        else:
            env.setdefault("WINEDEBUG", "-all")
        if extra:
            env.update(extra)
        return env

    def run(self, args, timeout=30, env=None, input=None, cwd=None, check=False):
        """Runs `wine args...` until it exits: CompletedProcess with bytes output.

        Output goes through files, not pipes: Wine's background processes
        inherit the handles and would hold a pipe open long after the exit."""
        argv = ["wine"] + [str(a) for a in args]
        with tempfile.TemporaryFile(dir=self.logs) as fo, tempfile.TemporaryFile(dir=self.logs) as fe:
            popen = subprocess.Popen(argv, env=self.env(env), cwd=cwd, stdout=fo, stderr=fe,
                                     stdin=subprocess.PIPE if input is not None else subprocess.DEVNULL)
            if input is not None:
                try:
                    popen.stdin.write(input)
                except BrokenPipeError:
                    pass
                popen.stdin.close()
            try:
                rc = popen.wait(timeout)
            except subprocess.TimeoutExpired:
                popen.kill()
                popen.wait()
                raise TimeoutError("wine %s still running after %.1f s" % (args, timeout)) from None
            fo.seek(0)
            fe.seek(0)
            r = subprocess.CompletedProcess(argv, rc, fo.read(), fe.read())
        if check:
            r.check_returncode()
        return r

    def spawn(self, args, env=None, cwd=None):
        """Starts `wine args...` in the background; killed at close() at the latest."""
        self._seq += 1
        out = self.logs / ("%02d.out" % self._seq)
        err = self.logs / ("%02d.err" % self._seq)
        with open(out, "wb") as fo, open(err, "wb") as fe:
            popen = subprocess.Popen(["wine"] + [str(a) for a in args], env=self.env(env),
                                     stdin=subprocess.DEVNULL, stdout=fo, stderr=fe, cwd=cwd)
        p = WineProcess(popen, args, out, err)
        self._procs.append(p)
        return p

    def processes(self):
        """[(Linux pid, argv)] of the prefix's Wine processes, Wine's own
        services included; argv[0] is the Windows path of the image, e.g.
        C:\\windows\\system32\\cmd.exe. Found by WINEPREFIX in their environment."""
        tag = ("WINEPREFIX=%s" % self.path).encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                exe = os.readlink("/proc/%s/exe" % pid)
                if not re.search(r"/wine(64)?(-preloader)?$", exe):
                    continue
                if tag not in Path("/proc/%s/environ" % pid).read_bytes().split(b"\0"):
                    continue
                argv = Path("/proc/%s/cmdline" % pid).read_bytes().rstrip(b"\0").split(b"\0")
            except OSError:
                continue
            found.append((int(pid), [a.decode("utf-8", "replace") for a in argv]))
        return found

    def wineserver(self, *args):
        return subprocess.run(["wineserver"] + list(args), env=self.env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def kill_all(self):
        """Ends every process of the prefix (wineserver -k); the prefix stays."""
        self.wineserver("-k")
        self.wineserver("-w")
        for p in self._procs:
            p.kill()

    def close(self):
        if self._closed:
            return
        self._closed = True
        for p in self._procs:
            if p.running:
                try:
                    p.popen.send_signal(signal.SIGKILL)
                except ProcessLookupError:
                    pass
        if self.keep:
            self.wineserver("-k")
            print("vornwine: prefix kept at %s, logs in %s" % (self.path, self.logs), file=sys.stderr)
        else:
            subprocess.run([str(DROP_PREFIX), str(self.path)])
            shutil.rmtree(self.logs, ignore_errors=True)
        for p in self._procs:
            try:
                p.popen.wait(5)
            except subprocess.TimeoutExpired:
                pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- registry ----------------------------------------------------------
    def reg_query(self, key, value=None):
        """One value's data (str; REG_DWORD as int) or, without value, a dict
        name -> (type, data) of the key's values. None if absent."""
        args = ["reg", "query", key] + (["/v", value] if value is not None else [])
        r = self.run(args)
        if r.returncode != 0:
            return None
        values = {}
        for line in r.stdout.decode("utf-8", "replace").splitlines():
            m = _REG_LINE.match(line.rstrip("\r"))
            if m:
                name, typ, data = m.group(1), m.group(2), m.group(3) or ""
                if typ in ("REG_DWORD", "REG_QWORD"):
                    data = int(data, 16)
                values[name] = (typ, data)
        if value is None:
            return values
        want = "(Default)" if value == "" else value
        for name, (_typ, data) in values.items():
            if name.lower() == want.lower():
                return data
        return None

    def reg_add(self, key, value=None, data=None, type="REG_SZ"):
        """Creates key, and sets value (None: the default value) when data is given."""
        args = ["reg", "add", key, "/f"]
        if data is not None:
            args += (["/v", value] if value is not None else ["/ve"]) + ["/t", type, "/d", str(data)]
        r = self.run(args)
        if r.returncode != 0:
            raise RuntimeError("reg add %s failed: %s" % (key, r.stdout + r.stderr))

    def reg_delete(self, key, value=None):
        """Deletes a value, or the whole key; True if it was there."""
        args = ["reg", "delete", key, "/f"] + (["/v", value] if value is not None else [])
        return self.run(args).returncode == 0

    def service_config(self, name):
        """The service's configuration and state as the service manager keeps
        them ({"path": ..., "account": ..., "start": "2", "state": "4", ...}),
        or None when there is no such service."""
        r = self.helper("service-config", name)
        if r.returncode != 0:
            return None
        lines = r.stdout.decode("latin-1").splitlines()
        return dict(line.split("=", 1) for line in lines if "=" in line)

    def set_windows_version(self, version):
        """The Windows version Wine reports to programs started from now on
        ("win98", "nt40", "win2k", "winxp", "win7", "win10", ...)."""
        self.reg_add(r"HKCU\Software\Wine", "Version", version)

    # -- windows (through winhelper.exe) -------------------------------------
    def helper(self, *args, timeout=60):
        return self.run([winhelper_path()] + [str(a) for a in args], timeout=timeout)

    def find_window(self, title, timeout=0.0):
        """Windows pid owning a window with that title, or None."""
        r = self.helper("find-window", title, int(timeout * 1000), timeout=timeout + 30)
        return int(r.stdout) if r.returncode == 0 else None

    def post_quit(self, title, timeout=0.0):
        return self.helper("post-quit", title, int(timeout * 1000), timeout=timeout + 30).returncode == 0

    def post(self, title, msg, wparam=0, lparam=0):
        return self.helper("post", title, msg, wparam, lparam).returncode == 0

    def send(self, title, msg, wparam=0, lparam=0):
        """SendMessage result (int), or None if no window / no answer in 5 s."""
        r = self.helper("send", title, msg, wparam, lparam)
        return int(r.stdout) if r.returncode == 0 else None

    def wait_gone(self, title, timeout):
        return self.helper("wait-gone", title, int(timeout * 1000), timeout=timeout + 30).returncode == 0

    def msgbox(self, caption, timeout, press=None):
        """Exact bytes of a message box's text (None if none came), pressing
        `press` ("ok", "cancel", ..., or a control id) afterwards."""
        args = ["msgbox", caption, int(timeout * 1000)] + ([press] if press else []) + ["--hex"]
        r = self.helper(*args, timeout=timeout + 30)
        return bytes.fromhex(r.stdout.decode().strip()) if r.returncode == 0 else None

    def answer_box(self, proc, caption, timeout=30):
        """The text of the message box `caption` that proc shows, pressing OK;
        AssertionError with proc's exit code and stderr when none comes."""
        text = self.msgbox(caption, timeout=timeout, press="ok")
        if text is None:
            raise AssertionError("no %r box (exit code %r); stderr: %r"
                                 % (caption, proc.poll(), proc.stderr()[-2000:]))
        return text

    def count_windows(self, title):
        return int(self.helper("count-windows", title).stdout)

    def proc_stats(self, win_pid):
        """{"handles": N, "ws": bytes} of a Windows pid, or None."""
        r = self.helper("proc-stats", win_pid)
        if r.returncode != 0:
            return None
        return {k: int(v) for k, v in (f.split("=") for f in r.stdout.decode().split())}

    def gui_stats(self, win_pid):
        """{"gdi": N, "user": N} of a Windows pid, or None."""
        r = self.helper("gui-stats", win_pid)
        if r.returncode != 0:
            return None
        return {k: int(v) for k, v in (f.split("=") for f in r.stdout.decode().split())}
