"""Launchers whose archives carry Zip64 records, end to end: an archive from
Python's zipfile with every record forced to Zip64 (written to a file, and to
a stream, which gives data descriptors with 8-byte sizes), one from Info-ZIP
zip -fz, and (natively) one sfxpack packs of more than 65535 entries (which
needs a Zip64 end record) each extract whole, run their program, pass its
exit code on and leave nothing behind; unzip and libarchive read what
sfxpack packed. (Under Wine, creating, reporting and deleting 65536 files
takes minutes; there the zip module's own test, e2e_zip_extract, extracts
more than 65535 entries.)

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import io
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile
import zlib

from harness import skip_part, windows_path
from launcher_support import (LauncherTestCase, crc_of, describe_tree, exit_code, launcher_around, pack_launcher,
                              program_name, read_reports, report_program, run_suite)
from zip64_writer import write_zip64

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
# Files enough that, with their folders and the program, the entries pass
# what the end record's 16-bit count holds; tiny ones, so that the run
# takes seconds, not minutes.
MANY_FILES = 65536


def zipfile_zip64(root, stream):
    """The tree under `root` with a Zip64 block in every file entry and a Zip64 end record."""
    target = io.BytesIO()
    entries = [(zipfile.ZipInfo.from_file(path, path.relative_to(root).as_posix() + ("/" if path.is_dir() else "")),
                b"" if path.is_dir() else path.read_bytes()) for path in sorted(root.rglob("*"))]
    write_zip64(target, entries, stream=stream)
    return target.getvalue()


def make_app(root):
    root.mkdir()
    shutil.copy(report_program(ARCH), root / program_name(ARCH))
    (root / "docs" / "deep").mkdir(parents=True)
    (root / "docs" / "readme.txt").write_text("zip64\n" * 3000)
    (root / "docs" / "deep" / "data.bin").write_bytes(bytes(range(256)) * 1000)
    (root / "empty folder").mkdir()
    return root


def make_many(root):
    """The report program and MANY_FILES tiny files in folders of 1000;
    returns the files and folders as the report lists them."""
    root.mkdir()
    shutil.copy(report_program(ARCH), root / program_name(ARCH))
    program = root / program_name(ARCH)
    files, dirs = {program_name(ARCH): (program.stat().st_size, f"{crc_of(program):08x}")}, set()
    for i in range(MANY_FILES):
        folder = f"f{i // 1000:02d}"
        if folder not in dirs:
            (root / folder).mkdir()
            dirs.add(folder)
        data = f"{i}\n".encode()
        (root / folder / f"{i:05d}.txt").write_bytes(data)
        files[f"{folder}\\{i:05d}.txt"] = (len(data), f"{zlib.crc32(data):08x}")
    return files, dirs


class Zip64Launchers(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-zip64-"))
        app = make_app(cls.dir / "app")
        files, dirs = describe_tree(app)
        run = program_name(ARCH)
        cls.cases = {
            "zipfile, Zip64 forced": (launcher_around(ARCH, zipfile_zip64(app, False), cls.dir / "python.exe", run),
                                      files, dirs),
            "zipfile, Zip64 forced, to a stream": (
                launcher_around(ARCH, zipfile_zip64(app, True), cls.dir / "python-stream.exe", run), files, dirs),
        }
        if shutil.which("zip"):
            subprocess.run(["zip", "-q", "-r", "-fz", str(cls.dir / "infozip.zip"), "."], cwd=app, check=True)
            cls.cases["zip -fz"] = (launcher_around(ARCH, (cls.dir / "infozip.zip").read_bytes(),
                                                    cls.dir / "infozip.exe", run), files, dirs)
        if ARCH == "native":
            many_files, many_dirs = make_many(cls.dir / "many")
            many = pack_launcher(ARCH, cls.dir / "many", cls.dir / "many.exe", silent=True)
            shutil.rmtree(cls.dir / "many")
            with zipfile.ZipFile(many) as z:
                entries = len(z.infolist())
            assert entries > 0xFFFF, entries
            cls.cases[f"{entries} entries, packed by sfxpack"] = (many, many_files, many_dirs)
            cls.many = many

    def test_each_extracts_whole_runs_and_leaves_nothing(self):
        if not shutil.which("zip"):
            skip_part("zip is not installed: no zip -fz launcher")
        for index, (name, (launcher, files, dirs)) in enumerate(self.cases.items()):
            with self.subTest(name):
                base = self.fresh(f"base-{index}")
                report_file = self.dir / f"report-{index}.txt"
                env = {"SFX_REPORT": windows_path(report_file), "SFX_EXIT_CODE": "21"}
                result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base)], env)
                self.assertEqual((result.code, result.messages), (exit_code(ARCH, 21), []))
                reports = read_reports(report_file)
                self.assertEqual(len(reports), 1, "the program ran once")
                self.assertEqual(len(reports[0].files), len(files))
                self.assertEqual(reports[0].files, files)
                self.assertEqual(reports[0].dirs, dirs)
                self.assertEqual(list(base.iterdir()), [], "the folder is gone")


    def test_other_readers_read_what_sfxpack_packed(self):
        if ARCH != "native":
            return  # sfxpack writes the same archive around every stub
        with zipfile.ZipFile(self.many) as z:
            names = sorted(i.filename for i in z.infolist())
        unzip = subprocess.run(["unzip", "-tq", str(self.many)], capture_output=True, text=True)
        self.assertEqual(unzip.returncode, 0, unzip.stdout + unzip.stderr)
        bsdtar = subprocess.run(["bsdtar", "-tf", str(self.many)], capture_output=True, text=True)
        self.assertEqual((bsdtar.returncode, sorted(bsdtar.stdout.splitlines())), (0, names))


def main():
    return run_suite(Zip64Launchers, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
