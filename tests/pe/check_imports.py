#!/usr/bin/env python3
"""check_imports.py --table TABLE EXE...: prove that built executables load on old Windows.

Wine exports every function, so running the program there says nothing about
Windows 98 SE or NT 4.0. This reads each executable's headers and import table
and checks them against the researched table (tests/data/win32_imports.tsv):

  - PE32 for i386, GUI subsystem, MajorOperatingSystemVersion.Minor and
    MajorSubsystemVersion.Minor both 4.0 (newer values make old loaders
    refuse the file);
  - load-time imports only from kernel32, user32, gdi32, advapi32, shell32 and
    msvcrt; delay-load imports only from wininet, rasapi32 and wsock32, which may be
    missing altogether;
  - every imported function has a row in the table (else "not researched yet"),
    is imported by name, and is exported by Windows 98 SE on the 9x line and by
    NT 4.0 SP6a on the NT line. Delay-loaded functions must be in the table
    too, but their versions do not gate: they are resolved at the first call,
    and the program has to cope with their absence anyway.

A function that 9x exports only as a failing stub, and a row whose source does
not reach back to the versions it gives, are reported as warnings; --strict
makes the latter a failure. Exit status: 0 all pass, 1 a check failed,
2 bad arguments or a malformed table.
"""
import argparse
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import pecheck  # noqa: E402  (tests/e2e/pecheck.py: PE parsing shared with the end-to-end tests)

LOAD_TIME_DLLS = ("kernel32", "user32", "gdi32", "advapi32", "shell32", "msvcrt")
DELAY_LOAD_DLLS = ("wininet", "rasapi32", "wsock32")
COLUMNS = ["dll", "function", "win9x", "winnt", "stub9x", "use", "proof", "source", "also", "note"]

WIN9X_ORDER = ["95", "95 OSR2", "98", "98 SE", "ME"]
NT_ORDER = ["3.1", "3.5", "3.51", "4.0", "2000", "XP", "2003", "Vista", "7", "8", "8.1", "10", "11"]
OLDEST_9X = "98 SE"
OLDEST_NT = "4.0 SP6a"


class TableError(ValueError):
    pass


def win9x_key(text):
    """Sort key of a 9x version; None for "none" (never exported)."""
    if text == "none":
        return None
    if text not in WIN9X_ORDER:
        raise TableError("unknown 9x version %r (one of %s, none)" % (text, ", ".join(WIN9X_ORDER)))
    return WIN9X_ORDER.index(text)


def nt_key(text):
    """Sort key of an NT version such as "4.0", "4.0 SP3", "4.0 SP6a"; None for "none"."""
    if text == "none":
        return None
    base, _, sp = text.partition(" SP")
    if base not in NT_ORDER:
        raise TableError("unknown NT version %r" % text)
    level = 0.0
    if sp:
        letter = sp[-1] if sp[-1].isalpha() else ""
        number = sp[:-1] if letter else sp
        if not number.isdigit() or letter not in ("", "a"):
            raise TableError("bad service pack in NT version %r" % text)
        level = int(number) + (0.5 if letter else 0.0)
    return (NT_ORDER.index(base), level)


def dll_key(name):
    name = name.lower()
    return name[:-4] if name.endswith(".dll") else name


class Row:
    def __init__(self, fields, lineno, sources):
        (self.dll, self.function, self.win9x, self.winnt, self.stub9x, self.use,
         self.proof, self.source, also, self.note) = fields
        self.lineno = lineno
        if not self.dll or self.dll != self.dll.lower() or self.dll.endswith(".dll"):
            raise TableError("dll %r must be lower case without .dll" % self.dll)
        if not self.function or self.function == "-":
            raise TableError("empty function name")
        self.win9x_key = win9x_key(self.win9x)
        self.nt_key = nt_key(self.winnt)
        if self.stub9x not in ("stub", "-"):
            raise TableError("stub9x must be 'stub' or '-', not %r" % self.stub9x)
        if self.stub9x == "stub" and self.win9x == "none":
            raise TableError("a stub needs the 9x version that exports it")
        if self.use not in ("load", "on-demand"):
            raise TableError("use must be 'load' or 'on-demand', not %r" % self.use)
        if self.proof not in ("full", "partial", "xp"):
            raise TableError("proof must be full, partial or xp, not %r" % self.proof)
        self.also = [] if also == "-" else [a.strip() for a in also.split(",")]
        for key in [self.source] + self.also:
            if key not in sources:
                raise TableError("source %r is not described in a '# source KEY:' line" % key)

    def too_new(self):
        """Reasons this function keeps the program from loading on the oldest targets."""
        reasons = []
        if self.win9x_key is None:
            reasons.append("no 9x version exports it")
        elif self.win9x_key > win9x_key(OLDEST_9X):
            reasons.append("9x exports it only from %s on" % self.win9x)
        if self.nt_key is None:
            reasons.append("no NT version exports it")
        elif self.nt_key > nt_key(OLDEST_NT):
            reasons.append("NT exports it only from %s on" % self.winnt)
        return reasons


def load_table(path):
    """{(dll, function): Row} from the tab-separated table; raises TableError."""
    sources = {}
    rows = {}
    header_seen = False
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for lineno, line in enumerate(lines, 1):
        if line.startswith("# source "):
            key, sep, text = line[len("# source "):].partition(":")
            if not sep or not key.strip() or not text.strip():
                raise TableError("%s:%d: a source line reads '# source KEY: description'" % (path, lineno))
            sources[key.strip()] = text.strip()
            continue
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if not header_seen:
            if fields != COLUMNS:
                raise TableError("%s:%d: header must be the columns %s" % (path, lineno, " ".join(COLUMNS)))
            header_seen = True
            continue
        if len(fields) != len(COLUMNS):
            raise TableError("%s:%d: %d tab-separated fields, expected %d"
                             % (path, lineno, len(fields), len(COLUMNS)))
        try:
            row = Row(fields, lineno, sources)
        except TableError as e:
            raise TableError("%s:%d: %s" % (path, lineno, e))
        key = (row.dll, row.function)
        if key in rows:
            raise TableError("%s:%d: %s!%s already in line %d"
                             % (path, lineno, row.dll, row.function, rows[key].lineno))
        rows[key] = row
    if not header_seen:
        raise TableError("%s: no header line" % path)
    if not rows:
        raise TableError("%s: no rows" % path)
    return rows, sources


def header_versions(data):
    """(OS major, OS minor, subsystem major, subsystem minor) from the optional header."""
    (lfanew,) = struct.unpack_from("<I", data, 0x3C)
    opt = lfanew + 24
    # Same offsets in PE32 and PE32+: they follow SectionAlignment/FileAlignment.
    os_major, os_minor = struct.unpack_from("<HH", data, opt + 40)
    sub_major, sub_minor = struct.unpack_from("<HH", data, opt + 48)
    return os_major, os_minor, sub_major, sub_minor


def scan_delay_descriptors(pe):
    """Delay-load descriptors found by content, {dll: [function, ...]}.

    GNU ld (2.40 at least) links dlltool's delay-import libraries without
    filling data directory 13, so the descriptors are only found by looking
    for them: 32 bytes of attributes, DLL name, module handle, IAT and name
    table, whose name is a "*.dll" string and whose name table holds names.
    """
    found = {}
    data = pe.data
    image_end = max(va + size for _name, va, size, _raw, _rsize in pe.sections)
    for _name, va, size, raw, rsize in pe.sections:
        for o in range(raw, raw + rsize - 31, 4):
            attrs, name, hmod, iat, int_rva = struct.unpack_from("<5I", data, o)
            if attrs not in (0, 1) or not (name and hmod and iat and int_rva):
                continue
            base = 0 if attrs & 1 else pe.image_base
            if not 0 < hmod - base < image_end:
                continue
            try:
                dll = pe.cstr(name - base)
                if not dll.lower().endswith(".dll") or not all(32 < ord(c) < 127 for c in dll):
                    continue
                pe.off(iat - base)
                functions = pe._thunks(int_rva - base)
            except (pecheck.PEError, struct.error, ValueError):
                continue
            if functions and all(f and all(32 < ord(c) < 127 for c in f) for f in functions):
                found.setdefault(dll, [])
                found[dll] += [f for f in functions if f not in found[dll]]
    return found


class Report:
    def __init__(self, path):
        self.path = path
        self.failures = []
        self.warnings = []

    def fail(self, text):
        self.failures.append(text)

    def warn(self, text):
        self.warnings.append(text)


def describe_versions(row):
    return "9x %s, NT %s" % (row.win9x, row.winnt)


def check_function(report, rows, dll_name, function, delay, strict, settled):
    key = (dll_key(dll_name), function)
    label = "%s!%s" % (dll_name, function)
    if function.startswith("#"):
        report.fail("%s: imported by ordinal; ordinals differ between Windows versions, import by name" % label)
        return
    row = rows.get(key)
    if row is None:
        report.fail("%s: not researched yet; add a row with its source to the table" % label)
        return
    settled[row.source] = settled.get(row.source, 0) + 1
    if delay:
        return
    if row.use == "on-demand":
        report.fail("%s: imported at load time, but the table marks it on-demand (%s)" % (label, row.note))
        return
    reasons = row.too_new()
    if reasons:
        report.fail("%s: missing on the oldest targets (98 SE, NT 4.0 SP6a): %s [%s]"
                    % (label, "; ".join(reasons), ", ".join([row.source] + row.also)))
        return
    if row.stub9x == "stub":
        report.warn("%s: 9x exports only a failing stub, so the call does not work there [%s]"
                    % (label, ", ".join([row.source] + row.also)))
    if row.proof != "full":
        if row.proof == "xp":
            floor = "2000" if "SDKAPI" in [row.source] + row.also else "XP"
            text = ("%s: proven only back to %s (%s); %s believed, not proven"
                    % (label, floor, ", ".join([row.source] + row.also), describe_versions(row)))
        else:
            text = ("%s: %s believed, not stated by its source (%s, proof partial)"
                    % (label, describe_versions(row), row.source))
        if strict:
            report.fail(text)
        else:
            report.warn(text)


def check_file(path, rows, strict):
    report = Report(path)
    summary = {"imports": {}, "delay": {}, "settled": {}}
    try:
        with open(path, "rb") as f:
            data = f.read()
        info = pecheck.inspect(path)
        pe = pecheck._PE(data)
        delay = pe.delay_imports()
        for dll_name, functions in scan_delay_descriptors(pe).items():
            known = next((d for d in delay if d.lower() == dll_name.lower()), dll_name)
            delay[known] = delay.get(known, []) + [f for f in functions if f not in delay.get(known, [])]
        versions = header_versions(data)
    except (OSError, pecheck.PEError, struct.error, ValueError) as e:
        report.fail("cannot read as a PE file: %s" % e)
        return report, summary

    if info["format"] != "PE32" or info["machine"] != "i386":
        report.fail("header: %s for %s, must be PE32 for i386" % (info["format"], info["machine"]))
    if info["subsystem"] != "gui":
        report.fail("header: subsystem %s, must be gui" % info["subsystem"])
    os_major, os_minor, sub_major, sub_minor = versions
    if (os_major, os_minor) != (4, 0):
        report.fail("header: MajorOperatingSystemVersion.Minor is %d.%d, must be 4.0" % (os_major, os_minor))
    if (sub_major, sub_minor) != (4, 0):
        report.fail("header: MajorSubsystemVersion.Minor is %d.%d, must be 4.0 "
                    "(Windows 98 and NT 4.0 refuse newer subsystem versions)" % (sub_major, sub_minor))
    summary["header"] = "%s %s %s, OS %d.%d, subsystem %d.%d" % (
        info["format"], info["machine"], info["subsystem"], os_major, os_minor, sub_major, sub_minor)

    settled = summary["settled"]
    for dll_name in sorted(info["imports"], key=str.lower):
        functions = info["imports"][dll_name]
        summary["imports"][dll_name] = len(functions)
        if dll_key(dll_name) not in LOAD_TIME_DLLS:
            how = ("load it on demand (LoadLibrary/GetProcAddress or a delay-load import)"
                   if dll_key(dll_name) in DELAY_LOAD_DLLS else "it may be missing on old Windows")
            report.fail("%s: imported at load time (%s); only %s may be; %s"
                        % (dll_name, ", ".join(functions), ", ".join(LOAD_TIME_DLLS), how))
            for function in functions:
                if (dll_key(dll_name), function) not in rows:
                    report.fail("%s!%s: not researched yet; add a row with its source to the table"
                                % (dll_name, function))
            continue
        for function in functions:
            check_function(report, rows, dll_name, function, False, strict, settled)

    for dll_name in sorted(delay, key=str.lower):
        functions = delay[dll_name]
        summary["delay"][dll_name] = len(functions)
        if dll_key(dll_name) not in DELAY_LOAD_DLLS:
            report.fail("%s: delay-load import (%s); only %s may be delay-loaded"
                        % (dll_name, ", ".join(functions), ", ".join(DELAY_LOAD_DLLS)))
        for function in functions:
            check_function(report, rows, dll_name, function, True, strict, settled)
    return report, summary


def print_report(report, summary):
    print("== %s" % report.path)
    if "header" in summary:
        print("   %s" % summary["header"])
    for text in report.failures:
        print("FAIL %s" % text)
    for text in report.warnings:
        print("warn %s" % text)
    if summary["imports"]:
        print("   imports: %s" % ", ".join("%s %d" % (dll_key(d).upper(), n)
                                         for d, n in summary["imports"].items()))
    print("   delay-load: %s" % (", ".join("%s %d" % (dll_key(d).upper(), n)
                                           for d, n in summary["delay"].items()) or "none"))
    if summary["settled"]:
        print("   settled by: %s" % ", ".join("%s %d" % (s, n) for s, n in
                                             sorted(summary["settled"].items(), key=lambda kv: (-kv[1], kv[0]))))
    print("   result: %s (%d failures, %d warnings)"
          % ("FAIL" if report.failures else "pass", len(report.failures), len(report.warnings)))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--table", required=True, help="tab-separated table of researched imports")
    parser.add_argument("--strict", action="store_true",
                        help="fail, rather than warn, on rows whose source does not reach the versions given")
    parser.add_argument("executables", nargs="+", metavar="EXE")
    args = parser.parse_args(argv)
    try:
        rows, _sources = load_table(args.table)
    except (OSError, TableError) as e:
        print("check_imports: table: %s" % e, file=sys.stderr)
        return 2
    failed = 0
    for path in args.executables:
        report, summary = check_file(path, rows, args.strict)
        print_report(report, summary)
        failed += bool(report.failures)
    print("%d passed, %d failed" % (len(args.executables) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
