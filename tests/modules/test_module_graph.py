"""The module graph check passes the real tree and fails a tree with one wrong
include (or one wrong statement), with one message that names the file, the
include and the rule.

Each case copies the folders the check reads into a scratch tree, changes one
file and runs the check as the build runs it: scripts/module-graph.py with the
graph that this build's CMake wrote, and a stamp left from an earlier passing
run, which a failing check must remove (or the next build would pass).

Usage: test_module_graph.py CHECK GRAPH SOURCE_DIR
"""
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

CHECK, GRAPH, SOURCE = (pathlib.Path(a) for a in sys.argv[1:4])
del sys.argv[1:4]

# name, file (or a tuple of files that all get the change), text put before
# its first line (or (old, new): a replacement; a file that does not exist is
# created), what the check must say (None: it passes)
CASES = [
    ("zip includes a launcher header", "zip/archive.cpp", '#include "launcher/run.h"\n',
     'zip/archive.cpp:1: #include "launcher/run.h": launcher is not below zip in the module graph'),
    ("payload includes a launcher header", "payload/config.cpp", '#include "launcher/extraction.h"\n',
     'payload/config.cpp:1: #include "launcher/extraction.h": launcher is not below payload'),
    ("platform includes a module", "platform/strings.cpp", '#include "xml/document.h"\n',
     'platform/strings.cpp:1: #include "xml/document.h": xml is not below platform'),
    ("a path that climbs out of platform", "platform/posix/file.cpp", '#include "../../zip/file.h"\n',
     'platform/posix/file.cpp:1: #include "../../zip/file.h": zip is not below platform'),
    ("a module below that the module does not name", "cleanup/fileinfo.cpp", '#include "xml/document.h"\n',
     'cleanup/fileinfo.cpp:1: #include "xml/document.h": cleanup does not name xml among the modules it uses '
     '(platform)'),
    ("a header of no module", "zip/storage.cpp", '#include "tests/unit/zip/fixtures.h"\n',
     'zip/storage.cpp:1: #include "tests/unit/zip/fixtures.h": tests/unit/zip/fixtures.h belongs to no module'),
    ("a POSIX header in a module", "xml/scanner.cpp", "#include <sys/stat.h>\n",
     "xml/scanner.cpp:1: #include <sys/stat.h>: a POSIX header; only the platform layer (platform/)"),
    ("a Windows header in a module, in any case", "launcher/dialog.cpp", "#include <Windows.h>\n",
     "launcher/dialog.cpp:1: #include <Windows.h>: a Windows header; only the platform layer"),
    ("a POSIX header in a test program", "tests/programs/report.cpp", "#include <unistd.h>\n",
     "tests/programs/report.cpp:1: #include <unistd.h>: a POSIX header"),
    ("a test program includes a module it does not name", "tests/programs/launchee.cpp",
     '#include "zip/archive.h"\n',
     'tests/programs/launchee.cpp:1: #include "zip/archive.h": launchee does not name zip among the modules it '
     "uses (platform); name it in tests/programs/CMakeLists.txt"),
    ("a named module that nothing includes", "payload/config.cpp", ('#include "xml/document.h"\n', ""),
     "payload/CMakeLists.txt: payload names xml (PRIVATE), but none of its files includes a header of xml"),
    ("a PRIVATE module that a header includes", "launcher/run.h", '#include "cleanup/deletefiles.h"\n',
     "launcher/CMakeLists.txt: launcher names cleanup PRIVATE, but its header launcher/run.h includes cleanup; "
     "name it PUBLIC"),
    ("a PUBLIC module that only sources include", ("zip/file.h", "zip/caughterror.h"),
     ('#include "platform/file.h"\n', ""),
     "zip/CMakeLists.txt: zip names platform PUBLIC, but only its sources include platform"),
    ("a file that no target lists", "launcher/stray.cpp", "int stray;\n",
     "launcher/stray.cpp: a file of launcher/ that none of its targets lists; list it in launcher/CMakeLists.txt"),
    ("a line comment opens no block comment", "zip/archive.cpp", '// files "*/*" \n#include <unistd.h>\n',
     "zip/archive.cpp:2: #include <unistd.h>: a POSIX header"),
    ("includes in comments and raw strings do not count", "zip/archive.cpp",
     "static const int kBig = 1'000; /* after a digit separator\n#include <unistd.h>\n*/\n"
     'static const char kText[] = R"x(\n#include "launcher/run.h"\n)x";\n', None),
]


def run_check(root, stamp):
    return subprocess.run([sys.executable, str(CHECK), "--root", str(root), "--graph", str(GRAPH),
                           "--stamp", str(stamp)], capture_output=True, text=True)


class ModuleGraphCheck(unittest.TestCase):
    def test_the_real_tree_passes(self):
        with tempfile.TemporaryDirectory() as scratch:
            result = run_check(SOURCE, pathlib.Path(scratch) / "stamp")
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertTrue((pathlib.Path(scratch) / "stamp").exists())

    def test_wrong_trees_fail_with_the_file_the_include_and_the_rule(self):
        graph = json.loads(GRAPH.read_text())
        folders = [m["name"] for m in graph["modules"]] + graph["also"]
        for name, relative, change, expected in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                root = pathlib.Path(scratch) / "tree"
                for folder in folders:
                    shutil.copytree(SOURCE / folder, root / folder, ignore=shutil.ignore_patterns("__pycache__"))
                for one in relative if isinstance(relative, tuple) else (relative,):
                    path = root / one
                    if not path.exists():
                        path.write_text(change)
                    elif isinstance(change, tuple):
                        text = path.read_text()
                        self.assertIn(change[0], text)
                        path.write_text(text.replace(change[0], change[1]))
                    else:
                        path.write_text(change + path.read_text())
                stamp = pathlib.Path(scratch) / "stamp"
                stamp.write_text("")  # from an earlier build that passed
                result = run_check(root, stamp)
                if expected is None:
                    self.assertEqual((result.returncode, result.stderr), (0, ""))
                else:
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertIn("module graph: 1 problem(s)", result.stderr)
                    self.assertIn(expected, result.stderr)
                self.assertEqual(stamp.exists(), expected is None)


if __name__ == "__main__":
    unittest.main(verbosity=2)
