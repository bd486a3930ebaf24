#!/usr/bin/env python3
"""Packs a release archive: Vorn.exe, README.TXT, LICENSE.TXT and SHA256SUMS.

    release.py EXE README LICENSE EPOCH OUT.zip

The texts go in as Notepad reads them: ANSI (here plain ASCII), CR LF line
ends; README.TXT at most 76 columns. The archive is the same bytes for the
same inputs: fixed order, every entry dated EPOCH (the commit's time),
fixed attributes, whatever the files' own dates and modes."""
import hashlib
import sys
import time
import zipfile
from pathlib import Path

README_COLUMNS = 76
# In the order a user reads them, the checksums last as they cover the rest.
ORDER = ("Vorn.exe", "README.TXT", "LICENSE.TXT", "SHA256SUMS")


class ReleaseError(Exception):
    pass


def dos_text(text: str, name: str, columns: int = 0) -> bytes:
    """The text with CR LF line ends; refused when it is not plain ASCII or,
    with `columns`, has a longer line."""
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for number, line in enumerate(lines, 1):
        if any(not (" " <= c <= "~") for c in line):
            raise ReleaseError(f"{name} line {number}: only printable ASCII is plain text everywhere")
        if columns and len(line) > columns:
            raise ReleaseError(f"{name} line {number}: {len(line)} columns, at most {columns}")
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def sha256(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def checksums(files: dict) -> bytes:
    # The format sha256sum -c reads, with LF ends: certutil and Get-FileHash
    # on Windows print the same hex digits to compare by eye.
    return "".join(f"{sha256(data)}  {name}\n" for name, data in files.items()).encode("ascii")


def pack(exe: Path, readme: Path, license_file: Path, epoch: int, out: Path) -> str:
    """Writes the archive; returns Vorn.exe's SHA-256."""
    files = {
        "Vorn.exe": exe.read_bytes(),
        "README.TXT": dos_text(readme.read_text(encoding="ascii"), "README.TXT", README_COLUMNS),
        "LICENSE.TXT": dos_text(license_file.read_text(encoding="ascii"), "LICENSE.TXT"),
    }
    files["SHA256SUMS"] = checksums(files)
    # Zip dates are local times of day with 2-second steps from 1980 on.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    out.parent.mkdir(parents=True, exist_ok=True)
    partial = out.with_name(out.name + ".part")
    with zipfile.ZipFile(partial, "w") as archive:
        for name in ORDER:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix modes in the archive
            info.external_attr = 0x20  # the archive attribute, as Windows sets it
            archive.writestr(info, files[name], compresslevel=9)
    partial.replace(out)
    return sha256(files["Vorn.exe"])


def main(argv):
    if len(argv) != 6:
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        return 2
    exe, readme, license_file, epoch, out = argv[1:]
    try:
        digest = pack(Path(exe), Path(readme), Path(license_file), int(epoch), Path(out))
    except (OSError, ValueError, ReleaseError) as error:
        print(f"release: {error}", file=sys.stderr)
        return 1
    print(digest)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
