"""Runs Windows builds of the project under Wine for end-to-end tests.

Usage in a test script::

    from harness import WineSession, windows_path, skip
    with WineSession.for_arch("win64") as wine:      # skips when the build is absent
        result = wine.run(wine.build / "launcher" / "launcher.exe", ["/S"])
        result.code       # the program's 32-bit exit code (signed, as Windows reports it)
        result.messages   # texts of the message boxes it showed (dismissed automatically)
        result.captions   # their captions

Environment (set by CTest): SFX_BUILD_WIN64, SFX_BUILD_WIN32, SFX_BUILD_NATIVE,
SFX_WINE_ROOT (where prefixes live), SFXPACK and SFX_NATIVE_LAUNCHER (native
tools), SFX_SOURCE_DIR. One Wine prefix per architecture under the
native build folder, initialised once (under a lock), one persistent wineserver
and one Xvfb display per session; `wineserver -k` at the end. Which Wine
programs run each architecture (the 64-bit loader for win64; for win32 the
i386 loader, through qemu-i386 where the kernel cannot run 32-bit code) is
decided in wine32/route.py.

A test that cannot run here (no build, no Wine, no route for win32) ends with
skip(reason): a visible "SKIPPED: reason" line and exit code SKIP_CODE, which
CTest counts as skipped. A test that can run only part of its cases reports
the rest with skip_part(reason) and goes on; its outcome counts as it is.
"""
import contextlib
import fcntl
import os
import pathlib
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from wine32 import route

SKIP_CODE = 77  # CTest's SKIP_RETURN_CODE for the end-to-end tests


def skip(reason):
    """Ends the test as skipped: it cannot run here at all."""
    print(f"SKIPPED: {reason}", flush=True)
    sys.exit(SKIP_CODE)


def skip_part(reason):
    """Reports a part of the test that cannot run here; the rest still counts."""
    print(f"SKIPPED (part): {reason}", flush=True)


def windows_path(path):
    """The Wine (drive Z:) form of a native absolute path."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


MARKER = bytes([0x0B, 0x0B, 0xAF, 0xAF, 0x0B, 0x0B])


def sfxpack(*args, check=True):
    """Runs the native sfxpack with `args`; returns the CompletedProcess."""
    result = subprocess.run([os.environ["SFXPACK"], *map(str, args)], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise RuntimeError(f"sfxpack {args} failed: {result.stderr}")
    return result


def pack(stub, folder, out, run, title=None, silent=False, pid=None, use_password=False, cache=False, args=None):
    """Packs `folder` into the launcher `out` around `stub` (`args`: the program's fixed arguments)."""
    options = ["--stub", stub, "--run", run, "-o", out]
    if cache:
        options.append("--cache")
    if title is not None:
        options += ["--title", title]
    if args is not None:
        options += ["--args", args]
    if silent:
        options.append("--silent")
    if pid is not None:
        options += ["--pid", pid]
    if use_password:
        options.append("--use-password")
    sfxpack(*options, folder)
    return pathlib.Path(out)


def build_dir(arch):
    """The build folder of `arch` (native, win64, win32), or None when it was not built."""
    path = os.environ.get(f"SFX_BUILD_{arch.upper()}")
    return pathlib.Path(path) if path and (pathlib.Path(path) / "launcher").is_dir() else None


def stub_path(arch, console=False):
    """The stub of `arch` (with `console`, the console stub; the native
    launcher is a console program itself), or None when it was not built."""
    build = build_dir(arch)
    if build is None:
        return None
    if arch == "native":
        return build / "launcher" / "launcher"
    return build / "launcher" / ("launcher-console.exe" if console else "launcher.exe")


STUB_NAME = b"sfxlauncher stub, payload format "


def stub_identification():
    """The identification the native build's launcher carries (its name, the
    payload format it reads and a NUL): what makes a file a stub to sfxpack."""
    data = stub_path("native").read_bytes()
    at = data.index(STUB_NAME)
    return data[at:data.index(b"\0", at) + 1]


def wine32_available():
    """True when wine32 is installed (whether it runs here is for route.setup to say)."""
    return route.LOADER["win32"].exists()


class Checks:
    """Collects failed expectations so that one run reports all of them."""

    def __init__(self):
        self.failed = []
        self.passed = 0

    def equal(self, what, got, expected):
        if got == expected:
            self.passed += 1
        else:
            self.failed.append(f"{what}: got {got!r}, expected {expected!r}")

    def finish(self):
        for failure in self.failed:
            print(f"FAIL {failure}")
        print(f"{self.passed} passed, {len(self.failed)} failed")
        sys.exit(1 if self.failed else 0)


class RunResult:
    def __init__(self, code, messages, captions, stdout, stderr=""):
        self.code = code
        self.messages = messages
        self.captions = captions
        self.stdout = stdout
        self.stderr = stderr  # Wine's trace lines, message boxes and debug output among them

    def __repr__(self):
        return f"RunResult(code={self.code}, messages={self.messages!r}, captions={self.captions!r})"


class Display:
    """A private Xvfb display. Xvfb picks a free display number itself and
    tells us which (-displayfd): two sessions starting at once can then never
    end up on one display, where the first to finish would take the other's
    windows down with it."""

    def __init__(self):
        self.proc = None
        self.name = None

    def start(self, timeout=30):
        read, write = os.pipe()
        try:
            proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write)
            write = None
            number = b""
            deadline = time.time() + timeout
            while not number.endswith(b"\n") and time.time() < deadline:
                ready, _, _ = select.select([read], [], [], 0.1)
                if ready:
                    chunk = os.read(read, 16)
                    if not chunk:
                        break  # Xvfb ended without a display
                    number += chunk
        finally:
            os.close(read)
            if write is not None:
                os.close(write)
        if not number.strip().isdigit():
            proc.kill()
            proc.wait()
            raise RuntimeError("Xvfb did not start a display")
        self.proc, self.name = proc, f":{number.decode().strip()}"
        return self

    def stop(self):
        # Terminated, not killed: Xvfb then removes its lock file and socket.
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class WineSession:
    def __init__(self, build, arch, wine=None):
        self.build = pathlib.Path(build)
        self.arch = arch
        self.wine = wine or route.setup(arch)  # the loader, server and variables for arch
        self.loader = str(self.wine.loader)
        root = pathlib.Path(os.environ.get("SFX_WINE_ROOT", self.build.parent / "wine"))
        self.prefix = root / f"prefix-{arch}"
        self.display = Display()
        self.env = None
        self.scratch = None

    @classmethod
    def for_arch(cls, arch):
        build = os.environ.get(f"SFX_BUILD_{arch.upper()}")
        if not build or not (pathlib.Path(build) / "launcher").is_dir():
            skip(f"no {arch} build (set SFX_BUILD_{arch.upper()}); build it with the {arch} preset")
        try:
            wine = route.setup(arch)
        except route.Unavailable as e:
            skip(f"the {arch} build cannot run here: {e}")
        return cls(build, arch, wine)

    def __enter__(self):
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        # One session at a time per prefix, across processes: sessions share
        # its wineserver, and the one that ends kills it.
        self._lock = open(str(self.prefix) + ".lock", "w")
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        try:
            self.display.start()
            # winedbg is disabled so that a program that crashes ends with its
            # exception code instead of waiting in Wine's crash dialog for a person.
            # Message boxes and debug output are traced, so tests can read them.
            self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all,trace+msgbox,warn+debugstr",
                            WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d", DISPLAY=self.display.name,
                            **self.wine.env)
            if not (self.prefix / "system.reg").exists():
                subprocess.run([self.loader, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=300)
            # Holding the lock, any server still running on this prefix is left
            # over from a session that was killed: end it and its programs.
            self.server("-k", stderr=subprocess.DEVNULL, timeout=60)
            self.server("-w", timeout=60)
            self.server("-p")
            self.scratch = pathlib.Path(tempfile.mkdtemp(prefix="sfx-e2e-"))
            print(f"{self.arch} under Wine: {self.loader}"
                  f"{' through qemu-i386' if self.wine.route == 'qemu' else ''}", flush=True)
        except BaseException:
            self.display.stop()
            self._lock.close()
            raise
        return self

    def __exit__(self, *exc):
        self.server("-k", stderr=subprocess.DEVNULL)
        self.display.stop()
        if self.scratch:
            shutil.rmtree(self.scratch, ignore_errors=True)
        self._lock.close()

    def server(self, *args, **options):
        """Runs this session's wineserver with `args` (it returns at once with -p)."""
        return subprocess.run([str(self.wine.server), *args], env=self.env, **options)

    # -- running programs -------------------------------------------------

    def start(self, exe, args=(), dismiss=True, keep=(), direct=False):
        """Starts `exe` with `args` (each passed as one argument) through a batch file,
        which waits for GUI programs too and reports the full exit code.
        `direct` starts it from the Wine loader instead, not from a console:
        for paths a batch file cannot hold, or to start it the way Explorer
        does; its exit code then keeps only its low 8 bits."""
        before = self.find_windows(".+") if dismiss else []
        if direct:
            proc = subprocess.Popen([self.loader, str(exe), *args], env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True, errors="replace")
            return RunningProgram(self, proc, dismiss, keep, direct=True, before=before)
        line = " ".join([f'"{windows_path(exe)}"'] + [self._quote(a) for a in args])
        batch = tempfile.NamedTemporaryFile("w", suffix=".bat", dir=self.scratch, delete=False, newline="")
        batch.write(f"@{line}\r\n@echo SFX_EXIT=%errorlevel%\r\n")
        batch.close()
        proc = subprocess.Popen([self.loader, "cmd", "/c", windows_path(batch.name)], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")
        return RunningProgram(self, proc, dismiss, keep, before=before)

    def run(self, exe, args=(), timeout=120, dismiss=True, keep=(), direct=False):
        return self.start(exe, args, dismiss, keep, direct).wait(timeout)

    @staticmethod
    def _quote(arg):
        return f'"{arg}"' if (" " in arg or not arg) else arg

    # -- windows ------------------------------------------------------------

    def xdotool(self, *args):
        out = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        return out.stdout.strip()

    def find_windows(self, name_regex):
        found = self.xdotool("search", "--onlyvisible", "--name", name_regex)
        return [w for w in found.split() if w]

    def window_name(self, window):
        return self.xdotool("getwindowname", window)

    def wait_window(self, name_regex, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = self.find_windows(name_regex)
            if found:
                return found[0]
            time.sleep(0.1)
        raise TimeoutError(f"no window named {name_regex!r} within {timeout}s")

    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--window", window, key)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", str(path)], env=self.env, check=True)


class RunningProgram:
    """A program started under Wine. Message boxes are dismissed with Enter
    (when asked; dialogs whose caption is in `keep` are left alone), their
    captions recorded and their texts collected from Wine's message-box trace."""

    def __init__(self, session, proc, dismiss, keep, direct=False, before=()):
        self.session = session
        self.proc = proc
        self.direct = direct
        self.keep = set(keep)
        self.captions = []
        self._stop = threading.Event()
        self._stderr = []
        self._stdout = []
        self._readers = [threading.Thread(target=self._read, args=(proc.stderr, self._stderr), daemon=True),
                         threading.Thread(target=self._read, args=(proc.stdout, self._stdout), daemon=True)]
        for reader in self._readers:
            reader.start()
        self._dismisser = None
        # Windows already there belong to someone else (a program of an
        # earlier case may still be going away): never press keys on them.
        self._before = set(before)
        if dismiss:
            self._dismisser = threading.Thread(target=self._dismiss_loop, daemon=True)
            self._dismisser.start()

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append(line)

    def _dismiss_loop(self):
        # Wine traces every message box as it opens; for each one, press Enter
        # on the visible window that is not one of the windows to keep, and
        # wait until it has gone.
        while not self._stop.is_set():
            if len(self.messages()) > len(self.captions):
                for window in self.session.find_windows(".+"):
                    name = self.session.window_name(window)
                    if name in self.keep or window in self._before:
                        continue
                    self.captions.append(name)
                    self.session.press(window, "Return")
                    deadline = time.time() + 10
                    while window in self.session.find_windows(".+") and time.time() < deadline:
                        time.sleep(0.05)
                    break
            time.sleep(0.1)

    def debug_output(self):
        """The texts the program handed to OutputDebugString."""
        return [m.group(1).encode().decode("unicode_escape")
                for m in (re.search(r'warn:debugstr:OutputDebugString[AW] "(.*)"\s*$', line) for line in self._stderr)
                if m]

    def messages(self):
        texts = []
        for line in self._stderr:
            m = re.search(r'trace:msgbox:MSGBOX_OnInit L"(.*)"\s*$', line)
            if m:
                texts.append(m.group(1).encode().decode("unicode_escape"))
        return texts

    def wait(self, timeout=120):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        finally:
            self._stop.set()
            if self._dismisser:
                self._dismisser.join()
        for reader in self._readers:
            reader.join(timeout=5)
        # A Wine service started by this program may hold the pipes open; a
        # reader still waiting on one keeps it (closing it would block).
        for stream, reader in zip((self.proc.stderr, self.proc.stdout), self._readers):
            if not reader.is_alive():
                stream.close()
        out = "".join(self._stdout)
        m = re.search(r"SFX_EXIT=(-?\d+)", out)
        code = self.proc.returncode if self.direct else int(m.group(1)) if m else None
        return RunResult(code, self.messages(), list(self.captions), out, "".join(self._stderr))

