"""What a launcher can start, end to end.

Under Wine (win64 and win32): an installer package (.msi, built here with
wixl) is installed by the system's msiexec with the fixed arguments "/qn",
never by a msiexec beside it, gets the launcher's path as its property
SFXSOURCE, and the launcher ends with msiexec's code; .bat and .cmd scripts keep their
exit codes; a document of a kind no program opens gives the system's error
(no message from the GUI stub) and its folder is deleted.

Natively (the posix launcher): a script with its execute bit runs and gives
its exit code; a script without it, and a file that is neither a program
nor a script with a "#!" line, are not started: the launcher names the file
and the reason on standard error, ends with the system's code (5, access
denied; 193, not a program) and deletes the folder.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

from harness import skip_part, windows_path
from launcher_support import LauncherTestCase, exit_code, pack_launcher, run_suite

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
NO_ASSOCIATION = 1155  # ERROR_NO_ASSOCIATION
# A package that puts one file under the program files folder and writes
# what the launcher gave it as SFXSOURCE to the registry (wixl's WiX 3 subset).
PACKAGE_SOURCE = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="SfxLauncherTest" Language="1033" Version="1.0.0" Manufacturer="sfxlauncher tests"
           UpgradeCode="6d1e4a52-3c0b-4a8e-9a57-2b0c0e1c7f11">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="pkg.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="SfxLauncherTest">
          <Component Id="Main" Guid="0b9c3f0e-8f55-4b1a-9d5c-4f7b8d2a6e01">
            <File Id="Installed" Source="installed.txt"/>
            <RegistryValue Root="HKLM" Key="Software\\SfxLauncherTest" Name="Source" Type="string"
                           Value="[SFXSOURCE]"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
"""


class Programs(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-programs-"))

    def pack_file(self, name, data, mode=0o644, **options):
        """A launcher whose program is the file `name` holding `data`, with `mode` natively."""
        app = self.fresh(f"app-{name}")
        (app / name).write_bytes(data)
        (app / name).chmod(mode)
        return pack_launcher(ARCH, app, self.dir / f"{name}.launcher", run=name, silent=True, **options)

    def base(self):
        base = self.fresh("base")
        return base, "/T:" + windows_path(base)

    def test_windows_scripts_keep_their_exit_codes(self):
        if ARCH == "native":
            self.skipTest("Windows scripts")
        for name, code in (("setup.bat", 7), ("setup.cmd", 70000)):
            with self.subTest(name):
                launcher = self.pack_file(name, f"@exit /b {code}\r\n".encode())
                base, option = self.base()
                result = self.runner.run(launcher, [option])
                self.assertEqual((result.code, result.messages), (exit_code(ARCH, code), []))
                self.assertEqual(list(base.iterdir()), [])

    def test_a_package_is_installed_by_the_systems_msiexec(self):
        if ARCH == "native":
            self.skipTest("installer packages are Windows's")
        if shutil.which("wixl") is None:
            skip_part("wixl is not installed (scripts/install-deps.sh)")
            return
        app = self.fresh("package")
        source = self.fresh("package-source")
        (source / "installed.txt").write_text("installed by the package\n")
        (source / "pkg.wxs").write_text(PACKAGE_SOURCE)
        subprocess.run(["wixl", "-o", str(app / "setup.msi"), str(source / "pkg.wxs")], check=True, cwd=source)
        # A msiexec beside the package is never the one that runs.
        (app / "msiexec.exe").write_bytes(b"MZ not the installer")
        launcher = pack_launcher(ARCH, app, self.dir / "package.exe", run="setup.msi", silent=True, args="/qn")
        installed = [self.runner.unix_path(f"C:\\{folder}\\SfxLauncherTest\\installed.txt")
                     for folder in ("Program Files", "Program Files (x86)")]
        for path in installed:
            if path.exists():
                path.unlink()
        base, option = self.base()
        result = self.runner.run(launcher, [option])
        self.assertEqual((result.code, result.messages), (0, []), "msiexec's code: installed")
        self.assertEqual([p.read_text() for p in installed if p.exists()], ["installed by the package\n"])
        # The launcher's path reaches the package as its property SFXSOURCE.
        query = subprocess.run([self.runner.session.loader, "reg", "query", "HKLM\\Software\\SfxLauncherTest", "/v",
                                "Source", "/reg:32"], capture_output=True, text=True, env=self.runner.session.env)
        self.assertIn(windows_path(launcher), query.stdout, query.stdout + query.stderr)
        self.assertEqual(list(base.iterdir()), [])

    def test_a_document_no_program_opens_gives_the_systems_error(self):
        if ARCH == "native":
            self.skipTest("associations are Windows's; natively it is a file that is no program (below)")
        launcher = self.pack_file("notes.sfxnothing", b"no program opens this\r\n")
        base, option = self.base()
        result = self.runner.run(launcher, [option])
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, NO_ASSOCIATION), []))
        self.assertEqual(list(base.iterdir()), [])

    def test_posix_scripts_and_files_that_cannot_be_executed(self):
        if ARCH != "native":
            self.skipTest("the posix launcher's rules")
        script = b"#!/bin/sh\nexit 4\n"
        # name, contents, mode, exit code, the reason named (None: it ran)
        cases = [
            ("a script with its execute bit", script, 0o755, 4, None),
            ("a script without it", script, 0o644, 5,
             "The file is not marked executable (its execute permission is not set)."),
            ("no program and no #! line", b"exit 4\n", 0o755, 193,
             'The file is neither a program of this system nor a script with a "#!" line.'),
        ]
        for index, (name, data, mode, code, reason) in enumerate(cases):
            with self.subTest(name):
                launcher = self.pack_file(f"run{index}.sh", data, mode)
                base = self.fresh("base")
                result = self.runner.run(launcher, ["/T:" + windows_path(base)])
                self.assertEqual(result.code, exit_code(ARCH, code), result.stderr)
                if reason is None:
                    self.assertEqual(result.stderr, "")
                else:
                    lines = result.stderr.splitlines()
                    self.assertEqual(lines[0], f"{launcher.stem}: The program could not be started:")
                    self.assertRegex(lines[1], rf"^Z:\\.+\\qx_ext_temp_\d+\\run{index}\.sh$")
                    self.assertEqual(lines[2:], [reason])
                self.assertEqual(list(base.iterdir()), [], "the folder is deleted")


def main():
    return run_suite(Programs, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
