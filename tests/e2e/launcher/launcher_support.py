"""Shared pieces of the launcher's end-to-end tests: running a launcher
natively or under Wine with the report program's settings, reading the
report, describing a folder tree the way the report does, and damaging
packed launchers in place.

The report program (tests/programs/report.cpp) is packed as the program to
run; it writes what it sees to SFX_REPORT (or SFX_REPORT_DIR) and ends with
SFX_EXIT_CODE. Paths handed to it are Windows paths: the posix backend reads
"Z:\\tmp\\x" as /tmp/x, like Wine.
"""
import io
import os
import pathlib
import re
import shutil
import struct
import subprocess
import unittest
import zipfile
import zlib

from harness import MARKER, WineSession, pack, skip, stub_path, windows_path

# Settings of the report program; cleared before every run so that one case
# never leaks into the next.
PROGRAM_VARIABLES = ("SFX_REPORT", "SFX_REPORT_DIR", "SFX_EXIT_CODE", "SFX_SLEEP_MS", "SFX_CRASH", "SFX_WAIT_FOR",
                     "SFX_QUIET", "SFX_HOLD", "SFX_GRANDCHILD", "SFX_BEAT", "SFX_SIGNALS", "SFX_READ_LINE",
                     "SFX_ECHO", "SFX_HANDLES", "SFX_LAUNCHER_THREADS")

SCAN_START = 100000
SCAN_SIZE = 1048576


def program_name(arch):
    return "app" if arch == "native" else "app.exe"


def report_program(arch):
    build = stub_path(arch).parent.parent
    return build / "tests" / "programs" / ("report" if arch == "native" else "report.exe")


def exit_code(arch, code):
    """The launcher's exit code as the test sees it: a shell on posix keeps
    only the low 8 bits."""
    return code & 0xFF if arch == "native" else code


# -- folder trees -----------------------------------------------------------


def crc_of(path):
    crc = 0
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            crc = zlib.crc32(chunk, crc)
    return crc


def describe_tree(root):
    """(files, dirs) as the report lists them: files maps the relative path
    with '\\' separators to (size, crc text); dirs is a set of relative paths."""
    root = pathlib.Path(root)
    files, dirs = {}, set()
    for path in sorted(root.rglob("*")):
        rel = str(path.relative_to(root)).replace("/", "\\")
        if path.is_dir():
            dirs.add(rel)
        else:
            files[rel] = (path.stat().st_size, f"{crc_of(path):08x}")
    return files, dirs


# -- reports ------------------------------------------------------------------


class Report:
    """One run of the report program, parsed."""

    def __init__(self, lines):
        self.cmdline = None
        self.argv = []
        self.cwd = None
        self.exe = None
        self.access = None
        self.signals = None  # SFX_SIGNALS: how many signals the program counted
        self.stdin = None    # SFX_READ_LINE: the line it read
        self.handles = []    # SFX_HANDLES: what it holds open
        self.files = {}
        self.dirs = set()
        for line in lines:
            key, _, value = line.partition("=")
            if key == "cmdline":
                self.cmdline = value
            elif key == "argv":
                self.argv.append(value)
            elif key == "cwd":
                self.cwd = value
            elif key == "exe":
                self.exe = value
            elif key == "access":
                self.access = value
            elif key == "signals":
                self.signals = int(value)
            elif key == "stdin":
                self.stdin = value
            elif key == "handle":
                self.handles.append(value)
            elif key == "dir":
                self.dirs.add(value)
            elif key == "file":
                name, size, crc = value.rsplit("|", 2)
                self.files[name] = (int(size), crc)


def read_reports(path):
    """Every complete run recorded in the report file `path` (none when the
    file is missing)."""
    path = pathlib.Path(path)
    if not path.exists():
        return []
    reports, block = [], None
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line == "begin":
            block = []
        elif line == "end" and block is not None:
            reports.append(Report(block))
            block = None
        elif block is not None:
            block.append(line)
    return reports


def source_token(launcher):
    return "SFXSOURCE:" + windows_path(launcher)


def quoted(argument):
    """`argument` in double quotes as a Windows program splits it back:
    quotes escaped, backslashes doubled where they precede a quote."""
    escaped = re.sub(r'(\\*)"', lambda m: m.group(1) * 2 + '\\"', argument)
    escaped = re.sub(r'(\\+)$', lambda m: m.group(1) * 2, escaped)
    return f'"{escaped}"'


def expected_command_line(folder, run, args, launcher, fixed=None):
    """The command line the run builds: the program in quotes, the fixed
    arguments as configured, every launcher argument in quotes, the source
    token last."""
    return " ".join([f'"{folder}\\{run}"'] + ([fixed] if fixed else []) + [quoted(a) for a in args] +
                    [quoted(source_token(launcher))])


# -- running launchers --------------------------------------------------------


class Result:
    def __init__(self, code, messages, captions, stderr="", debug_output=()):
        self.code = code
        self.messages = messages
        self.captions = captions
        self.stderr = stderr  # natively: everything the launcher wrote to standard error
        self.debug_output = list(debug_output)  # what the launcher told a debugger (natively: on standard error)

    def __repr__(self):
        return f"Result(code={self.code}, messages={self.messages!r}, captions={self.captions!r})"


DEBUG_PREFIX = "(debug) "


def _native_debug_output(stderr):
    return [line[len(DEBUG_PREFIX):] for line in stderr.splitlines() if line.startswith(DEBUG_PREFIX)]


def _native_messages(stderr):
    # The posix backend writes each message box as "caption: text", and debug
    # output as "(debug) text".
    captions, messages = [], []
    for line in stderr.splitlines():
        if line.startswith(DEBUG_PREFIX):
            continue
        caption, sep, text = line.partition(": ")
        if sep:
            captions.append(caption)
            messages.append(text)
    return captions, messages


class NativeRunning:
    def __init__(self, proc):
        self.proc = proc

    def wait(self, timeout=120):
        _, stderr = self.proc.communicate(timeout=timeout)
        captions, messages = _native_messages(stderr)
        return Result(self.proc.returncode, messages, captions, stderr, _native_debug_output(stderr))


class NativeRunner:
    arch = "native"

    def start(self, exe, args=(), env=None, stderr=None):
        full = {k: v for k, v in os.environ.items() if k not in PROGRAM_VARIABLES}
        full.update(env or {})
        proc = subprocess.Popen([str(exe), *args], env=full, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=stderr if stderr is not None else subprocess.PIPE, text=True)
        return NativeRunning(proc)

    def run(self, exe, args=(), env=None, direct=True):
        return self.start(exe, args, env).wait()  # every native start is direct

    def unix_path(self, path):
        return _drive_z(path)


class WineRunning:
    def __init__(self, running):
        self.running = running

    def wait(self, timeout=120):
        result = self.running.wait(timeout)
        return Result(result.code, result.messages, result.captions, result.stderr, self.running.debug_output())


class WineRunner:
    def __init__(self, session):
        self.session = session
        self.arch = session.arch

    def start(self, exe, args=(), env=None, keep=(), dismiss=True, direct=False):
        # The session's environment reaches the Windows processes it starts.
        for name in PROGRAM_VARIABLES:
            self.session.env.pop(name, None)
        self.session.env.update(env or {})
        if direct:
            return WineRunning(self.session.start(exe, list(args), dismiss=dismiss, keep=keep, direct=True))
        return WineRunning(self.session.start(exe, [self._batch_form(a) for a in args], dismiss=dismiss, keep=keep))

    @staticmethod
    def _batch_form(argument):
        # The session writes the arguments into a batch file, in quotes when
        # they hold a space; the launcher splits its command line the Windows
        # way, so quotes inside need a backslash, and so do backslashes
        # before a closing quote.
        escaped = re.sub(r'(\\*)"', lambda m: m.group(1) * 2 + '\\"', argument)
        if " " in argument:
            escaped = re.sub(r'(\\+)$', lambda m: m.group(1) * 2, escaped)
        return escaped

    def run(self, exe, args=(), env=None, keep=(), direct=False):
        return self.start(exe, args, env, keep, direct=direct).wait()

    def unix_path(self, path):
        """The native path of a Windows path inside the Wine prefix."""
        m = re.match(r"^([A-Za-z]):\\(.*)$", path)
        if not m:
            raise ValueError(f"not an absolute Windows path: {path}")
        drive = self.session.prefix / "dosdevices" / (m.group(1).lower() + ":")
        return pathlib.Path(os.path.realpath(drive)) / m.group(2).replace("\\", "/")


def _drive_z(path):
    if not re.match(r"^[Zz]:\\", path):
        raise ValueError(f"not a drive Z: path: {path}")
    return pathlib.Path(path[2:].replace("\\", "/"))


def runner_session(arch):
    """A context manager giving the runner of `arch` (a Wine session for the
    Windows builds, which skips when it cannot run here)."""
    import contextlib

    @contextlib.contextmanager
    def native():
        yield NativeRunner()

    @contextlib.contextmanager
    def wine():
        with WineSession.for_arch(arch) as session:
            yield WineRunner(session)

    return native() if arch == "native" else wine()


# -- payload surgery ------------------------------------------------------------


def entry_data_span(launcher, name):
    """(offset, length) of the stored (compressed) data of entry `name` in the
    file `launcher`, from its local header."""
    with zipfile.ZipFile(launcher) as z:
        info = z.getinfo(name)
    data = pathlib.Path(launcher).read_bytes()
    offset = info.header_offset  # zipfile already counts from the start of the file
    if data[offset:offset + 4] != b"PK\x03\x04":
        raise ValueError(f"no local header for {name} at {offset}")
    name_length, extra_length = struct.unpack_from("<HH", data, offset + 26)
    return offset + 30 + name_length + extra_length, info.compress_size


def encryption_of(launcher):
    """Maps every file entry with data in the launcher's archive to whether
    it is encrypted (empty files have nothing to encrypt)."""
    with zipfile.ZipFile(launcher) as z:
        return {i.filename: bool(i.flag_bits & 1) for i in z.infolist() if not i.is_dir() and i.file_size > 0}


def patch(path, offset, new_bytes):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(new_bytes)


def flip_byte(path, offset):
    data = pathlib.Path(path).read_bytes()
    patch(path, offset, bytes([data[offset] ^ 0xFF]))


def marker_offset(path):
    data = pathlib.Path(path).read_bytes()
    found = data.find(MARKER, SCAN_START, SCAN_START + SCAN_SIZE)
    if found < 0:
        raise ValueError(f"no data segment marker in {path}")
    return found


def configuration_span(path):
    """(offset, text) of the configuration text in the launcher `path`."""
    data = pathlib.Path(path).read_bytes()
    start = marker_offset(path) + len(MARKER)
    (length,) = struct.unpack_from("<I", data, start)
    return start + 4, data[start + 4:start + 4 + length].decode("latin-1")


def copy_and(source, target, damage):
    """Copies the launcher `source` to `target` and applies `damage(target)`."""
    shutil.copy(source, target)
    damage(target)
    return pathlib.Path(target)


def pack_launcher(arch, folder, out, run=None, console=False, **options):
    return pack(stub_path(arch, console), folder, out, run or program_name(arch), **options)


def zipfile_archive(entries):
    """ZIP bytes (Python's zipfile, deflated) from (name, data, create_system,
    external attributes)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, system, external in entries:
            info = zipfile.ZipInfo(name, (2021, 6, 1, 12, 30, 10))
            info.create_system = system
            info.external_attr = external
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return buffer.getvalue()


def launcher_around(arch, archive, out, run):
    """A silent launcher around the ZIP bytes `archive` (written by another
    tool), laid out the way sfxpack lays a payload out."""
    stub = stub_path(arch).read_bytes()
    stub += b"\0" * max(0, SCAN_START - len(stub))
    config = f"<QX_ZCD><Run>{run}</Run><Prog>0</Prog></QX_ZCD>".encode()
    out = pathlib.Path(out)
    out.write_bytes(stub + MARKER + struct.pack("<I", len(config)) + config + archive)
    out.chmod(0o755)
    return out


class LauncherTestCase(unittest.TestCase):
    """A test class whose setUpClass makes `cls.dir`, removed at the end."""

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def fresh(self, name):
        """An empty folder `name` inside the class's folder."""
        path = self.dir / name
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir()
        return path


def run_suite(case, arch):
    """Runs the tests of `case` with the runner for `arch` (skipped when that
    build is absent); True when they all passed."""
    if stub_path(arch) is None:
        skip(f"no {arch} build")
    with runner_session(arch) as runner:
        case.runner = runner
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
        return unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful()
