"""sfxpack: what it writes, and the clear refusals that leave no file behind."""
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from harness import MARKER, sfxpack, stub_path

WINDOW_START = 100000
WINDOW_SIZE = 1048576


class Sfxpack(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfxpack-test-"))
        self.folder = self.dir / "app"
        (self.folder / "bin").mkdir(parents=True)
        (self.folder / "bin" / "app.exe").write_bytes(b"MZ program")
        (self.folder / "readme & notes.txt").write_text("hello\n" * 100)
        (self.folder / "empty").mkdir()
        self.stub = self.dir / "stub.exe"
        self.stub.write_bytes(b"MZ" + bytes(5000))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def payload(self, out):
        data = out.read_bytes()
        at = data.index(MARKER)
        (length,) = struct.unpack_from("<I", data, at + 6)
        return data, at, data[at + 10:at + 10 + length].decode("latin-1")

    def test_layout_configuration_and_archive(self):
        out = self.dir / "out.exe"
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", "--title", "A & <B>", "--silent", "-o", out, self.folder)
        data, at, config = self.payload(out)
        self.assertEqual(at, WINDOW_START, "a short stub is padded to the window start")
        self.assertEqual(data[:5002], self.stub.read_bytes())
        self.assertEqual(data[5002:WINDOW_START], bytes(WINDOW_START - 5002))
        self.assertEqual(config, "<QX_ZCD><Run>bin\\app.exe</Run><Title>A &amp; &lt;B&gt;</Title><Prog>0</Prog></QX_ZCD>")
        with zipfile.ZipFile(out) as archive:
            names = sorted(archive.namelist())
            self.assertEqual(names, ["bin/", "bin/app.exe", "empty/", "readme & notes.txt"])
            self.assertIsNone(archive.testzip())
            info = archive.getinfo("readme & notes.txt")
            self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED)
            self.assertEqual(archive.read("bin/app.exe"), b"MZ program")
        listing = subprocess.run(["unzip", "-l", str(out)], capture_output=True, text=True)
        self.assertIn("bin/app.exe", listing.stdout)

    def test_encrypted_archive_opens_with_the_derived_password(self):
        out = self.dir / "enc.exe"
        pid = "Product 42 & more"
        sfxpack("--stub", self.stub, "--run", "bin\\app.exe", "--pid", pid, "--use-password", "-o", out, self.folder)
        _, _, config = self.payload(out)
        self.assertIn("<UsePW>1</UsePW>", config)
        self.assertIn("<pid>Product 42 &amp; more</pid>", config)
        password = subprocess.run(["md5sum"], input=pid.encode(), capture_output=True, check=True).stdout.split()[0].decode()
        target = self.dir / "x"
        ok = subprocess.run(["unzip", "-q", "-P", password, str(out), "-d", str(target)], capture_output=True)
        # 1 is unzip's warning about the stub in front of the archive.
        self.assertIn(ok.returncode, (0, 1), ok.stderr)
        self.assertEqual((target / "bin" / "app.exe").read_bytes(), b"MZ program")
        wrong = subprocess.run(["unzip", "-q", "-o", "-P", "0" * 32, str(out), "-d", str(self.dir / "y")],
                               capture_output=True)
        self.assertNotEqual(wrong.returncode, 0, "the entries are really encrypted")

    def test_refusals_leave_nothing_behind(self):
        big = self.dir / "big.exe"
        big.write_bytes(bytes(WINDOW_START + WINDOW_SIZE - 5))
        marked = self.dir / "marked.exe"
        marked.write_bytes(b"MZ" + MARKER + bytes(10))
        cases = [
            ("missing folder", ["--stub", self.stub, "--run", "bin/app.exe"], self.dir / "nope", "folder"),
            ("stub beyond the window", ["--stub", big, "--run", "bin/app.exe"], self.folder, "window"),
            ("stub holding the marker", ["--stub", marked, "--run", "bin/app.exe"], self.folder, "marker"),
            ("configuration too long", ["--stub", self.stub, "--run", "bin/app.exe", "--title", "t" * 1000],
             self.folder, "1023"),
            ("program not in the folder", ["--stub", self.stub, "--run", "bin/other.exe"], self.folder, "program"),
            ("program is a folder", ["--stub", self.stub, "--run", "bin"], self.folder, "program"),
            ("password without pid", ["--stub", self.stub, "--run", "bin/app.exe", "--use-password"],
             self.folder, "--pid"),
        ]
        for name, args, folder, word in cases:
            with self.subTest(name):
                out = self.dir / "refused.exe"
                result = sfxpack(*args, "-o", out, folder, check=False)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(word, result.stderr)
                self.assertEqual(sorted(p.name for p in self.dir.glob("refused*")), [])

    def test_stub_ending_at_the_last_place_is_accepted(self):
        edge = self.dir / "edge.exe"
        edge.write_bytes(bytes(WINDOW_START + WINDOW_SIZE - 6))
        out = self.dir / "edge-out.exe"
        sfxpack("--stub", edge, "--run", "bin/app.exe", "-o", out, self.folder)
        self.assertEqual(self.payload(out)[1], WINDOW_START + WINDOW_SIZE - 6)

    def test_help_explains_every_option(self):
        text = sfxpack("--help").stdout
        for option in ("--stub", "--run", "--title", "--silent", "--pid", "--use-password", "-o", "list", "extract"):
            self.assertIn(option, text)


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
