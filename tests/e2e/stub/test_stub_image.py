"""Checks every built stub: it never holds the payload marker in one piece
(the locator takes the first marker it meets), and the Windows stubs (the
GUI and the console one of each architecture) import system DLLs only, are
built for their subsystem and stay within their size budget."""
import re
import subprocess
import sys
import unittest

from harness import MARKER, skip_part, stub_path

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll", "msvcrt.dll",
               "advapi32.dll", "ole32.dll", "shlwapi.dll"}
OBJDUMP = {"win64": "x86_64-w64-mingw32-objdump", "win32": "i686-w64-mingw32-objdump"}
# Bytes a Windows stub may take. scripts/stub-size.py shows what one is made of.
SIZE_BUDGET = 200_000


class StubImage(unittest.TestCase):
    def stubs(self):
        """Each stub built, by name: "native", "win64", "win64 console", ..."""
        found = {arch: stub_path(arch) for arch in ("native", "win64", "win32")}
        for arch in ("win64", "win32"):
            found[f"{arch} console"] = stub_path(arch, console=True)
        for arch, path in found.items():
            if path is None or not path.is_file():
                skip_part(f"no {arch} stub to check")
        return {arch: path for arch, path in found.items() if path is not None and path.is_file()}

    def test_no_stub_holds_the_marker(self):
        stubs = self.stubs()
        self.assertTrue(stubs)
        for arch, path in stubs.items():
            data = path.read_bytes()
            print(f"{arch} stub: {path.name} {len(data)} bytes", flush=True)
            self.assertNotIn(MARKER, data, f"{arch} stub holds the marker")

    def test_windows_stubs_import_system_dlls_only(self):
        for arch, path in self.stubs().items():
            if arch == "native":
                continue
            dump = subprocess.run([OBJDUMP[arch.split()[0]], "-p", str(path)], capture_output=True, text=True,
                                  check=True).stdout
            dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
            self.assertTrue(dlls, f"{arch}: no imports found")
            self.assertLessEqual(dlls, SYSTEM_DLLS, f"{arch} imports {sorted(dlls - SYSTEM_DLLS)}")
            self.assertIn("subsystem", dump.lower())
            if arch.endswith("console"):
                self.assertRegex(dump, r"Subsystem\s+00000003", f"{arch} stub is not a console program")
            else:
                self.assertRegex(dump, r"Subsystem\s+00000002", f"{arch} stub is not a GUI program")

    def test_windows_stubs_load_at_start_only_what_the_system_takes_from_its_folder(self):
        # The loader resolves static imports (and theirs) before the stub can
        # restrict where DLLs come from; USER32 and ADVAPI32 are loaded on
        # first use, from the system folder.
        for arch, path in self.stubs().items():
            if arch == "native":
                continue
            dump = subprocess.run([OBJDUMP[arch.split()[0]], "-p", str(path)], capture_output=True, text=True,
                                  check=True).stdout
            dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
            self.assertEqual(dlls, {"kernel32.dll", "msvcrt.dll"}, arch)

    def test_windows_stubs_stay_within_the_size_budget(self):
        for arch, path in self.stubs().items():
            if arch == "native":
                continue
            size = path.stat().st_size
            print(f"{arch} stub: {size} bytes, {SIZE_BUDGET - size} under the budget of {SIZE_BUDGET}", flush=True)
            self.assertLessEqual(size, SIZE_BUDGET,
                                 f"{arch} stub is too large; scripts/stub-size.py build/{arch.split()[0]} shows what it holds")

    def test_windows_stubs_carry_the_manifest(self):
        for arch, path in self.stubs().items():
            if arch == "native":
                continue
            data = path.read_bytes()
            for needle in (b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                           b'level="asInvoker" uiAccess="false"',
                           b"{e2011457-1546-43c5-a5fe-008deee3d3f0}",   # Vista
                           b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):  # 10
                self.assertIn(needle, data, f"{arch}: manifest lacks {needle!r}")


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
