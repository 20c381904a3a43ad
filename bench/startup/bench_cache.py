"""Extraction-cache benchmark (sfxpack --cache), on the start-up benchmark's
payload (bench/startup/payload.py: 188 MB in 3,000 files) and with its
machinery, every ratio against a peer measured in the same run:

  warm start: the cached launcher whose copy is in place, against starting
  the program directly from that copy's folder (the least any launcher
  could cost); natively the difference in milliseconds and the bytes the
  launcher (with its program) had the kernel write to storage, read from
  /proc/<pid>/io before it is reaped; under Wine the ratio.
  cold start: the cached launcher with an empty cache (each round a fresh
  /T: folder), against the run-once launcher of the same payload (each
  round a fresh temporary folder), which extracts, runs and deletes.

The program is tests/programs/report with SFX_QUIET=1 (it ends at once).
Several rounds after a warm-up round, the variants in rotating order;
medians. Natively the extraction threads are the launcher's own choice;
under Wine the launchers are started directly by the architecture's loader,
as bench_startup.py starts them.
"""
import os
import pathlib
import shutil
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e"))

import payload  # noqa: E402
from bench_startup import (Samples, Work, check_tree, empty, load, parse_arguments, run, run_parts,  # noqa: E402
                           run_rounds, run_wine_rounds, wine_heading, wine_route)
from harness import windows_path  # noqa: E402

GOALS = {
    "warm-native": "goal: at most 20 ms",
    "written": "goal: 0",
    "warm-wine": "goal: at most 1.3",
    "cold": "goal: at most 1.1",
}


def the_copy(cache_folder):
    """The one copy in a launcher's cache folder."""
    copies = [p for p in pathlib.Path(cache_folder).iterdir() if p.is_dir() and not p.name.startswith("qx_")]
    if len(copies) != 1:
        raise RuntimeError(f"expected one copy in {cache_folder}, found {copies}")
    return copies[0]


def report(s, warm_lines, where, load_start, rounds):
    print(f"medians of {rounds} rounds: wall s, (min-max); load average {load_start} at the start, {load()} at the end"
          " (the machine is shared: expect noise)")
    print(f"work folder: {where}")
    s.row("program started directly from the copy", "direct")
    s.row("warm start (cached launcher, copy in place)", "warm")
    s.row("cold start (cached launcher, empty cache)", "cold")
    s.row("run-once start (extract, run, delete)", "run-once")
    for line in warm_lines:
        print(line)
    print(f"  {'cold / run-once':46s} {s.w('cold') / s.w('run-once'):5.2f}   [{GOALS['cold']}]")


def native(args):
    cache = args.cache
    stage = payload.staging(cache, "native", args.program, "app")
    once = payload.launcher(cache, "native", args.sfxpack, args.launcher, stage, "app")
    cached = payload.launcher(cache, "native-cache", args.sfxpack, args.launcher, stage, "app", ("--cache",))
    expected = payload.tree_summary(stage)
    work = Work(args.work or cache)
    env = dict(os.environ, SFX_QUIET="1")
    env.pop("SFX_LAUNCHER_THREADS", None)

    warm_base = work.fresh("warm", make=True)
    run([cached, "/S", "/T:" + windows_path(warm_base)], env)
    copy = the_copy(warm_base / cached.stem)
    check_tree(copy / "files", expected, "the cold start")

    def warm(samples):
        m = run([cached, "/S", "/T:" + windows_path(warm_base)], env)
        samples.add("warm", m.wall, m.cpu)
        samples.add("written", m.written if m.written is not None else float("nan"))

    def direct(samples):
        m = run([copy / "files" / "app"], env, cwd=copy / "files")
        samples.add("direct", m.wall, m.cpu)

    def cold(samples):
        base = work.fresh("cold", make=True)
        m = run([cached, "/S", "/T:" + windows_path(base)], env)
        samples.add("cold", m.wall, m.cpu)
        check_tree(the_copy(base / cached.stem) / "files", expected, "the cold start")
        shutil.rmtree(base)

    def run_once(samples):
        temp = work.fresh("tmp", make=True)
        m = run([once, "/S"], dict(env, TMPDIR=str(temp)))
        samples.add("run-once", m.wall, m.cpu)
        empty(temp, "the run-once launcher")
        temp.rmdir()

    samples = Samples()
    load_start = load()
    print(f"native: {args.rounds} rounds after a warm-up round, rotating order (load average {load_start})",
          flush=True)
    run_rounds(args.rounds, samples, lambda r: [warm, direct, cold, run_once])
    where = work.describe()
    work.remove()

    s = samples
    print(f"\nnative: {cached.name} {cached.stat().st_size / 1e6:.1f} MB, {expected[0]} files, "
          f"{expected[1] / 1e6:.1f} MB; machine: {os.cpu_count()} processors")
    written = s.wall["written"]
    extra = (s.w("warm") - s.w("direct")) * 1000
    report(s, [f"  {'warm start beyond the program alone':46s} {extra:5.1f} ms   [{GOALS['warm-native']}]",
               f"  {'bytes the warm start wrote (most of a round)':46s} {max(written):5.0f}      [{GOALS['written']}]"],
           where, load_start, args.rounds)


def wine(args, arch, build):
    build = pathlib.Path(build)
    part = wine_route(args, arch, build)
    if part is None:
        return
    from harness import WineSession

    cache = args.cache
    setup, stub, _, stage, expected = part
    once = payload.launcher(cache, arch, args.sfxpack, stub, stage, "app.exe")
    cached = payload.launcher(cache, f"{arch}-cache", args.sfxpack, stub, stage, "app.exe", ("--cache",))

    work = Work(args.work or cache)
    samples = Samples()
    load_start = load()
    try:
        with WineSession(build, arch, setup) as session:
            env = dict(session.env, SFX_QUIET="1")
            env.pop("SFX_LAUNCHER_THREADS", None)

            def start(exe, exe_args, cwd=None):
                return run([session.loader, exe, *exe_args], env=env, cwd=cwd)

            warm_base = work.fresh("warm", make=True)
            start(cached, ["/S", "/T:" + windows_path(warm_base)])
            copy = the_copy(warm_base / cached.stem)
            check_tree(copy / "files", expected, f"the {arch} cold start")

            def warm(target):
                target.add("warm", start(cached, ["/S", "/T:" + windows_path(warm_base)]).wall)

            def direct(target):
                target.add("direct", start(copy / "files" / "app.exe", [], cwd=copy / "files").wall)

            def cold(target):
                base = work.fresh("cold", make=True)
                target.add("cold", start(cached, ["/S", "/T:" + windows_path(base)]).wall)
                shutil.rmtree(base)

            def run_once(target):
                base = work.fresh("tmp", make=True)
                target.add("run-once", start(once, ["/S", "/T:" + windows_path(base)]).wall)
                empty(base, f"the {arch} run-once launcher")
                base.rmdir()

            run_wine_rounds(args, arch, samples, load_start, [warm, direct, cold, run_once])
    finally:
        where = work.describe()
        work.remove()

    s = samples
    print(f"\n{wine_heading(arch, setup)}: {cached.name} {cached.stat().st_size / 1e6:.1f} MB, started directly by"
          f" {session.loader}")
    goal = GOALS["warm-wine"] + ("" if arch == "win64" else ", for win64")
    report(s, [f"  {'warm start / the program alone':46s} {s.w('warm') / s.w('direct'):5.2f}   [{goal}]"], where,
           load_start, args.wine_rounds)


def main():
    def add(parser):
        parser.add_argument("--part", choices=("native", "wine", "all"), default="all")
        parser.add_argument("--wine-arch", choices=("win64", "win32", "both"), default="win64",
                            help="the Windows builds to measure under Wine (default win64)")

    args = parse_arguments(__doc__.splitlines()[0], 7, add)
    run_parts(args, native, wine, ("win64", "win32") if args.wine_arch == "both" else (args.wine_arch,))


if __name__ == "__main__":
    main()
