"""The start-up benchmarks' payload and the launchers made of it, generated
deterministically and cached under the build folder between runs.

The tree: about 188 MB in 3,000 files in nested folders, the mix of an
application folder: text (sources, documents; deflate takes it to about a
third), program-like binaries (runs of zeros, small alphabets and noise;
about half) and media (noise that deflate cannot shrink, so both sfxpack and
Info-ZIP zip store it). Deflated it takes about 98 MB.

Everything made here is kept with a `.key` file beside it that names what
it was made from (this file's text, the stub, the program, sfxpack); a
stale or missing key remakes it, so a rebuilt stub is repacked and an
unchanged one is not.
"""
import hashlib
import os
import pathlib
import random
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e"))
sys.path.insert(0, str(HERE.parent.parent / "tests" / "e2e" / "launcher"))

from launcher_support import configuration_span  # noqa: E402

FILES = {"text": 2400, "binary": 500, "media": 100}
BYTES = {"text": 84_000_000, "binary": 62_000_000, "media": 42_000_000}
MTIME = 1_700_000_000  # every file's time, so that archives come out the same
POOL = 16 << 20        # text and binary files are slices of pools this large


def digest(*parts):
    h = hashlib.sha256()
    for part in parts:
        if isinstance(part, pathlib.Path):  # a file: its contents
            h.update(part.read_bytes())
        else:
            h.update(str(part).encode())
        h.update(b"\0")
    return h.hexdigest()[:16]


GENERATOR = digest(pathlib.Path(__file__))


def cached(path, key, make):
    """Returns `path`, made by make(path) unless it was made before from the same `key`."""
    path = pathlib.Path(path)
    stamp = path.with_name(path.name + ".key")
    if path.exists() and stamp.exists() and stamp.read_text() == key:
        return path
    stamp.unlink(missing_ok=True)
    if path.is_dir():
        shutil.rmtree(path)
    elif path.exists():
        path.unlink()
    make(path)
    stamp.write_text(key)
    return path


def _sizes(rng, count, total, median, largest):
    """`count` sizes from a log-normal spread around `median`, at most `largest`,
    scaled to add up to `total` exactly."""
    raw = [min(largest, max(64, int(rng.lognormvariate(0, 1.2) * median))) for _ in range(count)]
    scale = total / sum(raw)
    sizes = [max(64, min(largest, int(s * scale))) for s in raw]
    sizes[sizes.index(max(sizes))] += total - sum(sizes)
    return sizes


def _text_pool(rng):
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 8, 7, 7, 6, 6, 4, 4, 3, 3, 3, 2, 2, 2, 2, 2, 1.5, 1, 1, 0.5, 0.2, 0.2, 0.1, 0.1]
    words = ["".join(rng.choices(letters, weights, k=rng.randint(2, 11))) for _ in range(3000)]
    ranks = [1 / (r + 1) for r in range(len(words))]  # Zipf: few words are common
    chosen = rng.choices(words, ranks, k=POOL // 5)
    out = []
    for i in range(0, len(chosen), 12):
        indent = "    " * rng.randint(0, 3)
        out.append(indent + " ".join(chosen[i:i + 12]) + rng.choice((";", ".", ",", " {", " }", "")))
    pool = "\n".join(out).encode()
    return (pool * (POOL // len(pool) + 1))[:POOL]


def _binary_pool(rng):
    """4 KiB blocks: mostly zeros, a small alphabet (code-like), or noise."""
    sparse = bytes([0] * 232 + list(range(1, 25)))
    alphabet = bytes(rng.choice(range(256)) for _ in range(16))
    narrow = bytes(alphabet[b % 16] for b in range(256))
    blocks = []
    for _ in range(POOL // 4096):
        noise = rng.randbytes(4096)
        kind = rng.random()
        blocks.append(noise.translate(sparse) if kind < 0.40 else noise.translate(narrow) if kind < 0.90 else noise)
    return b"".join(blocks)


def make_tree(root):
    """The data files (no program); the same bytes on every machine."""
    rng = random.Random(188_3006)
    pools = {"text": _text_pool(rng), "binary": _binary_pool(rng)}
    folders = []
    for top in ("modules", "docs", "lib", "res", "data"):
        for a in range(3):
            for b in range(4):
                folders.append(pathlib.Path(top) / f"group{a}" / f"part{b}")
    extensions = {"text": (".txt", ".xml", ".js", ".py", ".html"), "binary": (".dll", ".bin", ".dat"),
                  "media": (".png", ".ogg", ".jpg")}
    files = []
    for kind, count in FILES.items():
        median = BYTES[kind] // count // 2
        for n, size in enumerate(_sizes(rng, count, BYTES[kind], median, 12 << 20)):
            files.append((kind, n, size))
    rng.shuffle(files)
    root.mkdir(parents=True)
    for i, (kind, n, size) in enumerate(files):
        folder = root / folders[i % len(folders)]
        folder.mkdir(parents=True, exist_ok=True)
        if kind == "media":
            data = rng.randbytes(size)
        else:
            pool = pools[kind]
            start = rng.randrange(len(pool) - min(size, len(pool) // 2))
            data = (pool[start:] + pool)[:size] if size > len(pool) - start else pool[start:start + size]
        path = folder / f"{kind}{n:04d}{rng.choice(extensions[kind])}"
        path.write_bytes(data)
        os.utime(path, (MTIME, MTIME))
    for folder in sorted({p for p in root.rglob("*") if p.is_dir()}, reverse=True):
        os.utime(folder, (MTIME, MTIME))


def tree(cache):
    """The cached data tree."""
    return cached(pathlib.Path(cache) / "tree", GENERATOR, make_tree)


def staging(cache, name, program, target):
    """The data tree plus `program` as `target`, as hard links (no copies):
    the folder a launcher (and makeself) is made of."""
    source = tree(cache)

    def make(path):
        shutil.copytree(source, path, copy_function=os.link)
        shutil.copy2(program, path / target)

    return cached(pathlib.Path(cache) / f"stage-{name}", digest(GENERATOR, program, target), make)


def _env():
    return dict(os.environ, SOURCE_DATE_EPOCH=str(MTIME + 1))


def _pack(sfxpack, stub, folder, run, path, options=()):
    subprocess.run([str(sfxpack), "--stub", str(stub), "--run", run, "--silent", "--quiet", *options, "-o", str(path),
                    str(folder)], check=True, env=_env())


def launcher(cache, name, sfxpack, stub, folder, run, options=()):
    """A silent launcher of `folder` made by sfxpack around `stub`, with the
    sfxpack `options` besides: what users' launchers hold."""

    def make(path):
        _pack(sfxpack, stub, folder, run, path, options)

    key = digest(GENERATOR, sfxpack, stub, folder.name, run, (folder / run), *options)
    return cached(pathlib.Path(cache) / f"{name}.exe", key, make)


def archive_start(path):
    """The offset of the ZIP archive in a launcher: right after the configuration text."""
    offset, text = configuration_span(path)
    return offset + len(text.encode("latin-1"))


def infozip_launcher(cache, name, made_by_sfxpack, folder):
    """The same launcher with its archive replaced by one that Info-ZIP zip
    deflated (`zip -r -X`), its offsets adjusted by `zip -A` to count from the
    file's start as sfxpack's do."""

    def make(path):
        archive = path.with_suffix(".zip")
        archive.unlink(missing_ok=True)
        subprocess.run(["zip", "-q", "-r", "-X", str(archive), "."], cwd=folder, check=True)
        start = archive_start(made_by_sfxpack)
        with open(path, "wb") as out:
            with open(made_by_sfxpack, "rb") as head:
                out.write(head.read(start))
            with open(archive, "rb") as body:
                shutil.copyfileobj(body, out, 1 << 20)
        archive.unlink()
        subprocess.run(["zip", "-q", "-A", str(path)], check=True)
        os.chmod(path, 0o755)

    made_from = made_by_sfxpack.with_name(made_by_sfxpack.name + ".key").read_text()
    key = digest(GENERATOR, made_from, folder.name, pathlib.Path(shutil.which("zip")))
    return cached(pathlib.Path(cache) / f"{name}.exe", key, make)


def makeself(cache, folder, run):
    """A makeself archive of `folder` (its defaults: gzip, MD5 and CRC checks) that runs ./`run`."""

    def make(path):
        subprocess.run(["makeself", "--quiet", "--nox11", str(folder), str(path), "bench", f"./{run}"], check=True,
                       stdout=subprocess.DEVNULL, env=_env())

    key = digest(GENERATOR, folder.name, folder / run, pathlib.Path(shutil.which("makeself")))
    return cached(pathlib.Path(cache) / "makeself.run", key, make)


def _one_file(cache, name, sfxpack, stub, file, fill):
    """A launcher holding the one file `file`, which fill(path) writes."""

    def make(path):
        folder = path.with_name(f"{name}-folder")
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir()
        fill(folder / file)
        try:
            _pack(sfxpack, stub, folder, file, path)
        finally:
            shutil.rmtree(folder)

    return cached(pathlib.Path(cache) / f"{name}.exe", digest(GENERATOR, sfxpack, stub), make)


def big_entry(cache, sfxpack, stub):
    """A launcher holding one 1 GiB file of zeros (deflated to about 1 MB),
    packed from a sparse file so that it takes no space of its own."""

    def fill(path):
        with open(path, "wb") as f:
            f.truncate(1 << 30)

    return _one_file(cache, "big", sfxpack, stub, "big.bin", fill)


def tiny(cache, sfxpack, stub):
    """A launcher holding one file of five bytes."""
    return _one_file(cache, "tiny", sfxpack, stub, "tiny.txt", lambda path: path.write_bytes(b"tiny\n"))


def tree_summary(root):
    """(files, bytes) of everything under `root`."""
    files = total = 0
    for dirpath, _, names in os.walk(root):
        for name in names:
            files += 1
            total += os.lstat(os.path.join(dirpath, name)).st_size
    return files, total
