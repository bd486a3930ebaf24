#!/usr/bin/env python3
"""pecheck.py FILE.exe: what a PE file is and holds, as JSON.

Machine, PE32/PE32+, subsystem, imported DLLs and functions, the resources
(with the icon groups, VERSIONINFO strings and manifest decoded). Pure Python,
so tests can check the built program without running it. Also usable as a
module: inspect(path) -> dict.
"""
import json
import struct
import sys

MACHINES = {0x14C: "i386", 0x8664: "amd64", 0x1C0: "arm", 0xAA64: "arm64"}
SUBSYSTEMS = {1: "native", 2: "gui", 3: "console", 9: "windows_ce_gui", 10: "efi_application"}
RT_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
            6: "RT_STRING", 7: "RT_FONTDIR", 8: "RT_FONT", 9: "RT_ACCELERATOR", 10: "RT_RCDATA",
            11: "RT_MESSAGETABLE", 12: "RT_GROUP_CURSOR", 14: "RT_GROUP_ICON", 16: "RT_VERSION",
            17: "RT_DLGINCLUDE", 19: "RT_PLUGPLAY", 20: "RT_VXD", 21: "RT_ANICURSOR",
            22: "RT_ANIICON", 23: "RT_HTML", 24: "RT_MANIFEST"}
DLL_CHARACTERISTICS = {0x20: "HIGH_ENTROPY_VA", 0x40: "DYNAMIC_BASE", 0x100: "NX_COMPAT",
                       0x400: "NO_SEH", 0x1000: "APPCONTAINER", 0x4000: "GUARD_CF",
                       0x8000: "TERMINAL_SERVER_AWARE"}
CHARACTERISTICS = {0x1: "RELOCS_STRIPPED", 0x2: "EXECUTABLE_IMAGE", 0x20: "LARGE_ADDRESS_AWARE",
                   0x100: "32BIT_MACHINE", 0x200: "DEBUG_STRIPPED", 0x2000: "DLL"}


class PEError(ValueError):
    pass


def _flags(value, names):
    return [n for bit, n in sorted(names.items()) if value & bit]


class _PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ header")
        (lfanew,) = struct.unpack_from("<I", data, 0x3C)
        if data[lfanew:lfanew + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        coff = lfanew + 4
        (self.machine, nsect, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        opt = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, opt)
        if self.magic == 0x10B:
            self.format = "PE32"
            self.entry, = struct.unpack_from("<I", data, opt + 16)
            self.image_base, = struct.unpack_from("<I", data, opt + 28)
            dd = opt + 96
        elif self.magic == 0x20B:
            self.format = "PE32+"
            self.entry, = struct.unpack_from("<I", data, opt + 16)
            self.image_base, = struct.unpack_from("<Q", data, opt + 24)
            dd = opt + 112
        else:
            raise PEError("unknown optional header magic 0x%x" % self.magic)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        (ndirs,) = struct.unpack_from("<I", data, dd - 4)
        self.dirs = [struct.unpack_from("<II", data, dd + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        sect = opt + opt_size
        for i in range(nsect):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, sect + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va, max(vsize, rsize), raw, rsize))

    def off(self, rva):
        for _name, va, size, raw, rsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rsize:
                    raise PEError("RVA 0x%x is in uninitialised data" % rva)
                return raw + rva - va
        raise PEError("RVA 0x%x outside every section" % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")

    def directory(self, index):
        if index < len(self.dirs) and self.dirs[index][0]:
            return self.dirs[index]
        return None

    # -- imports ---------------------------------------------------------------
    def _thunks(self, rva):
        out = []
        o = self.off(rva)
        wide = self.format == "PE32+"
        step, fmt, flag = (8, "<Q", 1 << 63) if wide else (4, "<I", 1 << 31)
        while True:
            (t,) = struct.unpack_from(fmt, self.data, o)
            if not t:
                return out
            out.append("#%d" % (t & 0xFFFF) if t & flag else self.cstr((t & 0x7FFFFFFF) + 2))
            o += step

    def imports(self):
        d = self.directory(1)
        result = {}
        if not d:
            return result
        o = self.off(d[0])
        while True:
            oft, _, _, name, ft = struct.unpack_from("<IIIII", self.data, o)
            if not name:
                return result
            result[self.cstr(name)] = self._thunks(oft or ft)
            o += 20

    def delay_imports(self):
        d = self.directory(13)
        result = {}
        if not d:
            return result
        o = self.off(d[0])
        while True:
            attrs, name, _, _, int_rva = struct.unpack_from("<IIIII", self.data, o)[:5]
            if not name:
                return result
            base = 0 if attrs & 1 else self.image_base  # old records hold VAs
            result[self.cstr(name - base)] = self._thunks(int_rva - base) if int_rva else []
            o += 32

    # -- resources -------------------------------------------------------------
    def resources(self):
        d = self.directory(2)
        if not d:
            return []
        base = self.off(d[0])
        out = []

        def entry_name(v):
            if v & 0x80000000:
                o = base + (v & 0x7FFFFFFF)
                (n,) = struct.unpack_from("<H", self.data, o)
                return self.data[o + 2:o + 2 + 2 * n].decode("utf-16-le")
            return v

        def walk(o, path):
            named, ids = struct.unpack_from("<HH", self.data, o + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, o + 16 + 8 * i)
                p = path + [entry_name(name)]
                if target & 0x80000000:
                    if len(p) < 3:
                        walk(base + (target & 0x7FFFFFFF), p)
                else:
                    rva, size = struct.unpack_from("<II", self.data, base + target)
                    out.append((p, self.data[self.off(rva):self.off(rva) + size]))

        walk(base, [])
        return out


def _align4(n):
    return (n + 3) & ~3


def _version_block(data, o):
    """One VERSIONINFO block: (key, value, children, end)."""
    length, vlen, vtype = struct.unpack_from("<HHH", data, o)
    end = o + length
    k = o + 6
    kend = k
    while data[kend:kend + 2] != b"\0\0":
        kend += 2
    key = data[k:kend].decode("utf-16-le")
    p = _align4(kend + 2)
    if vtype == 1:      # text, vlen in WCHARs (often counting the NUL)
        raw = data[p:p + 2 * vlen]
        value = raw.decode("utf-16-le").split("\0", 1)[0]
        p += 2 * vlen
    else:
        value = data[p:p + vlen]
        p += vlen
    p = _align4(p)
    children = []
    while p < end:
        child = _version_block(data, p)
        children.append(child[:3])
        if child[3] <= p:
            break
        p = _align4(child[3])
    return key, value, children, end


def parse_version(data):
    key, fixed, children, _ = _version_block(data, 0)
    if key != "VS_VERSION_INFO":
        raise PEError("bad VERSIONINFO key %r" % key)
    out = {"fixed": None, "strings": {}, "translations": []}
    if len(fixed) >= 52:
        f = struct.unpack_from("<13I", fixed)
        if f[0] == 0xFEEF04BD:
            ver = lambda hi, lo: "%d.%d.%d.%d" % (hi >> 16, hi & 0xFFFF, lo >> 16, lo & 0xFFFF)
            out["fixed"] = {"file_version": ver(f[2], f[3]), "product_version": ver(f[4], f[5]),
                            "file_flags": f[7] & f[6], "file_os": f[8], "file_type": f[9]}
    for ckey, _v, sub in children:
        if ckey == "StringFileInfo":
            for table, _tv, strings in sub:
                out["strings"][table] = {k: v for k, v, _ in strings}
        elif ckey == "VarFileInfo":
            for vkey, value, _ in sub:
                if vkey == "Translation":
                    out["translations"] += [list(struct.unpack_from("<HH", value, i))
                                            for i in range(0, len(value) - 3, 4)]
    return out


def parse_group_icon(data):
    _, typ, count = struct.unpack_from("<HHH", data)
    icons = []
    for i in range(count):
        w, h, colors, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        icons.append({"width": w or 256, "height": h or 256, "bits": bits, "bytes": size, "id": ident})
    return icons


def parse_message_table(data):
    """{id: text} of an RT_MESSAGETABLE (MESSAGE_RESOURCE_DATA: blocks of
    consecutive ids, each entry a length, flags (1: UTF-16) and the text)."""
    messages = {}
    (blocks,) = struct.unpack_from("<I", data)
    for b in range(blocks):
        low, high, offset = struct.unpack_from("<III", data, 4 + 12 * b)
        for ident in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", data, offset)
            raw = data[offset + 4:offset + length]
            text = raw.decode("utf-16-le" if flags & 1 else "cp1252")
            messages[ident] = text.rstrip("\0")
            offset += length
    return messages


def inspect(path):
    with open(path, "rb") as f:
        pe = _PE(f.read())
    imports = pe.imports()
    delay = pe.delay_imports()
    res = pe.resources()
    info = {
        "file": str(path),
        "machine": MACHINES.get(pe.machine, "0x%x" % pe.machine),
        "format": pe.format,
        "subsystem": SUBSYSTEMS.get(pe.subsystem, pe.subsystem),
        "timestamp": pe.timestamp,
        "characteristics": _flags(pe.characteristics, CHARACTERISTICS),
        "dll_characteristics": _flags(pe.dll_characteristics, DLL_CHARACTERISTICS),
        "image_base": pe.image_base,
        "sections": [s[0] for s in pe.sections],
        "dlls": sorted(imports, key=str.lower),
        "imports": imports,
        "delay_dlls": sorted(delay, key=str.lower),
        "resources": [],
        "icon_groups": {},
        "has_mainicon": False,
        "version": None,
        "manifest": None,
        "messages": None,
    }
    for (rtype, name, lang), data in res:
        tname = RT_NAMES.get(rtype, rtype)
        info["resources"].append({"type": tname, "name": name, "lang": lang, "size": len(data)})
        if rtype == 14:
            info["icon_groups"][str(name)] = parse_group_icon(data)
            if isinstance(name, str) and name.upper() == "MAINICON":
                info["has_mainicon"] = True
        elif rtype == 16 and info["version"] is None:
            info["version"] = parse_version(data)
        elif rtype == 11 and info["messages"] is None:
            info["messages"] = {str(k): v for k, v in parse_message_table(data).items()}
        elif rtype == 24 and info["manifest"] is None:
            info["manifest"] = {"id": name, "text": data.decode("utf-8", "replace")}
    return info


def main(argv):
    if len(argv) != 1:
        print("usage: pecheck.py FILE", file=sys.stderr)
        return 2
    try:
        info = inspect(argv[0])
    except (OSError, PEError, struct.error, ValueError) as e:
        print(json.dumps({"file": argv[0], "error": str(e)}))
        return 1
    print(json.dumps(info, indent=1, sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
