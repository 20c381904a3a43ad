"""Start-up benchmark: the launcher's extraction and its whole run (extract,
start a program that ends at once, delete) against peers measured in the same
run, with 1 and 2 extraction threads (SFX_LAUNCHER_THREADS).

Natively (--part native): several rounds, the variants in rotating order,
after one warm-up round that is not counted; medians of wall time and of CPU
time (user + system of the process and the children it waited for):

  in-process (bench_startup_inprocess, one process per round): the floor
  (inflate + CRC-32 of every entry from memory with zlib, writing nothing;
  1 thread, and 2 for reference), the launcher's own ExtractArchive with 1
  and 2 threads, and the time split: folders and empty files, the same with
  their bytes, the launcher's deleter; the same on the Info-ZIP variant;
  child processes: unzip -qo, 7z x, rm -rf of their trees, the native
  launcher end to end with SFX_LAUNCHER_THREADS=1 and 2, makeself --quiet;
  peak resident memory of ExtractArchive (1 and 2 threads) on one 1 GiB
  entry, on a tiny archive and on the payload.

Under Wine (--part wine): the win64 and win32 launchers end to end with
SFX_LAUNCHER_THREADS=1 and 2, the minimal Win32 extract-and-delete program
(bench/startup/win32_peer) on the same launcher file, and the report program
alone; all started directly by the architecture's Wine loader (not through
cmd), wall time only (Wine's server does part of the work outside the timed
process, so its CPU time would mislead).

Every extraction goes into a fresh folder of its own name directly below the
work folder, which is marked as a top of directory hierarchies (chattr +T).
On ext4 without a journal (this machine's disk), allocating an inode skips
every inode of the block group that was freed in the last one to six minutes,
so creating 3,000 files right after deleting 3,000 costs several times the
kernel time; back-to-back rounds in one folder would measure mostly that. The
flag makes ext4 spread such folders over block groups by their names, as far
from the last round's deletions as a first run is. --work picks another
folder (a tmpfs such as /dev/shm takes the disk out altogether).

Ratios are printed with the goals next to them; a benchmark never fails on a
timing. The payload (bench/startup/payload.py) and the launchers are cached.
"""
import argparse
import collections
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e"))

import payload  # noqa: E402

GOALS = {
    "floor": "goal: at most 1.0",
    "unzip+rm": "goal: at most 0.40",
    "makeself": "goal: at most 0.35",
    "wine-threads": "goal: at least 1.6",
    "wine-peer": "goal: at most 1.3",
}


class Measured:
    def __init__(self, wall, cpu, out, written):
        self.wall, self.cpu, self.out, self.written = wall, cpu, out, written


def written_bytes(pid):
    """What the ended but not yet reaped process `pid` and the children it
    reaped had the kernel write to storage (/proc/<pid>/io), or None."""
    try:
        for line in pathlib.Path(f"/proc/{pid}/io").read_text().splitlines():
            key, _, value = line.partition(": ")
            if key == "write_bytes":
                return int(value)
    except OSError:
        pass
    return None


def run(command, env=None, cwd=None):
    """Runs `command`: its wall time, the CPU time of it and of the children
    it waited for, its standard output and the bytes it wrote to storage.
    Raises on a non-zero exit."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen([str(c) for c in command], env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err)
        os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT)
        wall = time.perf_counter() - start
        written = written_bytes(proc.pid)
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        text = out.read().decode(errors="replace")
        if proc.returncode != 0:
            raise RuntimeError(f"{command[0]} ended with {proc.returncode}: {err.read().decode(errors='replace')}")
    return Measured(wall, usage.ru_utime + usage.ru_stime, text, written)


def load():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


class Samples:
    """Measurements by name, over the rounds."""

    def __init__(self):
        self.wall, self.cpu = {}, {}

    def add(self, name, wall, cpu=None):
        self.wall.setdefault(name, []).append(wall)
        if cpu is not None:
            self.cpu.setdefault(name, []).append(cpu)

    def w(self, name):
        return statistics.median(self.wall[name])

    def c(self, name):
        return statistics.median(self.cpu[name]) if name in self.cpu else float("nan")

    def row(self, label, name):
        values = self.wall[name]
        cpu = f"{self.c(name):7.3f}" if name in self.cpu else "      -"
        print(f"  {label:46s} {self.w(name):7.3f} {cpu}   ({min(values):.3f}-{max(values):.3f}, n={len(values)})")


def run_rounds(count, samples, measures):
    """`count` rounds after a warm-up round that is not counted; each round
    runs measures(r), a list of measurements, starting at a rotating place
    so that no measurement always meets the caches the same one left."""
    for r in range(count + 1):
        target = samples if r > 0 else Samples()
        round_ = measures(r)
        for k in range(len(round_)):
            round_[(r + k) % len(round_)](target)
        print(f"  round {r}{' (warm-up)' if r == 0 else ''} done, load average {load()}", flush=True)


def run_wine_rounds(args, arch, samples, load_start, variants):
    """The Wine part's rounds of `variants`, announced with the load they start under."""
    print(f"\nwine ({arch}): {args.wine_rounds} rounds after a warm-up round, rotating order"
          f" (load average {load_start})", flush=True)
    run_rounds(args.wine_rounds, samples, lambda r: variants)


def wine_heading(arch, setup):
    """How the Wine part's results name the architecture and its route."""
    return f"wine ({arch}{' through qemu-i386' if setup.route == 'qemu' else ''})"


def ratio_line(label, value_1, value_2, goal=None, cpu=None):
    text = f"  {label:46s} N=1 {value_1:5.2f}   N=2 {value_2:5.2f}"
    if cpu is not None:
        text += f"   (CPU: N=1 {cpu[0]:5.2f}, N=2 {cpu[1]:5.2f})"
    if goal:
        text += f"   [{goal}, at N=2]"
    print(text)


class Work:
    """The folder every extraction goes below, each into a fresh name."""

    def __init__(self, folder):
        for stale in pathlib.Path(folder).glob("bench-startup-*"):  # left by a run that was stopped
            if not pathlib.Path("/proc", stale.name.rpartition("-")[2]).exists():
                shutil.rmtree(stale, ignore_errors=True)
        self.folder = pathlib.Path(folder).resolve() / f"bench-startup-{os.getpid()}"
        self.folder.mkdir(parents=True)
        # Spread the sub-folders over block groups (see the top of this file);
        # file systems without the flag simply ignore it or refuse it.
        subprocess.run(["chattr", "+T", self.folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.count = 0

    def fresh(self, kind, make=False):
        self.count += 1
        path = self.folder / f"{kind}{self.count}-{os.getpid()}"
        if make:
            path.mkdir()
        return path

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def describe(self):
        """The file system under the folder, and whether ext4 keeps a journal there."""
        best, kind, device = "", "?", "?"
        with open("/proc/mounts") as mounts:
            for line in mounts:
                dev, point, fstype = line.split()[:3]
                if str(self.folder).startswith(point.rstrip("/") + "/") and len(point) >= len(best):
                    best, kind, device = point, fstype, dev
        text = f"{self.folder.parent} on {kind} ({device}"
        if kind == "ext4":
            name = os.path.basename(device)
            journal = any(e.startswith(name + "-") for e in os.listdir("/proc/fs/jbd2")) \
                if os.path.isdir("/proc/fs/jbd2") else False
            text += ", with a journal" if journal else ", no journal: fresh folders spread by chattr +T"
        return text + ")"


def check_tree(folder, expected, what):
    got = payload.tree_summary(folder)
    if got != expected:
        raise RuntimeError(f"{what} extracted {got[0]} files, {got[1]} bytes; expected {expected[0]}, {expected[1]}")


def empty(folder, what):
    left = list(pathlib.Path(folder).iterdir())
    if left:
        raise RuntimeError(f"{what} left {left[:3]} behind")


# -- native -------------------------------------------------------------------


def native(args):
    cache = pathlib.Path(args.cache)
    stage = payload.staging(cache, "native", args.program, "app")
    ours = payload.launcher(cache, "native", args.sfxpack, args.launcher, stage, "app")
    infozip = payload.infozip_launcher(cache, "native-infozip", ours, stage)
    makeself = payload.makeself(cache, stage, "app")
    big = payload.big_entry(cache, args.sfxpack, args.launcher)
    tiny = payload.tiny(cache, args.sfxpack, args.launcher)
    expected = payload.tree_summary(stage)

    work = Work(args.work or cache)
    base_env = dict(os.environ, SFX_QUIET="1")
    base_env.pop("SFX_LAUNCHER_THREADS", None)

    def inprocess(launcher, suffix, first):
        def measure(samples):
            result = run([args.inprocess, "round", launcher, work.folder, first, work.fresh("in").name])
            for line in result.out.splitlines():
                parts = line.split()
                if parts and parts[0] == "RESULT":
                    samples.add(parts[1] + suffix, float(parts[2]), float(parts[3]))
        return measure

    def extract_with(name, command):
        def measure(samples):
            out = work.fresh("out")
            m = run(command(out))
            samples.add(name, m.wall, m.cpu)
            check_tree(out, expected, name)
            m = run(["rm", "-rf", out])
            samples.add("rm -rf", m.wall, m.cpu)
        return measure

    def self_extracting(name, command, threads=None):
        """A self-extracting run with TMPDIR a fresh folder, which must be left empty."""
        def measure(samples):
            temp = work.fresh("tmp", make=True)
            env = dict(base_env, TMPDIR=str(temp))
            if threads is not None:
                env["SFX_LAUNCHER_THREADS"] = str(threads)
            m = run(command, env=env)
            samples.add(name, m.wall, m.cpu)
            empty(temp, name)
            temp.rmdir()
        return measure

    variants = {
        "in-process": lambda r: inprocess(ours, "", r),
        "in-process (Info-ZIP)": lambda r: inprocess(infozip, "@infozip", r + 3),
        "unzip": lambda r: extract_with("unzip -qo", lambda o: ["unzip", "-qo", ours, "-d", o]),
        "7z": lambda r: extract_with("7z x", lambda o: ["7z", "x", "-tzip", "-y", "-bd", "-bso0", f"-o{o}", ours]),
        "launcher-1": lambda r: self_extracting("launcher-1", [ours, "/S"], 1),
        "launcher-2": lambda r: self_extracting("launcher-2", [ours, "/S"], 2),
        "makeself": lambda r: self_extracting("makeself", [makeself, "--quiet", "--nox11"]),
    }
    samples = Samples()
    load_start = load()
    print(f"native: {args.rounds} rounds after a warm-up round, rotating order (load average {load_start})", flush=True)
    run_rounds(args.rounds, samples, lambda r: [variant(r) for variant in variants.values()])

    rss = {}
    for what, launcher in (("tiny", tiny), ("1 GiB entry", big), ("payload", ours)):
        for threads in (1, 2):
            folder = work.fresh("rss")
            m = run([args.inprocess, "extract", launcher, folder, threads])
            rss[what, threads] = int(m.out.split("PEAK_KIB")[1].split()[0])
            shutil.rmtree(folder)
    load_end = load()
    where = work.describe()
    work.remove()

    print()
    print(f"payload: {expected[0]} files, {expected[1] / 1e6:.1f} MB in {sum(1 for p in stage.rglob('*') if p.is_dir())}"
          f" folders; sfxpack launcher {ours.stat().st_size / 1e6:.1f} MB (zlib deflate, level 6),"
          f" Info-ZIP variant {infozip.stat().st_size / 1e6:.1f} MB, makeself {makeself.stat().st_size / 1e6:.1f} MB")
    print(f"machine: {os.cpu_count()} processors; load average {load_start} at the start, {load_end} at the end"
          f" (the machine is shared: expect noise)")
    print(f"work folder: {where}")
    print(f"medians of {args.rounds} rounds: wall s, CPU s (user+sys), (wall min-max)")
    s = samples

    print("\nextraction alone (ExtractArchive in-process; unzip and 7z as child processes):")
    s.row("floor: inflate + CRC from memory, 1 thread", "floor-1")
    s.row("floor on 2 threads (for reference)", "floor-2")
    s.row("ExtractArchive, N=1", "extract-1")
    s.row("ExtractArchive, N=2", "extract-2")
    s.row("unzip -qo", "unzip -qo")
    s.row("7z x", "7z x")
    ratio_line("ExtractArchive / floor (1 thread)", s.w("extract-1") / s.w("floor-1"),
               s.w("extract-2") / s.w("floor-1"), GOALS["floor"])
    ratio_line("ExtractArchive / unzip -qo", s.w("extract-1") / s.w("unzip -qo"), s.w("extract-2") / s.w("unzip -qo"),
               cpu=(s.c("extract-1") / s.c("unzip -qo"), s.c("extract-2") / s.c("unzip -qo")))
    ratio_line("ExtractArchive / 7z x", s.w("extract-1") / s.w("7z x"), s.w("extract-2") / s.w("7z x"),
               cpu=(s.c("extract-1") / s.c("7z x"), s.c("extract-2") / s.c("7z x")))

    print("\nthe Info-ZIP variant (same files, deflated by Info-ZIP zip):")
    s.row("floor, 1 thread", "floor-1@infozip")
    s.row("ExtractArchive, N=1", "extract-1@infozip")
    s.row("ExtractArchive, N=2", "extract-2@infozip")
    ratio_line("ExtractArchive / floor (1 thread)", s.w("extract-1@infozip") / s.w("floor-1@infozip"),
               s.w("extract-2@infozip") / s.w("floor-1@infozip"), GOALS["floor"])
    print(f"  floor Info-ZIP / sfxpack: {s.w('floor-1@infozip') / s.w('floor-1'):.2f}")

    print("\nend to end (extract, run tests/programs/report with SFX_QUIET=1, delete):")
    s.row("native launcher, SFX_LAUNCHER_THREADS=1", "launcher-1")
    s.row("native launcher, SFX_LAUNCHER_THREADS=2", "launcher-2")
    unzip_rm_wall = s.w("unzip -qo") + s.w("rm -rf")
    unzip_rm_cpu = s.c("unzip -qo") + s.c("rm -rf")
    print(f"  {'unzip -qo + rm -rf (sum of medians)':46s} {unzip_rm_wall:7.3f} {unzip_rm_cpu:7.3f}")
    s.row("makeself --quiet", "makeself")
    ratio_line("launcher / (unzip -qo + rm -rf)", s.w("launcher-1") / unzip_rm_wall, s.w("launcher-2") / unzip_rm_wall,
               GOALS["unzip+rm"], cpu=(s.c("launcher-1") / unzip_rm_cpu, s.c("launcher-2") / unzip_rm_cpu))
    ratio_line("launcher / makeself", s.w("launcher-1") / s.w("makeself"), s.w("launcher-2") / s.w("makeself"),
               GOALS["makeself"], cpu=(s.c("launcher-1") / s.c("makeself"), s.c("launcher-2") / s.c("makeself")))

    print("\nwhere the time goes (this machine, one thread):")
    s.row("inflate + CRC (the floor)", "floor-1")
    s.row("create the folders and empty files", "create")
    s.row("create them with their bytes (from memory)", "write")
    print(f"  {'  so writing the bytes':46s} {s.w('write') - s.w('create'):7.3f} {s.c('write') - s.c('create'):7.3f}"
          "   (differences of medians)")
    s.row("delete the tree: the launcher's deleter", "delete")
    s.row("delete the tree: rm -rf", "rm -rf")
    def derived(label, wall, cpu):
        print(f"  {label:46s} {wall:7.3f} {cpu:7.3f}   (differences of medians)")

    derived("floor + create + write", s.w("floor-1") + s.w("write"), s.c("floor-1") + s.c("write"))
    derived("ExtractArchive N=1 beyond that (the reader)", s.w("extract-1") - s.w("floor-1") - s.w("write"),
            s.c("extract-1") - s.c("floor-1") - s.c("write"))
    derived("launcher N=1 beyond ExtractArchive + deleter", s.w("launcher-1") - s.w("extract-1") - s.w("delete"),
            s.c("launcher-1") - s.c("extract-1") - s.c("delete"))

    print("\npeak resident memory of ExtractArchive (child process), KiB:")
    for what in ("tiny", "1 GiB entry", "payload"):
        print(f"  {what:46s} N=1 {rss[what, 1]:7d}   N=2 {rss[what, 2]:7d}")
    print(f"  {'1 GiB entry / tiny':46s} N=1 {rss['1 GiB entry', 1] / rss['tiny', 1]:7.2f}   "
          f"N=2 {rss['1 GiB entry', 2] / rss['tiny', 2]:7.2f}   [goal: constant in entry size]")
    print(f"  {'N=2 minus N=1 (per extra worker)':46s} 1 GiB {rss['1 GiB entry', 2] - rss['1 GiB entry', 1]:7d}   "
          f"payload {rss['payload', 2] - rss['payload', 1]:7d}   [goal: a few MiB per worker]")


# -- Wine ---------------------------------------------------------------------


def build_windows(build):
    """Brings the Windows build up to date for what the benchmark runs; false when it is not configured."""
    if not (build / "CMakeCache.txt").exists():
        return False
    subprocess.run(["cmake", "--build", build, "-j2", "--target", "launcher", "report", "bench_extract_delete"],
                   check=True, stdout=subprocess.DEVNULL)
    return True


WinePart = collections.namedtuple("WinePart", "setup stub program stage expected")


def wine_route(args, arch, build):
    """How `arch` runs under Wine here (its build brought up to date), with
    its stub, its report program and the payload staged for it and what that
    holds; None, after saying why, when it cannot run."""
    if not build_windows(build):
        print(f"\nwine ({arch}): skipped, {build} is not configured (cmake --preset {arch})")
        return None
    os.environ.setdefault("SFX_WINE_ROOT", str(pathlib.Path(args.build) / "wine"))
    os.environ.setdefault("SFX_BUILD_NATIVE", str(args.build))
    from wine32 import route

    try:
        setup = route.setup(arch)
    except route.Unavailable as e:
        print(f"\nwine ({arch}): skipped, {e}")
        return None
    program = build / "tests" / "programs" / "report.exe"
    stage = payload.staging(pathlib.Path(args.cache), arch, program, "app.exe")
    return WinePart(setup, build / "launcher" / "launcher.exe", program, stage, payload.tree_summary(stage))


def wine(args, arch, build):
    build = pathlib.Path(build)
    part = wine_route(args, arch, build)
    if part is None:
        return
    from harness import WineSession, windows_path

    cache = pathlib.Path(args.cache)
    setup, stub, program, stage, expected = part
    peer = build / "bench" / "startup" / "win32_peer" / "bench_extract_delete.exe"
    launcher = payload.launcher(cache, arch, args.sfxpack, stub, stage, "app.exe")

    work = Work(args.work or cache)
    samples = Samples()
    load_start = load()
    try:
        with WineSession(build, arch, setup) as session:
            def start(exe, exe_args, threads=None):
                env = dict(session.env, SFX_QUIET="1")
                env.pop("SFX_LAUNCHER_THREADS", None)
                if threads is not None:
                    env["SFX_LAUNCHER_THREADS"] = str(threads)
                return run([session.loader, exe, *exe_args], env=env)

            def launcher_with(threads):
                def measure(target):
                    base = work.fresh("tmp", make=True)
                    m = start(launcher, ["/S", "/T:" + windows_path(base)], threads)
                    target.add(f"launcher-{threads}", m.wall)
                    empty(base, f"the {arch} launcher")
                    base.rmdir()
                return measure

            def peer_run(target):
                base = work.fresh("tmp", make=True)
                m = start(peer, [windows_path(launcher), windows_path(base)])
                fields = dict(f.split("=") for f in m.out.split())
                if (int(fields["files"]), int(fields["bytes"])) != expected:
                    raise RuntimeError(f"the peer extracted {fields}; expected {expected}")
                target.add("peer", m.wall)
                target.add("peer: extraction", float(fields["extract"]))
                target.add("peer: deletion", float(fields["delete"]))
                empty(base, "the peer")
                base.rmdir()

            def program_alone(target):
                target.add("program", start(program, []).wall)

            run_wine_rounds(args, arch, samples, load_start,
                            [launcher_with(1), launcher_with(2), peer_run, program_alone])
    finally:
        where = work.describe()
        work.remove()

    s = samples
    print(f"\n{wine_heading(arch, setup)}: {launcher.name} {launcher.stat().st_size / 1e6:.1f} MB, started directly by"
          f" {session.loader}; load average {load_start} at the start, {load()} at the end")
    print(f"work folder: {where}")
    print(f"medians of {args.wine_rounds} rounds: wall s, (min-max)")
    s.row(f"{arch} launcher, SFX_LAUNCHER_THREADS=1", "launcher-1")
    s.row(f"{arch} launcher, SFX_LAUNCHER_THREADS=2", "launcher-2")
    s.row("minimal Win32 extract-and-delete, 1 thread", "peer")
    s.row("  its extraction (its own clock)", "peer: extraction")
    s.row("  its deletion (its own clock)", "peer: deletion")
    s.row("report.exe alone (Wine's process start)", "program")
    print(f"  {'launcher N=1 / launcher N=2':46s} {s.w('launcher-1') / s.w('launcher-2'):5.2f}"
          f"   [{GOALS['wine-threads']}{', for win64' if arch != 'win64' else ''}]")
    ratio_line("launcher / minimal extract-and-delete", s.w("launcher-1") / s.w("peer"),
               s.w("launcher-2") / s.w("peer"), GOALS["wine-peer"])


def parse_arguments(description, rounds, add=None):
    """The options the start-up benchmarks share (and those `add` adds),
    with every path made absolute and the cache folder made."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--build", required=True, type=pathlib.Path, help="the native build folder")
    parser.add_argument("--cache", required=True, type=pathlib.Path, help="where the payload and launchers are kept")
    parser.add_argument("--launcher", required=True, type=pathlib.Path, help="the native launcher stub")
    parser.add_argument("--sfxpack", required=True, type=pathlib.Path)
    parser.add_argument("--program", required=True, type=pathlib.Path, help="the native report program")
    parser.add_argument("--win64-build", type=pathlib.Path)
    parser.add_argument("--win32-build", type=pathlib.Path)
    parser.add_argument("--work", type=pathlib.Path,
                        help="where the extractions go (default: the cache folder; /dev/shm takes the disk out)")
    parser.add_argument("--rounds", type=int, default=rounds, help=f"native rounds (default {rounds})")
    parser.add_argument("--wine-rounds", type=int, default=5, help="rounds under Wine (default 5)")
    if add:
        add(parser)
    args = parser.parse_args()
    for name, value in vars(args).items():
        if isinstance(value, pathlib.Path):
            setattr(args, name, value.resolve())
    args.cache.mkdir(parents=True, exist_ok=True)
    return args


def run_parts(args, native_part, wine_part, arches=("win64", "win32")):
    """Runs the parts that --part asks for: natively, and under Wine for each of `arches` that has a build."""
    if args.part in ("native", "all"):
        native_part(args)
    if args.part in ("wine", "all"):
        for arch in arches:
            build = getattr(args, f"{arch}_build")
            if build:
                wine_part(args, arch, build)


def main():
    def add(parser):
        parser.add_argument("--inprocess", required=True, type=pathlib.Path, help="bench_startup_inprocess")
        parser.add_argument("--part", choices=("native", "wine", "all"), default="native")

    args = parse_arguments(__doc__.splitlines()[0], 5, add)
    for tool in ("zip", "unzip", "7z", "makeself"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is not installed (scripts/install-deps.sh installs it)")
    print(f"extraction threads: N=1 and N=2 (SFX_LAUNCHER_THREADS); without it the launcher takes"
          f" {min(os.cpu_count() or 1, 8)} here")
    run_parts(args, native, wine)


if __name__ == "__main__":
    main()
