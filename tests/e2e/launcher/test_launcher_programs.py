"""What a launcher can start, end to end.

Natively (the posix launcher): a script with its execute bit runs and gives
its exit code; a script without it, and a file that is neither a program
nor a script with a "#!" line, are not started: the launcher names the file
and the reason on standard error, ends with the system's code (5, access
denied; 193, not a program) and deletes the folder.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import pathlib
import sys
import tempfile

from harness import windows_path
from launcher_support import LauncherTestCase, exit_code, pack_launcher, run_suite

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"


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
