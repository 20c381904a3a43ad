"""Names in every language, end to end: folders and files with Latin,
Cyrillic and CJK names arrive under exactly those names, from a launcher
that sfxpack made and from one around an archive that Python's zipfile
wrote (which flags its names as UTF-8); the configured program, its folder
and the password's pid may be such names too; and a launcher that lies in
a folder so named passes its own path on whole.

Under Wine (win64, win32), also a launcher whose manifest no longer asks
for UTF-8 as the ANSI code page, as on Windows before 10 version 1903: it
runs with the locale's code page (1252 under C.UTF-8 and en_US, which Wine
takes from LC_ALL, LC_CTYPE or LANG) and must still write every name right.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import io
import pathlib
import shutil
import sys
import tempfile
import zipfile

from harness import pack, stub_path, windows_path
from launcher_support import (LauncherTestCase, run_suite, describe_tree, launcher_around, pack_launcher, program_name,
                              read_reports, report_program, source_token)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
NAMES = ["ünï/café.txt", "данные/日本語.txt", "日本/データ/記録.bin", "Ελληνικά.txt", "mixed Ä ж 中.dat"]


def make_tree(root, program):
    root.mkdir()
    for i, name in enumerate(NAMES):
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{name}\n".encode() * (i + 1))
    target = root / program
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(report_program(ARCH), target)
    return root


def stub_without_utf8_code_page(out):
    """A copy of the stub whose manifest's activeCodePage is blanked."""
    data = stub_path(ARCH).read_bytes()
    value = b">UTF-8</activeCodePage>"
    assert data.count(value) == 1, "the stub's manifest asks for UTF-8"
    out.write_bytes(data.replace(value, b">     </activeCodePage>"))
    return out


def launcher_around_zipfile(tree, out, run):
    """A launcher whose archive Python's zipfile wrote (UTF-8 flag on every
    name beyond ASCII)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for path in sorted(tree.rglob("*")):
            info = zipfile.ZipInfo.from_file(path, path.relative_to(tree).as_posix())
            if path.is_dir():
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, path.read_bytes())
    with zipfile.ZipFile(buffer) as z:
        assert all(i.flag_bits & 0x800 for i in z.infolist() if not i.filename.isascii()), "zipfile flags UTF-8"
    return launcher_around(ARCH, buffer.getvalue(), out, run)


class Names(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-names-"))
        plain = "app" if ARCH == "native" else "app.exe"
        foreign = "программы/приложение" + ("" if ARCH == "native" else ".exe")
        cls.plain_tree = make_tree(cls.dir / "plain", plain)
        cls.foreign_tree = make_tree(cls.dir / "foreign", foreign)
        cls.foreign_run = foreign.replace("/", "\\")
        downloads = cls.dir / "Загрузки 下载"
        downloads.mkdir()
        cls.packed = pack_launcher(ARCH, cls.plain_tree, downloads / "приложение.exe", silent=True)
        cls.sealed = pack_launcher(ARCH, cls.foreign_tree, cls.dir / "sealed.exe", run=cls.foreign_run, silent=True,
                                   pid="Ключ 鍵 1", use_password=True)
        cls.zipped = launcher_around_zipfile(cls.plain_tree, cls.dir / "zipped.exe", plain)
        if ARCH != "native":
            stub = stub_without_utf8_code_page(cls.dir / "stub-ansi.exe")
            cls.ansi = pack(stub, cls.plain_tree, downloads / "ansi.exe", plain, silent=True)

    def test_every_name_arrives_as_it_was(self):
        # The report lists what lies beside the program.
        cases = [("sfxpack, launcher in a folder with such a name", self.packed, self.plain_tree, program_name(ARCH)),
                 ("sfxpack, encrypted, program in a folder with such a name", self.sealed,
                  self.foreign_tree / "программы", self.foreign_run),
                 ("Python's zipfile, names flagged as UTF-8", self.zipped, self.plain_tree, program_name(ARCH))]
        if ARCH != "native":
            cases.append(("no UTF-8 code page: the locale's ANSI one", self.ansi, self.plain_tree, program_name(ARCH)))
        for name, launcher, tree, run in cases:
            with self.subTest(name):
                base = self.fresh("base")
                report_file = self.dir / "report.txt"
                report_file.unlink(missing_ok=True)
                env = {"SFX_REPORT": windows_path(report_file), "SFX_EXIT_CODE": "3"}
                # Started directly: a batch file cannot hold every name.
                result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base)], env, direct=True)
                self.assertEqual((result.code, result.messages), (3, []))
                reports = read_reports(report_file)
                self.assertEqual(len(reports), 1, "the program ran once")
                files, dirs = describe_tree(tree)
                self.assertEqual((reports[0].files, reports[0].dirs), (files, dirs))
                self.assertEqual(reports[0].exe, f"{reports[0].cwd}\\{run}")
                self.assertEqual(reports[0].argv[-1], source_token(launcher))
                self.assertEqual(list(base.iterdir()), [], "the folder went")


def main():
    return run_suite(Names, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
