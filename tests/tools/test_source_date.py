#!/usr/bin/env python3
"""How cmake/source-date.cmake dates the shipped files, and that a build it
cannot date says so in one line at configure time."""
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
SOURCE_DATE = ROOT / "cmake" / "source-date.cmake"


class SourceDate(unittest.TestCase):
    def test_date_and_configure_note(self):
        tmp = Path(tempfile.mkdtemp(prefix="vorn-source-date."))
        self.addCleanup(shutil.rmtree, tmp, True)
        repo = tmp / "repo"
        repo.mkdir()
        git = ["git", "-C", str(repo), "-c", "user.name=t", "-c", "user.email=t@t"]
        subprocess.run(git[:3] + ["init", "-q"], check=True)
        subprocess.run(git + ["commit", "-q", "--allow-empty", "-m", "c"], check=True,
                       env=dict(os.environ, GIT_COMMITTER_DATE="@1800000000 +0000"))
        tarball = tmp / "tarball"  # sources without their repository
        tarball.mkdir()
        note = tmp / "note.cmake"
        rows = [
            # sources, SOURCE_DATE_EPOCH -> date, configure note
            (repo, None, "1800000000", False),
            (repo, "1234", "1234", False),
            (tarball, "1234", "1234", False),
            (tarball, None, "0", True),
        ]
        for src, epoch, want, noted in rows:
            with self.subTest(src=src.name, epoch=epoch):
                env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
                env["GIT_CEILING_DIRECTORIES"] = str(tmp)  # no repository above tarball/
                env["LC_ALL"] = "C"  # git says why in English
                if epoch:
                    env["SOURCE_DATE_EPOCH"] = epoch
                out = tmp / "epoch"
                subprocess.run(["cmake", f"-DSOURCE_DIR={src}", f"-DOUT={out}", "-P", str(SOURCE_DATE)],
                               env=env, check=True, capture_output=True)
                self.assertEqual(out.read_text(), want + "\n")
                note.write_text(f'include("{SOURCE_DATE}")\nvorn_source_date_note("{src}")\n')
                r = subprocess.run(["cmake", "-P", str(note)], env=env, check=True,
                                   capture_output=True, text=True)
                said = (r.stdout + r.stderr).strip()
                if noted:
                    self.assertEqual(len(said.splitlines()), 1, said)
                    self.assertIn("dated 0 (1 January 1970)", said)
                    self.assertIn("set SOURCE_DATE_EPOCH", said)
                    self.assertIn("not a git repository", said)
                else:
                    self.assertEqual(said, "")


if __name__ == "__main__":
    unittest.main()
