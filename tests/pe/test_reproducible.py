#!/usr/bin/env python3
"""The shipped Vorn.exe is the same bytes from every build of a commit, and
tools/release.sh packs exactly that file with its texts and checksums.

Builds the shipped file a second time from a copy of the sources in another
folder, on another apparent day (faketime), and compares it with the build
under test ($VORN_BIN_DIR, default build/win32); then runs tools/release.sh
and checks the archive it writes."""
import calendar
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
BIN_DIR = Path(os.environ.get("VORN_BIN_DIR") or ROOT / "build" / "win32")
sys.path.insert(0, str(ROOT / "tools"))
import release  # noqa: E402

ARCHIVE_ORDER = ["Vorn.exe", "README.TXT", "LICENSE.TXT", "SHA256SUMS"]


def run(args, **kwargs):
    result = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{args[0]} failed ({result.returncode}):\n{result.stdout[-3000:]}"
                             f"\n{result.stderr[-3000:]}")
    return result.stdout


def tree_is_committed():
    return run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no"]) == ""


class SameBytes(unittest.TestCase):
    def test_another_folder_and_day_build_the_same_file(self):
        # Without another day a date in the file would pass unseen.
        if not shutil.which("faketime"):
            self.fail("faketime is missing, so the second build cannot run on another day "
                      "(tools/setup.sh installs it; Debian package faketime)")
        shipped = (BIN_DIR / "Vorn.exe").read_bytes()
        epoch = (BIN_DIR / "source-date-epoch").read_text().strip()
        with tempfile.TemporaryDirectory(prefix="vorn-again-") as tmp:
            # The sources as they are now, committed or not, under another path.
            src = Path(tmp) / "elsewhere" / "src"
            files = run(["git", "-C", str(ROOT), "ls-files", "-z"]).split("\0")
            for name in filter(None, files):
                if (ROOT / name).is_file():
                    (src / name).parent.mkdir(parents=True, exist_ok=True)
                    shutil.copy2(ROOT / name, src / name)
            build = Path(tmp) / "b"
            env = dict(os.environ, SOURCE_DATE_EPOCH=epoch)
            # Seventeen days and some hours on: a date in the file would show.
            later = ["faketime", "-f", "+17d3h"]
            run(later + ["cmake", "--preset", "win32", "-B", str(build)], cwd=src, env=env)
            run(later + ["cmake", "--build", str(build), "--target", "Vorn"], cwd=src, env=env)
            again = (build / "Vorn.exe").read_bytes()
        self.assertEqual(len(again), len(shipped))
        differ = [i for i in range(len(shipped)) if shipped[i] != again[i]]
        self.assertEqual(differ[:16], [], f"{len(differ)} bytes differ")


class ReleaseArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="vorn-dist-")
        env = dict(os.environ, VORN_DIST=cls.tmp.name)
        env.pop("SOURCE_DATE_EPOCH", None)
        cls.printed = run([str(ROOT / "tools" / "release.sh")], env=env).splitlines()
        cls.zip_path = Path(cls.printed[-2])
        with zipfile.ZipFile(cls.zip_path) as archive:
            cls.infos = archive.infolist()
            cls.files = {info.filename: archive.read(info) for info in cls.infos}

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_archive_holds_the_build_and_says_its_checksum(self):
        self.assertEqual(self.zip_path.parent, Path(self.tmp.name))
        self.assertRegex(self.zip_path.name, r"^Vorn-\d+\.\d+\.\d+\.\d+\.zip$")
        self.assertEqual([i.filename for i in self.infos], ARCHIVE_ORDER)
        exe = self.files["Vorn.exe"]
        self.assertEqual(self.printed[-1], hashlib.sha256(exe).hexdigest() + "  Vorn.exe")
        if not tree_is_committed():
            self.skipTest("uncommitted changes: the release is built from the commit alone")
        commit_time = run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"]).strip()
        self.assertEqual((BIN_DIR / "source-date-epoch").read_text().strip(), commit_time,
                         "the build under test is dated by an older commit: build it again")
        self.assertEqual(exe, (BIN_DIR / "Vorn.exe").read_bytes())

    def test_checksums_cover_the_other_files(self):
        lines = self.files["SHA256SUMS"].decode("ascii").splitlines()
        expected = [hashlib.sha256(self.files[n]).hexdigest() + "  " + n for n in ARCHIVE_ORDER[:3]]
        self.assertEqual(lines, expected)

    def test_texts_open_in_notepad(self):
        for name, columns in (("README.TXT", 76), ("LICENSE.TXT", 80)):
            with self.subTest(name=name):
                data = self.files[name]
                self.assertTrue(data.endswith(b"\r\n"))
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "bare LF")
                self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), "bare CR")
                text = data.decode("ascii")
                self.assertLessEqual(max(len(line) for line in text.split("\r\n")), columns)
        self.assertIn("Copyright (c) 2026 The Vorn authors", self.files["LICENSE.TXT"].decode())

    def test_packing_again_gives_the_same_archive(self):
        # Fresh files with other dates and modes, packed again, must not
        # change a byte: order, dates and attributes come from the packer.
        with tempfile.TemporaryDirectory() as tmp:
            paths = {}
            for name in ARCHIVE_ORDER[:3]:
                paths[name] = Path(tmp) / name
                paths[name].write_bytes(self.files[name])
                paths[name].chmod(0o600)
            stamp = calendar.timegm(self.infos[0].date_time + (0, 0, 0))
            again = Path(tmp) / "again.zip"
            release.pack(paths["Vorn.exe"], paths["README.TXT"], paths["LICENSE.TXT"], stamp, again)
            self.assertEqual(again.read_bytes(), self.zip_path.read_bytes())

    def test_packer_refuses_what_notepad_would_garble(self):
        cases = [("x" * 77 + "\n", "columns"), ("caf\u00e9\n", "ASCII"), ("tab\there\n", "ASCII")]
        for text, why in cases:
            with self.subTest(why=why):
                with self.assertRaises(release.ReleaseError):
                    release.dos_text(text, "README.TXT", 76)
        self.assertEqual(release.dos_text("a\r\nb\n", "x", 76), b"a\r\nb\r\n")


if __name__ == "__main__":
    unittest.main()
