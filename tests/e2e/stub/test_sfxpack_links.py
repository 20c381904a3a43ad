"""sfxpack over folders with symbolic links. A link to a file or folder inside
the folder is packed as a copy of what it points to, the entries Info-ZIP's
`zip -r` makes of the same tree; a link outside the folder or to nothing is
refused naming it and its target, unless --follow-links (copies, again as
`zip -r` makes them) or --skip-links (left out, each named on standard
error). Links in a loop are refused or left out, and never hang the walk."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

from harness import stub_identification

# Each tree adds links (name in the folder, target) to the same folder.
TREES = {
    "inside": [("bin/x-link", "../lib/x.txt"), ("bin/chain", "x-link"), ("lib-link", "lib"),
               # one folder reached three times: itself and through two links
               ("twice-a", "lib/sub"), ("twice-b", "lib/sub")],
    "outside": [("ext.txt", "{outside}/data.txt"), ("ext-tree", "{outside}/tree"), ("escape", "../outside/data.txt")],
    "dangling": [("gone", "nothing-here"), ("gone-abs", "/nonexistent/x")],
    "loops": [("self", "."), ("lib/sub/up", "../.."), ("ring-a", "ring-b"), ("ring-b", "ring-a")],
}

LOOPS = {"self": "leads back to a folder that holds it (a loop)",
         "lib/sub/up": "leads back to a folder that holds it (a loop)",
         "ring-a": "links that point at each other in a circle",
         "ring-b": "links that point at each other in a circle"}

# (tree, option) -> what comes of it: "copies" (the entries zip -r makes),
# "left out" (the tree without its links), or the refusal's words per link.
OUTCOMES = {
    ("inside", None): "copies",
    ("inside", "--follow-links"): "copies",
    ("inside", "--skip-links"): "left out",
    ("outside", None): {"ext.txt": "a link to outside the folder", "ext-tree": "a link to outside the folder",
                        "escape": "a link to outside the folder"},
    ("outside", "--follow-links"): "copies",
    ("outside", "--skip-links"): "left out",
    ("dangling", None): {"gone": "a link to nothing", "gone-abs": "a link to nothing"},
    ("dangling", "--follow-links"): {"gone": "a link to nothing", "gone-abs": "a link to nothing"},
    ("dangling", "--skip-links"): "left out",
    ("loops", None): LOOPS,
    ("loops", "--follow-links"): LOOPS,
    ("loops", "--skip-links"): "left out",
}

WALK_LIMIT = 60  # seconds; a walk caught in a loop would never end


def entries(archive):
    """{name: bytes, or None for a folder} of a ZIP file."""
    with zipfile.ZipFile(archive) as z:
        return {info.filename: None if info.is_dir() else z.read(info) for info in z.infolist()}


class Links(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="sfxpack-links-"))
        self.folder = self.dir / "app"
        for name, text in (("bin/app.exe", "program"), ("lib/x.txt", "x"), ("lib/sub/y.txt", "y")):
            (self.folder / name).parent.mkdir(parents=True, exist_ok=True)
            (self.folder / name).write_text(text)
        self.outside = self.dir / "outside"
        (self.outside / "tree").mkdir(parents=True)
        (self.outside / "data.txt").write_text("outside data")
        (self.outside / "tree" / "z.txt").write_text("z")
        self.stub = self.dir / "stub.exe"
        self.stub.write_bytes(b"MZ" + bytes(5000) + stub_identification())
        self.plain = self.zip_r("plain.zip")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def add_links(self, tree):
        for name, target in TREES[tree]:
            os.symlink(target.format(outside=self.outside), self.folder / name)
        return [(name, target.format(outside=self.outside)) for name, target in TREES[tree]]

    def zip_r(self, name):
        """What Info-ZIP zip -r, which follows links, makes of the folder."""
        out = self.dir / name
        out.unlink(missing_ok=True)  # zip adds to an archive that is there
        subprocess.run(["zip", "-qr", str(out), "."], cwd=self.folder, check=True, timeout=WALK_LIMIT)
        return entries(out)

    def pack(self, *options, run="bin/app.exe"):
        out = self.dir / "out.exe"
        out.unlink(missing_ok=True)
        result = subprocess.run([os.environ["SFXPACK"], "--stub", str(self.stub), "--run", run, *options, "-o",
                                 str(out), str(self.folder)], capture_output=True, text=True, timeout=WALK_LIMIT)
        return result, out

    def test_links_with_and_without_the_options(self):
        for (tree, option), outcome in OUTCOMES.items():
            with self.subTest(tree=tree, option=option):
                links = self.add_links(tree)
                try:
                    expected = self.zip_r("reference.zip") if outcome == "copies" else self.plain
                    result, out = self.pack(*([option] if option else []))
                    if isinstance(outcome, dict):
                        self.assertEqual(result.returncode, 1, result.stderr)
                        self.assertFalse(out.exists())
                        self.assertIn("sfxpack: the folder holds what cannot be packed:", result.stderr)
                        targets = dict(links)
                        for name, why in outcome.items():
                            self.assertIn(f"  {self.folder / name} -> {targets[name]}: {why}\n", result.stderr)
                        continue
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(entries(out), expected)
                    if outcome == "left out":
                        self.assertEqual(sorted(result.stderr.splitlines()),
                                         sorted(f"sfxpack: left out the link {self.folder / name} -> {target}"
                                                for name, target in links))
                    else:
                        self.assertEqual(result.stderr, "")
                finally:
                    for name, _ in links:
                        (self.folder / name).unlink()

    def test_a_program_behind_a_left_out_link_is_not_packed(self):
        os.symlink("app.exe", self.folder / "bin" / "start")
        result, out = self.pack("--skip-links", run="bin/start")
        self.assertEqual(result.returncode, 1)
        self.assertIn("the program to run is not among the files packed", result.stderr)
        self.assertIn("--skip-links leaves links out", result.stderr)
        self.assertFalse(out.exists())


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
