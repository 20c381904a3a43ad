"""The launcher owns its program's whole life, end to end: a program that
starts a second process from the temporary folder and ends keeps the
folder until that process has ended too, and the launcher still ends with
the program's code; a launcher killed hard takes its program along, and the
next launcher over the same base removes the folder it left; a live run
beside a sweeping launcher keeps every file; a folder of our name without
our lock file, or a link of our name, is left alone. Under Wine, the end of
the session (wineboot --end-session), for a silent and a dialog run, ends
the program and deletes the folder before the launcher answers. Natively, SIGINT,
SIGTERM, SIGHUP and SIGQUIT sent to the launcher reach the program once and
the launcher ends with the program's status (128 + the signal's number when
it ended the program); on a terminal the program may read it, Ctrl+Z stops
it and the launcher together and a Ctrl+C reaches it once.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import os
import pathlib
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from harness import windows_path
from launcher_support import (LauncherTestCase, describe_tree, exit_code, pack_launcher, program_name, read_reports,
                              report_program, run_suite)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
GRANDCHILD_DELAY_MS = 3000  # the grandchild reads the folder this long after the program has ended
ENDS_WITHIN = 2.0           # seconds a killed launcher's program may take to end
FORWARDED = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT)


class Tree(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-tree-"))
        app = cls.dir / "app"
        (app / "lib").mkdir(parents=True)
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        (app / "readme.txt").write_text("hello\n")
        (app / "lib" / "data.bin").write_bytes(os.urandom(300000))
        cls.files, cls.dirs = describe_tree(app)
        cls.launcher = pack_launcher(ARCH, app, cls.dir / "tree.exe", silent=True)
        # A name of its own, so that a test can end exactly this launcher by name.
        cls.killable = pack_launcher(ARCH, app, cls.dir / "killme.exe", silent=True)
        cls.dialog = pack_launcher(ARCH, app, cls.dir / "dialog.exe", title="Session")

    def start(self, launcher, base, settings, args=()):
        return self.runner.start(launcher, ["/T:" + windows_path(base), *args], settings)

    def wait_for_report(self, report, count=1, timeout=120):
        deadline = time.time() + timeout
        while time.time() < deadline:
            reports = read_reports(report)
            if len(reports) >= count:
                return reports
            time.sleep(0.1)
        self.fail(f"no report in {report} within {timeout}s")

    def test_a_grandchild_keeps_the_folder_until_it_ends(self):
        base = self.fresh("base grandchild")
        report = self.dir / "grandchild.txt"
        report.unlink(missing_ok=True)
        result = self.runner.run(self.launcher, ["/T:" + windows_path(base)],
                                 {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5",
                                  "SFX_GRANDCHILD": str(GRANDCHILD_DELAY_MS)})
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 5), []))
        reports = read_reports(report)
        self.assertEqual(len(reports), 2, "the program and, later, its grandchild reported")
        program, grandchild = reports
        self.assertNotIn("--late", program.argv)
        self.assertIn("--late", grandchild.argv)
        self.assertEqual(grandchild.cwd, program.cwd)
        # Seconds after the program ended, every file was still there, whole.
        self.assertEqual((grandchild.files, grandchild.dirs), (self.files, self.dirs))
        self.assertEqual(list(base.iterdir()), [], "the folder went once the grandchild had ended")

    def test_a_launcher_killed_hard_takes_its_program_along_and_the_next_run_sweeps(self):
        base = self.fresh("base killed")
        report, beat, gate = self.dir / "killed.txt", self.dir / "beat.txt", self.dir / "never-opened"
        for path in (report, beat):
            path.unlink(missing_ok=True)
        running = self.start(self.killable, base, {"SFX_REPORT": windows_path(report), "SFX_BEAT": windows_path(beat),
                                                   "SFX_WAIT_FOR": windows_path(gate)})
        folder = self.runner.unix_path(self.wait_for_report(report)[0].cwd)
        self.kill_launcher_hard(running)
        running.wait()
        time.sleep(ENDS_WITHIN)
        before = beat.read_text()
        time.sleep(0.5)
        self.assertEqual(beat.read_text(), before, f"the program still ran {ENDS_WITHIN}s after its launcher died")
        self.assertEqual(sorted(p.name for p in base.iterdir()), [folder.name, folder.name + ".lock"],
                         "a killed launcher cannot clean up")

        again = self.dir / "again.txt"
        again.unlink(missing_ok=True)
        result = self.runner.run(self.launcher, ["/T:" + windows_path(base)], {"SFX_REPORT": windows_path(again)})
        self.assertEqual((result.code, result.messages), (0, []))
        self.assertEqual(len(read_reports(again)), 1)
        self.assertEqual(list(base.iterdir()), [], "the next run swept the dead run's folder and its lock file")

    def kill_launcher_hard(self, running):
        if ARCH == "native":
            running.proc.kill()
            return
        # TerminateProcess, as the task manager ends a program.
        session = self.runner.session
        subprocess.run([session.loader, "taskkill", "/F", "/IM", self.killable.name], env=session.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=True)

    def test_a_live_run_next_to_a_sweeping_launcher_keeps_every_file(self):
        base = self.fresh("base live")
        report, other, gate = self.dir / "live.txt", self.dir / "other.txt", self.dir / "gate live"
        for path in (report, other, gate):
            path.unlink(missing_ok=True)
        live = self.start(self.launcher, base, {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "3",
                                                "SFX_WAIT_FOR": windows_path(gate)})
        try:
            folder = self.wait_for_report(report)[0].cwd
            result = self.runner.run(self.launcher, ["/T:" + windows_path(base)], {"SFX_REPORT": windows_path(other)})
            self.assertEqual((result.code, result.messages), (0, []))
            self.assertNotEqual(read_reports(other)[0].cwd, folder)
            self.assertEqual(describe_tree(self.runner.unix_path(folder)), (self.files, self.dirs),
                             "the live run's folder is whole")
        finally:
            gate.write_text("open")
            result = live.wait()
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 3), []))
        self.assertEqual(list(base.iterdir()), [])

    def test_folders_without_our_mark_are_left_alone(self):
        base = self.fresh("base marks")
        outside = self.fresh("outside")
        (outside / "precious.txt").write_text("keep")
        (base / "qx_ext_temp_0").mkdir()
        (base / "qx_ext_temp_0" / "mine.txt").write_text("a user's own folder")
        # A dead run's folder and mark: taken until swept.
        (base / "qx_ext_temp_1").mkdir()
        (base / "qx_ext_temp_1" / "left.txt").write_text("left by a dead run")
        (base / "qx_ext_temp_1.lock").write_text("")
        expected = ["qx_ext_temp_0"]
        if ARCH == "native":
            # Under Wine a Unix link to a folder looks like the folder itself.
            (base / "qx_ext_temp_2").symlink_to(outside, target_is_directory=True)
            (base / "qx_ext_temp_2.lock").write_text("")
            expected += ["qx_ext_temp_2", "qx_ext_temp_2.lock"]
        report = self.dir / "marks.txt"
        report.unlink(missing_ok=True)
        result = self.runner.run(self.launcher, ["/T:" + windows_path(base)], {"SFX_REPORT": windows_path(report)})
        self.assertEqual((result.code, result.messages), (0, []))
        # The run took the first name neither a folder nor a lock file had.
        self.assertRegex(read_reports(report)[0].cwd, r"\\qx_ext_temp_%d$" % (3 if ARCH == "native" else 2))
        self.assertEqual(sorted(p.name for p in base.iterdir()), expected)
        self.assertEqual((base / "qx_ext_temp_0" / "mine.txt").read_text(), "a user's own folder")
        self.assertEqual([p.name for p in outside.iterdir()], ["precious.txt"])

    def test_the_end_of_the_session_ends_the_tree_and_deletes_the_folder(self):
        if ARCH == "native":
            self.skipTest("no session window on posix; its terminal's end (SIGHUP) is passed on like the other signals")
        session = self.runner.session
        for launcher, args, keep in ((self.launcher, [], ()), (self.dialog, [], ("Session",))):
            with self.subTest(launcher.name):
                base = self.fresh("base session")
                report, beat, gate = self.dir / "session.txt", self.dir / "beat session.txt", self.dir / "never-opened"
                report.unlink(missing_ok=True)
                running = self.runner.start(launcher, ["/T:" + windows_path(base), *args],
                                            {"SFX_REPORT": windows_path(report), "SFX_BEAT": windows_path(beat),
                                             "SFX_WAIT_FOR": windows_path(gate)}, keep=keep)
                self.wait_for_report(report)
                # What Wine does when a session ends: WM_QUERYENDSESSION and
                # WM_ENDSESSION to every top-level window, then it ends the process.
                subprocess.run([session.loader, "wineboot", "--end-session"], env=session.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=True)
                self.assertEqual(list(base.iterdir()), [], "deleted before the launcher answered")
                before = beat.read_text()
                time.sleep(0.5)
                self.assertEqual(beat.read_text(), before, "the program was ended")
                running.wait()

    # -- natively: signals and the terminal ----------------------------------------

    def test_signals_reach_the_program_once_and_its_status_is_the_launchers(self):
        if ARCH != "native":
            self.skipTest("posix signals")
        for number in FORWARDED:
            for counted in (False, True):
                with self.subTest(signal=number.name, counted=counted):
                    base = self.fresh("base signals")
                    report, gate = self.dir / "signals.txt", self.dir / "gate signals"
                    report.unlink(missing_ok=True)
                    settings = {"SFX_REPORT": windows_path(report), "SFX_WAIT_FOR": windows_path(gate),
                                "SFX_EXIT_CODE": "9"}
                    if counted:
                        settings["SFX_SIGNALS"] = "1"
                    running = self.start(self.launcher, base, settings)
                    self.wait_for_report(report)
                    running.proc.send_signal(number)
                    result = running.wait()
                    if counted:
                        # The program handled it and ended as it chose.
                        self.assertEqual(result.code, 9)
                        self.assertEqual(read_reports(report)[-1].signals, 1)
                    else:
                        self.assertEqual(result.code, 128 + number)
                    self.assertEqual(list(base.iterdir()), [], "the launcher cleaned up after passing it on")

    def test_on_a_terminal_the_program_reads_it_and_gets_ctrl_c_once(self):
        if ARCH != "native":
            self.skipTest("a posix terminal")
        base = self.fresh("base terminal")
        report, gate = self.dir / "terminal.txt", self.dir / "gate terminal"
        report.unlink(missing_ok=True)
        env = {k: v for k, v in os.environ.items() if not k.startswith("SFX_")}
        env.update(SFX_REPORT=windows_path(report), SFX_READ_LINE="1", SFX_SIGNALS="1",
                   SFX_WAIT_FOR=windows_path(gate), SFX_EXIT_CODE="4")
        # The launcher leads a session on a new terminal, its group in the foreground, as a shell starts it.
        pid, terminal = pty.fork()
        if pid == 0:
            os.execve(str(self.launcher), [str(self.launcher), "/T:" + windows_path(base)], env)
        try:
            os.write(terminal, b"typed at the terminal\n")
            self.wait_for_report(report)
            # Ctrl+Z stops the program, and the launcher stops with it, as a
            # shell's job would; continued, the launcher continues it.
            os.write(terminal, b"\x1a")
            _, stopped = waitpid_within(pid, 60, terminal, os.WUNTRACED)
            self.assertTrue(os.WIFSTOPPED(stopped), "the launcher stopped with its program")
            os.kill(pid, signal.SIGCONT)
            os.write(terminal, b"\x03")  # Ctrl+C
            _, status = waitpid_within(pid, 60, terminal)
        finally:
            os.close(terminal)
        reports = read_reports(report)
        self.assertEqual(reports[0].stdin, "typed at the terminal", "the program read its terminal, not stopped")
        self.assertEqual(reports[-1].signals, 1, "Ctrl+C reached the program once")
        self.assertEqual(os.waitstatus_to_exitcode(status), 4)
        self.assertEqual(list(base.iterdir()), [])


def waitpid_within(pid, timeout, terminal, options=0):
    """waitpid for `pid`, reading (and dropping) the terminal's output meanwhile."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG | options)
        if done == pid:
            return done, status
        ready, _, _ = select.select([terminal], [], [], 0.1)
        if ready:
            try:
                os.read(terminal, 4096)
            except OSError:
                pass
    os.kill(pid, signal.SIGKILL)
    raise TimeoutError("the launcher did not end")


def main():
    return run_suite(Tree, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
