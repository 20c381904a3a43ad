"""End-to-end launch time: from starting a self-extracting file to the end of
its program and of its cleanup, for a payload of about 50 MB in 2000 files.

Natively, our launcher (silent) against makeself archives of the same folder
running the same program (the report program told to end at once), in the
same run, interleaved, several repetitions; prints the medians and the
ratios. Then, for reference, the same payload in the win64 and win32
launchers under Wine as absolute figures, each next to the program alone
started the same way (win32 through qemu-i386 where the kernel cannot run
32-bit code), and the ratios of win32 to win64.

    bench_launch.py --launcher L --sfxpack S --program P [--win64-build DIR]
                    [--win32-build DIR] [--wine-root DIR] [--repeat N]
"""
import argparse
import os
import pathlib
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e"))

FILES = 2000
TOTAL = 50 << 20


def make_payload(root, program):
    """FILES files in 20 folders, sizes spread around the mean, half of them
    random bytes and half text, so both packers meet data that compresses and
    data that does not."""
    rng = random.Random(2000)
    root.mkdir()
    shutil.copy(program, root / "app")
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
    mean = TOTAL // FILES
    for i in range(FILES):
        folder = root / f"dir{i % 20:02d}"
        folder.mkdir(exist_ok=True)
        size = rng.randint(mean // 4, mean * 7 // 4)
        if i % 2:
            data = rng.randbytes(size)
        else:
            text = bytearray()
            while len(text) < size:
                text += rng.choice(words) + (b"\n" if rng.random() < 0.1 else b" ")
            data = bytes(text[:size])
        (folder / f"file{i:04d}.dat").write_bytes(data)


def timed(command, env):
    start = time.perf_counter()
    result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return elapsed


def check_clean(folder, what):
    left = list(folder.iterdir())
    if left:
        raise RuntimeError(f"{what} left {left} behind")


def native(args, work, payload):
    ours = work / "ours.exe"
    subprocess.run([args.sfxpack, "--stub", args.launcher, "--run", "app", "--silent", "-o", ours, payload], check=True)
    peers = {}
    for name, extra in (("makeself", []), ("makeself --nomd5 --nocrc", ["--nomd5", "--nocrc"])):
        out = work / (name.replace(" ", "").replace("-", "_") + ".run")
        subprocess.run(["makeself", "--quiet", "--nox11", *extra, payload, out, "bench", "./app"], check=True,
                       stdout=subprocess.DEVNULL)
        peers[name] = out
    sizes = {"ours": ours.stat().st_size, **{k: v.stat().st_size for k, v in peers.items()}}

    temp = work / "temp"
    temp.mkdir()
    env = dict(os.environ, TMPDIR=str(temp), SFX_QUIET="1")
    commands = {"ours": [str(ours), "/S"], **{k: [str(v), "--quiet", "--nox11"] for k, v in peers.items()}}
    times = {k: [] for k in commands}
    for name, command in commands.items():  # one warm-up each, not counted
        timed(command, env)
        check_clean(temp, name)
    for _ in range(args.repeat):
        for name, command in commands.items():
            times[name].append(timed(command, env))
            check_clean(temp, name)

    print(f"native, payload {FILES} files / {TOTAL >> 20} MB, {args.repeat} runs each (median, min-max):")
    ours_median = statistics.median(times["ours"])
    for name, values in times.items():
        print(f"  {name:26s} {statistics.median(values):7.3f} s  ({min(values):.3f}-{max(values):.3f})"
              f"  file {sizes[name] / (1 << 20):5.1f} MB")
    for name in peers:
        print(f"  ratio ours / {name}: {ours_median / statistics.median(times[name]):.2f}")


def wine(arch, build, args, work, payload):
    os.environ.update({f"SFX_BUILD_{arch.upper()}": str(build), "SFXPACK": args.sfxpack})
    if args.wine_root:
        os.environ["SFX_WINE_ROOT"] = str(args.wine_root)
        # The route for win32 finds its preload library in the native build beside the prefixes.
        os.environ.setdefault("SFX_BUILD_NATIVE", str(pathlib.Path(args.wine_root).parent))
    from harness import WineSession, pack, windows_path
    from wine32 import route

    stub = pathlib.Path(build) / "launcher" / "launcher.exe"
    program = pathlib.Path(build) / "tests" / "programs" / "report.exe"
    if not stub.exists() or not program.exists():
        print(f"wine ({arch}): skipped, no {arch} build in {build}")
        return
    try:
        setup = route.setup(arch)
    except route.Unavailable as e:
        print(f"wine ({arch}): skipped, {e}")
        return
    (payload / "app").unlink(missing_ok=True)
    shutil.copy(program, payload / "app.exe")
    launcher = pack(stub, payload, work / f"wine-{arch}.exe", "app.exe", silent=True)
    base = work / f"wine-temp-{arch}"
    base.mkdir()
    with WineSession(build, arch, setup) as session:
        session.env["SFX_QUIET"] = "1"
        runs = {"launcher (50 MB)": (launcher, ["/S", "/T:" + windows_path(base)]), "program alone": (program, [])}
        times = {k: [] for k in runs}
        for name, (exe, exe_args) in runs.items():  # warm-up
            session.run(exe, exe_args, timeout=600)
        for _ in range(args.repeat):
            for name, (exe, exe_args) in runs.items():
                start = time.perf_counter()
                result = session.run(exe, exe_args, timeout=600)
                times[name].append(time.perf_counter() - start)
                if result.code != 0:
                    raise RuntimeError(f"{name} under Wine ended with {result.code}")
                check_clean(base, "the launcher under Wine")
    through = " through qemu-i386" if setup.route == "qemu" else ""
    print(f"wine ({arch}{through}), started through wine cmd, {args.repeat} runs each (median, min-max):")
    for name, values in times.items():
        print(f"  {name:26s} {statistics.median(values):7.3f} s  ({min(values):.3f}-{max(values):.3f})")
    extra = statistics.median(times["launcher (50 MB)"]) - statistics.median(times["program alone"])
    print(f"  launcher's own share: {extra:.3f} s")
    return statistics.median(times["program alone"]), extra


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", required=True, help="the native launcher stub")
    parser.add_argument("--sfxpack", required=True)
    parser.add_argument("--program", required=True, help="the native report program")
    parser.add_argument("--win64-build", type=pathlib.Path)
    parser.add_argument("--win32-build", type=pathlib.Path)
    parser.add_argument("--wine-root", type=pathlib.Path)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    for name in ("launcher", "sfxpack", "program", "win64_build", "win32_build", "wine_root"):
        if getattr(args, name):
            setattr(args, name, str(pathlib.Path(getattr(args, name)).resolve()))
    if shutil.which("makeself") is None:
        sys.exit("makeself is not installed (apt-get install makeself)")
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-bench-launch-"))
    try:
        payload = work / "payload"
        make_payload(payload, args.program)
        native(args, work, payload)
        measured = {}
        for arch in ("win64", "win32"):
            build = getattr(args, f"{arch}_build")
            if build:
                measured[arch] = wine(arch, build, args, work, payload)
        if measured.get("win64") and measured.get("win32"):
            (alone64, own64), (alone32, own32) = measured["win64"], measured["win32"]
            print(f"ratio win32 / win64: program alone {alone32 / alone64:.2f}, launcher's own share {own32 / own64:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
