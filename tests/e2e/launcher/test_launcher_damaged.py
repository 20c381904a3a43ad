"""Launchers whose payload is damaged, end to end, with /S: a pid that does
not match the archive's password, an archive whose end record or central
directory is broken, a data segment marker that is gone while the archive is
intact, a bare stub; and an archive with one entry whose data fails its CRC
check in the middle. The launcher never reports success when it could not do
its job, and leaves no temporary folder behind.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import pathlib
import random
import shutil
import struct
import sys
import tempfile
import unittest

from harness import stub_path, windows_path
from launcher_support import (LauncherTestCase, run_suite, configuration_span, copy_and, describe_tree, encryption_of, entry_data_span,
                              exit_code, flip_byte, marker_offset, pack_launcher, patch, program_name,
                              read_reports, report_program)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"

NOT_FOUND = "Data segment not found."
NO_CENTRAL_DIRECTORY = ("The central directory was not found in the archive (or you were trying to open not the "
                        "last disk of a multi-disk archive)")
DAMAGED = "Damaged or not a zip file"
PAYLOAD_UNREADABLE = 1392  # ERROR_FILE_CORRUPT
PROGRAM_MISSING = 2  # ERROR_FILE_NOT_FOUND


def flip_pid(path):
    offset, text = configuration_span(path)
    start = text.index("<pid>") + len("<pid>")
    flip_byte(path, offset + start)  # same length, another password


def end_record(path):
    data = pathlib.Path(path).read_bytes()
    position = data.rindex(b"PK\x05\x06")
    cd_size, = struct.unpack_from("<I", data, position + 12)
    return position, position - cd_size  # the end record and the first central header


def damage_program_entry(path):
    # Past the encryption header, so the password still checks and the damage
    # shows only as bad data once the program file has been started.
    offset, length = entry_data_span(path, program_name(ARCH))
    flip_byte(path, offset + 12 + (length - 12) // 2)


def break_end_record(path):
    patch(path, end_record(path)[0], b"XX\x05\x06")


def break_last_central_header(path):
    # The headers before it are read before the damage shows.
    data = pathlib.Path(path).read_bytes()
    end, position = end_record(path)
    last = None
    while position < end:
        assert data[position:position + 4] == b"PK\x01\x02"
        last = position
        name_length, extra_length, comment_length = struct.unpack_from("<HHH", data, position + 28)
        position += 46 + name_length + extra_length + comment_length
    patch(path, last, b"XX\x01\x02")


def break_marker(path):
    flip_byte(path, marker_offset(path))


class DamagedPayloads(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-damaged-"))
        app = cls.dir / "app"
        app.mkdir()
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        (app / "data").mkdir()
        (app / "data" / "values.txt").write_text("1 2 3\n" * 1000)
        cls.good = pack_launcher(ARCH, app, cls.dir / "good.exe", silent=True, pid="damaged e2e", use_password=True)
        assert all(encryption_of(cls.good).values()), "every file entry is encrypted"

    def run_launcher(self, launcher, base, report, settings=None):
        report.unlink(missing_ok=True)
        env = dict(settings or {}, SFX_REPORT=windows_path(report))
        return self.runner.run(launcher, ["/S", "/T:" + windows_path(base)], env)

    def test_payloads_that_cannot_be_used_end_with_an_error_code_and_leave_nothing(self):
        bare = self.dir / "bare.exe"
        shutil.copy(stub_path(ARCH), bare)
        # name, launcher, messages shown, launcher exit code
        cases = [
            ("pid that does not match", copy_and(self.good, self.dir / "wrongpid.exe", flip_pid), [],
             PROGRAM_MISSING),
            # A program whose own entry fails may lie there half written: it is not started.
            ("program's own entry damaged", copy_and(self.good, self.dir / "badprogram.exe", damage_program_entry),
             [], PROGRAM_MISSING),
            ("end record gone", copy_and(self.good, self.dir / "noend.exe", break_end_record),
             [NO_CENTRAL_DIRECTORY], PAYLOAD_UNREADABLE),
            ("last central header broken", copy_and(self.good, self.dir / "badcentral.exe", break_last_central_header),
             [DAMAGED], PAYLOAD_UNREADABLE),
            ("marker gone, archive intact", copy_and(self.good, self.dir / "nomarker.exe", break_marker),
             [NOT_FOUND], PAYLOAD_UNREADABLE),
            ("bare stub", bare, [NOT_FOUND, NO_CENTRAL_DIRECTORY], PAYLOAD_UNREADABLE),
        ]
        for name, launcher, messages, code in cases:
            with self.subTest(name):
                base = self.fresh("base")
                report = self.dir / "report.txt"
                result = self.run_launcher(launcher, base, report, {"SFX_EXIT_CODE": "0"})
                self.assertEqual((result.code, result.messages), (exit_code(ARCH, code), messages))
                # The application's name is the caption of its message boxes.
                self.assertEqual(result.captions, [launcher.stem] * len(messages))
                self.assertEqual(read_reports(report), [], "nothing was launched")
                self.assertEqual(list(base.iterdir()), [], "no folder left")

    def test_a_failing_entry_passes_over_later_files_but_not_folders(self):
        # Entries in archive order: the program (first or last), a file, the
        # entry whose data is damaged, a file, a folder with a file and an
        # empty sub-folder.
        rng = random.Random(6)  # fixed data, so the damage always hits the entry's data
        for run, launched in ((program_name(ARCH), True), ("z_" + program_name(ARCH), False)):
            with self.subTest(run=run):
                app = self.fresh("failing-" + run)
                shutil.copy(report_program(ARCH), app / run)
                (app / "b_before.txt").write_text("before\n")
                (app / "m_bad.bin").write_bytes(rng.randbytes(200000))
                (app / "n_after.txt").write_text("after\n")
                (app / "zz_folder" / "sub").mkdir(parents=True)
                (app / "zz_folder" / "inner.txt").write_text("inner\n")
                files, dirs = describe_tree(app)
                launcher = pack_launcher(ARCH, app, self.dir / "failing.exe", run=run, silent=True)
                offset, length = entry_data_span(launcher, "m_bad.bin")
                flip_byte(launcher, offset + length // 2)

                base = self.fresh("base")
                report_file = self.dir / "report.txt"
                result = self.run_launcher(launcher, base, report_file, {"SFX_EXIT_CODE": "4"})
                self.assertEqual(result.messages, [], "entry errors are passed over silently")
                self.assertEqual(list(base.iterdir()), [], "no folder left")
                reports = read_reports(report_file)
                if not launched:
                    # The program's entry came after the failing one: it never arrived.
                    self.assertEqual(result.code, exit_code(ARCH, PROGRAM_MISSING))
                    self.assertEqual(reports, [])
                    continue
                self.assertEqual(result.code, 4)
                self.assertEqual(len(reports), 1)
                report = reports[0]
                expected = {name: files[name] for name in (run, "b_before.txt")}
                # The damaged file stays as written, and fails its check.
                self.assertEqual(report.files.get("m_bad.bin", (None, None))[0], files["m_bad.bin"][0])
                self.assertNotEqual(report.files["m_bad.bin"][1], files["m_bad.bin"][1])
                self.assertEqual({k: v for k, v in report.files.items() if k != "m_bad.bin"}, expected)
                self.assertEqual(report.dirs, dirs, "folder entries after the failure are still created")


def main():
    return run_suite(DamagedPayloads, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
