"""What a run leaves on the machine, end to end: the temporary folder is
private to the user who runs the launcher, even under a /T: folder that
everybody may write to; files that stay busy for a moment after the program
ends (a copy of it still exiting and holding a file) are waited for and the
folder goes; a folder that cannot be deleted within the wait is named, in
a message box in a dialog run and only to a debugger in a silent one, while
the program's exit code stays the launcher's; and under Wine a launcher
started directly, not from a console, whose program ends at once, leaves
nothing behind either.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine). Natively an open file never keeps a folder from going,
so the cases that need a busy file run under Wine only."""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

from harness import windows_path
from launcher_support import (LauncherTestCase, run_suite, exit_code, pack_launcher, program_name, read_reports,
                              report_program)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
LEFT_BEHIND = "The temporary folder could not be deleted completely:\n"
# The folder grants its user, SYSTEM and Administrators (platform/access.h).
# Wine keeps no descriptor of its own for a file and reports the one it
# makes up from the Unix owner: that owner, and the system account; so
# there nobody beyond the three, and the user among them, is what can be seen.
GRANTED_BESIDES_THE_USER = {"SY", "BA"}
# SFX_HOLD: a copy of the program keeps this file busy for this long after the program ends.
BRIEF_HOLD_MS = 700       # well within the launcher's two-second wait
LONG_HOLD_MS = 5000       # beyond it


def trustees(sddl):
    """(owner, [(ace type, trustee)]) of a descriptor in the system's text form."""
    owner = re.match(r"O:([^:]+?)(?=[DGS]:|$)", sddl)
    dacl = re.search(r"D:([A-Z]*)((?:\([^)]*\))*)", sddl)
    aces = [tuple(ace.split(";")) for ace in re.findall(r"\(([^)]*)\)", dacl.group(2))] if dacl else []
    return (owner.group(1) if owner else None), [(ace[0], ace[5]) for ace in aces]


class Cleanup(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-cleanup-"))
        app = cls.dir / "app"
        (app / "sub").mkdir(parents=True)
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        (app / "data.txt").write_text("held\n")
        (app / "sub" / "more.txt").write_text("more\n")
        cls.silent = pack_launcher(ARCH, app, cls.dir / "silent.exe", silent=True)
        cls.dialog = pack_launcher(ARCH, app, cls.dir / "dialog.exe", title="Cleanup")

    def run_launcher(self, launcher, base, settings, args=("/S",)):
        report_file = self.dir / "report.txt"
        report_file.unlink(missing_ok=True)
        env = dict(settings, SFX_REPORT=windows_path(report_file))
        result = self.runner.run(launcher, [*args, "/T:" + windows_path(base)], env)
        reports = read_reports(report_file)
        self.assertEqual(len(reports), 1, "the program ran once")
        return result, reports[0]

    def wait_until_free(self, folder):
        """Waits for the holder to let go (bounded), then removes what it kept."""
        time.sleep(LONG_HOLD_MS / 1000 + 1)
        shutil.rmtree(self.runner.unix_path(folder), ignore_errors=True)

    def test_the_folder_is_private_to_its_user(self):
        base = self.fresh("shared base")
        os.chmod(base, 0o777)  # a /T: folder that everybody may write to
        result, report = self.run_launcher(self.silent, base, {"SFX_EXIT_CODE": "4"})
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 4), []))
        if ARCH == "native":
            self.assertEqual(report.access, "0700")
        else:
            owner, aces = trustees(report.access)
            self.assertTrue(owner and aces, report.access)
            self.assertEqual({kind for kind, _ in aces}, {"A"}, report.access)
            self.assertLessEqual({who for _, who in aces}, {owner} | GRANTED_BESIDES_THE_USER, report.access)
            self.assertIn(owner, {who for _, who in aces}, report.access)
        self.assertEqual(list(base.iterdir()), [], "the folder went")

    def test_a_file_busy_for_a_moment_is_waited_for(self):
        base = self.fresh("base brief")
        result, report = self.run_launcher(self.silent, base, {"SFX_EXIT_CODE": "6",
                                                               "SFX_HOLD": f"data.txt:{BRIEF_HOLD_MS}"})
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 6), []))
        self.assertEqual(result.debug_output, [])
        self.assertEqual(list(base.iterdir()), [], "the folder went once the file was free")

    def test_a_folder_that_stays_is_named(self):
        if ARCH == "native":
            self.skipTest("an open file never keeps a folder from going on posix")
        for launcher, args in ((self.silent, ["/S"]), (self.dialog, [])):
            with self.subTest(launcher.name):
                base = self.fresh("base long")
                result, report = self.run_launcher(launcher, base, {"SFX_EXIT_CODE": "8",
                                                                    "SFX_HOLD": f"data.txt:{LONG_HOLD_MS}"}, args)
                try:
                    self.assertEqual(result.code, 8, f"the program's code, not the cleanup's: {result},"
                                     f" debug output {result.debug_output}")
                    self.assertTrue(self.runner.unix_path(report.cwd).exists(), "the folder is still there")
                    self.assertEqual(result.debug_output, [f"launcher: left behind: {report.cwd}"])
                    shown = [] if launcher is self.silent else [LEFT_BEHIND + report.cwd]
                    self.assertEqual(result.messages, shown)
                finally:
                    self.wait_until_free(report.cwd)

    def test_started_directly_a_quick_program_leaves_nothing(self):
        if ARCH == "native":
            self.skipTest("every native start is direct; the silent suite covers it")
        # Not through cmd: Wine then gives the console program a console host
        # of its own, which starts in the temporary folder and ends a moment
        # after the program.
        base = self.fresh("base direct")
        session = self.runner.session
        env = dict(session.env, SFX_QUIET="1", SFX_EXIT_CODE="0")
        for attempt in range(3):
            code = subprocess.run([session.loader, str(self.silent), "/S", "/T:" + windows_path(base)], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode
            self.assertEqual(code, 0, attempt)
            self.assertEqual(list(base.iterdir()), [], f"run {attempt} left its folder")


def main():
    return run_suite(Cleanup, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
