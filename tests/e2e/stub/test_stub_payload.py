"""The stub finds the payload that sfxpack wrote, and says "Data segment not
found." when it has none: once, with /S or without (the mode decision and
the run share one reading of the payload), before the archive error, and ends with 1392
(ERROR_FILE_CORRUPT). Runs the stub of the architecture given as argument:
win64 or win32 under Wine, native directly."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import WineSession, pack, skip, stub_path
from zip_forms import archive_relative

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
NOT_FOUND = "Data segment not found."


class NativeRunner:
    def run(self, exe, args=()):
        result = subprocess.run([str(exe), *args], capture_output=True, text=True, timeout=120)
        messages = [line.split(": ", 1)[1] for line in result.stderr.splitlines() if ": " in line]
        return result.returncode, messages


class WineRunner:
    def __init__(self, session):
        self.session = session

    def run(self, exe, args=()):
        result = self.session.run(exe, args)
        return result.code, result.messages


class StubPayload(unittest.TestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-stub-"))
        folder = cls.dir / "app"
        folder.mkdir()
        cls.stub = stub_path(ARCH)
        program = cls.stub.parent.parent / "tests" / "programs" / ("report" if ARCH == "native" else "report.exe")
        shutil.copy(program, folder / "app.exe")
        cls.packed = pack(cls.stub, folder, cls.dir / "packed.exe", "app.exe", title="Demo", silent=True)
        cls.bare = cls.dir / "bare.exe"
        shutil.copy(cls.stub, cls.bare)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_packed_stub_finds_its_payload_and_runs_the_program(self):
        for args in (["/S"], []):
            code, messages = self.runner.run(self.packed, args)
            self.assertEqual((code, messages), (0, []), args)

    def test_both_offset_forms_run(self):
        # sfxpack's form counts offsets from the file's first byte; the older
        # one from the archive's start, which the stub finds by searching.
        old = archive_relative(self.packed, self.dir / "archive-relative.exe")
        self.assertNotEqual(old.read_bytes(), self.packed.read_bytes())
        for launcher in (self.packed, old):
            code, messages = self.runner.run(launcher, ["/S"])
            self.assertEqual((code, messages), (0, []), launcher.name)

    def test_bare_stub_says_data_segment_not_found(self):
        for args in (["/S"], []):
            code, messages = self.runner.run(self.bare, args)
            self.assertEqual(messages[:-1], [NOT_FOUND], args)
            self.assertIn("central directory", messages[-1], args)
            # POSIX keeps only the low 8 bits of an exit code.
            self.assertEqual(code, 1392 if ARCH != "native" else 1392 & 0xFF, args)


def main():
    if stub_path(ARCH) is None:
        skip(f"no {ARCH} build")
    if ARCH == "native":
        StubPayload.runner = NativeRunner()
        return unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result.wasSuccessful()
    with WineSession.for_arch(ARCH) as session:
        StubPayload.runner = WineRunner(session)
        return unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result.wasSuccessful()


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
