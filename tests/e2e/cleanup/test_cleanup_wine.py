"""The deleter in the Windows build under Wine: a nested tree with a folder
link inside, read-only and hidden files, the hidden switch, files held
open without sharing with continue-on-error on and off, and what deleting a
tree costs in file-system calls, counted from Wine's file trace.

What Wine shows of a Unix symbolic link: one to a folder is a folder with the
reparse-point bit (0x410); one to a file is a plain file (its target's
attributes and size), so it cannot be told apart from its target."""
import os
import re
import sys

from driver import Checks, Driver, session, windows_path


def tree(root):
    """Everything under root, relative; folders end in '/' (links are not followed)."""
    found = []
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        for d in dirs:
            found.append(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            found.append(os.path.normpath(os.path.join(rel, f)))
    return sorted(found)


def main(arch):
    checks = Checks()
    with session(arch) as wine:
        driver = Driver(wine)
        scratch = wine.scratch

        # What Wine reports for links.
        outside = scratch / "outside"
        (outside / "inner").mkdir(parents=True)
        (outside / "precious.txt").write_text("keep")
        (outside / "inner" / "more.txt").write_text("keep")
        before = tree(outside)
        walk = scratch / "walk"
        (walk / "sub" / "deeper").mkdir(parents=True)
        (walk / "sub" / "deeper" / "f.txt").write_text("1")
        (walk / "sub" / "g.txt").write_text("2")
        (walk / "own.txt").write_text("3")
        (walk / "readonly.txt").write_text("4")
        os.chmod(walk / "readonly.txt", 0o444)
        (walk / ".hidden").write_text("5")
        os.symlink(outside, walk / "sub" / "folder link")
        out = driver.run("list", windows_path(walk / "sub") + "\\*")
        checks.equal("folder link attributes", [e for e in driver.values(out, "entry") if e.startswith("folder link|")],
                     ["folder link|410|0"])
        out = driver.run("list", windows_path(walk) + "\\*")
        checks.equal("dot file is hidden", [e for e in driver.values(out, "entry") if e.startswith(".hidden|")],
                     [".hidden|22|1"])

        # The whole tree goes; nothing behind the link is touched. Wine cannot
        # remove a Unix link to a folder, so the link itself stays, and the
        # deleter says so.
        out = driver.run("delete", windows_path(walk) + "\\*.*", 1, 1, 1)
        checks.equal("tree result", driver.values(out, "result"), ["2"])
        checks.equal("tree failed", driver.values(out, "failed"), [windows_path(walk / "sub") + "\\folder link"])
        checks.equal("tree left", tree(walk), ["sub/", "sub/folder link/"])
        checks.equal("behind the link", tree(outside), before)
        checks.equal("behind the link, content", (outside / "precious.txt").read_text(), "keep")

        # Hidden files left alone when asked; the others still go and the run succeeds.
        hidden = scratch / "hidden"
        (hidden / "d").mkdir(parents=True)
        for name in (".h1", "a.txt", "d/.h2", "d/b.txt", "z.txt"):
            (hidden / name).write_text("x")
        out = driver.run("delete", windows_path(hidden) + "\\*.*", 1, 1, 0)
        checks.equal("hidden result", driver.values(out, "result"), ["0"])
        checks.equal("hidden left", tree(hidden), [".h1", "d/", "d/.h2"])

        # Files held open without sharing: with and without continue-on-error.
        for go_on, left in [(1, ["locked.txt"]), (0, ["empty/", "locked.txt", "z.txt"])]:
            held = scratch / f"held{go_on}"
            (held / "empty").mkdir(parents=True)
            (held / "sub").mkdir()
            for name in ("sub/s.txt", "a.txt", "locked.txt", "z.txt"):
                (held / name).write_text("x")
            locked = windows_path(held / "locked.txt")
            out = driver.run("delete", windows_path(held) + "\\*.*", 1, go_on, 1, locked)
            checks.equal(f"held result ({go_on})", driver.values(out, "result"), ["2"])
            checks.equal(f"held failed ({go_on})", driver.values(out, "failed"), [locked])
            checks.equal(f"held left ({go_on})", tree(held), left)
            texts = driver.values(out, "text")
            at = texts.index(locked) if locked in texts else -1
            checks.equal(f"held texts ({go_on})", texts[at + 1] if at >= 0 else None, "Delete failed")

        # On two threads the same files go and stay; the texts are one
        # thread's without the files that went (workers report failures only).
        outcomes = {}
        for threads in (1, 2):
            root = scratch / f"threads{threads}"
            (root / "sub" / "deeper").mkdir(parents=True)
            for name in ("sub/deeper/f.txt", "sub/g.txt", "own.txt", "readonly.txt", ".hidden", "locked.txt", "z.txt"):
                (root / name).write_text("x")
            os.chmod(root / "readonly.txt", 0o444)
            wine.env["SFX_DELETE_THREADS"] = str(threads)
            try:
                out = driver.run("delete", windows_path(root) + "\\*.*", 1, 1, 0, windows_path(root / "locked.txt"))
            finally:
                del wine.env["SFX_DELETE_THREADS"]
            outcomes[threads] = ([(k, v.replace(windows_path(root), "ROOT")) for k, v in out], tree(root))
        checks.equal("threads: one thread left", outcomes[1][1], [".hidden", "locked.txt"])
        checks.equal("threads: one thread failed", driver.values(outcomes[1][0], "failed"), ["ROOT\\locked.txt"])
        one_texts = [v for k, v in outcomes[1][0] if k == "text"]
        failures_only = [t for i, t in enumerate(one_texts) if t != "Delete successful" and not (
            t.startswith("ROOT\\") and (i + 1 == len(one_texts) or one_texts[i + 1] != "Delete failed"))]
        checks.equal("threads: two as one", ([(k, v) for k, v in outcomes[2][0] if k != "text"], outcomes[2][1]),
                     ([(k, v) for k, v in outcomes[1][0] if k != "text"], outcomes[1][1]))
        checks.equal("threads: two report the failures", driver.values(outcomes[2][0], "text"), failures_only)

        # Every path the deleter hands to the file system shows in Wine's file
        # trace as one lookup (an open, or an attribute query): one per file
        # (its delete), one more for a read-only file, one listing and one
        # removal per folder, one listing of the source's folder and one
        # question whether it is a link.
        counted = scratch / "counted"
        folders = ["a", "a/b", "c", "c/d"]
        files = [os.path.join(folder, f"f{i}.txt") for folder in ("", "a", "a/b", "c/d") for i in range(10)]
        for folder in folders:
            (counted / folder).mkdir(parents=True)
        for name in files:
            (counted / name).write_text("x")
        os.chmod(counted / "a/b/f3.txt", 0o444)
        wine.env["WINEDEBUG"], quiet = wine.env["WINEDEBUG"] + ",trace+file", wine.env["WINEDEBUG"]
        try:
            result = wine.run(driver.exe, ["delete", windows_path(counted) + "\\*.*", "1", "1", "1"])
        finally:
            wine.env["WINEDEBUG"] = quiet
        checks.equal("counted left", tree(counted), [])
        ours = [line for line in result.stderr.splitlines() if "\\\\counted" in line and scratch.name in line]
        opens = sum(1 for line in ours if "trace:file:NtCreateFile" in line)
        lookups = sum(1 for line in ours if re.search(r"trace:file:nt_to_unix_file_name", line))
        print(f"{len(files)} files in {len(folders)} folders: {opens} opens, {lookups} lookups")
        bound = len(files) + 1 + 2 * len(folders) + 2
        checks.equal(f"at most {bound} lookups", lookups <= bound, True)
        checks.equal(f"at most {bound - 1} opens (the question is none)", opens <= bound - 1, True)
    checks.finish()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "win64")
