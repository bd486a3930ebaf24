#!/usr/bin/env python3
"""Which Wine loader tests/wine/loader.sh picks: from the program's own PE
header, else from the prefix's arch, never from Debian's `wine` script."""
import os
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

LOADER_SH = Path(__file__).resolve().parent / "loader.sh"


def pe(magic, lfanew=0x80):
    """The first bytes of a PE image: MZ stub, PE signature, COFF header, magic."""
    head = bytearray(lfanew + 26)
    head[0:2] = b"MZ"
    head[0x3C:0x40] = struct.pack("<I", lfanew)
    head[lfanew:lfanew + 4] = b"PE\0\0"
    head[lfanew + 24:lfanew + 26] = struct.pack("<H", magic)
    return bytes(head)


class LoaderChoice(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vorn-loader."))
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.dir)])

    def choose(self, program, prefix_arch=None, winearch=None):
        env = {k: v for k, v in os.environ.items()
               if k not in ("WINEPREFIX", "WINEARCH", "VORN_WINE_ARCH")}
        env["VORN_WINE_ARCH"] = "win32"  # the fallback, where nothing else decides
        if prefix_arch:
            prefix = self.dir / "prefix"
            (prefix / "dosdevices").mkdir(parents=True, exist_ok=True)
            (prefix / "drive_c" / "Vorn").mkdir(parents=True, exist_ok=True)
            if not (prefix / "dosdevices" / "c:").is_symlink():
                os.symlink("../drive_c", prefix / "dosdevices" / "c:")
            (prefix / "system.reg").write_text(
                "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=%s\n"
                % prefix_arch)
            env["WINEPREFIX"] = str(prefix)
        if winearch:
            env["WINEARCH"] = winearch
        r = subprocess.run(["bash", str(LOADER_SH), program], env=env,
                           stdout=subprocess.PIPE, text=True, check=True)
        return r.stdout.split()

    def test_loader_follows_the_program_then_the_prefix(self):
        files = {"pe32.exe": pe(0x10B), "pe32plus.exe": pe(0x20B), "elf": b"\x7fELF\x02\x01\x01",
                 "rom.exe": pe(0x107), "short.exe": b"MZ", "text.exe": b"MZ is not a PE" * 10,
                 "lfanew_past_end.exe": pe(0x20B)[:0x40]}
        for name, data in files.items():
            (self.dir / name).write_bytes(data)
        rows = [
            # program, prefix arch, WINEARCH -> arch
            ("pe32.exe", None, None, "win32"),
            ("pe32plus.exe", None, None, "win64"),
            ("pe32.exe", "win64", None, "win32"),       # the program decides, not the prefix
            ("pe32plus.exe", "win32", "win32", "win64"),
            ("elf", None, None, "win32"),                # not a PE: the fallback
            ("rom.exe", "win64", None, "win64"),         # not a PE32 or PE32+: the prefix
            ("short.exe", "win64", None, "win64"),
            ("text.exe", None, "win64", "win64"),        # no prefix yet: WINEARCH
            ("lfanew_past_end.exe", None, None, "win32"),
            ("reg", "win64", "win32", "win64"),          # a builtin: the prefix's arch
            ("cmd", None, "win64", "win64"),
            ("no-such.exe", None, None, "win32"),
        ]
        for program, prefix_arch, winearch, want in rows:
            with self.subTest(program=program, prefix=prefix_arch, winearch=winearch):
                path = str(self.dir / program) if (self.dir / program).exists() else program
                arch, loader = self.choose(path, prefix_arch, winearch)
                self.assertEqual(arch, want)
                self.assertEqual(loader, "/usr/lib/wine/" + ("wine64" if want == "win64" else "wine"))

    def test_windows_path_is_read_in_the_prefix(self):
        arch, _ = self.choose(r"C:\Vorn\VornMon.exe", prefix_arch="win32")
        self.assertEqual(arch, "win32")  # no such file: the prefix
        (self.dir / "prefix" / "drive_c" / "Vorn" / "VornMon.exe").write_bytes(pe(0x20B))
        arch, _ = self.choose(r"C:\Vorn\VornMon.exe", prefix_arch="win32")
        self.assertEqual(arch, "win64")


if __name__ == "__main__":
    unittest.main()
