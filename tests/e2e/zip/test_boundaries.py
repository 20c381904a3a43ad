"""Entries whose sizes fall on the reader's buffer boundaries, written by
libarchive, Python's zipfile and Info-ZIP zip in every form they write
(stored and deflated, with and without data descriptors, plain and with the
traditional encryption, without and with Zip64 records), must come out of
the zip module (tests/programs/zipextract, the launcher's own extraction
loop) with the same bytes as out of Python's zipfile, Info-ZIP unzip and
libarchive (bsdtar).

Zip64 forms: zipfile with every entry's Zip64 block and a Zip64 end record
forced (to a file, and to a stream: data descriptors with 8-byte sizes),
libarchive's zip64 option, zip -fz to a file, and zip reading standard input
to a pipe (which gives Zip64 local headers and descriptors by itself; zip -fz
to a pipe or with -fd writes an end record whose directory offset holds all
ones without a Zip64 end record, which no reader accepts, so it is left out).

Sizes: every multiple k * B (k = 1, 2) of each buffer size B the reader uses,
and 1, 2, 3 bytes either side, both for the uncompressed size and for the
length of the stored (compressed) data; plus the sizes 0 to 3.

Usage: test_boundaries.py
"""
import os
import pathlib
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

from harness import Checks, skip, windows_path
from zip64_writer import NoSeek, write_zip64

# The reader reads stored data in pieces of 64 KiB and the launcher writes
# output in pieces of 64 KiB.
BUFFER_SIZES = [65536]
PASSWORD = "boundary"
ENCRYPTION_HEADER = 12


def boundary_sizes():
    sizes = {0, 1, 2, 3}
    for size in BUFFER_SIZES:
        for k in (1, 2):
            sizes.update(k * size + d for d in range(-3, 4))
    return sorted(sizes)


def make_text(length, seed=7):
    """Text that deflates to about half its size, the same for the same seed."""
    rng = random.Random(seed)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(4000)]
    out = bytearray()
    while len(out) < length:
        out += rng.choice(words).encode() + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:length])


def zlib_deflated_length(data):
    # Python's zipfile and libarchive both deflate with zlib's defaults.
    c = zlib.compressobj(zlib.Z_DEFAULT_COMPRESSION, zlib.DEFLATED, -15)
    return len(c.compress(data) + c.flush())


def infozip_deflated_length(data, scratch):
    source = scratch / "probe"
    source.write_bytes(data)
    archive = scratch / "probe.zip"
    archive.unlink(missing_ok=True)
    subprocess.run(["zip", "-q", "-X", "-j", str(archive), str(source)], check=True)
    return zipfile.ZipFile(archive).infolist()[0].compress_size


def prefixes_deflating_to(text, targets, deflated_length):
    """For each target length, a prefix of `text` whose deflate stream is that
    long; targets that no prefix hits are left out."""
    found = {}
    length = 0
    for target in sorted(targets):
        if deflated_length(text[:length]) < target - 16:
            lo, hi = length, len(text)  # deflated lengths grow with the prefix (almost) monotonically
            while lo < hi:
                mid = (lo + hi) // 2
                if deflated_length(text[:mid]) < target - 8:
                    lo = mid + 1
                else:
                    hi = mid
            length = lo
        for length in range(length, min(len(text), length + 512) + 1):
            got = deflated_length(text[:length])
            if got == target:
                found[target] = text[:length]
                break
            if got > target + 2:
                break
    return found


class Payload:
    """The entries of one archive: name -> bytes."""

    def __init__(self, deflated_length, scratch):
        self.files = {}
        self.missed = []
        for size in boundary_sizes():
            self.files[f"u/{size:06d}.txt"] = make_text(size, seed=size)
        if deflated_length is not None:
            text = make_text(5 * max(BUFFER_SIZES) * 2)
            targets = [size for size in boundary_sizes() if size >= 8]  # no deflate stream is shorter
            found = prefixes_deflating_to(text, targets, deflated_length)
            self.missed = [size for size in targets if size not in found]
            for size, data in found.items():
                self.files[f"c/{size:06d}.txt"] = data

    def write_tree(self, root):
        for name, data in self.files.items():
            path = root / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)


def write_python(payload, out, method, stream, zip64=False):
    with open(out, "wb") as f:
        if zip64:
            write_zip64(f, payload.files.items(), method, stream)
            return
        with zipfile.ZipFile(NoSeek(f) if stream else f, "w", compression=method) as z:
            for name, data in payload.files.items():
                z.writestr(name, data)


def write_libarchive(payload, out, tree, method, encrypt, zip64=False):
    options = (f"zip:compression={method}" + (",zip:encryption=zipcrypt" if encrypt else "") +
               (",zip:zip64" if zip64 else ""))
    args = ["bsdtar", "--format", "zip", "--options", options, "-cf", str(out), "-C", str(tree)]
    if encrypt:
        args += ["--passphrase", PASSWORD]
    subprocess.run(args + sorted(payload.files), check=True)


def write_infozip(payload, out, tree, method, form, encrypt, zip64=False):
    args = ["zip", "-q", "-X", "-fz" if zip64 else "-fz-", "-0" if method == "store" else "-6"]
    if encrypt:
        args += ["-P", PASSWORD]
    names = sorted(payload.files)
    if form == "file":
        subprocess.run(args + [str(out)] + names, cwd=tree, check=True)
    elif form == "descriptors":
        subprocess.run(args + ["-fd", str(out)] + names, cwd=tree, check=True)
    elif form == "stdout":
        # Written to a pipe, zip cannot seek back and writes data descriptors.
        with open(out, "wb") as f:
            zip_proc = subprocess.Popen(args + ["-"] + names, cwd=tree, stdout=subprocess.PIPE)
            shutil.copyfileobj(zip_proc.stdout, f)
            if zip_proc.wait() != 0:
                raise RuntimeError("zip to standard output failed")


def write_infozip_stdin(data, out, encrypt, zip64=False):
    """One entry read from standard input and written to a pipe; zip gives
    it a Zip64 local header and data descriptor unless told not to."""
    args = ["zip", "-q"] + ([] if zip64 else ["-fz-"]) + (["-P", PASSWORD] if encrypt else []) + ["-", "-"]
    result = subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True)
    out.write_bytes(result.stdout)


def local_zip64_blocks(archive):
    """Whether each file entry's local header carries a Zip64 block (0x0001)."""
    data = pathlib.Path(archive).read_bytes()
    found = set()
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            if info.is_dir():
                continue
            name_length, extra_length = struct.unpack_from("<HH", data, info.header_offset + 26)
            extra = data[info.header_offset + 30 + name_length:info.header_offset + 30 + name_length + extra_length]
            tags = []
            while len(extra) >= 4:
                tag, length = struct.unpack_from("<HH", extra)
                tags.append(tag)
                extra = extra[4 + length:]
            found.add(1 in tags)
    return found


def stream_length(info):
    return info.compress_size - (ENCRYPTION_HEADER if info.flag_bits & 1 else 0)


def read_python(archive, encrypted):
    with zipfile.ZipFile(archive) as z:
        return {i.filename: z.read(i, pwd=PASSWORD.encode() if encrypted else None)
                for i in z.infolist() if not i.is_dir()}


def read_tree(root):
    files = {}
    for dirpath, _, filenames in os.walk(root):
        for name in filenames:
            path = pathlib.Path(dirpath) / name
            files[path.relative_to(root).as_posix()] = path.read_bytes()
    return files


def read_libarchive(archive, target, encrypted):
    target.mkdir()
    args = ["bsdtar", "-xf", str(archive), "-C", str(target)] + (["--passphrase", PASSWORD] if encrypted else [])
    subprocess.run(args, capture_output=True)
    return read_tree(target)


def libarchive_reads(name):
    # libarchive 3.6 refuses Info-ZIP's encrypted entries that carry data
    # descriptors ("Inconsistent CRC32 values"); unzip and zipfile check those.
    return not (name.startswith("infozip") and "-crypt" in name and
                any(form in name for form in ("descriptors", "stdout", "stdin")))


def read_unzip(archive, target, encrypted):
    args = ["unzip", "-qq", "-o"] + (["-P", PASSWORD] if encrypted else []) + [str(archive), "-d", str(target)]
    subprocess.run(args, capture_output=True)
    return read_tree(target) if target.exists() else {}


def read_ours(zipextract, archive, target, encrypted):
    args = [zipextract, windows_path(archive), windows_path(target)] + ([PASSWORD] if encrypted else [])
    result = subprocess.run(args, capture_output=True, text=True)
    failed = [line for line in result.stdout.splitlines() if line.startswith("entry=") and " ok " not in line]
    failed += [line for line in result.stdout.splitlines() if line.startswith(("open=", "close="))]
    return (read_tree(target) if target.exists() else {}), failed


def main():
    for tool in ("zip", "unzip", "bsdtar"):
        if shutil.which(tool) is None:
            skip(f"{tool} is not installed")
    zipextract = pathlib.Path(os.environ["SFX_BUILD_NATIVE"]) / "tests" / "programs" / "zipextract"
    checks = Checks()
    work = pathlib.Path(tempfile.mkdtemp(prefix="sfx-boundaries-"))
    try:
        zlib_payload = Payload(zlib_deflated_length, work)
        infozip_payload = Payload(lambda data: infozip_deflated_length(data, work), work)
        stored_payload = Payload(None, work)
        for name, payload in (("zlib", zlib_payload), ("infozip", infozip_payload)):
            checks.equal(f"{name}: compressed sizes that no prefix hits", payload.missed, [])
        trees = {}
        for name, payload in (("zlib", zlib_payload), ("infozip", infozip_payload), ("stored", stored_payload)):
            trees[name] = work / f"tree-{name}"
            payload.write_tree(trees[name])

        archives = []  # (name, path, payload, encrypted)

        def add(name, payload, encrypted, write):
            path = work / f"{name}.zip"
            write(path)
            archives.append((name, path, payload, encrypted))

        for method, payload, tree in (("deflate", zlib_payload, trees["zlib"]), ("store", stored_payload, trees["stored"])):
            zip_method = zipfile.ZIP_DEFLATED if method == "deflate" else zipfile.ZIP_STORED
            for zip64 in ("", "-zip64"):
                for stream in (False, True):
                    add(f"python-{method}-{'stream' if stream else 'seek'}{zip64}", payload, False,
                        lambda p, m=zip_method, s=stream, pl=payload, z=bool(zip64): write_python(pl, p, m, s, z))
                for encrypt in (False, True):
                    add(f"libarchive-{method}-{'crypt' if encrypt else 'plain'}{zip64}", payload, encrypt,
                        lambda p, m=method, e=encrypt, pl=payload, t=tree, z=bool(zip64):
                            write_libarchive(pl, p, t, m, e, z))
        for method, payload, tree in (("deflate", infozip_payload, trees["infozip"]),
                                      ("store", stored_payload, trees["stored"])):
            for form, zip64 in (("file", ""), ("descriptors", ""), ("stdout", ""), ("file", "-zip64")):
                for encrypt in (False, True):
                    add(f"infozip-{method}-{form}-{'crypt' if encrypt else 'plain'}{zip64}", payload, encrypt,
                        lambda p, m=method, f=form, e=encrypt, pl=payload, t=tree, z=bool(zip64):
                            write_infozip(pl, p, t, m, f, e, z))
        # Standard input to a pipe: one entry per archive, at the sizes that matter most.
        for size in (65536, 65537, 2 * 65536 + 1):
            for encrypt in (False, True):
                for zip64 in ("", "-zip64"):
                    one = Payload(None, work)
                    one.files = {"-": make_text(size, seed=size)}
                    add(f"infozip-stdin-{size}-{'crypt' if encrypt else 'plain'}{zip64}", one, encrypt,
                        lambda p, d=one.files["-"], e=encrypt, z=bool(zip64): write_infozip_stdin(d, p, e, z))

        # The archives really hold the boundary sizes, with the descriptors and methods intended.
        for name, path, payload, encrypted in archives:
            infos = zipfile.ZipFile(path).infolist()
            descriptors = {bool(i.flag_bits & 8) for i in infos if not i.is_dir()}
            if "stream" in name or "stdout" in name or "descriptors" in name or "stdin" in name:
                checks.equal(f"{name}: every entry has a data descriptor", descriptors, {True})
            # (libarchive stores empty files unencrypted.)
            checks.equal(f"{name}: encrypted", {bool(i.flag_bits & 1) for i in infos if i.file_size}, {encrypted})
            checks.equal(f"{name}: local Zip64 blocks", local_zip64_blocks(path), {name.endswith("-zip64")})
            for info in infos:
                if info.filename.startswith("c/"):
                    checks.equal(f"{name}: {info.filename} stream length", stream_length(info),
                                 int(info.filename[2:8]))

        for name, path, payload, encrypted in archives:
            expected = payload.files
            ours, failed = read_ours(zipextract, path, work / f"out-ours-{name}", encrypted)
            checks.equal(f"{name}: entries the zip module refused", failed, [])
            results = [("zip module", ours), ("zipfile", read_python(path, encrypted)),
                       ("unzip", read_unzip(path, work / f"out-unzip-{name}", encrypted))]
            if libarchive_reads(name):
                results.append(("libarchive", read_libarchive(path, work / f"out-libarchive-{name}", encrypted)))
            for reader, got in results:
                wrong = sorted(n for n in expected if got.get(n) != expected[n])
                extra = sorted(set(got) - set(expected))
                checks.equal(f"{name}: entries {reader} got wrong", wrong, [])
                checks.equal(f"{name}: entries only {reader} made", extra, [])
        print(f"{len(archives)} archives, {sum(len(a[2].files) for a in archives)} entries", flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    checks.finish()


if __name__ == "__main__":
    main()
