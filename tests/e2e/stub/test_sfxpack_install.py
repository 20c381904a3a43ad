"""sfxpack finds its stubs: `cmake --install` of the native build puts sfxpack
in PREFIX/bin and every stub it was built with in PREFIX/share/sfxlauncher/
<arch>/; without --stub sfxpack takes the win32 GUI stub from there,
--console the console stub and --arch the architecture, and --stub still
overrides. A stub that is not there is refused naming where sfxpack looked.

Usage: test_sfxpack_install.py CMAKE   (the cmake that installs)
"""
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from harness import build_dir, skip_part, stub_path

CMAKE = sys.argv.pop(1) if len(sys.argv) > 1 else "cmake"


def without_checksum(image):
    """A Windows program with its header checksum, which sfxpack recomputes
    over the whole launcher, set to zero."""
    if image[:2] != b"MZ":
        return image
    field = struct.unpack_from("<I", image, 0x3C)[0] + 24 + 64
    return image[:field] + bytes(4) + image[field + 4:]


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfxpack-install-"))
        cls.prefix = cls.dir / "prefix"
        subprocess.run([CMAKE, "--install", str(build_dir("native")), "--prefix", str(cls.prefix)], check=True,
                       stdout=subprocess.DEVNULL)
        cls.sfxpack = cls.prefix / "bin" / "sfxpack"
        cls.stubs = cls.prefix / "share" / "sfxlauncher"
        cls.folder = cls.dir / "tool"
        cls.folder.mkdir()
        tool = cls.folder / "tool"
        tool.write_text("#!/bin/sh\nexit 3\n")
        tool.chmod(0o755)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def pack(self, *options, sfxpack=None):
        out = self.dir / "out.exe"
        out.unlink(missing_ok=True)
        result = subprocess.run([str(sfxpack or self.sfxpack), *map(str, options), "--run", "tool", "--silent",
                                 "-o", str(out), str(self.folder)], capture_output=True, text=True)
        return result, out

    def built(self, arch, name):
        """The stub `name` of the `arch` build, or None when it was not built."""
        folder = build_dir(arch)
        path = folder / "launcher" / name if folder else None
        return path if path is not None and path.is_file() else None

    def test_every_built_stub_is_installed(self):
        self.assertTrue(self.sfxpack.is_file())
        expected = {"native/launcher": stub_path("native")}
        for arch in ("win32", "win64"):
            for name in ("launcher.exe", "launcher-console.exe"):
                expected[f"{arch}/{name}"] = self.built(arch, name)
        for relative, built in expected.items():
            with self.subTest(relative):
                installed = self.stubs / relative
                if built is None:
                    self.assertFalse(installed.exists())
                    skip_part(f"{relative} was not built, so it is not installed")
                else:
                    self.assertEqual(installed.read_bytes(), built.read_bytes())

    def test_the_stub_follows_arch_and_console(self):
        cases = [
            ("no options: the win32 GUI stub", [], "win32/launcher.exe"),
            ("--arch win64", ["--arch", "win64"], "win64/launcher.exe"),
            ("--console: the win32 console stub", ["--console"], "win32/launcher-console.exe"),
            ("--console --arch win64", ["--console", "--arch", "win64"], "win64/launcher-console.exe"),
            ("--arch native", ["--arch", "native"], "native/launcher"),
            ("--arch native --console: the same launcher", ["--arch", "native", "--console"], "native/launcher"),
            ("--stub overrides", ["--stub", stub_path("native"), "--arch", "win64", "--console"], "native/launcher"),
        ]
        for name, options, relative in cases:
            with self.subTest(name):
                stub = self.stubs / relative
                result, out = self.pack(*options)
                if stub.is_file():
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(without_checksum(out.read_bytes()[:stub.stat().st_size]),
                                     without_checksum(stub.read_bytes()))
                else:
                    skip_part(f"{relative} is not installed: its refusal is tried instead")
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(f"there is no {stub} ", result.stderr)
                    self.assertFalse(out.exists())

    def test_a_command_line_tool_runs_from_a_shell(self):
        result, out = self.pack("--arch", "native")
        self.assertEqual(result.returncode, 0, result.stderr)
        shell = subprocess.run(["sh", "-c", f'"{out}" input.txt; echo "exit code $?"'], capture_output=True, text=True)
        self.assertEqual(shell.stdout, "exit code 3\n", shell.stderr)

    def test_a_missing_stub_is_refused_naming_where_sfxpack_looked(self):
        copy = self.dir / "elsewhere"
        shutil.copytree(self.prefix, copy, symlinks=True)
        shutil.rmtree(copy / "share" / "sfxlauncher" / "win64", ignore_errors=True)
        # Through a link from another folder, as from /usr/local/bin: the
        # stubs are looked for beside the real program.
        linked = self.dir / "bin" / "sfxpack"
        linked.parent.mkdir()
        linked.symlink_to(copy / "bin" / "sfxpack")
        result, out = self.pack("--arch", "win64", sfxpack=linked)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"no win64 stub is installed with this sfxpack: there is no "
                      f"{copy}/share/sfxlauncher/win64/launcher.exe", result.stderr)
        self.assertFalse(out.exists())
        result, out = self.pack("--arch", "native", sfxpack=linked)
        self.assertEqual(result.returncode, 0, result.stderr)


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
