"""The extraction cache (sfxpack --cache) end to end: a cold start and then
a warm start run the program from the same copy, which holds exactly the
archive, and the warm start writes nothing (natively not a byte, by the
kernel's count in /proc/<pid>/io; everywhere no name, size, time or mode in
the cache changes); a file deleted or changed in the copy is caught and the
copy made again; a payload changed by one byte gets a copy of its own; six
cold starts at once all run and leave one copy; a launcher killed during its
cold start leaves a folder that the next start sweeps while it starts from
a new copy; a copy that somebody else could have changed (open to others,
or another owner) is never used; the newest two copies stay, older ones
go, and one that a run holds stays until it ends; an encrypted payload is
cached decrypted; without /T: the cache lives in the user's cache folder.

Runs the build given as argument: native (the posix launcher), win64 or
win32 (under Wine)."""
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from harness import skip_part, windows_path
from launcher_support import (LauncherTestCase, describe_tree, exit_code, pack_launcher, program_name, read_reports,
                              report_program, run_suite)

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"
COLD_START_BYTES = 48 << 20  # incompressible: a cold start that takes long enough to be killed in
NOBODY = 65534
COPY = re.compile(r"^app-[0-9a-f]{16}$")


def snapshot(folder):
    """Every path under `folder` with what a write would change: size, time, mode."""
    found = {}
    for path in sorted(pathlib.Path(folder).rglob("*")):
        stat = path.lstat()
        found[path.relative_to(folder).as_posix()] = (stat.st_size, stat.st_mtime_ns, stat.st_mode, stat.st_uid)
    return found


class Cache(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-cache-"))
        app = cls.dir / "app"
        (app / "lib" / "deeper").mkdir(parents=True)
        shutil.copy(report_program(ARCH), app / program_name(ARCH))
        (app / "readme.txt").write_text("read me\n")
        (app / "lib" / "data.bin").write_bytes(os.urandom(200000))
        (app / "lib" / "deeper" / "more.txt").write_text("more\n")
        (app / "empty folder").mkdir()
        cls.files, cls.dirs = describe_tree(app)
        cls.app = app
        cls.launcher = pack_launcher(ARCH, app, cls.dir / "cached.exe", silent=True, cache=True)

    def run_cached(self, launcher, base, settings=None, args=()):
        """Runs `launcher` with its cache under `base`; (result, its one report)."""
        report = self.dir / "report.txt"
        report.unlink(missing_ok=True)
        env = dict(settings or {}, SFX_REPORT=windows_path(report), SFX_EXIT_CODE="5")
        result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base), *args], env)
        reports = read_reports(report)
        self.assertEqual((result.code, result.messages, len(reports)), (exit_code(ARCH, 5), [], 1),
                         f"{result}: {result.stderr}")
        return result, reports[0]

    def copy_of(self, report):
        """The copy a report's program ran in (its files folder's parent), natively."""
        files = self.runner.unix_path(report.cwd)
        self.assertEqual(files.name, "files", report.cwd)
        return files.parent

    @staticmethod
    def copies(folder):
        return sorted(p.name for p in pathlib.Path(folder).iterdir() if COPY.match(p.name))

    def test_cold_then_warm_start_the_same_copy_and_the_warm_start_writes_nothing(self):
        base = self.fresh("base warm")
        _, cold = self.run_cached(self.launcher, base)
        copy = self.copy_of(cold)
        cache = base / "cached"
        self.assertEqual(copy.parent, cache)
        self.assertEqual((cold.files, cold.dirs), (self.files, self.dirs), "exactly the archive")
        self.assertEqual(sorted(p.name for p in cache.iterdir()), [copy.name, copy.name + ".lock"])
        if ARCH == "native":
            self.assertEqual(oct(cache.stat().st_mode & 0o777), "0o700")
            self.assertEqual(oct(copy.stat().st_mode & 0o777), "0o700")

        before = snapshot(base)
        if ARCH == "native":
            written = self.native_write_bytes(self.launcher, base)
            self.assertEqual(written, 0, "bytes the warm start (and its program) had written to storage")
        _, warm = self.run_cached(self.launcher, base)
        self.assertEqual(warm.cwd, cold.cwd)
        self.assertEqual((warm.files, warm.dirs), (self.files, self.dirs))
        self.assertEqual(snapshot(base), before, "nothing in the cache changed, not even a time")

    @staticmethod
    def native_write_bytes(launcher, base):
        """Runs the native launcher, quiet, and reads from the kernel what it wrote before it is reaped."""
        env = {k: v for k, v in os.environ.items() if not k.startswith("SFX_")}
        env.update(SFX_QUIET="1", SFX_EXIT_CODE="5")
        proc = subprocess.Popen([launcher, "/S", "/T:" + windows_path(base)], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT)
        io = dict(line.split(": ") for line in pathlib.Path(f"/proc/{proc.pid}/io").read_text().splitlines())
        assert proc.wait() == 5
        return int(io["write_bytes"])

    def test_a_file_deleted_or_changed_in_the_copy_is_caught_and_the_copy_made_again(self):
        cases = {
            "deleted": lambda copy: (copy / "files" / "lib" / "deeper" / "more.txt").unlink(),
            "changed": lambda copy: (copy / "files" / "readme.txt").write_text("changed by somebody\n"),
            "emptied": lambda copy: shutil.rmtree(copy / "files" / "lib"),
        }
        for what, damage in cases.items():
            with self.subTest(what):
                base = self.fresh("base " + what)
                _, cold = self.run_cached(self.launcher, base)
                copy = self.copy_of(cold)
                damage(copy)
                (copy / "files" / "planted.txt").write_text("never seen by a run\n")
                _, again = self.run_cached(self.launcher, base)
                self.assertEqual(again.cwd, cold.cwd)
                self.assertEqual((again.files, again.dirs), (self.files, self.dirs))
                self.assertEqual(sorted(p.name for p in (base / "cached").iterdir()), [copy.name, copy.name + ".lock"])

    def test_a_payload_changed_by_one_byte_gets_a_copy_of_its_own(self):
        base = self.fresh("base changed")
        _, first = self.run_cached(self.launcher, base)
        app = self.fresh("app changed")
        shutil.copytree(self.app, app, dirs_exist_ok=True)
        text = (app / "readme.txt").read_bytes()
        (app / "readme.txt").write_bytes(text[:-2] + bytes([text[-2] ^ 1]) + text[-1:])
        changed = pack_launcher(ARCH, app, self.fresh("changed") / "cached.exe", silent=True, cache=True)
        _, second = self.run_cached(changed, base)
        self.assertNotEqual(second.cwd, first.cwd)
        self.assertEqual(self.copy_of(second).parent, self.copy_of(first).parent)
        self.assertEqual(second.files["readme.txt"][0], self.files["readme.txt"][0])
        self.assertNotEqual(second.files["readme.txt"][1], self.files["readme.txt"][1])
        self.assertEqual(len(self.copies(base / "cached")), 2)

    def test_six_cold_starts_at_once_all_run_and_leave_one_copy(self):
        base = self.fresh("base six")
        reports = [self.dir / f"six-{i}.txt" for i in range(6)]
        running = []
        for report in reports:
            report.unlink(missing_ok=True)
            running.append(self.runner.start(self.launcher, ["/S", "/T:" + windows_path(base)],
                                             {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5"}))
        results = [r.wait() for r in running]
        self.assertEqual([(r.code, r.messages) for r in results], [(exit_code(ARCH, 5), [])] * 6)
        seen = [read_reports(report) for report in reports]
        self.assertEqual([len(s) for s in seen], [1] * 6, "every launcher ran the program")
        self.assertEqual({s[0].cwd for s in seen}, {seen[0][0].cwd}, "all from the one copy")
        for s in seen:
            self.assertEqual((s[0].files, s[0].dirs), (self.files, self.dirs))
        copy = self.copy_of(seen[0][0])
        self.assertEqual(sorted(p.name for p in (base / "cached").iterdir()), [copy.name, copy.name + ".lock"])

    def test_a_cold_start_killed_then_started_again_succeeds_and_the_dead_copy_is_swept(self):
        app = self.fresh("app big")
        shutil.copytree(self.app, app, dirs_exist_ok=True)
        for i in range(8):
            (app / f"big-{i}.bin").write_bytes(os.urandom(COLD_START_BYTES // 8))
        launcher = pack_launcher(ARCH, app, self.fresh("killable") / "killme.exe", silent=True, cache=True)
        base = self.fresh("base killed")
        cache = base / "killme"
        running = self.runner.start(launcher, ["/S", "/T:" + windows_path(base)],
                                    {"SFX_EXIT_CODE": "5", "SFX_LAUNCHER_THREADS": "1"})
        deadline = time.time() + 120
        while time.time() < deadline and not any(p.name.startswith("qx_ext_temp_") and p.is_dir()
                                                  for p in (cache.iterdir() if cache.is_dir() else ())):
            time.sleep(0.002)
        self.kill_hard(running, launcher)
        running.wait()
        left = sorted(p.name for p in cache.iterdir())
        self.assertIn("qx_ext_temp_0", left, "killed while it extracted")
        self.assertEqual([name for name in left if COPY.match(name)], [], "no copy was made")

        report = self.dir / "after-kill.txt"
        report.unlink(missing_ok=True)
        result = self.runner.run(launcher, ["/S", "/T:" + windows_path(base)],
                                 {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5"})
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 5), []))
        again = read_reports(report)
        self.assertEqual(len(again), 1)
        copy = self.copy_of(again[0])
        self.assertEqual(sorted(p.name for p in cache.iterdir()), [copy.name, copy.name + ".lock"],
                         "the dead start's folder was swept")

    @staticmethod
    def kill_hard(running, launcher):
        """Kills the launcher at once (taskkill would take a Wine process start):
        under Wine its Unix process, which Wine's server sees end as
        TerminateProcess would end it."""
        if ARCH == "native":
            running.proc.kill()
            return
        for proc in pathlib.Path("/proc").iterdir():
            try:
                command = (proc / "cmdline").read_bytes().split(b"\0")
            except OSError:
                continue
            if any(part.endswith(launcher.name.encode()) for part in command):
                os.kill(int(proc.name), signal.SIGKILL)

    def test_a_copy_somebody_else_could_have_changed_is_never_used(self):
        cases = {"open to others": lambda copy: copy.chmod(0o777)}
        if os.geteuid() == 0:
            cases["another owner"] = lambda copy: os.chown(copy, NOBODY, NOBODY)
        else:
            skip_part("another owner needs root")
        for what, plant in cases.items():
            with self.subTest(what):
                base = self.fresh("base " + what)
                _, cold = self.run_cached(self.launcher, base)
                copy = self.copy_of(cold)
                (copy / "files" / "planted.txt").write_text("planted\n")
                plant(copy)
                _, again = self.run_cached(self.launcher, base)
                self.assertEqual((again.files, again.dirs), (self.files, self.dirs), "the planted copy was not used")
                self.assertEqual(again.cwd, cold.cwd, "it was made again in its place")
                # Wine tells others' access by the bits for others alone.
                stat = copy.stat()
                self.assertEqual((stat.st_uid, stat.st_mode & (0o077 if ARCH == "native" else 0o007)),
                                 (os.geteuid(), 0))

    def test_the_newest_two_copies_stay_older_ones_go_and_one_in_use_stays(self):
        base = self.fresh("base versions")
        cache = base / "versions"
        launchers, copies = [], []
        for version in range(1, 5):
            app = self.fresh(f"app v{version}")
            shutil.copytree(self.app, app, dirs_exist_ok=True)
            (app / "version.txt").write_text(f"{version}\n")
            launchers.append(pack_launcher(ARCH, app, self.fresh(f"v{version}") / "versions.exe", silent=True,
                                           cache=True))
        for launcher in launchers[:2]:
            _, report = self.run_cached(launcher, base)
            copies.append(self.copy_of(report).name)
            time.sleep(0.05)
        # Version 1 runs on, waiting at a gate, while versions 3 and 4 start.
        gate, held = self.dir / "gate versions", self.dir / "held.txt"
        for path in (gate, held):
            path.unlink(missing_ok=True)
        first = self.runner.start(launchers[0], ["/S", "/T:" + windows_path(base)],
                                  {"SFX_REPORT": windows_path(held), "SFX_WAIT_FOR": windows_path(gate),
                                   "SFX_EXIT_CODE": "5"})
        try:
            deadline = time.time() + 120
            while not read_reports(held) and time.time() < deadline:
                time.sleep(0.1)
            for launcher in launchers[2:]:
                time.sleep(0.05)
                _, report = self.run_cached(launcher, base)
                copies.append(self.copy_of(report).name)
            self.assertEqual(self.copies(cache), sorted([copies[0], copies[2], copies[3]]),
                             "version 2 went; version 1 is in use")
        finally:
            gate.write_text("open")
            self.assertEqual(first.wait().code, exit_code(ARCH, 5))
        self.run_cached(launchers[3], base)
        self.assertEqual(self.copies(cache), sorted(copies[2:]), "version 1 went once it had ended")

    def test_an_encrypted_payload_is_cached_decrypted(self):
        launcher = pack_launcher(ARCH, self.app, self.fresh("encrypted") / "secret.exe", silent=True, cache=True,
                                 pid="cache 1", use_password=True)
        base = self.fresh("base encrypted")
        _, report = self.run_cached(launcher, base)
        self.assertEqual((report.files, report.dirs), (self.files, self.dirs))
        copy = self.copy_of(report)
        self.assertEqual((copy / "files" / "readme.txt").read_text(), "read me\n")

    def test_without_t_the_cache_is_in_the_users_cache_folder(self):
        report = self.dir / "default.txt"
        report.unlink(missing_ok=True)
        env = {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5"}
        if ARCH == "native":
            users = self.fresh("xdg cache")
            env["XDG_CACHE_HOME"] = str(users)
        result = self.runner.run(self.launcher, ["/S"], env)
        self.assertEqual((result.code, result.messages), (exit_code(ARCH, 5), []))
        cwd = read_reports(report)[0].cwd
        copy = self.copy_of(read_reports(report)[0])
        try:
            if ARCH == "native":
                self.assertEqual(copy.parent, users / "cached")
            else:
                self.assertRegex(cwd, r"^C:\\users\\[^\\]+\\AppData\\Local\\cached\\app-[0-9a-f]{16}\\files$")
        finally:
            shutil.rmtree(copy.parent, ignore_errors=True)


def main():
    return run_suite(Cache, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
