"""Extracts fixture archives with tests/programs/zipextract.exe of a Windows
build under Wine and checks the result against the source tree and against
what Info-ZIP unzip makes of the same archives on this side: contents,
modification times, read-only and hidden attributes, OEM names, folders,
and that hostile names create nothing. Zip64 archives too: from zipfile,
zip -fz and libarchive, one 4.5 GiB into a sparse file (offsets beyond
4 GiB), hostile Zip64 values, and one of more than 65535 entries, made here.

Usage: test_zip_wine.py ARCH FIXTURES
"""
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

from harness import Checks, WineSession, skip, skip_part, windows_path

PASSWORD = "secret"
READ_ONLY, HIDDEN, FOLDER = 0x01, 0x02, 0x10
# More entries than the end record's 16-bit count holds: zipfile adds a Zip64 end record.
MANY_ENTRIES = 65536 + 64


def many_entries_archive(path):
    """Tiny stored entries in folders of 1000; returns name -> bytes."""
    entries = {}
    with zipfile.ZipFile(path, "w") as z:
        for i in range(MANY_ENTRIES):
            name, data = f"m{i // 1000:02d}/{i:05d}.txt", f"{i}\n".encode()
            z.writestr(name, data)
            entries[name] = data
    return entries


def tree(root):
    """Relative path -> (is folder, bytes, mtime seconds) under root."""
    result = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames:
            result[os.path.relpath(os.path.join(dirpath, name), root)] = (True, None, None)
        for name in filenames:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                result[os.path.relpath(path, root)] = (False, f.read(), int(os.stat(path).st_mtime))
    return result


def run_zipextract(wine, exe, archive, target, password=None, timeout=120):
    args = [windows_path(archive), windows_path(target)] + ([password] if password else [])
    result = wine.run(exe, args, timeout=timeout)
    entries, attributes = {}, {}
    for line in result.stdout.splitlines():
        key, _, value = line.strip().partition("=")
        if key == "entry":
            _, outcome, name = value.split(" ", 2)
            entries[name] = outcome
        elif key == "attributes":
            bits, name = value.split(" ", 1)
            attributes[name] = int(bits, 16)
    return result.code, entries, attributes


def main():
    arch, fixtures = sys.argv[1], pathlib.Path(sys.argv[2])
    checks = Checks()
    with WineSession.for_arch(arch) as wine:
        exe = wine.build / "tests" / "programs" / "zipextract.exe"
        if not exe.exists():
            skip(f"{exe} is not built")
        if shutil.which("unzip") is None:
            skip("unzip is not installed")
        source = tree(fixtures / "src")

        # Archives the tools made: the same tree as unzip makes, with its times
        # (unzip reads the stub's archive without its stub, which it warns of).
        for fixture, password, unzipped in [
                ("infozip-deflate.zip", None, None), ("infozip-crypt.zip", PASSWORD, None),
                ("infozip-stream-crypt.zip", PASSWORD, None), ("7z-crypt.zip", PASSWORD, None),
                ("7z-deflate.zip", None, None), ("zip64-python.zip", None, None),
                ("zip64-python-stream.zip", None, None), ("zip64-python-prefixed.exe", None, "zip64-python.zip"),
                ("zip64-infozip.zip", None, None), ("zip64-libarchive.zip", None, None),
                ("zip64-beyond-4gib.zip", None, None)]:
            if not (fixtures / fixture).exists():
                skip_part(f"{fixture} was not made")
                continue
            ours = wine.scratch / ("ours-" + fixture)
            theirs = wine.scratch / ("unzip-" + fixture)
            code, entries, attributes = run_zipextract(wine, exe, fixtures / fixture, ours, password)
            checks.equal(f"{fixture} exit code", code, 0)
            checks.equal(f"{fixture} outcomes", set(entries.values()), {"ok"})
            subprocess.run(["unzip", "-qo"] + (["-P", password] if password else []) +
                           [str(fixtures / (unzipped or fixture)), "-d", str(theirs)], check=True)
            got, expected = tree(ours), tree(theirs)
            checks.equal(f"{fixture} tree", sorted(got), sorted(source))
            for name, (folder, data, mtime) in expected.items():
                if name not in got:
                    continue
                checks.equal(f"{fixture} {name} content", got[name][1], data)
                checks.equal(f"{fixture} {name} mtime", got[name][2], mtime)
            checks.equal(f"{fixture} locked.txt read-only", attributes.get("locked.txt", 0) & READ_ONLY, READ_ONLY)
            checks.equal(f"{fixture} locked.txt write bits here", os.stat(ours / "locked.txt").st_mode & 0o222, 0)
            checks.equal(f"{fixture} hello.txt writable", attributes.get("hello.txt", 0) & READ_ONLY, 0)
            checks.equal(f"{fixture} emptydir folder", attributes.get("emptydir\\", 0) & FOLDER, FOLDER)

        # Attributes by system family, as Win32 reports them afterwards.
        ours = wine.scratch / "families"
        code, entries, attributes = run_zipextract(wine, exe, fixtures / "families.zip", ours)
        for name, mask, bits in [("dos\\readonly.txt", READ_ONLY, READ_ONLY), ("unix\\readonly.txt", READ_ONLY, READ_ONLY),
                                 ("unix\\zero", READ_ONLY | HIDDEN, READ_ONLY | HIDDEN),
                                 ("ntfs\\hidden.txt", READ_ONLY | HIDDEN, HIDDEN), ("unix\\tool", READ_ONLY, 0),
                                 ("mac\\file.txt", READ_ONLY, READ_ONLY), ("unix\\folder\\", FOLDER, FOLDER),
                                 ("unix\\zerofolder\\", FOLDER, FOLDER), ("dos\\folder\\", FOLDER, FOLDER),
                                 # other families get 0x81A40020, Unix mode bits included
                                 ("amiga\\file.txt", READ_ONLY | FOLDER, 0), ("amiga\\folder\\", FOLDER, FOLDER)]:
            checks.equal(f"families {name} outcome", entries.get(name), "ok")
            checks.equal(f"families {name} attributes", attributes.get(name, 0) & mask, bits)

        # An MS-DOS entry's name comes in the OEM code page: 0x81 is u-umlaut.
        ours = wine.scratch / "names"
        code, entries, attributes = run_zipextract(wine, exe, fixtures / "names.zip", ours)
        checks.equal("names exit code", code, 0)
        oem = ours / "dir" / "\u00fcber.txt"
        checks.equal("names OEM file", oem.read_bytes() if oem.exists() else None, b"oem\n")
        checks.equal("names nested file", (ours / "dir" / "sub" / "file.txt").read_bytes(), b"file\n")

        # Hostile names: refused, and nothing appears beside the target.
        outer = wine.scratch / "hostile"
        ours = outer / "inner" / "target"
        code, entries, attributes = run_zipextract(wine, exe, fixtures / "hostile.zip", ours)
        checks.equal("hostile outcomes", entries, {
            "first.txt": "ok", "..\\escape.txt": "error101", "a\\..\\..\\escape2.txt": "error101",
            "\\absolute.txt": "error101", "C:\\drive.txt": "error101", "dots\\...\\x.txt": "error101",
            "..\\escapedir\\": "error101", "last.txt": "ok"})
        made = sorted(str(p.relative_to(outer)) for p in outer.rglob("*"))
        checks.equal("hostile files", made, ["inner", "inner/target", "inner/target/first.txt", "inner/target/last.txt"])

        # A data error keeps its entry open: the later file is passed over.
        code, entries, attributes = run_zipextract(wine, exe, fixtures / "bad-crc.zip", wine.scratch / "bad-crc")
        checks.equal("bad-crc outcomes", entries, {"damaged.bin": "error102", "later.txt": "declined", "laterdir\\": "ok"})

        # Hostile Zip64 values: the archive does not open, or the entry fails.
        for fixture in ("zip64-locator-nowhere.zip", "zip64-directory-beyond.zip", "zip64-entries-beyond.zip",
                        "zip64-central-short.zip"):
            code, entries, attributes = run_zipextract(wine, exe, fixtures / fixture, wine.scratch / fixture)
            checks.equal(f"{fixture} refused", (code, entries), (100, {}))
        code, entries, attributes = run_zipextract(wine, exe, fixtures / "zip64-entry-damage.zip",
                                                   wine.scratch / "zip64-entry-damage")
        checks.equal("zip64-entry-damage outcomes", entries, {"local-short.txt": "error101", "good1.txt": "ok",
                                                             "good2.txt": "ok", "offset-beyond.txt": "error101"})

        # More than 65535 entries, every one extracted.
        many = wine.scratch / "many.zip"
        expected = many_entries_archive(many)
        ours = wine.scratch / "many"
        # (Some minutes for the 32-bit Wine under qemu.)
        code, entries, attributes = run_zipextract(wine, exe, many, ours, timeout=600)
        checks.equal("many entries: exit code", code, 0)
        checks.equal("many entries: outcomes", (len(entries), set(entries.values())), (MANY_ENTRIES, {"ok"}))
        got = {name: data for name, (folder, data, _) in tree(ours).items() if not folder}
        checks.equal("many entries: files", len(got), MANY_ENTRIES)
        checks.equal("many entries: contents wrong", sorted(n for n in expected if got.get(n) != expected[n]), [])
    checks.finish()


if __name__ == "__main__":
    main()
