"""The launcher with its progress dialog, end to end.

Under Wine (win64 or win32), on a private Xvfb
display: the dialog shows the configured title and a bar that moves while a
large payload is extracted, one entry after another and on two workers
(screenshots are kept in <native build>/e2e-artifacts/launcher-<arch>/);
Escape cancels either way: the program is not started, "Extraction
Cancelled" appears with the caption "Status", the folder is removed and
the launcher ends with 1223 (ERROR_CANCELLED); a
title in another script is shown as written; a dialog run that completes hides the dialog
before the program starts and passes its exit code on; without a title the
caption is "Loading", and when the archive cannot be opened the dialog
closes by itself after the message.

Natively (the posix launcher, a console program) the dialog mode runs like a
silent one; a quick extraction draws nothing, not even on a terminal (the
console's progress line waits half a second: test_launcher_console and the
unit tests), and a message goes to standard error.
"""
import os
import pathlib
import pty
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from harness import windows_path
from launcher_support import (LauncherTestCase, run_suite, PROGRAM_VARIABLES, copy_and, describe_tree, exit_code, pack_launcher, patch,
                              program_name, read_reports, report_program)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
NO_CENTRAL_DIRECTORY = ("The central directory was not found in the archive (or you were trying to open not the "
                        "last disk of a multi-disk archive)")
PAYLOAD_UNREADABLE = 1392


def break_end_record(path):
    data = pathlib.Path(path).read_bytes()
    patch(path, data.rindex(b"PK\x05\x06"), b"XX\x05\x06")


def small_tree(root, arch):
    root.mkdir()
    shutil.copy(report_program(arch), root / program_name(arch))
    (root / "docs").mkdir()
    (root / "docs" / "a.txt").write_text("dialog\n" * 5000)
    (root / "empty").mkdir()
    return root


def artifacts(arch):
    folder = pathlib.Path(os.environ["SFX_BUILD_NATIVE"]) / "e2e-artifacts" / f"launcher-{arch}"
    folder.mkdir(parents=True, exist_ok=True)
    return folder


class Fixture(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-dialog-"))
        cls.small = small_tree(cls.dir / "small", ARCH)
        cls.files, cls.dirs = describe_tree(cls.small)
        # No --silent: without /S these launchers show the dialog.
        cls.titled = pack_launcher(ARCH, cls.small, cls.dir / "titled.exe", title="Small Title")
        cls.untitled = pack_launcher(ARCH, cls.small, cls.dir / "untitled.exe")
        cls.damaged = copy_and(cls.untitled, cls.dir / "damaged.exe", break_end_record)


# -- under Wine ------------------------------------------------------------------


def bar_pixels(png, geometry):
    """How many pixels of the bar's fill colour (the highlight blue) the lower
    part of the window, where the bar sits, shows in the screenshot."""
    x, y, width, height = geometry
    top = y + height * 45 // 100
    crop = subprocess.run(["convert", str(png), "-crop", f"{width}x{y + height - top}+{x}+{top}", "+repage",
                           "ppm:-"], capture_output=True, check=True).stdout
    magic, w, h, depth, pixels = crop.split(maxsplit=4)
    assert magic == b"P6" and depth == b"255"
    pixels = pixels[:int(w) * int(h) * 3]
    return sum(1 for i in range(0, len(pixels), 3)
               if pixels[i + 2] > 150 and pixels[i] < 120 and pixels[i + 2] - pixels[i] > 80)


class WineDialog(Fixture):
    runner = None

    def geometry(self, window):
        values = dict(line.split("=", 1) for line in
                      self.runner.session.xdotool("getwindowgeometry", "--shell", window).splitlines() if "=" in line)
        if "X" not in values:  # the window went between looking and measuring
            return 0, 0, 1, 1
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def test_the_bar_moves_and_escape_cancels(self):
        session = self.runner.session
        big = self.dir / "big"
        small_tree(big, ARCH)
        # Large files and many small ones: the files are what takes time
        # under Wine, so that the dialog is still up when it is looked at.
        for i in range(4):
            (big / f"data{i}.bin").write_bytes(os.urandom(40 << 20))
        for folder in range(60):
            (big / "many" / str(folder)).mkdir(parents=True)
            for i in range(100):
                (big / "many" / str(folder) / f"{i}.bin").write_bytes(os.urandom(8192))
        launcher = pack_launcher(ARCH, big, self.dir / "big.exe", title="Big Title")
        shutil.rmtree(big)
        # One entry after another the bar is seen to move twice; on two
        # workers (which move it from what they have done) once is enough
        # before Escape, which must stop them too.
        for threads, moves in (("1", 2), ("2", 1)):
            with self.subTest(threads=threads):
                base = self.fresh("base-big")
                report = self.dir / "big-report.txt"
                env = {"SFX_REPORT": windows_path(report), "SFX_LAUNCHER_THREADS": threads}
                running = self.runner.start(launcher, ["/T:" + windows_path(base)], env, keep=["Big Title"])
                try:
                    window = session.wait_window("^Big Title$")
                    out = artifacts(ARCH)
                    # Screenshots until the bar shows some fill, then until it shows more.
                    shots, fills = [], []
                    deadline = time.time() + 60
                    while len(shots) < moves and time.time() < deadline and session.find_windows("^Big Title$"):
                        shot = out / f"dialog-bar-{threads}-{len(shots) + 1}.png"
                        session.screenshot(shot)
                        fill = bar_pixels(shot, self.geometry(window))
                        if fill > (fills[-1] if fills else 0):
                            shots.append(shot)
                            fills.append(fill)
                        time.sleep(0.2)
                    for shot in shots:
                        print(f"screenshot: {shot}", flush=True)
                    session.press(window, "Escape")
                finally:
                    result = running.wait()
                self.assertEqual(len(fills), moves, f"the bar moved: fills {fills}")
                # ERROR_CANCELLED: no program ran, and a caller must not read success.
                self.assertEqual((result.code, result.messages, result.captions),
                                 (1223, ["Extraction Cancelled"], ["Status"]))
                self.assertEqual(read_reports(report), [], "a cancelled run starts nothing")
                self.assertEqual(list(base.iterdir()), [], "the folder is removed")

    def test_a_completed_run_hides_the_dialog_before_the_program_starts(self):
        session = self.runner.session
        base = self.fresh("base-small")
        report = self.dir / "small-report.txt"
        report.unlink(missing_ok=True)
        gate = self.dir / "gate"
        gate.unlink(missing_ok=True)
        env = {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "6", "SFX_WAIT_FOR": windows_path(gate)}
        running = self.runner.start(self.titled, ["/T:" + windows_path(base)], env)
        try:
            deadline = time.time() + 60
            while not read_reports(report) and time.time() < deadline:
                time.sleep(0.1)
            visible_while_running = session.find_windows("^Small Title$")
        finally:
            gate.write_text("open")
            result = running.wait()
        self.assertEqual(visible_while_running, [], "the dialog is hidden while the program runs")
        self.assertEqual((result.code, result.messages), (6, []))
        reports = read_reports(report)
        self.assertEqual(len(reports), 1)
        self.assertEqual((reports[0].files, reports[0].dirs), (self.files, self.dirs))
        self.assertEqual(list(base.iterdir()), [])

    def test_without_a_title_loading_and_an_unreadable_archive_closes_the_dialog(self):
        session = self.runner.session
        base = self.fresh("base-damaged")
        running = self.runner.start(self.damaged, ["/T:" + windows_path(base)], dismiss=False)
        box = session.wait_window("^damaged$")  # the message box, captioned with the application's name
        loading = session.find_windows("^Loading$")
        session.press(box, "Return")
        # The dialog then closes by itself: the run ends without anyone pressing a key.
        result = running.wait(60)
        self.assertEqual(len(loading), 1, "the dialog's caption is Loading")
        self.assertEqual((result.code, result.messages), (PAYLOAD_UNREADABLE, [NO_CENTRAL_DIRECTORY]))
        self.assertEqual(list(base.iterdir()), [], "the claimed folder is given back")

    def test_a_title_in_another_script_is_shown_as_written(self):
        # An unreadable archive keeps the dialog up, captioned, under its message box.
        session = self.runner.session
        title = "Загрузка — Установка 安装"
        launcher = copy_and(pack_launcher(ARCH, self.small, self.dir / "cyrillic.exe", title=title),
                            self.dir / "cyrillic-damaged.exe", break_end_record)
        running = self.runner.start(launcher, ["/T:" + windows_path(self.fresh("base-cyrillic"))], dismiss=False)
        try:
            box = session.wait_window("^cyrillic-damaged$")
            dialog = session.wait_window("^Загрузка")
            shot = artifacts(ARCH) / "dialog-title-cyrillic.png"
            session.screenshot(shot)
            print(f"screenshot: {shot}", flush=True)
            shown = session.window_name(dialog)
            session.press(box, "Return")
        finally:
            result = running.wait(60)
        self.assertEqual(shown, title)
        self.assertEqual(result.code, PAYLOAD_UNREADABLE)


# -- natively ------------------------------------------------------------------------


def run_on_terminal(exe, args, env):
    """Runs `exe` with standard error on a pseudo-terminal; returns (exit code, what it drew)."""
    master, slave = pty.openpty()
    full = {k: v for k, v in os.environ.items() if k not in PROGRAM_VARIABLES}
    full.update(env)
    proc = subprocess.Popen([str(exe), *args], env=full, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=slave)
    os.close(slave)
    drawn = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal's other side has closed
            break
        if not chunk:
            break
        drawn += chunk
    os.close(master)
    return proc.wait(timeout=120), drawn.decode(errors="replace")


class NativeDialog(Fixture):
    runner = None

    def test_dialog_mode_runs_like_a_silent_one_on_a_terminal(self):
        # name, launcher, program exit code, launcher exit code, message
        cases = [
            ("titled", self.titled, 6, 6, None),
            ("untitled", self.untitled, 0, 0, None),
            ("unreadable archive", self.damaged, 0, PAYLOAD_UNREADABLE, NO_CENTRAL_DIRECTORY),
        ]
        for name, launcher, program_code, code, message in cases:
            with self.subTest(name):
                base = self.fresh("base")
                report = self.dir / "report.txt"
                report.unlink(missing_ok=True)
                env = {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": str(program_code)}
                result, drawn = run_on_terminal(launcher, ["/T:" + windows_path(base)], env)
                self.assertEqual(result, exit_code(ARCH, code))
                if message is None:
                    self.assertEqual(drawn, "", "a quick extraction draws no line")
                    reports = read_reports(report)
                    self.assertEqual(len(reports), 1)
                    self.assertEqual((reports[0].files, reports[0].dirs), (self.files, self.dirs))
                else:
                    self.assertEqual(drawn.strip(), f"{launcher.stem}: {message}")
                    self.assertEqual(read_reports(report), [])
                self.assertEqual(list(base.iterdir()), [])

                # Not on a terminal: nothing is drawn.
                piped = self.runner.run(launcher, ["/T:" + windows_path(base)], env)
                self.assertEqual(piped.code, result)
                self.assertEqual(piped.stderr, f"{launcher.stem}: {message}\n" if message else "")


def main():
    return run_suite(NativeDialog if ARCH == "native" else WineDialog, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
