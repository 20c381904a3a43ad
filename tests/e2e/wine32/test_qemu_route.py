"""The qemu route for 32-bit Wine (route.py), also where the kernel runs
32-bit code itself and the win32 suites do not take it: a 32-bit program
started through qemu-i386 passes its exit code on, and one that crashes ends
with 0xC0000005 with trapno.c preloaded, and with 0xC000001D without it
(which also shows that the program did run under qemu).

Where the win32 suites do not take the route, this runs in a user and mount
namespace of its own with a private binfmt_misc (Linux 6.7 or later), so that
no program outside it goes through qemu.
"""
import os
import shutil
import subprocess
import sys

from harness import Checks, WineSession, skip, windows_path
from wine32 import route

INSIDE = "SFX_QEMU_ROUTE_NAMESPACE"
ACCESS_VIOLATION = -1073741819  # 0xC0000005
ILLEGAL_INSTRUCTION = -1073741795  # 0xC000001D
# Mounting binfmt_misc inside a user namespace gives that namespace its own registrations.
PRIVATE_BINFMT = ["unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                  f"mount -t binfmt_misc binfmt_misc {route.BINFMT} && exec \"$@\"", "sh"]


def in_private_namespace():
    """Runs this test again inside a namespace with a private binfmt_misc;
    skips when this machine cannot make one."""
    if shutil.which("unshare") is None:
        skip("unshare is not installed")
    probe = subprocess.run(PRIVATE_BINFMT + ["true"], capture_output=True, text=True)
    if probe.returncode != 0:
        skip(f"no private binfmt_misc here to try the qemu route in: {probe.stderr.strip()}")
    env = dict(os.environ, **{INSIDE: "1"})
    sys.exit(subprocess.run(PRIVATE_BINFMT + [sys.executable, *sys.argv], env=env).returncode)


def main():
    os.environ["SFX_WINE32_ROUTE"] = "qemu"
    if not os.environ.get(INSIDE) and not route.registered() and route.loader_runs(route.LOADER["win32"]):
        in_private_namespace()
    checks = Checks()
    with WineSession.for_arch("win32") as wine:
        checks.equal("route", wine.wine.route, "qemu")
        program = wine.build / "tests" / "programs" / "report.exe"
        report = windows_path(wine.scratch / "report.txt")
        preload = wine.env["LD_PRELOAD"]
        # name, program settings, LD_PRELOAD, exit code
        for name, settings, preloaded, code in [
            ("exit code", {"SFX_QUIET": "1", "SFX_EXIT_CODE": "7"}, preload, 7),
            ("crash with trapno.c", {"SFX_CRASH": "1"}, preload, ACCESS_VIOLATION),
            ("crash without it", {"SFX_CRASH": "1"}, "", ILLEGAL_INSTRUCTION),
        ]:
            for variable in ("SFX_QUIET", "SFX_EXIT_CODE", "SFX_CRASH"):
                wine.env.pop(variable, None)
            wine.env.update(settings, SFX_REPORT=report, LD_PRELOAD=preloaded)
            checks.equal(name, wine.run(program).code, code)
    checks.finish()


if __name__ == "__main__":
    main()
