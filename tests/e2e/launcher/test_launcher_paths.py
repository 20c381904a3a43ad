"""Paths of every kind, end to end:

- a tree whose full paths pass 300 characters (package folders nested five
  levels, as JavaScript and Python applications have), under a temporary
  base of ordinary length, is extracted whole, seen by the program and
  deleted again;
- entries named like devices ("con", "aux.txt", "nul.log", "COM1",
  "LPT2.dat" and the forms Windows maps to them) arrive as the files they
  are, and go again;
- names that Windows cannot hold as they are (':', '*', '?', '"', '<', '>',
  '|', control characters, a trailing dot or space) are refused, in every
  build, while the rest of the archive comes out; sfxpack verify names each
  of them and sfxpack refuses to pack them.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import pathlib
import shutil
import sys
import tempfile

from harness import sfxpack, stub_path, windows_path
from launcher_support import (LauncherTestCase, describe_tree, launcher_around, pack_launcher, program_name,
                              read_reports, report_program, run_suite, zipfile_archive)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"

# Five levels of 55-character package folders and a long file name: about
# 320 characters below the temporary folder.
DEEP = "/".join(f"node_modules_{level}_" + "p" * 40 for level in range(5)) + "/" + "module-" + "f" * 30 + ".js"
DEVICE_NAMES = ["con", "aux.txt", "nul.log", "COM1", "LPT2.dat", "lpt2 .dat", "Con.tar.gz", "conin$", "dir/prn.txt",
                "COM\u00b9.txt"]
# Each with the word its refusal gives.
INVALID_NAMES = {"drive:letter.txt": "':'", "wild*.txt": "'*'", "what?.txt": "'?'", 'say "hi".txt': "'\"'",
                 "a<b.txt": "'<'", "a>b.txt": "'>'", "pipe|x.txt": "'|'", "bell\x07.txt": "0x07",
                 "name.": "dot", "trail ": "space", "folder./inside.txt": "dot"}


def write_tree(root, names):
    for i, name in enumerate(names):
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{i}: {name}\n".encode() * (i + 1))
    shutil.copy(report_program(ARCH), root / program_name(ARCH))
    return root


class Paths(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-paths-"))
        cls.deep_tree = write_tree(cls.dir / "deep", [DEEP, "short.txt"])
        cls.deep = pack_launcher(ARCH, cls.deep_tree, cls.dir / "deep.exe", silent=True)
        cls.device_tree = write_tree(cls.dir / "devices", DEVICE_NAMES)
        cls.devices = pack_launcher(ARCH, cls.device_tree, cls.dir / "devices.exe", silent=True)
        entries = {name: f"{name}\n".encode() for name in ["good.txt", "sub/fine.txt", *INVALID_NAMES]}
        entries[program_name(ARCH)] = report_program(ARCH).read_bytes()
        unix = 3  # made on Unix, so that the program keeps its mode natively
        archive = zipfile_archive([(name, data, unix, 0o100755 << 16) for name, data in entries.items()])
        cls.invalid = launcher_around(ARCH, archive, cls.dir / "invalid.exe", program_name(ARCH))

    def run_and_report(self, launcher):
        """Runs `launcher` silently under a fresh base; (result, report, base)."""
        base = self.fresh("base")
        report_file = self.dir / "report.txt"
        report_file.unlink(missing_ok=True)
        result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base)],
                                 {"SFX_REPORT": windows_path(report_file), "SFX_EXIT_CODE": "5"})
        reports = read_reports(report_file)
        self.assertEqual(len(reports), 1, "the program ran once")
        return result, reports[0], base

    def test_every_tree_arrives_whole_and_goes_again(self):
        for name, launcher, tree in [("paths beyond 300 characters", self.deep, self.deep_tree),
                                     ("names of devices", self.devices, self.device_tree)]:
            with self.subTest(name):
                result, report, base = self.run_and_report(launcher)
                self.assertEqual((result.code, result.messages), (5, []))
                files, dirs = describe_tree(tree)
                self.assertEqual((report.files, report.dirs), (files, dirs))
                if launcher is self.deep:
                    longest = max(len(f"{report.cwd}\\{rel}") for rel in report.files)
                    self.assertGreater(longest, 300, "the full paths pass 300 characters")
                    self.assertLess(len(report.cwd), 100, "under a temporary base of ordinary length")
                self.assertEqual(list(base.iterdir()), [], "the folder went, with everything in it")

    def test_names_windows_cannot_hold_are_refused_and_named(self):
        result, report, base = self.run_and_report(self.invalid)
        self.assertEqual((result.code, result.messages), (5, []), "the rest of the archive still runs")
        arrived = set(report.files)
        self.assertEqual(arrived, {"good.txt", "sub\\fine.txt", program_name(ARCH)})
        self.assertEqual(list(base.iterdir()), [])

        verified = sfxpack("verify", self.invalid, check=False)
        self.assertEqual(verified.returncode, 1)
        faults = [line for line in verified.stderr.splitlines() if "refuses this name" in line]
        self.assertEqual(len(faults), len(INVALID_NAMES), verified.stderr)
        for name, reason in INVALID_NAMES.items():
            shown = name.replace("/", "\\")  # as the reader gives names
            line = next((f for f in faults if f": {shown}: " in f), None)
            self.assertIsNotNone(line, f"{name!r} is named: {verified.stderr}")
            self.assertIn(reason, line)

    def test_sfxpack_refuses_to_pack_them(self):
        for name, reason in INVALID_NAMES.items():
            with self.subTest(repr(name)):
                tree = self.fresh("refused")
                path = tree / name
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_bytes(b"x")
                shutil.copy(report_program(ARCH), tree / program_name(ARCH))
                out = self.dir / "refused.exe"
                result = sfxpack("--stub", stub_path(ARCH), "--run", program_name(ARCH), "-o", out, tree, check=False)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(name.split("/")[0], result.stderr, "the name, or its folder, is named")
                self.assertIn(reason, result.stderr)
                self.assertFalse(out.exists())


def main():
    return run_suite(Paths, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
