"""The deployer's icon, version and elevation in a real stub, judged by tools
that are not ours: wrestool (icoutils) lists and extracts the icon group and
the version resource, 7-Zip reads the version texts, objdump the section
layout, osslsigncode the header checksum and the signature.

    test_sfxpack_resources.py static ARCH   the built ARCH stub (win64, win32): no Wine needed
    test_sfxpack_resources.py wine ARCH     the launchers run under Wine: the dialog shows the
                                            icon (screenshot and the window's icon kept in <native
                                            build>/e2e-artifacts/sfxpack-<arch>/), a signed launcher
                                            verifies and runs
"""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from harness import WineSession, sfxpack, skip, stub_path, windows_path

MODE = sys.argv[1] if len(sys.argv) > 1 else "static"
ARCH = sys.argv[2] if len(sys.argv) > 2 else "win64"
OBJDUMP = {"win64": "x86_64-w64-mingw32-objdump", "win32": "i686-w64-mingw32-objdump"}
VERSION = {"--product-name": "Demo Prodüct", "--product-version": "1.2.3.4", "--company": "ACME Ltd",
           "--description": "A demo launcher", "--copyright": "© 2024 ACME"}


# -- an icon that is easy to recognise: red and yellow squares ----------------


def pixels(size):
    square = max(size // 4, 1)
    return [[(0xE0, 0x20, 0x20, 255) if ((x // square) + (y // square)) % 2 else (0xF0, 0xD0, 0x10, 255)
             for x in range(size)] for y in range(size)]


def bitmap_image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels(size)) for (r, g, b, a) in row)
    return header + xor + bytes(((size + 31) // 32) * 4 * size)


def png_image(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def make_ico(path, sizes=(16, 32, 48, 256)):
    images = [png_image(n) if n == 256 else bitmap_image(n) for n in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    pathlib.Path(path).write_bytes(data + b"".join(images))
    return images


def ico_images(path):
    """The (width, image bytes) pairs of an .ico file."""
    data = pathlib.Path(path).read_bytes()
    reserved, kind, count = struct.unpack_from("<HHH", data)
    assert (reserved, kind) == (0, 1)
    result = []
    for i in range(count):
        width, _, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        result.append((width, data[offset:offset + size]))
    return result


def run(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, check=True).stdout


def program(arch):
    return stub_path(arch).parent.parent / "tests" / "programs" / "report.exe"


class Launchers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-resources-"))
        cls.folder = cls.dir / "app"
        cls.folder.mkdir()
        shutil.copy(program(ARCH), cls.folder / "app.exe")
        cls.stub = stub_path(ARCH)
        cls.icon = cls.dir / "squares.ico"
        cls.images = make_ico(cls.icon)
        cls.plain = cls.pack("plain.exe")
        options = ["--icon", cls.icon, "--admin"]
        for option, value in VERSION.items():
            options += [option, value]
        cls.custom = cls.pack("custom.exe", *options)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def pack(cls, name, *options, stub=None, title="Squares"):
        out = cls.dir / name
        sfxpack("--stub", stub or cls.stub, "--run", "app.exe", "--title", title, *options, "-o", out, cls.folder)
        return out


class Static(Launchers):
    def sections(self, path):
        dump = run(OBJDUMP[ARCH], "-h", path).decode()
        return re.findall(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)", dump, re.M)

    def test_the_resource_section_is_last_in_the_stub_and_in_the_launcher(self):
        for path in (self.stub, self.custom):
            names = [name for name, _, _ in self.sections(path)]
            self.assertEqual(names[-1], ".rsrc", f"{path.name}: {names}")
            self.assertIn(".reloc", names, "base relocations (ASLR) are kept")
        dump = run(OBJDUMP[ARCH], "-p", self.custom).decode()
        self.assertRegex(dump, r"DllCharacteristics\s+0*[0-9a-f]*[4-7cdef][0-9a-f]\b", "dynamic base")
        name, size, vma = self.sections(self.custom)[-1]
        base = int(re.search(r"ImageBase\s+([0-9a-f]+)", dump).group(1), 16)
        entry = re.search(r"Entry 2 ([0-9a-f]+) ([0-9a-f]+) Resource Directory", dump)
        self.assertEqual((int(entry.group(1), 16), int(entry.group(2), 16)), (int(vma, 16) - base, int(size, 16)))
        image_size = int(re.search(r"SizeOfImage\s+([0-9a-f]+)", dump).group(1), 16)
        self.assertEqual(image_size, (int(vma, 16) - base + int(size, 16) + 0xFFF) // 0x1000 * 0x1000)

    def test_wrestool_lists_and_extracts_the_new_icon_and_version(self):
        listing = run("wrestool", "-l", self.custom).decode()
        self.assertEqual(len(re.findall(r"--type=3 ", listing)), len(self.images), listing)
        self.assertIn("--type=14 --name=128 --language=1033", listing)
        self.assertIn("--type=16 --name=1 --language=1033", listing)
        extracted = self.dir / "extracted.ico"
        run("wrestool", "-x", "--type=14", "--name=128", "-o", extracted, self.custom)
        self.assertEqual(ico_images(extracted), ico_images(self.icon), "every size, byte for byte")
        version = run("wrestool", "-x", "--raw", "--type=16", "--name=1", self.custom)
        for value in VERSION.values():
            self.assertIn(value.encode("utf-16-le"), version)

    def test_7zip_reads_the_version(self):
        listing = run("7z", "l", "-tPE", "-slt", self.custom).decode()
        for key, option in (("ProductName", "--product-name"), ("FileVersion", "--product-version"),
                            ("ProductVersion", "--product-version"), ("CompanyName", "--company"),
                            ("FileDescription", "--description"), ("LegalCopyright", "--copyright")):
            self.assertIn(f"{key}: {VERSION[option]}", listing)

    def test_elevation_only_when_asked(self):
        for path, level in ((self.plain, b'level="asInvoker"'), (self.custom, b'level="requireAdministrator"')):
            manifest = run("wrestool", "-x", "--raw", "--type=24", "--name=1", path)
            self.assertIn(level, manifest, path.name)
            self.assertIn(b"Microsoft.Windows.Common-Controls", manifest)

    def test_the_rest_is_untouched_and_the_checksum_right(self):
        dialog = ["wrestool", "-x", "--raw", "--type=5", "--name=102"]
        self.assertEqual(run(*dialog, self.custom), run(*dialog, self.stub))
        for path in (self.plain, self.custom):
            # osslsigncode prints the header's checksum and, when it differs
            # (or always, in older versions), the one it calculates.
            check = subprocess.run(["osslsigncode", "verify", str(path)], capture_output=True, text=True)
            output = check.stdout + check.stderr
            sums = re.findall(r"PE checksum\s*: ([0-9A-Fa-f]{8})", output)
            self.assertTrue(sums, output)
            self.assertEqual(len(set(sums)), 1, f"{path.name}: {output}")
            self.assertNotIn("invalid PE checksum", output, path.name)
            self.assertNotIn("MISMATCH", output, path.name)
        unzip = subprocess.run(["unzip", "-t", str(self.custom)], capture_output=True, text=True)
        self.assertEqual(unzip.returncode, 0, unzip.stdout)
        self.assertEqual(sfxpack("verify", self.custom).returncode, 0)

    def test_clear_refusals_leave_no_output(self):
        bad_icon = self.dir / "bad.ico"
        bad_icon.write_bytes(b"GIF89a not an icon")
        cut_icon = self.dir / "cut.ico"
        cut_icon.write_bytes(self.icon.read_bytes()[:-100])
        # The stub as it was linked before: base relocations after the resources.
        reloc_last = self.dir / "reloc-last.exe"
        data = bytearray(self.stub.read_bytes())
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        last = pe + 24 + optional_size + 40 * (count - 1)
        data[last - 40:last + 40] = data[last:last + 40] + data[last - 40:last]
        reloc_last.write_bytes(bytes(data))
        native = stub_path("native")
        cases = [
            ("resource section not last", ["--product-version", "1"], reloc_last, "not its last section (.reloc"),
            ("malformed icon", ["--icon", bad_icon], self.stub, "not an icon file"),
            ("cut icon", ["--icon", cut_icon], self.stub, "an image lies beyond"),
            ("missing icon", ["--icon", self.dir / "none.ico"], self.stub, "cannot read the icon"),
            ("version out of range", ["--product-version", "1.2.3.65536"], self.stub, "0 to 65535"),
            ("version with five parts", ["--product-version", "1.2.3.4.5"], self.stub, "A.B.C.D"),
        ]
        if native is not None:
            cases.append(("native stub", ["--admin"], native, "not a Windows program"))
        for name, options, stub, message in cases:
            with self.subTest(name):
                out = self.dir / "refused.exe"
                result = sfxpack("--stub", stub, "--run", "app.exe", *options, "-o", out, self.folder, check=False)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(list(self.dir.glob("refused*")), [])


class UnderWine(Launchers):
    session = None

    def artifacts(self):
        folder = pathlib.Path(os.environ["SFX_BUILD_NATIVE"]) / "e2e-artifacts" / f"sfxpack-{ARCH}"
        folder.mkdir(parents=True, exist_ok=True)
        return folder

    def test_the_dialog_carries_the_icon(self):
        """The progress dialog's icon is the deployer's: Wine hands the window's
        icon to the X server as _NET_WM_ICON (what a task bar or title bar
        shows), read back here with xprop. The dialog is a tool window, whose
        caption Wine draws without an icon when no window manager runs, so the
        screenshot is kept beside a picture of the window's icon."""
        big = self.dir / "big"
        shutil.copytree(self.folder, big)
        for i in range(3):
            (big / f"data{i}.bin").write_bytes(os.urandom(40 << 20))
        launcher = self.dir / "big.exe"
        sfxpack("--stub", self.stub, "--run", "app.exe", "--title", "Squares", "--icon", self.icon, "--level", "0",
                "-o", launcher, big)
        shutil.rmtree(big)
        running = self.session.start(launcher, [], keep=["Squares"])
        try:
            window = self.session.wait_window("^Squares$")
            time.sleep(0.3)
            shot = self.artifacts() / "dialog.png"
            self.session.screenshot(shot)
            icons = self.window_icons(window)
        finally:
            result = running.wait()
        self.assertEqual((result.code, result.messages), (0, []))
        picture = self.artifacts() / "dialog-window-icon.png"
        self.assertIn(32, icons, f"the window's icon sizes: {sorted(icons)}")
        self.save_icon(icons[32], 32, picture)
        print(f"screenshot: {shot}", flush=True)
        print(f"window icon: {picture}", flush=True)
        expected = [0xFF000000 | (r << 16) | (g << 8) | b for row in pixels(32) for (r, g, b, _) in row]
        self.assertEqual(icons[32], expected, "the 32x32 image of the deployer's icon")

    def window_icons(self, window):
        """_NET_WM_ICON of an X window: {size: [ARGB pixel, ...]}."""
        out = subprocess.run(["xprop", "-id", window, "-notype", "-format", "_NET_WM_ICON", "32c", "=$0+\n",
                              "_NET_WM_ICON"], env=self.session.env, capture_output=True, text=True).stdout
        values = [int(v) for v in re.findall(r"\d+", out.split("=", 1)[1])] if "=" in out else []
        icons = {}
        while len(values) >= 2:
            width, height = values[:2]
            icons[width] = values[2:2 + width * height]
            values = values[2 + width * height:]
        return icons

    @staticmethod
    def save_icon(argb, size, path):
        rgb = bytes(v for p in argb for v in ((p >> 16) & 255, (p >> 8) & 255, p & 255))
        subprocess.run(["convert", "-", "-scale", "800%", str(path)], input=f"P6 {size} {size} 255\n".encode() + rgb,
                       check=True)

    def test_a_signed_launcher_verifies_and_runs(self):
        key, cert = self.dir / "key.pem", self.dir / "cert.pem"
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "1",
            "-subj", "/CN=sfxpack throw-away test certificate")
        signed = self.dir / "signed.exe"
        run("osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Squares", "-in", self.custom, "-out", signed)
        check = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), str(signed)], capture_output=True,
                               text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        report = self.dir / "signed-report.txt"
        # The session's environment reaches the program the launcher starts.
        self.session.env["SFX_REPORT"] = windows_path(report)
        try:
            result = self.session.run(signed, ["/S"])
        finally:
            self.session.env.pop("SFX_REPORT", None)
        self.assertEqual((result.code, result.messages), (0, []))
        self.assertTrue(report.exists(), "the program ran")


def main():
    if stub_path(ARCH) is None:
        skip(f"no {ARCH} build")
    missing = [tool for tool in ("wrestool", "osslsigncode", "7z", OBJDUMP[ARCH]) if shutil.which(tool) is None]
    if missing:
        skip(f"missing {', '.join(missing)} (scripts/install-deps.sh installs them)")
    if MODE == "static":
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(Static)
        return unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful()
    with WineSession.for_arch(ARCH) as session:
        UnderWine.session = session
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(UnderWine)
        return unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful()


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
