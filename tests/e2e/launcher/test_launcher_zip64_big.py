"""An entry beyond 4 GiB, natively: sfxpack packs a folder holding 4.5 GiB of
zeros (a sparse file; deflated they take a few megabytes) into a launcher
with Zip64 fields, lists, verifies and extracts it again; Python's zipfile,
Info-ZIP unzip and libarchive (bsdtar) read what it wrote; and the launcher
extracts it and its program sees every byte (size and CRC-32 of each file).
How much memory the extraction takes is the extraction benchmark's to say
(bench/extract: a Zip64 entry beyond 4 GiB against a tiny archive).

Usage: test_launcher_zip64_big.py
"""
import os
import pathlib
import shutil
import subprocess
import tempfile
import zipfile
import zlib

from harness import Checks, sfxpack, skip, stub_path, windows_path
from launcher_support import crc_of, program_name, read_reports, report_program

BIG = 9 << 29  # 4.5 GiB
ZEROS = bytes(1 << 20)


def zeros_crc(size):
    crc = 0
    for _ in range(size // len(ZEROS)):
        crc = zlib.crc32(ZEROS, crc)
    return zlib.crc32(ZEROS[:size % len(ZEROS)], crc)


def main():
    for tool in ("unzip", "bsdtar"):
        if shutil.which(tool) is None:
            skip(f"{tool} is not installed")
    if stub_path("native") is None:
        skip("no native build")
    checks = Checks()
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-zip64-big-"))
    try:
        app = work / "app"
        app.mkdir()
        shutil.copy(report_program("native"), app / program_name("native"))
        (app / "small.txt").write_bytes(b"next to a big one\n")
        with open(app / "big.bin", "wb") as f:
            f.truncate(BIG)
        expected = {"big.bin": (BIG, f"{zeros_crc(BIG):08x}"), "small.txt": (18, f"{crc_of(app / 'small.txt'):08x}"),
                    program_name("native"): ((app / program_name("native")).stat().st_size,
                                             f"{crc_of(app / program_name('native')):08x}")}

        launcher = work / "big.exe"
        sfxpack("--stub", stub_path("native"), "--run", program_name("native"), "--silent", "--level", "1",
                "-o", launcher, app)
        checks.equal("launcher smaller than 64 MB", launcher.stat().st_size < 64 << 20, True)

        # sfxpack reads it back.
        listing = sfxpack("list", launcher).stdout
        checks.equal("list shows the size", f"{BIG} " in listing and "big.bin" in listing, True)
        checks.equal("verify", sfxpack("verify", launcher, check=False).returncode, 0)
        out = work / "out"
        checks.equal("extract", sfxpack("extract", launcher, out, check=False).returncode, 0)
        checks.equal("extracted big.bin", ((out / "big.bin").stat().st_size, f"{crc_of(out / 'big.bin'):08x}"),
                     expected["big.bin"])
        shutil.rmtree(out)

        # The others read it.
        with zipfile.ZipFile(launcher) as z:
            info = z.getinfo("big.bin")
            checks.equal("zipfile: size", info.file_size, BIG)
            crc = 0
            with z.open(info) as entry:  # zipfile checks the CRC at the end
                for chunk in iter(lambda: entry.read(1 << 20), b""):
                    crc = zlib.crc32(chunk, crc)
            checks.equal("zipfile: crc", f"{crc:08x}", expected["big.bin"][1])
            checks.equal("zipfile: small.txt", z.read("small.txt"), (app / "small.txt").read_bytes())
        checks.equal("unzip -t", subprocess.run(["unzip", "-tq", str(launcher)], capture_output=True).returncode, 0)
        listed = subprocess.run(["bsdtar", "-tvf", str(launcher)], capture_output=True, text=True)
        checks.equal("bsdtar lists the size", (listed.returncode, f" {BIG} " in listed.stdout), (0, True))
        small = subprocess.run(["bsdtar", "-xOf", str(launcher), "small.txt"], capture_output=True)
        checks.equal("bsdtar: small.txt", small.stdout, (app / "small.txt").read_bytes())

        # The launcher: its program sees every byte.
        base = work / "base"
        base.mkdir()
        report = work / "report.txt"
        env = {k: v for k, v in os.environ.items() if not k.startswith("SFX_")}
        env.update(SFX_REPORT=windows_path(report), SFX_EXIT_CODE="4")
        code = subprocess.run([str(launcher), "/S", "/T:" + windows_path(base)], env=env).returncode
        checks.equal("launcher exit code", code, 4)
        reports = read_reports(report)
        checks.equal("the program ran once", len(reports), 1)
        if reports:
            checks.equal("the program's files", reports[0].files, expected)
        checks.equal("nothing left", list(base.iterdir()), [])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    checks.finish()


if __name__ == "__main__":
    main()
