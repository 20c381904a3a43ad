"""Extraction on worker threads gives what one entry after another gives,
end to end: for a plain, an encrypted and a damaged launcher, one with two
entries of one name and names that differ only in case, and one whose
entries carry read-only, hidden and Unix modes, the launcher's own
extraction (tests/programs/runextract) with 1, 2 and 4 workers leaves the
same files, contents, times and attributes, and the workers really extract
(only the damaged launcher and the one whose names meet step back to one
entry after another); and the launcher itself, with
SFX_LAUNCHER_THREADS 1 and 2, ends with the same code and messages, and its
program sees the same tree.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import hashlib
import os
import pathlib
import random
import shutil
import sys
import tempfile
import time

from harness import windows_path
from launcher_support import (LauncherTestCase, run_suite, entry_data_span, flip_byte, launcher_around,
                              pack_launcher, program_name, read_reports, report_program, zipfile_archive)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
THREADS = ("1", "2", "4")
# Launchers whose extraction only the one-by-one order can decide: the workers step back.
ORDER_DECIDES = {"damaged", "names that meet"}


def tree_of(root, since):
    """Relative path -> what can be observed of it. A file written after
    `since` whose time was never set (its data failed) shows "now"."""
    found = {}
    for path in sorted(pathlib.Path(root).rglob("*")):
        stat = path.lstat()
        attributes = b""
        try:
            attributes = os.getxattr(path, "user.DOSATTRIB")  # where Wine keeps hidden and system
        except OSError:
            pass
        entry = ["folder" if path.is_dir() else "file", oct(stat.st_mode & 0o777), attributes]
        if not path.is_dir():
            entry += [hashlib.sha256(path.read_bytes()).hexdigest(),
                      "now" if stat.st_mtime >= since else int(stat.st_mtime)]
        found[path.relative_to(root).as_posix()] = entry
    return found


class Parallel(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-parallel-"))
        rng = random.Random(13)
        app = cls.dir / "app"
        app.mkdir()
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        for folder in range(6):
            (app / f"part {folder}" / "deeper").mkdir(parents=True)
            for i in range(12):
                text = " ".join(rng.choice(["alpha", "beta", "gamma", "delta"]) for _ in range(rng.randint(1, 20000)))
                (app / f"part {folder}" / f"{i}.txt").write_text(text)
            (app / f"part {folder}" / "deeper" / "blob.bin").write_bytes(rng.randbytes(rng.randint(0, 300000)))
        (app / "empty folder").mkdir()
        (app / "big.bin").write_bytes(rng.randbytes(3 << 20))
        run = program_name(ARCH)
        cls.launchers = {
            "plain": pack_launcher(ARCH, app, cls.dir / "plain.exe", silent=True),
            "encrypted": pack_launcher(ARCH, app, cls.dir / "encrypted.exe", silent=True, pid="parallel 7",
                                       use_password=True),
        }
        damaged = pack_launcher(ARCH, app, cls.dir / "damaged.exe", silent=True)
        offset, length = entry_data_span(damaged, "part 3/5.txt")
        flip_byte(damaged, offset + length // 2)
        cls.launchers["damaged"] = damaged
        program = report_program(ARCH).read_bytes()
        cls.launchers["names that meet"] = launcher_around(ARCH, zipfile_archive([
            (run, program, 3, 0o100755 << 16),
            ("same.txt", b"first\n" * 1000, 3, 0o100644 << 16),
            ("Case.txt", b"upper\n" * 1000, 3, 0o100644 << 16),
            ("case.txt", b"lower\n" * 1000, 3, 0o100644 << 16),
            ("same.txt", b"second\n" * 1000, 3, 0o100644 << 16),
            ("z.bin", rng.randbytes(200000), 3, 0o100644 << 16),
        ]), cls.dir / "meeting.exe", run)
        cls.launchers["attributes"] = launcher_around(ARCH, zipfile_archive([
            (run, program, 0, 0x20),
            ("read-only.txt", b"keep\n" * 5000, 0, 0x21),
            ("hidden.txt", b"hide\n" * 5000, 0, 0x22),
            ("system.txt", b"system\n" * 5000, 0, 0x24),
            ("unix/tool", b"#!/bin/sh\n" * 2000, 3, 0o100750 << 16),
            ("unix/locked", b"locked\n" * 3000, 3, 0o100444 << 16),
        ]), cls.dir / "attributes.exe", run)

    def runextract(self, launcher, target, threads):
        exe = report_program(ARCH).parent / ("runextract" if ARCH == "native" else "runextract.exe")
        report = self.dir / "runextract.txt"
        report.unlink(missing_ok=True)
        result = self.runner.run(exe, [windows_path(launcher), windows_path(target), threads, windows_path(report)])
        self.assertEqual(result.code, 0, f"runextract {launcher.name} {threads}")
        return dict(line.strip().split("=", 1) for line in report.read_text().splitlines() if "=" in line)

    def test_the_launchers_own_extraction_agrees_on_every_worker_count(self):
        for name, launcher in self.launchers.items():
            with self.subTest(name):
                since = time.time() - 1
                trees = {}
                for threads in THREADS:
                    target = self.fresh(f"out-{threads}")
                    printed = self.runextract(launcher, target, threads)
                    steps_back = threads != "1" and name in ORDER_DECIDES
                    self.assertEqual((printed.get("threads"), printed.get("stepped_back"), printed.get("not_emptied")),
                                     ("1" if steps_back else threads, "1" if steps_back else "0", "0"),
                                     f"{threads} workers asked for")
                    trees[threads] = tree_of(target, since)
                self.assertTrue(trees["1"], "something came out")
                for threads in THREADS[1:]:
                    self.assertEqual(trees[threads], trees["1"], f"{threads} workers")

    def test_the_launcher_ends_alike_on_every_worker_count(self):
        for name, launcher in self.launchers.items():
            with self.subTest(name):
                outcomes = {}
                for threads in THREADS[:2]:
                    base = self.fresh(f"base-{threads}")
                    report_file = self.dir / f"report-{threads}.txt"
                    report_file.unlink(missing_ok=True)
                    env = {"SFX_REPORT": windows_path(report_file), "SFX_EXIT_CODE": "5",
                           "SFX_LAUNCHER_THREADS": threads}
                    result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base)], env)
                    reports = read_reports(report_file)
                    seen = [(r.files, r.dirs) for r in reports]
                    outcomes[threads] = (result.code, result.messages, seen)
                    self.assertEqual(list(base.iterdir()), [], f"{threads} workers left the folder")
                self.assertEqual(outcomes["2"], outcomes["1"])


def main():
    return run_suite(Parallel, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
