#!/usr/bin/env python3
"""What tools/setup.sh decides on hosts whose package lists are partly broken,
run against stand-ins for apt-get, apt-cache, dpkg, dpkg-query, id and uname
on a PATH of the test's own (the machine's packages are never touched), with
the 32-bit probe's answer given in VORN_HOST_I386."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
SETUP_SH = ROOT / "tools" / "setup.sh"
LOADER_SH = ROOT / "tests" / "wine" / "loader.sh"

# The real tools setup.sh and loader.sh may use; nothing else is on the PATH,
# so a forgotten stand-in shows as "command not found", never as a real apt-get.
REAL_TOOLS = ["bash", "env", "dirname", "mktemp", "chmod", "rm", "cat", "grep", "sed",
              "awk", "head", "tail", "tr", "od"]

STANDIN = r'''#!PYTHON -IS
import json, os, sys
here = os.path.dirname(os.path.abspath(__file__))
name, args = os.path.basename(sys.argv[0]), sys.argv[1:]
with open(os.path.join(here, "scenario.json")) as f:
    sc = json.load(f)
with open(os.path.join(here, "calls.jsonl"), "a") as f:
    f.write(json.dumps([name] + args) + "\n")
state = os.path.join(here, "missing.json")
with open(state) as f:
    missing = set(json.load(f))
if name == "id":
    print(0)
elif name == "uname":
    print("x86_64")
elif name == "dpkg":
    if args == ["--print-architecture"]:
        print("amd64")
    elif args == ["--print-foreign-architectures"]:
        print("".join(a + "\n" for a in sc.get("foreign", ["i386"])), end="")
elif name == "dpkg-query":
    if args[-1] not in missing:
        print("install ok installed", end="")
    else:
        sys.exit("dpkg-query: no packages found matching " + args[-1])
elif name == "apt-cache":
    print(sc.get("policy", ""), end="")
elif name == "apt-get":
    words = [a for i, a in enumerate(args) if not a.startswith("-") and args[i - 1] not in ("-o", "-t")]
    target = args[args.index("-t") + 1] if "-t" in args else None
    if words[0] == "update":
        print(sc["update"]["out"], end="")
        sys.exit(sc["update"]["rc"])
    packages = words[1:]
    for rule in sc.get("install", []):
        if rule.get("with", packages[0]) in packages and rule.get("target", target) == target:
            print(rule["out"], end="")
            sys.exit(rule["rc"])
    with open(state, "w") as f:
        json.dump(sorted(missing - set(packages)), f)
'''

LISTS_OK = "Hit:1 http://packages.example/debian bookworm InRelease\nReading package lists...\n"
ONE_LIST_FAILS = textwrap.dedent("""\
    Get:3 http://packages.example/debian-security bookworm-security InRelease [34.8 kB]
    Err:9 http://packages.example/debian-security bookworm-security/main i386 Packages
      File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.80 80]
    Reading package lists...
    E: Failed to fetch http://packages.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.80 80]
       Hashes of expected file:
        - Filesize:376004 [weak]
    E: Some index files failed to download. They have been ignored, or old ones used instead.
    """)
NO_LIST = textwrap.dedent("""\
    Err:1 http://packages.example/debian bookworm InRelease
      Temporary failure resolving 'packages.example'
    Reading package lists...
    W: Failed to fetch http://packages.example/debian/dists/bookworm/InRelease  Temporary failure resolving 'packages.example'
    W: Some index files failed to download. They have been ignored, or old ones used instead.
    """)
UNMET = textwrap.dedent("""\
    Some packages could not be installed. This may mean that you have
    requested an impossible situation.
    The following packages have unmet dependencies:
     {0}
     zlib1g : Breaks: zlib1g:i386 (!= 1:1.2.13.dfsg-1+deb12u1) but 1:1.2.13.dfsg-1 is to be installed
    E: Unable to correct problems, you have held broken packages.
    """)
MISMATCH = UNMET.format("libxml2:i386 : Depends: liblzma5:i386 (>= 5.1.1alpha+20120614) but it is not going to be installed")
NO_WINE32 = UNMET.format("wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed")
POLICY = textwrap.dedent("""\
    base-files:
      Installed: 12.4+deb12u11
      Candidate: 12.4+deb12u15
      Version table:
         12.4+deb12u15 500
            500 http://packages.example/debian-security bookworm-security/main amd64 Packages
     *** 12.4+deb12u11 500
            500 http://packages.example/debian bookworm/main amd64 Packages
            100 /var/lib/dpkg/status
    """)


class Setup(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vorn-setup-test."))
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.bin = self.dir / "bin"
        self.bin.mkdir()
        for tool in REAL_TOOLS:
            os.symlink(shutil.which(tool), self.bin / tool)
        script = STANDIN.replace("PYTHON", sys.executable)
        for name in ("apt-get", "apt-cache", "dpkg", "dpkg-query", "id", "uname"):
            (self.bin / name).write_text(script)
            (self.bin / name).chmod(0o755)

    def run_setup(self, scenario, missing, env=()):
        (self.bin / "scenario.json").write_text(json.dumps(scenario))
        (self.bin / "missing.json").write_text(json.dumps(missing))
        (self.bin / "calls.jsonl").write_text("")
        run_env = {"PATH": str(self.bin), "TMPDIR": str(self.dir), "VORN_HOST_I386": "1"}
        run_env.update(env)
        r = subprocess.run([str(SETUP_SH)], env=run_env, capture_output=True, text=True, timeout=60)
        calls = [json.loads(line) for line in (self.bin / "calls.jsonl").read_text().splitlines()]
        left = set(json.loads((self.bin / "missing.json").read_text()))
        return r, calls, set(missing) - left

    def test_decisions(self):
        update_fails = {"rc": 100, "out": ONE_LIST_FAILS}
        cases = [
            # name, scenario, missing packages, env, exit code, lines that must be printed,
            # apt-get install calls (packages, -t), packages installed after
            ("everything installed", {"update": {"rc": 0, "out": LISTS_OK}},
             [], {}, 0, ["already installed"], None, set()),
            ("one list fails to update, the install works",
             {"update": update_fails, "foreign": []},
             ["faketime"], {}, 0,
             ["apt-get update could not fetch http://packages.example/debian-security/dists/"
              "bookworm-security/main/binary-i386/Packages.xz (File has unexpected size "
              "(374820 != 376004). Mirror sync in progress?); installing from the package lists at hand",
              "installed 1 package(s): faketime"],
             [(["faketime"], None)], {"faketime"}),
            ("multi-arch mismatch, then the base release",
             {"update": update_fails, "policy": POLICY,
              "install": [{"target": None, "rc": 100, "out": MISMATCH}]},
             ["faketime", "wine32:i386"], {}, 0,
             ["installed from bookworm (apt-get -t bookworm)",
              "installed 2 package(s): faketime wine32:i386"],
             [(["faketime", "wine32:i386"], None), (["faketime", "wine32:i386"], "bookworm")],
             {"faketime", "wine32:i386"}),
            ("no 32-bit Wine: the x86_64 way",
             {"update": update_fails, "policy": POLICY,
              "install": [{"with": "wine32:i386", "rc": 100, "out": NO_WINE32}]},
             ["faketime", "wine32:i386"], {}, 0,
             ["32-bit Wine cannot be installed (wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) "
              "but it is not going to be installed (and 1 more)): "
              "the Windows tests take the x86_64 way, under wine64",
              "installed 1 package(s): faketime"],
             [(["faketime", "wine32:i386"], None), (["faketime", "wine32:i386"], "bookworm"),
              (["faketime"], None)],
             {"faketime"}),
            ("no 32-bit Wine where it was asked for",
             {"update": {"rc": 0, "out": LISTS_OK}, "policy": POLICY,
              "install": [{"with": "wine32:i386", "rc": 100, "out": NO_WINE32}]},
             ["wine32:i386"], {"VORN_WINE_ARCH": "win32"}, 1,
             ["cannot install wine32:i386: wine32:i386 : Depends: libwine:i386"],
             [(["wine32:i386"], None), (["wine32:i386"], "bookworm")], set()),
            ("nothing installable",
             {"update": {"rc": 100, "out": NO_LIST},
              "install": [{"rc": 100, "out": "Reading package lists...\nE: Unable to locate package cmake\n"
                                            "E: Unable to locate package faketime\n"}]},
             ["cmake", "faketime", "wine32:i386"], {}, 1,
             ["apt-get update could not fetch http://packages.example/debian/dists/bookworm/InRelease "
              "(Temporary failure resolving 'packages.example'); installing from the package lists at hand",
              "cannot install cmake faketime wine32:i386: Unable to locate package cmake; "
              "apt-get update had failed, see above"],
             [(["cmake", "faketime", "wine32:i386"], None), (["cmake", "faketime"], None)], set()),
        ]
        for name, scenario, missing, env, code, lines, installs, added in cases:
            with self.subTest(name):
                r, calls, installed = self.run_setup(scenario, missing, env)
                printed = r.stdout + r.stderr
                self.assertEqual(r.returncode, code, printed)
                for line in lines:
                    self.assertIn(line, printed)
                self.assertNotIn("Traceback", printed)
                self.assertNotIn("command not found", printed)
                self.assertEqual(installed, added)
                apt = [c[1:] for c in calls if c[0] == "apt-get"]
                if installs is None:
                    self.assertEqual(apt, [])
                    continue
                self.assertIn("update", apt[0])
                got = [([a for i, a in enumerate(c) if not a.startswith("-") and c[i - 1] not in ("-o", "-t")][1:],
                        c[c.index("-t") + 1] if "-t" in c else None) for c in apt[1:]]
                self.assertEqual(got, installs)
                # One line says why the Windows tests take the x86_64 way, at most.
                self.assertLessEqual(printed.count("x86_64 way"), 1)
                if code:
                    self.assertIn("apt-get's output: ", r.stderr)
                if "foreign" in scenario:
                    self.assertIn(["dpkg", "--add-architecture", "i386"], calls)

    def test_readme_commands_follow_the_wine_there_is(self):
        # tools/demo.sh and tools/test.sh take the arch from vorn_default_arch
        # after setup.sh, and print vorn_win64_reason when it is win64.
        lib = self.dir / "wine"
        lib.mkdir()
        (lib / "wine64").write_text("")
        (lib / "wine64").chmod(0o755)
        rows = [
            # host runs i386, 32-bit loader installed, VORN_WINE_ARCH -> arch, reason
            ("1", True, "", "win32", None),
            ("1", False, "", "win64", "32-bit Wine is not installed (tools/setup.sh could not install wine32:i386)"),
            ("1", True, "win64", "win64", "VORN_WINE_ARCH=win64"),
            ("0", True, "", "win64", "this host runs no 32-bit x86 code"),
        ]
        for i386, wine32, forced, arch, reason in rows:
            with self.subTest(i386=i386, wine32=wine32, forced=forced):
                if wine32:
                    (lib / "wine").write_text("")
                    (lib / "wine").chmod(0o755)
                elif (lib / "wine").exists():
                    (lib / "wine").unlink()
                (self.bin / "scenario.json").write_text("{}")
                (self.bin / "missing.json").write_text("[]")
                env = {"PATH": str(self.bin), "VORN_HOST_I386": i386, "VORN_WINE_LIB": str(lib)}
                if forced:
                    env["VORN_WINE_ARCH"] = forced
                r = subprocess.run(["bash", "-c", '. "$1"; vorn_default_arch; vorn_win64_reason', "-",
                                    str(LOADER_SH)], env=env, capture_output=True, text=True, check=True)
                got_arch, got_reason = r.stdout.splitlines()
                self.assertEqual(got_arch, arch)
                if reason:
                    self.assertEqual(got_reason, reason)


if __name__ == "__main__":
    unittest.main()
