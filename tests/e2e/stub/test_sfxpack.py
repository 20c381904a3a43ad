"""sfxpack: what it writes (a standard ZIP file from the first byte, the same
bytes for the same input, UTF-8 names, the deflate level), what verify finds,
the progress line, and the clear refusals that leave no file behind: of
files that are not launcher stubs, and of files it cannot read or write,
with the system's reason. Archive tools that are not ours (Info-ZIP unzip,
Python's zipfile, 7-Zip) judge the output."""
import os
import pathlib
import pty
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from harness import MARKER, STUB_NAME, sfxpack, skip_part, stub_identification, stub_path
from zip_forms import archive_relative

WINDOW_START = 100000
WINDOW_SIZE = 1048576


class PackTestCase(unittest.TestCase):
    """A folder to pack and a stand-in stub, fresh for every test."""

    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfxpack-test-"))
        self.folder = self.dir / "app"
        (self.folder / "bin").mkdir(parents=True)
        (self.folder / "bin" / "app.exe").write_bytes(b"MZ program")
        (self.folder / "readme & notes.txt").write_text("hello\n" * 100)
        (self.folder / "empty").mkdir()
        self.stub = self.dir / "stub.exe"
        self.stub.write_bytes(b"MZ" + bytes(5000) + stub_identification())

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def payload(self, out):
        data = out.read_bytes()
        at = data.index(MARKER)
        (length,) = struct.unpack_from("<I", data, at + 6)
        return data, at, data[at + 10:at + 10 + length].decode("latin-1")


class Sfxpack(PackTestCase):
    def test_layout_configuration_and_archive(self):
        out = self.dir / "out.exe"
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", "--title", "A & <B>", "--silent", "--args", '/x "a & b"',
                "-o", out, self.folder)
        data, at, config = self.payload(out)
        self.assertEqual(at, WINDOW_START, "a short stub is padded to the window start")
        stub = self.stub.read_bytes()
        self.assertEqual(data[:len(stub)], stub)
        self.assertEqual(data[len(stub):WINDOW_START], bytes(WINDOW_START - len(stub)))
        self.assertEqual(config, "<QX_ZCD><Run>bin\\app.exe</Run><Title>A &amp; &lt;B&gt;</Title>"
                                 "<Args>/x &quot;a &amp; b&quot;</Args><Prog>0</Prog></QX_ZCD>")
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
        self.assertEqual(ok.returncode, 0, ok.stderr)
        self.assertEqual((target / "bin" / "app.exe").read_bytes(), b"MZ program")
        wrong = subprocess.run(["unzip", "-q", "-o", "-P", "0" * 32, str(out), "-d", str(self.dir / "y")],
                               capture_output=True)
        self.assertNotEqual(wrong.returncode, 0, "the entries are really encrypted")

    def test_refusals_leave_nothing_behind(self):
        identification = stub_identification()
        big = self.dir / "big.exe"
        big.write_bytes(identification + bytes(WINDOW_START + WINDOW_SIZE - 5 - len(identification)))
        marked = self.dir / "marked.exe"
        marked.write_bytes(b"MZ" + MARKER + identification)
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
        identification = stub_identification()
        edge.write_bytes(identification + bytes(WINDOW_START + WINDOW_SIZE - 6 - len(identification)))
        out = self.dir / "edge-out.exe"
        sfxpack("--stub", edge, "--run", "bin/app.exe", "-o", out, self.folder)
        self.assertEqual(self.payload(out)[1], WINDOW_START + WINDOW_SIZE - 6)

    def test_a_program_no_windows_launcher_starts_is_warned_of(self):
        stubs = {arch: stub_path(arch) for arch in ("win32", "win64", "native")}
        windows = stubs["win64"] or stubs["win32"]
        if windows is None:
            skip_part("no Windows stub built: the warning is for Windows stubs")
            return
        for name in ("run.sh", "program", "setup.msi", "notes.txt", "tool.CMD"):
            (self.folder / name).write_text("#!/bin/sh\n")
        warning = "sfxpack: warning: no Windows launcher is known to start {}: it is neither a program (.exe, " \
                  ".com), a script (.bat, .cmd), a package (.msi) nor a document Windows opens\n"
        # run, stub, warned
        cases = [("run.sh", windows, True), ("program", windows, True), ("bin/app.exe", windows, False),
                 ("setup.msi", windows, False), ("notes.txt", windows, False), ("tool.CMD", windows, False),
                 ("run.sh", stubs["native"], False)]
        for run, stub, warned in cases:
            with self.subTest(run=run, stub=stub.name):
                out = self.dir / "out.exe"
                result = sfxpack("--stub", stub, "--run", run, "-o", out, self.folder)
                self.assertEqual(result.stderr, warning.format(run) if warned else "")
                self.assertTrue(out.is_file(), "a warning, not a refusal")

    def test_help_explains_every_option(self):
        text = sfxpack("--help").stdout
        for option in ("--stub", "--run", "--args", "--title", "--silent", "--pid", "--use-password", "-o", "list", "extract",
                       "verify", "--level", "--quiet", "--icon", "--product-name", "--product-version", "--company",
                       "--description", "--copyright", "--admin", "--follow-links", "--skip-links", "--arch",
                       "--console", "%ERRORLEVEL%", "echo $?"):
            self.assertIn(option, text)

    def test_a_launcher_the_stub_could_not_read_is_not_kept(self):
        # The stub refuses a name with ':' (a drive or a stream on Windows);
        # sfxpack holds every name to the stub's own rule before it writes.
        (self.folder / "a:b.txt").write_text("x")
        out = self.dir / "refused.exe"
        result = sfxpack("--stub", self.stub, "--run", "bin/app.exe", "-o", out, self.folder, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("the launcher would refuse this name, for a ':'", result.stderr)
        self.assertIn("a:b.txt", result.stderr)
        self.assertEqual(sorted(p.name for p in self.dir.glob("refused*")), [])

    def test_level_and_what_deflate_cannot_shrink(self):
        (self.folder / "noise.bin").write_bytes(os.urandom(100000))
        for level, text_method in ((0, zipfile.ZIP_STORED), (1, zipfile.ZIP_DEFLATED), (9, zipfile.ZIP_DEFLATED)):
            with self.subTest(level=level):
                out = self.dir / f"level{level}.exe"
                sfxpack("--stub", self.stub, "--run", "bin/app.exe", "--level", level, "-o", out, self.folder)
                with zipfile.ZipFile(out) as archive:
                    self.assertEqual(archive.getinfo("readme & notes.txt").compress_type, text_method)
                    self.assertEqual(archive.getinfo("noise.bin").compress_type, zipfile.ZIP_STORED)
                    self.assertIsNone(archive.testzip())
        sizes = [(self.dir / f"level{level}.exe").stat().st_size for level in (0, 1, 9)]
        self.assertGreater(sizes[0], sizes[1])
        self.assertGreaterEqual(sizes[1], sizes[2])
        for bad in ("10", "-1", "x", ""):
            with self.subTest(bad=bad):
                result = sfxpack("--stub", self.stub, "--run", "bin/app.exe", "--level", bad, "-o",
                                 self.dir / "refused.exe", self.folder, check=False)
                self.assertEqual(result.returncode, 2)
                self.assertIn("--level", result.stderr)


class StubCheck(PackTestCase):
    """Only a launcher stub of this build is taken as the stub: sfxpack names
    what it found instead, or both payload formats."""

    def refused(self, stub, *options):
        out = self.dir / "refused.exe"
        result = sfxpack("--stub", stub, "--run", "bin/app.exe", *options, "-o", out, self.folder, check=False)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(sorted(p.name for p in self.dir.glob("refused*")), [])
        return result.stderr

    def test_what_is_not_a_stub_is_refused_naming_what_it_is(self):
        text = self.dir / "passwd"
        text.write_text("root:x:0:0:root:/root:/bin/bash\n")
        empty = self.dir / "empty.exe"
        empty.write_bytes(b"")
        cases = [
            ("a text file", text, "is a text file, not a launcher stub"),
            ("an empty file", empty, "is an empty file, not a launcher stub"),
            ("an ELF program", shutil.which("true"), "is an ELF program that is not a launcher stub"),
            ("sfxpack itself", os.environ["SFXPACK"], "is an ELF program that is not a launcher stub"),
        ]
        win64 = stub_path("win64")
        if win64 is not None:
            program = win64.parent.parent / "tests" / "programs" / "report.exe"
            cases.append(("a Windows program", program, "is a Windows program that is not a launcher stub"))
        else:
            skip_part("no win64 build: a Windows program that is not a stub is not tried")
        for name, stub, message in cases:
            with self.subTest(name):
                self.assertIn(f"the stub {stub} {message}", self.refused(stub))

    def test_a_stub_of_another_payload_format_is_refused_naming_both(self):
        data = stub_path("native").read_bytes()
        at = data.index(STUB_NAME) + len(STUB_NAME)
        digits = data[at:data.index(b"\0", at)]
        ours = int(digits)
        other = ours + 1 if len(str(ours + 1)) == len(digits) else ours - 1
        patched = self.dir / "other-format"
        patched.write_bytes(data[:at] + str(other).encode() + data[at + len(digits):])
        message = self.refused(patched)
        self.assertIn(f"reads payload format {other}, but this sfxpack writes payload format {ours}", message)

    def test_the_identification_survives_strip_and_the_resource_rewrite(self):
        for arch, strip in (("native", "strip"), ("win64", "x86_64-w64-mingw32-strip"),
                            ("win32", "i686-w64-mingw32-strip")):
            stub = stub_path(arch)
            if stub is None:
                skip_part(f"no {arch} build")
                continue
            with self.subTest(arch):
                stripped = self.dir / f"stripped-{arch}"
                subprocess.run([strip, "--strip-all", "-o", str(stripped), str(stub)], check=True)
                options = [] if arch == "native" else ["--product-version", "1.2.3.4", "--admin"]
                out = self.dir / f"out-{arch}"
                sfxpack("--stub", stripped, "--run", "bin/app.exe", *options, "-o", out, self.folder)
                self.assertIn(stub_identification(), out.read_bytes())


class SystemErrors(PackTestCase):
    """A file that cannot be read, created or written is named with the
    system's text for the error, the texts the launcher shows too."""

    def test_the_message_ends_with_the_systems_reason(self):
        closed = self.dir / "closed"
        closed.mkdir()
        os.chmod(closed, 0o555)
        # root may write anywhere, so there sfxpack runs as nobody, from a
        # copy that nobody can reach wherever the build lies.
        user = {"user": 65534, "group": 65534, "extra_groups": []} if os.geteuid() == 0 else {}
        os.chmod(self.dir, 0o755)
        program = shutil.copy(os.environ["SFXPACK"], self.dir / "sfxpack")
        icon_folder = self.dir / "icons"
        icon_folder.mkdir()
        cases = [
            ("output folder missing", ["-o", self.dir / "none" / "x.exe"],
             f"cannot create {self.dir}/none/x.exe.partial: The system cannot find the path specified."),
            ("output folder closed", ["-o", closed / "x.exe"],
             f"cannot create {closed}/x.exe.partial: Access is denied."),
            ("stub missing", ["--stub", self.dir / "none.exe", "-o", self.dir / "x.exe"],
             f"cannot read the stub {self.dir}/none.exe: The system cannot find the file specified."),
            ("icon is a folder", ["--icon", icon_folder, "-o", self.dir / "x.exe"],
             f"cannot read the icon {icon_folder}: Access is denied."),
        ]
        for name, options, message in cases:
            with self.subTest(name):
                args = ["--stub", self.stub, "--run", "bin/app.exe", *options, self.folder]
                result = subprocess.run([program, *map(str, args)], capture_output=True, text=True, **user)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stderr, f"sfxpack: {message}\n")


def pack_env(args, env=None, stderr=subprocess.PIPE):
    return subprocess.run([os.environ["SFXPACK"], *map(str, args)], env=env, stdout=subprocess.PIPE, stderr=stderr,
                          text=True, errors="replace")


class StandardZip(PackTestCase):
    """Every launcher is a ZIP file from its first byte: the offsets count from
    the start of the whole file, so no tool sees "extra bytes"."""

    def launchers(self):
        plain = self.dir / "plain.exe"
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", "-o", plain, self.folder)
        enc = self.dir / "enc.exe"
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", "--pid", "p", "--use-password", "-o", enc, self.folder)
        password = subprocess.run(["md5sum"], input=b"p", capture_output=True).stdout.split()[0].decode()
        return [(plain, None), (enc, password)]

    def test_archive_tools_test_it_clean(self):
        for out, password in self.launchers():
            with self.subTest(out.name):
                pw = ["-P", password] if password else []
                unzip = subprocess.run(["unzip", "-t", *pw, str(out)], capture_output=True, text=True)
                self.assertEqual(unzip.returncode, 0, unzip.stdout + unzip.stderr)
                self.assertNotIn("extra bytes", unzip.stdout + unzip.stderr)
                seven = subprocess.run(["7z", "t", "-tzip", *(["-p" + password] if password else []), str(out)],
                                       capture_output=True, text=True)
                self.assertEqual(seven.returncode, 0, seven.stdout)
                self.assertNotIn("WARNING", seven.stdout)
                with zipfile.ZipFile(out) as archive:
                    if password:
                        archive.setpassword(password.encode())
                    self.assertIsNone(archive.testzip())
                    # The first entry's local header follows the configuration
                    # directly; its recorded offset is where it really is.
                    data = out.read_bytes()
                    first = min(info.header_offset for info in archive.infolist())
                    self.assertEqual(data[first:first + 4], b"PK\x03\x04")
                    _, at, config = self.payload(out)
                    self.assertEqual(first, at + 10 + len(config))
                    end = data.rindex(b"PK\x05\x06")
                    (directory,) = struct.unpack_from("<I", data, end + 16)
                    self.assertEqual(data[directory:directory + 4], b"PK\x01\x02", "the end record's offset is absolute")
                # Info-ZIP's own adjustment of the older form gives these very bytes.
                adjusted = archive_relative(out, self.dir / "adjusted.exe")
                self.assertNotEqual(adjusted.read_bytes(), out.read_bytes())
                subprocess.run(["zip", "-qA", str(adjusted)], check=True)
                self.assertEqual(adjusted.read_bytes(), out.read_bytes())


class Names(PackTestCase):
    NAMES = ["ünï/café.txt", "данные/日本語.txt", "plain/ascii.txt"]

    def test_names_beyond_ascii_are_utf8_through_pack_list_and_extract(self):
        for name in self.NAMES:
            (self.folder / name).parent.mkdir(parents=True, exist_ok=True)
            (self.folder / name).write_text(name)
        out = self.dir / "names.exe"
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", "-o", out, self.folder)
        with zipfile.ZipFile(out) as archive:
            for info in archive.infolist():
                beyond_ascii = not info.filename.isascii()
                self.assertEqual(bool(info.flag_bits & 0x800), beyond_ascii, info.filename)
            for name in self.NAMES:
                self.assertEqual(archive.read(name), name.encode())
        listing = sfxpack("list", out).stdout
        for name in self.NAMES:
            self.assertIn(name.replace("/", "\\"), listing)
        target = self.dir / "x"
        sfxpack("extract", out, target)
        for name in self.NAMES:
            self.assertEqual((target / name).read_text(), name)
        unzipped = self.dir / "u"
        subprocess.run(["unzip", "-q", str(out), "-d", str(unzipped)], check=True)
        for name in self.NAMES:
            self.assertTrue((unzipped / name).is_file(), name)

    def test_names_no_archive_tool_or_windows_would_read_alike_are_refused(self):
        for name, message in ((b"latin1-\xe9", "not UTF-8"),
                              (b"back\\slash", "a name with '\\', which Windows takes for a folder separator")):
            with self.subTest(name):
                path = os.fsencode(self.folder) + b"/" + name
                os.mkdir(path)
                out = self.dir / "refused.exe"
                result = pack_env(["--stub", self.stub, "--run", "bin/app.exe", "-o", out, self.folder])
                os.rmdir(path)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(out.exists())


class Verify(PackTestCase):
    def packed(self, name, *options):
        out = self.dir / name
        sfxpack("--stub", self.stub, "--run", "bin/app.exe", *options, "-o", out, self.folder)
        return out

    def data_offset(self, out, name):
        with zipfile.ZipFile(out) as archive:
            info = archive.getinfo(name)
        data = out.read_bytes()
        name_length, extra_length = struct.unpack_from("<HH", data, info.header_offset + 26)
        return info.header_offset + 30 + name_length + extra_length

    def test_verify(self):
        good = self.packed("good.exe")
        enc = self.packed("enc.exe", "--pid", "Product 1", "--use-password")

        flipped = self.dir / "flipped.exe"
        data = bytearray(good.read_bytes())
        data[self.data_offset(good, "readme & notes.txt") + 3] ^= 0x55
        flipped.write_bytes(bytes(data))

        cut = self.dir / "cut.exe"
        cut.write_bytes(good.read_bytes()[:-60])

        wrong_pid = self.dir / "wrong-pid.exe"
        data = enc.read_bytes()
        wrong_pid.write_bytes(data.replace(b"<pid>Product 1</pid>", b"<pid>Product 2</pid>"))

        cases = [
            ("good", good, 0, ["4 entries", "OK"], []),
            ("encrypted", enc, 0, ["password derived from pid", "OK"], []),
            ("flipped byte", flipped, 1, ["1 fault"], ["readme & notes.txt"]),
            ("cut file", cut, 1, [], ["central directory"]),
            ("wrong pid", wrong_pid, 1, ["2 faults"], ["bin\\app.exe", "readme & notes.txt"]),
        ]
        for name, path, code, out_words, err_words in cases:
            with self.subTest(name):
                before = sorted(self.dir.rglob("*"))
                result = sfxpack("verify", path, check=False)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                for word in out_words:
                    self.assertIn(word, result.stdout)
                for word in err_words:
                    self.assertIn(word, result.stderr)
                self.assertEqual(sorted(self.dir.rglob("*")), before, "verify writes nothing")


class Reproducible(PackTestCase):
    def test_same_input_same_bytes(self):
        epoch = 1700000000  # 2023-11-14 22:13:20 UTC
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), TZ="UTC")
        app = self.folder / "bin" / "app.exe"
        for options in ([], ["--pid", "p", "--use-password"]):
            with self.subTest(options=options):
                first, second = self.dir / "first.exe", self.dir / "second.exe"
                os.utime(app, (epoch + 10, epoch + 10))
                result = pack_env(["--stub", self.stub, "--run", "bin/app.exe", *options, "-o", first, self.folder],
                                  env)
                self.assertEqual(result.returncode, 0, result.stderr)
                # Another time (still after the epoch), time zone, umask-like
                # permissions, owner, and a folder listed in another order.
                os.utime(app, (epoch + 5000, epoch + 5000))
                os.chmod(self.folder / "readme & notes.txt", 0o600)
                if os.geteuid() == 0:
                    os.chown(self.folder / "readme & notes.txt", 1234, 4321)
                copy = self.dir / "copy"
                shutil.rmtree(copy, ignore_errors=True)
                copy.mkdir()
                for path in sorted(self.folder.rglob("*"), reverse=True):
                    target = copy / path.relative_to(self.folder)
                    if path.is_dir():
                        target.mkdir(parents=True, exist_ok=True)
                    else:
                        target.parent.mkdir(parents=True, exist_ok=True)
                        shutil.copy2(path, target)
                result = pack_env(["--stub", self.stub, "--run", "bin/app.exe", *options, "-o", second, copy],
                                  dict(env, TZ="Asia/Tokyo"))
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(first.read_bytes(), second.read_bytes())
                with zipfile.ZipFile(second) as archive:
                    self.assertEqual({info.date_time for info in archive.infolist()}, {(2023, 11, 14, 22, 13, 20)})

    def test_times_before_the_epoch_are_kept_and_a_bad_epoch_is_refused(self):
        os.utime(self.folder / "bin" / "app.exe", (1000000000, 1000000000))  # 2001-09-09 01:46:40 UTC
        out = self.dir / "old.exe"
        result = pack_env(["--stub", self.stub, "--run", "bin/app.exe", "-o", out, self.folder],
                          dict(os.environ, SOURCE_DATE_EPOCH="1700000000", TZ="Europe/Berlin"))
        self.assertEqual(result.returncode, 0, result.stderr)
        with zipfile.ZipFile(out) as archive:
            self.assertEqual(archive.getinfo("bin/app.exe").date_time, (2001, 9, 9, 1, 46, 40))
        result = pack_env(["--stub", self.stub, "--run", "bin/app.exe", "-o", self.dir / "refused.exe", self.folder],
                          dict(os.environ, SOURCE_DATE_EPOCH="yesterday"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("SOURCE_DATE_EPOCH", result.stderr)
        self.assertFalse((self.dir / "refused.exe").exists())


class ProgressLine(PackTestCase):
    def on_terminal(self, *options):
        """sfxpack's standard error on a pseudo-terminal."""
        controller, terminal = pty.openpty()
        proc = subprocess.Popen([os.environ["SFXPACK"], "--stub", str(self.stub), "--run", "bin/app.exe", *options,
                                 "-o", str(self.dir / "out.exe"), str(self.folder)],
                                stdout=subprocess.DEVNULL, stderr=terminal)
        os.close(terminal)
        shown = b""
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the terminal closed with the process
                break
            if not chunk:
                break
            shown += chunk
        os.close(controller)
        self.assertEqual(proc.wait(), 0)
        return shown.decode()

    def test_progress_only_on_a_terminal_and_not_with_quiet(self):
        shown = self.on_terminal()
        self.assertIn("2/2 files", shown)
        self.assertRegex(shown, r"MiB/s")
        self.assertEqual(self.on_terminal("--quiet"), "")
        result = sfxpack("--stub", self.stub, "--run", "bin/app.exe", "-o", self.dir / "piped.exe", self.folder)
        self.assertEqual(result.stderr, "")


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
