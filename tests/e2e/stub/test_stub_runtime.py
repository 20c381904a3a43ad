"""The stub's own stand-ins for parts of the C++ runtime (platform/win32/runtime.cpp)
behave as the stub's code expects of the full library. tests/programs/runtime_probe
prints how library errors arrive and whether platform::Format works; natively it
runs on the full library (so the table below is the library's behaviour), in the
Windows builds under Wine on the stand-ins.

Usage: test_stub_runtime.py ARCH   (native, win64 or win32)
"""
import subprocess
import sys
import unittest

from harness import WineSession, build_dir, skip

ARCH = sys.argv[1] if len(sys.argv) > 1 else "win64"

EXPECTED = {
    "substr_out_of_range": "exception",
    "string_too_long": "exception",
    "string_from_null": "exception",
    "allocate_too_many": "bad_alloc",
    "allocate_overflowing": "bad_array_new_length",
    "nothing_wrong": "nothing",
    "format": "ok",
}
# abort() ends a program with SIGABRT on posix, with exit code 3 in the C runtime on Windows.
ABORT_EXIT = {"native": -6, "win64": 3, "win32": 3}


class StubRuntime(unittest.TestCase):
    results = None  # arguments -> (exit code, output)

    def test_library_errors_arrive_as_the_stub_catches_them(self):
        code, output = self.results[()]
        self.assertEqual(code, 0, output)
        got = dict(line.strip().partition("=")[::2] for line in output.splitlines() if "=" in line)
        for case, outcome in EXPECTED.items():
            with self.subTest(case):
                self.assertEqual(got.get(case), outcome)

    def test_an_uncaught_exception_ends_the_program_through_abort(self):
        code, output = self.results[("uncaught",)]
        self.assertEqual(code, ABORT_EXIT[ARCH], output)


def main():
    build = build_dir(ARCH)
    if build is None:
        skip(f"no {ARCH} build")
    probe = build / "tests" / "programs" / ("runtime_probe" if ARCH == "native" else "runtime_probe.exe")
    if not probe.exists():
        skip(f"{probe} is not built")
    runs = [(), ("uncaught",)]
    if ARCH == "native":
        StubRuntime.results = {}
        for args in runs:
            done = subprocess.run([str(probe), *args], capture_output=True, text=True, timeout=60)
            StubRuntime.results[args] = (done.returncode, done.stdout)
    else:
        with WineSession.for_arch(ARCH) as wine:
            StubRuntime.results = {args: (r.code, r.stdout) for args in runs for r in [wine.run(probe, args)]}
    return unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result.wasSuccessful()


if __name__ == "__main__":
    sys.exit(0 if main() else 1)
