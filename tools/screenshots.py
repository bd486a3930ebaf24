#!/usr/bin/env python3
"""Takes the pictures in docs/images/ of what the user sees (the classic boxes
under Windows XP, and those of Windows 10): the real Vorn.exe
in a throwaway Wine prefix whose graphics driver is Wine's X11 driver, on a
private Xvfb display, each picture cropped to its window.

    screenshots.py --exe build/win32/Vorn.exe --out docs/images

Run by tools/screenshots.sh inside tests/e2e/in-netns.sh with VORN_OFFLINE=1,
so the monitor that the install starts has no network at all.

Wine runs in a virtual desktop (HKCU\\Software\\Wine\\Explorer "Desktop") so
that it draws the window frames and captions itself, as Windows does; with no
window manager on the display they would otherwise have none. Wine makes
each window a child X window of the desktop, so xwininfo finds it by its
caption and gives the rectangle to crop, frame included.
"""
import argparse
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from vornwine import WinePrefix, wait_until, winhelper_path  # noqa: E402

SCREEN = (1024, 768)
SETUP = r"C:\Downloads\Vorn.exe"
STARTUP = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp"
SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
MONITOR_TITLE = "Vorn Titlebar"
APPWIZ_TITLE = "Add/Remove Programs"
SERVICE_PROGRAM = r"C:\Program Files\Vorn\VornMon.exe"
ELEVATION_H = ROOT / "src" / "setup" / "elevation.h"
MB_ICONEXCLAMATION = 0x30
WM_CLOSE = 0x0010
WM_NCACTIVATE = 0x0086
# Wine's own Tahoma and Marlett (Debian's fonts-wine). The prefix template is
# made without them, and without Marlett the caption's close button is drawn
# as a letter "r".
WINE_FONTS = Path("/usr/share/wine/fonts")
FONTS = ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf")
T0 = time.monotonic()


def say(text):
    print("[%5.1f s] %s" % (time.monotonic() - T0, text), flush=True)


class Xvfb:
    """A virtual X display on the first free display number."""

    def __init__(self, width, height):
        self.log = tempfile.TemporaryFile(prefix="vorn-xvfb.")
        rfd, wfd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp"],
            pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        os.close(wfd)
        got = b""
        end = time.monotonic() + 15
        try:
            while not got.endswith(b"\n"):
                left = end - time.monotonic()
                ready = select.select([rfd], [], [], max(0.0, left))[0]
                chunk = os.read(rfd, 64) if ready else b""
                if not chunk:
                    self.log.seek(0)
                    said = self.log.read()[-2000:].decode("utf-8", "replace").strip()
                    raise RuntimeError("Xvfb did not start:\n" + said)
                got += chunk
        except BaseException:
            self.close()
            raise
        finally:
            os.close(rfd)
        self.name = ":" + got.decode().strip()

    def close(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class ScreenPrefix(WinePrefix):
    """A throwaway prefix whose every Wine process draws on `display`."""

    def __init__(self, display):
        self.display = display
        super().__init__()

    def env(self, extra=None):
        env = super().env(extra)
        env["DISPLAY"] = self.display
        return env

    def use_x11(self, width, height):
        """Switches the prefix from the template's null driver to X11 with a
        virtual desktop of width x height. The desktop's driver is fixed when
        its first process starts it, so the prefix's processes are ended after
        the change and the server is started again."""
        self.reg_add(r"HKCU\Software\Wine\Drivers", "Graphics", "x11")
        self.reg_add(r"HKCU\Software\Wine\Explorer", "Desktop", "Default")
        self.reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "Default", "%dx%d" % (width, height))
        fonts = self.windows / "Fonts"
        for name in FONTS:
            src = WINE_FONTS / name
            if src.exists() and not (fonts / name).exists():
                shutil.copy(src, fonts / name)
        self.kill_all()
        subprocess.run(["wineserver", "-p"], env=self.env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def window_rect(display, title):
    """(x, y, width, height) of the viewable X window named title, or None."""
    r = subprocess.run(["xwininfo", "-display", display, "-name", title],
                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if r.returncode != 0:
        return None
    info = r.stdout.decode("utf-8", "replace")
    if not re.search(r"Map State:\s*IsViewable", info):
        return None
    field = {}
    for key, pat in (("x", r"Absolute upper-left X:\s*(-?\d+)"),
                     ("y", r"Absolute upper-left Y:\s*(-?\d+)"),
                     ("w", r"Width:\s*(\d+)"), ("h", r"Height:\s*(\d+)")):
        m = re.search(pat, info)
        if not m:
            return None
        field[key] = int(m.group(1))
    # Keep the rectangle on the screen.
    x0, y0 = max(0, field["x"]), max(0, field["y"])
    x1 = min(SCREEN[0], field["x"] + field["w"])
    y1 = min(SCREEN[1], field["y"] + field["h"])
    if x1 <= x0 or y1 <= y0:
        return None
    return x0, y0, x1 - x0, y1 - y0


def grab(display, rect, path):
    x, y, w, h = rect
    # No date chunks: a picture that did not change is the same file.
    # The display goes through DISPLAY: import ignored its -display option.
    subprocess.run(["import", "-silent", "-window", "root",
                    "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-strip",
                    "-define", "png:exclude-chunks=date,time", "PNG24:" + str(path)],
                   check=True, stdin=subprocess.DEVNULL, env=dict(os.environ, DISPLAY=display))


def shoot(wp, title, path, settle=5.0):
    """Crops the window captioned title out of the screen into path, once two
    grabs 0.3 s apart agree (the window has finished painting)."""
    # Wine leaves the caption of a freshly shown window painted inactive when
    # no window manager hands it the X focus, although it is the foreground
    # window; on Windows it is drawn active. Have it painted as it is.
    wp.send(title, WM_NCACTIVATE, 1, 0)
    rect = wait_until(lambda: window_rect(wp.display, title), 10, what="X window %r" % title)
    tmp = Path(tempfile.mkdtemp(prefix="vorn-shot."))
    try:
        prev = None
        end = time.monotonic() + settle
        n = 0
        while True:
            n += 1
            cur = tmp / ("%d.png" % n)
            time.sleep(0.3)
            rect = window_rect(wp.display, title) or rect
            grab(wp.display, rect, cur)
            if prev is not None and cur.read_bytes() == prev.read_bytes():
                break
            if time.monotonic() > end:
                break
            prev = cur
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(cur, path)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    say("%s: %dx%d, %d bytes" % (path, rect[2], rect[3], path.stat().st_size))


def take_box(wp, caption, path, timeout=30, expect=None):
    """Waits for the message box captioned caption, checks its text, takes
    its picture and presses OK."""
    text = wp.msgbox(caption, timeout=timeout)
    if text is None:
        raise RuntimeError("no %r box appeared" % caption)
    if expect is not None and expect not in text:
        raise RuntimeError("the %r box says %r" % (caption, text))
    shoot(wp, caption, path)
    if wp.msgbox(caption, timeout=5, press="ok") is None:
        raise RuntimeError("the %r box went away before OK was pressed" % caption)
    return text


def declined_text():
    """kInstallNeedsRightsText of src/setup/elevation.h, escapes kept as
    they are written there (winhelper turns \\r and \\n into CR and LF)."""
    source = ELEVATION_H.read_text()
    m = re.search(r'kInstallNeedsRightsText\s*=\s*((?:\s*"(?:[^"\\]|\\.)*")+)\s*;', source)
    if not m:
        raise RuntimeError("no kInstallNeedsRightsText in %s" % ELEVATION_H)
    return "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(1)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--exe", required=True, type=Path, help="the Vorn.exe to show")
    ap.add_argument("--out", required=True, type=Path, help="directory for the PNG files")
    args = ap.parse_args()
    exe = args.exe.resolve()
    out = args.out.resolve()
    if not os.environ.get("VORN_WINHELPER") and (exe.parent / "winhelper.exe").exists():
        os.environ["VORN_WINHELPER"] = str(exe.parent / "winhelper.exe")

    display = Xvfb(*SCREEN)
    try:
        say("Xvfb on display %s, %dx%d" % (display.name, *SCREEN))
        with ScreenPrefix(display.name) as wp:
            wp.use_x11(*SCREEN)
            say("Wine prefix %s with the X11 driver" % wp.path)
            run_story(wp, exe, out)
        with ScreenPrefix(display.name) as wp:
            wp.set_windows_version("win10")
            wp.use_x11(*SCREEN)
            say("Wine prefix %s playing Windows 10" % wp.path)
            run_windows10_story(wp, exe, out)
    finally:
        display.close()
    say("pictures in %s" % out)
    return 0


def run_story(wp, exe, out):
    setup = wp.unix_path(SETUP)
    setup.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(exe, setup)
    installed = wp.unix_path(STARTUP) / "VornMon.exe"

    # 1. The install.
    installer = wp.spawn([SETUP])
    take_box(wp, "Installation Status", out / "install.png", expect=b"Successfully Installed")
    installer.wait(30)
    if wp.find_window(MONITOR_TITLE, timeout=20) is None:
        raise RuntimeError("the install started no monitor")

    # 2. Add/Remove Programs with the new entry, if this Wine shows it.
    panel = wp.spawn(["control", "appwiz.cpl"])
    if wp.find_window(APPWIZ_TITLE, timeout=30) is not None:
        shoot(wp, APPWIZ_TITLE, out / "add-remove-programs.png")
        wp.post(APPWIZ_TITLE, WM_CLOSE)
        if not wp.wait_gone(APPWIZ_TITLE, 10):
            say("Add/Remove Programs did not close; it goes with the prefix")
    else:
        say("Wine showed no Add/Remove Programs window; add-remove-programs.png left as it was")
    try:
        panel.wait(10)
    except TimeoutError:
        panel.kill()

    # 3. The removal, as Add/Remove Programs runs it.
    remover = wp.spawn(["uninstaller", "--remove", "Vorn"])
    take_box(wp, "Uninstall Status", out / "uninstall.png", timeout=60)
    remover.wait(60)
    wait_until(lambda: not installed.exists(), 20, what="the installed copy to be deleted")
    script = wp.unix_path(r"C:\windows\VornRemoval\DelAll.bat")
    wait_until(lambda: not script.exists(), 20, what="the removal script to delete itself")

    # 4. An error report: the all-users StartUp folder's registry value has
    # the wrong type.
    wp.reg_add(SHELL_FOLDERS, "Common Startup", 1, type="REG_DWORD")
    installer = wp.spawn([SETUP])
    take_box(wp, "Application Error", out / "error.png", expect=b"Common Startup")
    installer.wait(30)


def run_windows10_story(wp, exe, out):
    """The boxes a Windows 10 user sees: the install as the service, its
    removal, and the box of a declined consent prompt. Wine has no User
    Account Control, so that box is shown by winhelper with the installer's
    caption, text and icon."""
    setup = wp.unix_path(SETUP)
    setup.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(exe, setup)

    installer = wp.spawn([SETUP])
    take_box(wp, "Installation Status", out / "win10-install.png",
             expect=b'service "Vorn"')
    installer.wait(30)
    if not wp.unix_path(SERVICE_PROGRAM).exists():
        raise RuntimeError("the install made no %s" % SERVICE_PROGRAM)

    remover = wp.spawn(["uninstaller", "--remove", "Vorn"])
    take_box(wp, "Uninstall Status", out / "win10-uninstall.png", timeout=60,
             expect=b"Successfully Removed")
    remover.wait(60)

    box = wp.spawn([winhelper_path(), "message-box", "Installation Status", declined_text(),
                    MB_ICONEXCLAMATION])
    take_box(wp, "Installation Status", out / "win10-rights-declined.png",
             expect=b"requires administrator rights")
    box.wait(10)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (RuntimeError, TimeoutError) as e:
        sys.exit("screenshots.py: %s" % e)
