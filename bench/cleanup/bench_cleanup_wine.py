"""The deleter of the win64 build under Wine on one and on two threads, with
`rm -rf` of the same tree natively as the peer, in the same run.

Each round makes three fresh trees of FILES files (30 to a folder, ten
folders under each top folder, as an extracted program might be) and
deletes one with cleanup_driver's `delete-timed` on one thread, one on two
threads (the driver times the deleter itself, without Wine's start), and
one with `rm -rf`, in a rotating order; prints the medians and the ratios.

    bench_cleanup_wine.py --build BUILD/win64 [--wine-root DIR] [--files N] [--rounds R]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e"))


def make_tree(root, files):
    made, top = 0, 0
    while made < files:
        for sub in range(10):
            folder = root / f"dir{top}" / f"sub{sub}"
            folder.mkdir(parents=True)
            for i in range(30):
                if made == files:
                    break
                (folder / f"file{i}.dat").write_bytes(b"x" * 100)
                made += 1
        top += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, type=pathlib.Path, help="the win64 build")
    parser.add_argument("--wine-root", type=pathlib.Path, help="where the Wine prefixes live")
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()
    build = args.build.resolve()
    if args.wine_root:
        os.environ["SFX_WINE_ROOT"] = str(args.wine_root.resolve())
    from harness import WineSession, windows_path
    from wine32 import route

    driver = build / "tests" / "programs" / "cleanup_driver.exe"
    if not driver.exists():
        sys.exit(f"no {driver}: build the win64 preset first")
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-bench-cleanup-wine-"))
    sides = ("1 thread", "2 threads", "rm -rf")
    times = {side: [] for side in sides}
    try:
        with WineSession(build, "win64", route.setup("win64")) as session:
            session.env["WINEDEBUG"] = "-all"
            for round_ in range(args.rounds):
                roots = {side: work / f"tree{n}" for n, side in enumerate(sides)}
                for root in roots.values():
                    make_tree(root, args.files)
                for k in range(len(sides)):
                    side = sides[(k + round_) % len(sides)]
                    root = roots[side]
                    if side == "rm -rf":
                        start = time.perf_counter()
                        subprocess.run(["rm", "-rf", str(root)], check=True)
                        times[side].append(time.perf_counter() - start)
                        continue
                    threads = 1 if side == "1 thread" else 2
                    out = session.run(driver, ["delete-timed", windows_path(root), str(threads)]).stdout
                    values = dict(line.strip().partition("=")[::2] for line in out.splitlines() if "=" in line)
                    if values.get("result") != "0" or any(root.iterdir()):
                        raise RuntimeError(f"{side}: the deleter left files behind ({out!r})")
                    times[side].append(float(values["seconds"]))
                    shutil.rmtree(root)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    median = {side: statistics.median(values) for side, values in times.items()}
    print(f"win64 under Wine, {args.files} files, {args.rounds} rounds (median, min-max), "
          f"{os.cpu_count()} processors:")
    for side, values in times.items():
        print(f"  {side:10s} {median[side]:7.3f} s  ({min(values):.3f}-{max(values):.3f})")
    print(f"  ratio to rm -rf: 1 thread {median['1 thread'] / median['rm -rf']:.2f}, "
          f"2 threads {median['2 threads'] / median['rm -rf']:.2f}")
    print(f"  ratio 2 threads / 1 thread: {median['2 threads'] / median['1 thread']:.2f} (below 1: faster on 2)")


if __name__ == "__main__":
    main()
