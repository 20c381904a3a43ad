"""Which Wine programs start Windows programs of each architecture here.

win64: Wine's 64-bit loader. (/usr/bin/wine takes the 32-bit loader whenever
wine32 is installed, which then has to run first.)

win32: Wine's i386 loader from wine32, run by the kernel where it can run
32-bit x86 code. Where it cannot (the program ends with "Exec format error",
or a 32-bit code segment faults), the i386 loader runs through qemu-i386 in
user mode: binfmt_misc hands every i386 ELF program to qemu-i386 (registered
with the F flag: the kernel opens qemu-i386 once, at registration; the
registration does not survive a reboot, so it is made whenever it is
missing), and trapno.c is preloaded so that access violations keep their
code. qemu-i386 must be version 10 or later (a fraction of a second per
process start): Bookworm's 7.2 ignores MAP_FIXED_NOREPLACE, and Wine's
address-space reservation then takes about a minute for every process start.

    setup(arch) -> Wine     raises Unavailable with the reason it cannot run

As a command, for shell scripts:

    route.py env ARCH       prints NAME=value lines of the environment that
                            runs ARCH (SFX_WINE is the loader to start), or
                            the reason on standard error and exits with 77
    route.py has-qemu       exits with 0 when a qemu-i386 fit for it is installed

SFX_WINE32_ROUTE=qemu takes the route even where the kernel runs 32-bit code
(to test it there); SFX_WINE32_PRELOAD names the folder that holds
lib/<multiarch>/libsfxtrapno.so (default: tests/e2e/wine32/preload in the
native build, SFX_BUILD_NATIVE).
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

WINE_LIB = pathlib.Path("/usr/lib/wine")
LOADER = {"win64": WINE_LIB / "wine64", "win32": WINE_LIB / "wine"}
SERVER = WINE_LIB / "wineserver64"

BINFMT = pathlib.Path("/proc/sys/fs/binfmt_misc")
ENTRY = "sfxlauncher-i386"
# An i386 ELF executable or shared object (e_type 2 or 3, e_machine 3).
I386_MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
I386_MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
QEMU_MINIMUM = 10
PRELOAD_NAME = "libsfxtrapno.so"
UNAVAILABLE_CODE = 77  # the command's exit code when ARCH cannot run here, as a skipped test's


class Unavailable(Exception):
    """Programs of this architecture cannot run here; the text says why."""


class Wine:
    """How to start programs of one architecture: `loader` runs a Windows
    program (`loader cmd /c ...`), `server` is the wineserver, `env` the
    variables to add, `route` "native" or "qemu"."""

    def __init__(self, arch, loader, server, env, route):
        self.arch = arch
        self.loader = loader
        self.server = server
        self.env = env
        self.route = route

    def __repr__(self):
        return f"Wine({self.arch}, {self.loader}, route={self.route})"


def _server():
    if SERVER.exists():
        return SERVER
    found = shutil.which("wineserver")
    if found is None:
        raise Unavailable("wine is not installed (scripts/install-deps.sh installs it)")
    return pathlib.Path(found)


def loader_runs(loader):
    """True when `loader --version` starts and answers."""
    try:
        done = subprocess.run([str(loader), "--version"], capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return done.returncode == 0 and done.stdout.startswith("wine")


def _entry():
    """The fields of our binfmt_misc registration, or None when it is missing."""
    try:
        lines = (BINFMT / ENTRY).read_text().splitlines()
    except OSError:
        return None
    fields = {"state": lines[0]} if lines else {}
    for line in lines[1:]:
        key, _, value = line.partition(" ")
        fields[key] = value
    return fields


def registered():
    """True when i386 programs go to qemu-i386 through our registration."""
    entry = _entry()
    return entry is not None and entry.get("state") == "enabled"


def needs_qemu():
    """True when the kernel does not run the 32-bit Wine loader itself (or
    SFX_WINE32_ROUTE=qemu asks for the route)."""
    if os.environ.get("SFX_WINE32_ROUTE") == "qemu" or registered():
        return True
    return not loader_runs(LOADER["win32"])


def qemu_i386():
    """The path of a qemu-i386 fast enough for Wine."""
    found = shutil.which("qemu-i386")
    if found is None:
        raise Unavailable("qemu-i386 is not installed (scripts/install-deps.sh installs it from bookworm-backports)")
    out = subprocess.run([found, "--version"], capture_output=True, text=True).stdout
    m = re.search(r"version (\d+)\.", out)
    if not m or int(m.group(1)) < QEMU_MINIMUM:
        raise Unavailable(f"{found} is {out.splitlines()[0] if out else 'of unknown version'}; Wine needs qemu "
                          f"{QEMU_MINIMUM} or later (7.2 takes about a minute per process start)")
    return pathlib.Path(found)


def register():
    """Registers qemu-i386 for i386 programs with binfmt_misc, mounting it
    first when needed (both need root)."""
    qemu = qemu_i386()
    entry = _entry()
    if entry is not None and entry.get("interpreter") == str(qemu):
        if entry.get("state") != "enabled":
            _write(BINFMT / ENTRY, "1")
        return
    if entry is not None:
        _write(BINFMT / ENTRY, "-1")  # ours, with another interpreter
    if not (BINFMT / "register").exists():
        done = subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", str(BINFMT)], capture_output=True,
                              text=True)
        if done.returncode != 0:
            raise Unavailable(f"binfmt_misc is not mounted and cannot be mounted here: {done.stderr.strip()}")
    try:
        _write(BINFMT / "register", f":{ENTRY}:M::{I386_MAGIC}:{I386_MASK}:{qemu}:F")
    except Unavailable:
        if not registered():  # another process may have registered it meanwhile
            raise


def _write(path, text):
    try:
        with open(path, "w") as f:
            f.write(text)
    except OSError as e:
        raise Unavailable(f"cannot write {path} (registering qemu-i386 with binfmt_misc needs root): {e}") from e


def preload_dir():
    given = os.environ.get("SFX_WINE32_PRELOAD")
    if given:
        return pathlib.Path(given)
    native = os.environ.get("SFX_BUILD_NATIVE")
    if not native:
        raise Unavailable("neither SFX_WINE32_PRELOAD nor SFX_BUILD_NATIVE names the trap-number library's folder")
    return pathlib.Path(native) / "tests" / "e2e" / "wine32" / "preload"


def setup(arch):
    """The Wine that runs programs of `arch` (win64 or win32) here."""
    server = _server()
    loader = LOADER[arch]
    if arch == "win64":
        if not loader.exists():
            found = shutil.which("wine64")
            if found is None:
                raise Unavailable("wine64 is not installed (scripts/install-deps.sh installs it)")
            loader = pathlib.Path(found)
        return Wine(arch, loader, server, {"WINELOADER": str(loader), "WINESERVER": str(server)}, "native")
    if not loader.exists():
        raise Unavailable("wine32 is not installed (scripts/install-deps.sh installs it)")
    env = {"WINELOADER": str(loader), "WINESERVER": str(server), "WINEARCH": "win32"}
    if not needs_qemu():
        return Wine(arch, loader, server, env, "native")
    preload = preload_dir()
    if not (preload / "lib" / "i386-linux-gnu" / PRELOAD_NAME).exists():
        raise Unavailable(f"{preload} holds no lib/i386-linux-gnu/{PRELOAD_NAME}: the native build makes it with "
                          "i686-linux-gnu-gcc (scripts/install-deps.sh installs it)")
    if not registered():
        register()
    if not loader_runs(loader):
        raise Unavailable(f"{loader} does not start through qemu-i386 either")
    # ld.so expands $LIB: the i386 library for 32-bit processes, an empty one for 64-bit ones.
    env["LD_PRELOAD"] = f"{preload}/$LIB/{PRELOAD_NAME}"
    return Wine(arch, loader, server, env, "qemu")


def main(argv):
    if len(argv) == 2 and argv[1] == "has-qemu":
        try:
            qemu_i386()
        except Unavailable as e:
            print(e, file=sys.stderr)
            return 1
        return 0
    if len(argv) == 3 and argv[1] == "env" and argv[2] in LOADER:
        try:
            wine = setup(argv[2])
        except Unavailable as e:
            print(e, file=sys.stderr)
            return UNAVAILABLE_CODE
        for name, value in {**wine.env, "SFX_WINE": str(wine.loader), "SFX_WINE_ROUTE": wine.route}.items():
            print(f"{name}={value}")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
