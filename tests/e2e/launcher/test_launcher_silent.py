"""Silent runs of a packed launcher, end to end: every file arrives
byte-identical and every folder (empty ones too) is recreated, the program
gets the command line the run builds (its own path, the configured fixed
arguments as written, each launcher argument in quotes, the source token
last) and the temporary folder as working
folder, its exit code becomes the launcher's, and the temporary folder is
gone afterwards. "/T:" picks the base folder; a missing one falls back to the
system's temporary path. Sixteen launchers of one file started at once each
extract into a folder of their own.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import pathlib
import re
import secrets
import shutil
import sys
import tempfile
import time
import unittest

from harness import windows_path
from launcher_support import (LauncherTestCase, run_suite, describe_tree, encryption_of, exit_code, expected_command_line, pack_launcher,
                              program_name, read_reports, report_program, source_token)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
CRASH_CODE = {"native": 128 + 11}  # SIGSEGV, as the posix launch reports it
CRASH_CODE_WINDOWS = -1073741819  # 0xC0000005, access violation
# The deployer's fixed arguments, quoted by the deployer, and how the program splits them.
FIXED_ARGS = '--mode "two words" plain "say \\"hi\\"" C:\\dir\\'
FIXED_ARGV = ["--mode", "two words", "plain", 'say "hi"', "C:\\dir\\"]


def make_tree(root, arch):
    """The application folder: the report program, files of several sizes
    (empty, around the 65536-byte transfer buffer, a few hundred KB), names
    with spaces, nested and empty folders."""
    root.mkdir()
    shutil.copy(report_program(arch), root / program_name(arch))
    rng = secrets.SystemRandom()
    (root / "readme.txt").write_text("hello\r\n")
    (root / "empty.dat").write_bytes(b"")
    (root / "my data").mkdir()
    (root / "my data" / "chunk 65536.bin").write_bytes(rng.randbytes(65536))
    (root / "my data" / "chunk 65537.bin").write_bytes(rng.randbytes(65537))
    (root / "my data" / "text.log").write_text("line\n" * 40000)
    (root / "lib" / "deep" / "deeper").mkdir(parents=True)
    (root / "lib" / "deep" / "deeper" / "big.bin").write_bytes(rng.randbytes(700000))
    (root / "empty folder").mkdir()
    (root / "lib" / "empty inside").mkdir()
    # A name of this run's own, to tell our folder from others in a shared temp path.
    (root / f"tree-{secrets.token_hex(6)}").mkdir()
    return root


class SilentRuns(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-launcher-"))
        cls.tree = make_tree(cls.dir / "app", ARCH)
        cls.files, cls.dirs = describe_tree(cls.tree)
        cls.token = next(d for d in cls.dirs if d.startswith("tree-"))
        # Without --silent: only "/S" makes these runs silent.
        cls.plain = pack_launcher(ARCH, cls.tree, cls.dir / "plain.exe", title="Plain")
        cls.prog0 = pack_launcher(ARCH, cls.tree, cls.dir / "prog0.exe", silent=True)
        cls.fixed = pack_launcher(ARCH, cls.tree, cls.dir / "fixed.exe", silent=True, args=FIXED_ARGS)
        cls.encrypted = pack_launcher(ARCH, cls.tree, cls.dir / "sealed.exe", pid="launcher e2e 42", use_password=True)
        assert all(encryption_of(cls.encrypted).values()), "every file entry of sealed.exe is encrypted"

    def assert_tree_arrived(self, report, context):
        self.assertEqual(report.files, self.files, context)
        self.assertEqual(report.dirs, self.dirs, context)

    def assert_gone(self, folder, context):
        """The temporary folder named `folder` (a Windows path) is gone: our
        tree is no longer in it (another launcher may have claimed the name
        since, in a shared temporary path)."""
        native = self.runner.unix_path(folder)
        self.assertTrue(native.parent.is_dir(), f"{context}: {native.parent} should exist")
        self.assertFalse((native / self.token).exists(), f"{context}: {native} was left behind")

    def test_runs_extract_launch_pass_the_exit_code_and_clean_up(self):
        base = self.fresh("base")
        missing = self.dir / "no such folder"
        system_temp = self.fresh("system temp") if ARCH == "native" else None
        crash = CRASH_CODE.get(ARCH, CRASH_CODE_WINDOWS)
        t_base = "/T:" + windows_path(base)
        # name, launcher, arguments, program settings, launcher exit code, base folder (None: system temp)
        cases = [
            ("fixed arguments before the forwarded ones", self.fixed, ["a b", t_base], {}, 0, base),
            ("/S, arguments with spaces", self.plain, ["arg1", "a b", "/S", t_base], {"SFX_EXIT_CODE": "3"}, 3, base),
            ("Prog 0 without /S", self.prog0, [t_base, "x"], {}, 0, base),
            # Arguments that need escaping inside quotes still arrive whole, and the token stays last.
            ("backslashes and quotes", self.plain, ["/S", "C:\\dir\\", 'say "hi" \\"x\\"', t_base + "\\"],
             {}, 0, base),
            ("missing /T: folder", self.prog0, ["/T:" + windows_path(missing)], {"SFX_EXIT_CODE": "9"}, 9, None),
            ("encrypted payload", self.encrypted, ["/S", t_base], {"SFX_EXIT_CODE": "77"}, 77, base),
            ("crashing program", self.plain, ["/S", t_base], {"SFX_CRASH": "1"}, crash, base),
        ]
        for index, (name, launcher, args, settings, code, expected_base) in enumerate(cases):
            with self.subTest(name):
                report_file = self.dir / f"report-{index}.txt"
                report_file.unlink(missing_ok=True)
                env = dict(settings, SFX_REPORT=windows_path(report_file))
                if system_temp is not None:
                    env["TMPDIR"] = str(system_temp)
                result = self.runner.run(launcher, args, env)
                self.assertEqual((result.code, result.messages), (exit_code(ARCH, code), []))

                reports = read_reports(report_file)
                self.assertEqual(len(reports), 1, "the program ran once")
                report = reports[0]
                self.assert_tree_arrived(report, name)
                folder = report.cwd
                where = expected_base if expected_base is not None else system_temp
                if where is None:
                    # Wine's own temporary path, wherever the prefix keeps it.
                    self.assertRegex(folder, r"^[A-Za-z]:\\.+\\qx_ext_temp_\d+$")
                    self.assertNotIn(windows_path(self.dir), folder)
                else:
                    self.assertRegex(folder, "^" + re.escape(windows_path(where)) + r"\\qx_ext_temp_\d+$")
                run_path = f"{folder}\\{program_name(ARCH)}"
                self.assertEqual(report.exe, run_path)
                fixed = launcher == self.fixed
                self.assertEqual(report.argv, [run_path, *(FIXED_ARGV if fixed else []), *args, source_token(launcher)])
                if ARCH != "native":
                    # The exact text the run builds (posix has no command-line text to compare).
                    self.assertEqual(report.cmdline, expected_command_line(folder, program_name(ARCH), args, launcher,
                                                                          FIXED_ARGS if fixed else None))
                self.assert_gone(folder, name)
                self.assertEqual(sorted(p.name for p in base.iterdir()), [], "nothing left in the base folder")
                self.assertFalse(missing.exists(), "a missing /T: folder is not created")

    def test_sixteen_launchers_at_once_each_extract_into_their_own_folder(self):
        base = self.fresh("base16")
        reports = self.fresh("reports16")
        gate = self.dir / "gate16"
        gate.unlink(missing_ok=True)
        env = {"SFX_REPORT_DIR": windows_path(reports), "SFX_EXIT_CODE": "5", "SFX_WAIT_FOR": windows_path(gate)}
        running = [self.runner.start(self.prog0, ["/T:" + windows_path(base), f"#{i}"], env) for i in range(16)]
        try:
            # Every program reports and then waits at the gate, so all sixteen
            # temporary folders exist at the same time.
            deadline = time.time() + 240
            while time.time() < deadline:
                done = [r for r in reports.iterdir() if r.read_text(errors="replace").endswith("end\n")]
                if len(done) == 16:
                    break
                time.sleep(0.2)
            folders = sorted(p.name for p in base.iterdir() if p.is_dir())
            marks = sorted(p.name for p in base.iterdir() if not p.is_dir())
        finally:
            gate.write_text("open")
            results = [r.wait() for r in running]
        self.assertEqual([(r.code, r.messages) for r in results], [(5, [])] * 16)
        self.assertEqual(len(folders), 16, f"sixteen folders at once: {folders}")
        self.assertEqual(marks, sorted(f + ".lock" for f in folders), "each live folder with its lock file")
        seen = []
        for report_file in sorted(reports.iterdir()):
            for report in read_reports(report_file):
                self.assert_tree_arrived(report, report_file.name)
                seen.append((report.cwd, report.argv[2]))
        self.assertEqual(len(seen), 16)
        self.assertEqual(len({cwd for cwd, _ in seen}), 16, "each launcher had its own folder")
        self.assertEqual(sorted(arg for _, arg in seen), sorted(f"#{i}" for i in range(16)))
        self.assertEqual(sorted(p.name for p in base.iterdir()), [], "no folder left")


def main():
    return run_suite(SilentRuns, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
