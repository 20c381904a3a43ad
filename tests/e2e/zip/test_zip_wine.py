"""Extracts fixture archives with tests/programs/zipextract.exe of a Windows
build under Wine and checks the result against the source tree and against
what Info-ZIP unzip makes of the same archives on this side: contents,
modification times, read-only and hidden attributes, OEM names, folders,
and that hostile names create nothing.

Usage: test_zip_wine.py ARCH FIXTURES
"""
import os
import pathlib
import shutil
import subprocess
import sys

from harness import Checks, WineSession, skip, skip_part, windows_path

PASSWORD = "secret"
READ_ONLY, HIDDEN, FOLDER = 0x01, 0x02, 0x10


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


def run_zipextract(wine, exe, archive, target, password=None):
    args = [windows_path(archive), windows_path(target)] + ([password] if password else [])
    result = wine.run(exe, args)
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

        # Archives the tools made: the same tree as unzip makes, with its times.
        for fixture, password in [("infozip-deflate.zip", None), ("infozip-crypt.zip", PASSWORD),
                                  ("infozip-stream-crypt.zip", PASSWORD), ("7z-crypt.zip", PASSWORD),
                                  ("7z-deflate.zip", None)]:
            if not (fixtures / fixture).exists():
                skip_part(f"{fixture} was not made")
                continue
            ours = wine.scratch / ("ours-" + fixture)
            theirs = wine.scratch / ("unzip-" + fixture)
            code, entries, attributes = run_zipextract(wine, exe, fixtures / fixture, ours, password)
            checks.equal(f"{fixture} exit code", code, 0)
            checks.equal(f"{fixture} outcomes", set(entries.values()), {"ok"})
            subprocess.run(["unzip", "-qo"] + (["-P", password] if password else []) +
                           [str(fixtures / fixture), "-d", str(theirs)], check=True)
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
    checks.finish()


if __name__ == "__main__":
    main()
