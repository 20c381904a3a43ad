"""A skip must not hide a failure: CTest lists an end-to-end test as skipped
only when it ends through skip(); a test that reports a skipped part (or
prints "SKIPPED:") and then fails is listed as failed, and one that skipped a
part and passed the rest as passed.

The probes run in a scratch CTest project with the outcome properties that
this test itself has in the native build, so they are judged as the real
end-to-end tests are.

Usage: test_skip_outcomes.py OWN_TEST_NAME CMAKE CTEST
"""
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from harness import Checks

OUTCOME_PROPERTIES = ("SKIP_RETURN_CODE", "SKIP_REGULAR_EXPRESSION", "PASS_REGULAR_EXPRESSION",
                      "FAIL_REGULAR_EXPRESSION", "WILL_FAIL", "ENVIRONMENT")

# name, probe body, outcome CTest must report
PROBES = [
    ("cannot_run", "skip('no build here')", "Skipped"),
    ("part_skipped_rest_passes", "skip_part('no win32 build to check')", "Passed"),
    ("part_skipped_rest_fails", "skip_part('no win32 build to check')\nsys.exit(1)", "Failed"),
    ("says_skipped_then_fails", "print('SKIPPED: not really', flush=True)\nraise AssertionError('broken')", "Failed"),
]


def own_properties(ctest, name):
    listing = subprocess.run([ctest, "--test-dir", os.environ["SFX_BUILD_NATIVE"], "--show-only=json-v1",
                              "-R", f"^{re.escape(name)}$"], capture_output=True, text=True, check=True).stdout
    tests = json.loads(listing)["tests"]
    if len(tests) != 1:
        raise RuntimeError(f"{name} is not a test of {os.environ['SFX_BUILD_NATIVE']}")
    return {p["name"]: p["value"] for p in tests[0]["properties"] if p["name"] in OUTCOME_PROPERTIES}


def cmake_value(value):
    if isinstance(value, list):
        value = ";".join(value)
    return f"[==[{value}]==]"


def make_project(folder, properties):
    lines = ["cmake_minimum_required(VERSION 3.25)", "project(probes NONE)", "enable_testing()"]
    settings = " ".join(f"{name} {cmake_value(value)}" for name, value in properties.items())
    for name, body, _ in PROBES:
        script = folder / f"{name}.py"
        script.write_text(f"import sys\nfrom harness import skip, skip_part\n{body}\n")
        lines.append(f"add_test(NAME {name} COMMAND {cmake_value(sys.executable)} {cmake_value(script)})")
        if settings:
            lines.append(f"set_tests_properties({name} PROPERTIES {settings})")
    (folder / "CMakeLists.txt").write_text("\n".join(lines) + "\n")


def main():
    own_name, cmake, ctest = sys.argv[1:4]
    checks = Checks()
    properties = own_properties(ctest, own_name)
    # Names only: a value may hold the very text a skip pattern looks for.
    print(f"outcome properties of {own_name}: {sorted(properties)}")
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-skip-"))
    try:
        make_project(work, properties)
        subprocess.run([cmake, "-S", str(work), "-B", str(work / "build")], check=True, stdout=subprocess.DEVNULL)
        run = subprocess.run([ctest, "--test-dir", str(work / "build")], capture_output=True, text=True)
        reported = dict(re.findall(r"Test\s+#\d+: (\w+) \.+\s*(?:\*+)?(Passed|Failed|Skipped|Not Run)", run.stdout))
        print(f"CTest reported: {reported}")
        for name, _, outcome in PROBES:
            checks.equal(name, reported.get(name), outcome)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    checks.finish()


if __name__ == "__main__":
    main()
