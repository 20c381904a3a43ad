"""LaunchProgram in the Windows build under Wine: exit code, arguments with
spaces, working folder, not waiting, programs that cannot start, and command
lines on both sides of the old 500-byte buffer and of the system's limit."""
import sys

from driver import Checks, Driver, session, windows_path


def report(path):
    lines = path.read_text(errors="replace").splitlines() if path.exists() else []
    argv = [line[5:] for line in lines if line.startswith("argv=")]
    cwd = next((line[4:] for line in lines if line.startswith("cwd=")), None)
    return argv, cwd


def main(arch):
    checks = Checks()
    with session(arch) as wine:
        driver = Driver(wine)
        launchee = windows_path(driver.launchee)
        scratch = wine.scratch
        work = scratch / "work folder"
        work.mkdir()

        # Exit code 7, arguments with spaces arrive whole, the working folder is used.
        out = driver.run("launch", 1, windows_path(work), launchee, windows_path(scratch / "r.txt"), 7, "a b", "")
        checks.equal("exit code", driver.values(out, "result"), ["7"])
        argv, cwd = report(scratch / "r.txt")
        checks.equal("arguments", argv[1:], [windows_path(scratch / "r.txt"), "7", "a b", ""])
        checks.equal("working folder", cwd, windows_path(work))

        # Without waiting: the program waits for a gate that opens only after the call returned.
        gate = scratch / "gate"
        out = driver.run("launch", "0:" + windows_path(gate), "", launchee, "--wait-for", windows_path(gate),
                         windows_path(scratch / "g.txt"), 5)
        checks.equal("no wait", driver.values(out, "result"), ["259"])

        # Programs that cannot start give the system's error code.
        (scratch / "data.exe").write_text("not a program\n")
        for program, folder, code in [(windows_path(scratch / "data.exe"), "", "193"),
                                      (windows_path(scratch / "missing.exe"), "", "2"),
                                      (launchee, windows_path(scratch / "no folder"), "267")]:
            out = driver.run("launch", 1, folder, program, windows_path(scratch / "never.txt"), 0)
            checks.equal(f"start failure {program} in {folder!r}", driver.values(out, "result"), [code])
        checks.equal("nothing started", (scratch / "never.txt").exists(), False)

        # Command-line lengths: the old buffer's 499/500 and the system's 32766/32767.
        for length, code in [(499, "0"), (500, "0"), (32766, "0"), (32767, "206")]:
            target = scratch / f"long{length}.txt"
            out = driver.run("launch-padded", "", launchee, windows_path(target), length)
            checks.equal(f"length {length}", driver.values(out, "length"), [str(length)])
            checks.equal(f"result at {length}", driver.values(out, "result"), [code])
            argv, _ = report(target)
            if code == "0":
                whole = len(launchee) + 3 + len(windows_path(target)) + 3 + 4 + 2
                checks.equal(f"padding at {length}", len(argv[3]) if len(argv) > 3 else None, length - whole)
            else:
                checks.equal(f"refused at {length}", argv, [])
    checks.finish()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "win64")
