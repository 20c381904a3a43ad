"""Where the posix launcher puts its temporary folder, end to end:

- a temporary base on a file system mounted noexec, where the program could
  not be started, is passed over for the next place ($TMPDIR, /tmp,
  $XDG_RUNTIME_DIR, $XDG_CACHE_HOME or ~/.cache, the launcher's own folder),
  and the place passed over is named to a debugger (standard error);
- when no place will do, the launcher says so, naming each place it tried,
  and ends with 82 (ERROR_CANNOT_MAKE);
- a /T: folder on such a file system is refused with that message, never
  swapped for another place;
- /T: with forward slashes works like /T: with backslashes.

The noexec file systems are tmpfs mounts in a mount namespace of the test's
own (unshare, as root), so nothing outside the test sees them; the test is
skipped where that cannot be had. Native build only."""
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

from harness import skip, skip_part, windows_path
from launcher_support import (LauncherTestCase, NativeRunner, describe_tree, pack_launcher, program_name,
                              read_reports, report_program, run_suite)

ARCH = "native"


def make_tree(root):
    (root / "lib" / "deep").mkdir(parents=True)
    (root / "lib" / "deep" / "data.txt").write_text("deep\n")
    (root / "top.txt").write_text("top\n")
    shutil.copy(report_program(ARCH), root / program_name(ARCH))
    return root


def namespaces_available():
    """Whether this process may make a mount namespace with a tmpfs of its own."""
    probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                            "mount -t tmpfs -o noexec,size=1m tmpfs /mnt"], capture_output=True)
    return probe.returncode == 0


class TempBase(LauncherTestCase):
    runner = None

    @classmethod
    def setUpClass(cls):
        # Not under /tmp, which a case mounts over.
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfx-tempbase-", dir=os.environ["SFX_BUILD_NATIVE"]))
        cls.tree = make_tree(cls.dir / "app")
        cls.launcher_dir = cls.dir / "launchers"
        cls.launcher_dir.mkdir()
        cls.launcher = pack_launcher(ARCH, cls.tree, cls.launcher_dir / "app-launcher", silent=True)
        cls.noexec = cls.dir / "noexec"
        cls.noexec.mkdir()
        cls.files, cls.dirs = describe_tree(cls.tree)

    def run_in_namespace(self, setup, args, env):
        """Runs the launcher with `args` in a mount namespace of its own,
        after the shell commands `setup`; (exit code, standard error)."""
        script = " && ".join(setup + ["exec " + " ".join(shlex.quote(str(a)) for a in [self.launcher, *args])])
        full = {k: v for k, v in os.environ.items() if not k.startswith(("SFX_", "XDG_", "TMPDIR"))}
        full.update(env)
        result = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script], env=full,
                                capture_output=True, text=True, timeout=120)
        return result.returncode, result.stderr

    def mount_noexec(self, folder):
        return f"mount -t tmpfs -o noexec,size=16m tmpfs {shlex.quote(str(folder))}"

    def report_env(self, name):
        report = self.dir / f"{name}.txt"
        report.unlink(missing_ok=True)
        return report, {"SFX_REPORT": windows_path(report), "SFX_EXIT_CODE": "5", "HOME": str(self.dir / "home")}

    def test_a_noexec_temporary_base_is_passed_over(self):
        report, env = self.report_env("passed-over")
        env["TMPDIR"] = str(self.noexec)
        code, stderr = self.run_in_namespace([self.mount_noexec(self.noexec)], ["/S"], env)
        self.assertEqual(code, 5, stderr)
        reports = read_reports(report)
        self.assertEqual(len(reports), 1, "the program ran once")
        self.assertRegex(reports[0].cwd, r"^Z:\\tmp\\qx_ext_temp_\d+$", "the next place: /tmp")
        self.assertEqual((reports[0].files, reports[0].dirs), (self.files, self.dirs))
        self.assertFalse(pathlib.Path(reports[0].cwd[2:].replace("\\", "/")).exists(), "and it went again")
        self.assertIn(f"(debug) launcher: temporary folders passed over:\n{windows_path(self.noexec)}: programs cannot "
                      "be started from there", stderr)

    def test_when_no_place_will_do_each_is_named(self):
        if self.dir.resolve().is_relative_to("/tmp"):
            reason = "the build lies under /tmp, which this case mounts over (the launcher and its folders with it)"
            skip_part(reason)
            self.skipTest(reason)
        report, env = self.report_env("nowhere")
        cache = self.dir / "cache"
        cache.mkdir(exist_ok=True)
        env.update(TMPDIR=str(self.noexec), XDG_CACHE_HOME=str(cache), XDG_RUNTIME_DIR=str(self.dir / "no-runtime"))
        # /tmp and the cache noexec too; the launcher's own folder read-only.
        setup = [self.mount_noexec(self.noexec), self.mount_noexec("/tmp"), self.mount_noexec(cache),
                 f"mount --bind {shlex.quote(str(self.launcher_dir))} {shlex.quote(str(self.launcher_dir))}",
                 f"mount -o remount,bind,ro {shlex.quote(str(self.launcher_dir))}"]
        code, stderr = self.run_in_namespace(setup, ["/S"], env)
        self.assertEqual(code, 82, stderr)
        self.assertIn("There is no folder for the temporary files where programs can be started:", stderr)
        for place, why in [(self.noexec, "programs cannot be started from there"),
                           (pathlib.Path("/tmp"), "programs cannot be started from there"),
                           (self.dir / "no-runtime", "does not exist"),
                           (cache, "programs cannot be started from there"),
                           (self.launcher_dir, "nothing can be written there")]:
            self.assertIn(f"{windows_path(place)}: {why}", stderr)
        self.assertEqual(read_reports(report), [], "nothing ran")

    def test_a_noexec_folder_asked_for_with_t_is_refused(self):
        report, env = self.report_env("asked-for")
        code, stderr = self.run_in_namespace([self.mount_noexec(self.noexec)],
                                             ["/S", "/T:" + windows_path(self.noexec)], env)
        self.assertEqual(code, 82, stderr)
        self.assertIn(f"can be started:\n{windows_path(self.noexec)}: programs cannot be started from there", stderr)
        self.assertEqual(read_reports(report), [], "nothing ran, nowhere else either")

    def test_t_takes_forward_slashes(self):
        for name, form in [("backslashes", windows_path), ("forward slashes", str),
                           ("both", lambda p: windows_path(p).replace("\\", "/"))]:
            with self.subTest(name):
                base = self.fresh("base")
                report, env = self.report_env("slashes")
                result = self.runner.run(self.launcher, ["/S", "/T:" + form(base)], env)
                self.assertEqual((result.code, result.messages), (5, []), result.stderr)
                reports = read_reports(report)
                self.assertEqual(len(reports), 1)
                self.assertRegex(reports[0].cwd, "^" + re.escape(windows_path(base)) + r"\\qx_ext_temp_\d+$")
                self.assertEqual((reports[0].files, reports[0].dirs), (self.files, self.dirs))
                self.assertEqual(list(base.iterdir()), [], "the folder went")


def main():
    if os.geteuid() != 0 or shutil.which("unshare") is None or not namespaces_available():
        skip("no mount namespace with a tmpfs of its own here (needs root and unshare)")
    return run_suite(TempBase, ARCH)


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
