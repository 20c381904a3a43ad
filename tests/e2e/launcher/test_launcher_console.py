"""Command-line programs, end to end: the program gets the caller's standard
input, output and error, through pipes and through files, byte for byte;
its exit code reaches cmd's %ERRORLEVEL% (a shell's $? natively) and a
parent that waits for the launcher; it inherits no other handle: not the
launcher's archive, not its lock file, and under Windows not a handle that
the launcher's own parent let it inherit (natively that one passes on, as
across any exec). Under Wine this holds for the console stub and, with
redirected handles, for the GUI stub; the console stub writes its messages
to standard error (no message box), and on a console: Ctrl+C reaches the
program while the launcher waits and cleans up, Ctrl+C during the
extraction cancels it, and a long extraction shows its progress line.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import os
import pathlib
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

from harness import windows_path
from launcher_support import (LauncherTestCase, copy_and, describe_tree, exit_code, pack_launcher, patch,
                              program_name, read_reports, report_program, run_suite, PROGRAM_VARIABLES)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
# Line ends, a NUL, bytes that are no UTF-8, text that is, and more than a pipe holds at once.
DATA = b"first line\r\nsecond\n\x00\xff\xfe end\r\n" + "Zürich ☃\n".encode() + os.urandom(200_000)
NO_CENTRAL_DIRECTORY = ("The central directory was not found in the archive (or you were trying to open not the "
                        "last disk of a multi-disk archive)")


def parent_program(arch):
    return report_program(arch).with_name("parent" if arch == "native" else "parent.exe")


class Console(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-console-"))
        app = cls.dir / "app"
        app.mkdir()
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        (app / "data.txt").write_text("data\n")
        cls.files, cls.dirs = describe_tree(app)
        # Without --silent: a console launcher never opens the dialog anyway.
        cls.console = pack_launcher(ARCH, app, cls.dir / "tool.exe", console=True, title="Console")
        cls.launchers = {"console": cls.console}
        if ARCH != "native":
            cls.launchers["gui"] = pack_launcher(ARCH, app, cls.dir / "gui.exe", silent=True)
        cls.damaged = copy_and(cls.console, cls.dir / "damaged.exe", break_end_record)

    # -- running ---------------------------------------------------------------------

    def environment(self, settings):
        """The environment a launcher runs in: the Wine session's (without its
        traces, so that standard error holds only what the programs wrote), and
        the report program's `settings`."""
        if ARCH == "native":
            env = dict(os.environ)
        else:
            env = dict(self.runner.session.env, WINEDEBUG="-all")
        for name in PROGRAM_VARIABLES:
            env.pop(name, None)
        env.update(settings)
        return env

    def command(self, exe, args=()):
        """`exe` with `args`, as a native command: under Wine through its loader."""
        if ARCH == "native":
            return [str(exe), *args]
        return [self.runner.session.loader, str(exe), *args]

    def run_piped(self, exe, args, settings, data=b""):
        """Runs `exe` with pipes for all three standard streams; returns (exit
        code, output, error). The code keeps its low 8 bits (a posix parent
        reads no more, and Wine's loader gives no more)."""
        proc = subprocess.run(self.command(exe, args), input=data, capture_output=True, timeout=300,
                              env=self.environment(settings))
        return proc.returncode, proc.stdout, proc.stderr

    def run_redirected(self, exe, args, settings, files):
        """Runs `exe` from a script (a batch file in cmd, a POSIX shell
        natively) with standard input, output and error redirected to and
        from `files`; returns the exit code the script read (%ERRORLEVEL%, $?)."""
        source, output, error = files
        if ARCH == "native":
            line = " ".join(f'"{a}"' for a in [exe, *args])
            script = f'{line} < "{source}" > "{output}" 2> "{error}"; echo SFX_EXIT=$?'
            proc = subprocess.run(["sh", "-c", script], capture_output=True, text=True, timeout=300,
                                  env=self.environment(settings))
        else:
            line = " ".join(f'"{a}"' for a in [windows_path(exe), *args])
            redirections = f'< "{windows_path(source)}" > "{windows_path(output)}" 2> "{windows_path(error)}"'
            batch = self.dir / "redirected.bat"
            batch.write_bytes(f"@{line} {redirections}\r\n@echo SFX_EXIT=%ERRORLEVEL%\r\n".encode())
            proc = subprocess.run(self.command("cmd", ["/c", windows_path(batch)]), capture_output=True, text=True,
                                  timeout=300, env=self.environment(settings))
        found = re.search(r"SFX_EXIT=(-?\d+)", proc.stdout)
        self.assertIsNotNone(found, proc.stdout + proc.stderr)
        return int(found.group(1))

    def base(self):
        base = self.fresh("base")
        return base, "/T:" + windows_path(base)

    # -- the standard streams ------------------------------------------------------------

    def test_input_output_and_error_pass_through_pipes_byte_for_byte(self):
        for name, launcher in self.launchers.items():
            with self.subTest(name):
                base, option = self.base()
                report = self.dir / "pipes.txt"
                report.unlink(missing_ok=True)
                code, out, err = self.run_piped(launcher, [option], {"SFX_ECHO": "1", "SFX_EXIT_CODE": "7",
                                                                     "SFX_REPORT": windows_path(report)}, DATA)
                self.assertEqual(code, 7)
                self.assertEqual(out, DATA, "standard output")
                self.assertEqual(err, DATA[::-1], "standard error")
                self.assertEqual(len(read_reports(report)), 1)
                self.assertEqual(list(base.iterdir()), [])

    def test_files_and_the_exit_code_reach_a_script(self):
        source = self.dir / "input.bin"
        source.write_bytes(DATA)
        for name, launcher in self.launchers.items():
            with self.subTest(name):
                base, option = self.base()
                output, error = self.dir / "output.bin", self.dir / "error.bin"
                report = self.dir / "files.txt"
                report.unlink(missing_ok=True)
                code = self.run_redirected(launcher, [option], {"SFX_ECHO": "1", "SFX_EXIT_CODE": "70000",
                                                                "SFX_REPORT": windows_path(report)},
                                           (source, output, error))
                self.assertEqual(code, exit_code(ARCH, 70000), "the whole code, in %ERRORLEVEL%")
                self.assertEqual(output.read_bytes(), DATA)
                self.assertEqual(error.read_bytes(), DATA[::-1])
                self.assertEqual(len(read_reports(report)), 1)
                self.assertEqual(list(base.iterdir()), [])

    def test_the_program_inherits_the_standard_handles_and_nothing_else(self):
        for name, launcher in self.launchers.items():
            with self.subTest(name):
                base, option = self.base()
                report, held = self.dir / "handles.txt", self.dir / "held by the parent.txt"
                report.unlink(missing_ok=True)
                # A parent that waits, and lets the launcher inherit a file of its own.
                proc = subprocess.run(self.command(parent_program(ARCH), ["--inherit", windows_path(held),
                                                                          str(windows_path(launcher)), option]),
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300,
                                      env=self.environment({"SFX_HANDLES": "1", "SFX_EXIT_CODE": "3010",
                                                            "SFX_REPORT": windows_path(report)}))
                self.assertEqual(proc.stdout.strip(), f"exit={exit_code(ARCH, 3010)}", proc.stderr)
                (program,) = read_reports(report)
                names = [str(self.runner.unix_path(h)) if re.match(r"^[A-Za-z]:\\", h) else h for h in program.handles]
                self.assertNotIn(str(launcher), names, "the launcher's archive")
                self.assertEqual([n for n in names if n.endswith(".lock")], [], "the run folder's lock file")
                if ARCH == "native":
                    # Descriptors 0, 1 and 2, and what the parent gave (passed on as by any exec).
                    self.assertEqual(len(names), 4, names)
                    self.assertIn(str(held), names)
                else:
                    self.assertNotIn(str(held), names, "a handle the launcher's parent let it inherit")
                self.assertEqual(list(base.iterdir()), [])

    def test_messages_go_to_standard_error(self):
        base, option = self.base()
        code, out, err = self.run_piped(self.damaged, [option], {})
        self.assertEqual(code, 1392 & 0xFF)
        line_end = "\n" if ARCH == "native" else "\r\n"
        self.assertEqual(err.decode(), f"damaged: {NO_CENTRAL_DIRECTORY}{line_end}", "no message box")
        self.assertEqual(list(base.iterdir()), [])

    # -- on a console (Windows): Ctrl+C and the progress line ------------------------------------

    def test_ctrl_c_reaches_the_program_and_the_launcher_cleans_up(self):
        if ARCH == "native":
            self.skipTest("posix signals and the terminal are tested in test_launcher_tree")
        for counted in (True, False):
            with self.subTest(program_handles_ctrl_c=counted):
                base, option = self.base()
                report = self.dir / "ctrl-c.txt"
                report.unlink(missing_ok=True)
                settings = {"SFX_REPORT": windows_path(report), "SFX_WAIT_FOR": windows_path(self.dir / "never"),
                            "SFX_EXIT_CODE": "9"}
                if counted:
                    settings["SFX_SIGNALS"] = "1"
                code, shown = self.on_console(self.console, [option], settings,
                                              press_when=lambda: len(read_reports(report)) == 1)
                reports = read_reports(report)
                if counted:
                    self.assertEqual(code, 9, "the program handled Ctrl+C and ended as it chose")
                    self.assertEqual(reports[-1].signals, 1)
                else:
                    # Ended by Ctrl+C (Windows gives 0xC000013A, Wine 0), before its own end.
                    self.assertNotEqual(code, 9, shown)
                self.assertEqual(list(base.iterdir()), [], "the launcher deleted the folder")

    def test_a_long_extraction_shows_a_progress_line_and_ctrl_c_cancels_it(self):
        if ARCH == "native":
            self.skipTest("the line's rules are unit-tested; the posix launcher ignores no SIGINT while it extracts")
        many = self.dir / "many"
        many.mkdir(exist_ok=True)
        shutil.copy(report_program(ARCH), many / program_name(ARCH))
        # Files are what takes time under Wine: seconds' worth, so that Ctrl+C
        # typed when the line shows reaches the launcher while it extracts.
        for i in range(6000):
            (many / f"{i % 60}").mkdir(exist_ok=True)
            (many / f"{i % 60}" / f"{i}.txt").write_text("x" * (i * 7 % 3000))
        launcher = pack_launcher(ARCH, many, self.dir / "many.exe", console=True)
        report = self.dir / "many.txt"
        for cancel in (False, True):
            with self.subTest(cancel=cancel):
                base, option = self.base()
                report.unlink(missing_ok=True)
                settings = {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5", "SFX_LAUNCHER_THREADS": "1"}
                # Ctrl+C once the run's folder is there: the extraction has begun.
                code, shown = self.on_console(launcher, [option], settings,
                                              press_when=(lambda: any(base.iterdir())) if cancel else None)
                if cancel:
                    self.assertEqual(code, 1223)
                    self.assertIn("Status: Extraction Cancelled", shown)
                    self.assertEqual(read_reports(report), [], "no program ran")
                else:
                    self.assertRegex(shown, r"many: extracting \[[#.]{20}\] +\d+%")
                    self.assertEqual(code, 5)
                    self.assertEqual(len(read_reports(report)), 1)
                self.assertEqual(list(base.iterdir()), [])

    shown = ""

    def on_console(self, launcher, args, settings, press_when=None, timeout=300):
        """Runs `launcher` under Wine on a console of its own (a terminal, which
        Wine's console takes for one) through the waiting parent program, and
        types Ctrl+C once `press_when()` holds. Returns the launcher's exit
        code (the parent's report) and what the console showed, without
        terminal controls."""
        env = self.environment(settings)
        argv = self.command(parent_program(ARCH), [windows_path(launcher), *args])
        pid, terminal = pty.fork()
        if pid == 0:
            os.execve(argv[0], argv, env)
        shown, pressed, ended = b"", press_when is None, None
        deadline = time.time() + timeout
        try:
            # Until the parent has ended and the terminal has nothing more to show.
            while time.time() < deadline:
                ready, _, _ = select.select([terminal], [], [], 0.1)
                chunk = b""
                if ready:
                    try:
                        chunk = os.read(terminal, 4096)
                    except OSError:  # the terminal's other side has closed
                        pass
                    shown += chunk
                    self.shown = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", shown.decode(errors="replace"))
                if not pressed and press_when():
                    os.write(terminal, b"\x03")
                    pressed = True
                if ended is None and os.waitpid(pid, os.WNOHANG)[0] == pid:
                    ended = time.time()
                if ended is not None and not chunk and time.time() - ended > 1:
                    break
        finally:
            os.close(terminal)
            if ended is None:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
        self.assertTrue(pressed, "the moment to press Ctrl+C came")
        found = re.search(r"exit=(\d+)", self.shown)
        self.assertIsNotNone(found, self.shown)
        return int(found.group(1)), self.shown


def break_end_record(path):
    data = pathlib.Path(path).read_bytes()
    patch(path, data.rindex(b"PK\x05\x06"), b"XX\x05\x06")


def main():
    return run_suite(Console, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
