#!/usr/bin/env python3
"""Builds the archives the zip module's tests read.

Usage: make_fixtures.py OUTDIR

Good archives come from tools no one here wrote: Info-ZIP zip (deflated,
stored, traditional encryption, streamed output with data descriptors, an
archive adjusted to count its offsets from the start of a prefixed file) and
7-Zip (deflated, stored, ZipCrypto). They all pack the same tree, OUTDIR/src.

Damaged and unusual archives are written with Python's zipfile and then
patched field by field (a CRC, a size, a flag, a signature), or re-laid
(central records reordered or duplicated, a data descriptor's signature
dropped). Each one is small and named after what is wrong with it.

Zip64 archives of the same tree come from Python's zipfile (a Zip64 block
in every entry and a Zip64 end record, forced; with data descriptors of
8-byte sizes when written to a stream; after a stub), Info-ZIP zip -fz and
libarchive; zip64-beyond-4gib.zip puts the tree 4.5 GiB into a sparse file,
so that its offsets need Zip64. Hostile Zip64 values (a locator or offset
pointing outside the file, counts and sizes the file cannot hold, a Zip64
block shorter than its fields) are laid out byte by byte.

OUTDIR/seeds holds the small archives, the fuzz target's seed corpus.

A tool that is missing is reported and its archives are left out; the tests
that need them say so and skip.
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import warnings
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e"))
from zip64_writer import write_zip64  # noqa: E402  (shared with the end-to-end tests)

PASSWORD = "secret"
FIXED_TIME = (2021, 6, 15, 13, 45, 30)
# An arbitrary point in time for the source tree, so that every build makes
# the same DOS times.
TREE_MTIME = 1623764730  # 2021-06-15 13:45:30 UTC

# ----------------------------------------------------------------------------
# The source tree


def text_lines(rng, count):
    words = ["alpha", "beta", "gamma", "delta", "launcher", "archive", "folder", "entry", "zip"]
    return "".join(" ".join(rng.choice(words) for _ in range(8)) + "\n" for _ in range(count)).encode()


def make_tree(root):
    rng = random.Random(4)
    files = {
        "hello.txt": b"hello, world\n",
        "empty.txt": b"",
        "exact64k.bin": bytes(rng.getrandbits(8) for _ in range(65536)),
        "text/long.txt": text_lines(rng, 4000),
        "text/deep/nested/note.txt": b"nested\n" * 100,
        "bin/random.bin": bytes(rng.getrandbits(8) for _ in range(200000)),
        "bin/tool.sh": b"#!/bin/sh\necho tool\n",
        "locked.txt": b"read-only\n",
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(root, "emptydir"), exist_ok=True)
    os.chmod(os.path.join(root, "bin/tool.sh"), 0o755)
    os.chmod(os.path.join(root, "locked.txt"), 0o444)
    for dirpath, dirnames, filenames in os.walk(root):
        for name in filenames + dirnames:
            os.utime(os.path.join(dirpath, name), (TREE_MTIME, TREE_MTIME))
    return sorted(["hello.txt", "empty.txt", "exact64k.bin", "text", "bin", "locked.txt", "emptydir"])


# ----------------------------------------------------------------------------
# Archives made by the tools


def have(tool):
    if shutil.which(tool) is None:
        print(f"make_fixtures: {tool} not found, its archives are left out", file=sys.stderr)
        return False
    return True


def run(cmd, cwd, stdout=subprocess.DEVNULL):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=stdout)


def tool_archives(out, src, top):
    if have("zip"):
        run(["zip", "-q", "-r", f"{out}/infozip-deflate.zip"] + top, src)
        run(["zip", "-q", "-r", "-0", f"{out}/infozip-stored.zip"] + top, src)
        run(["zip", "-q", "-r", "-P", PASSWORD, f"{out}/infozip-crypt.zip"] + top, src)
        run(["zip", "-q", "-r", "-0", "-P", PASSWORD, f"{out}/infozip-crypt-stored.zip"] + top, src)
        # Written to a pipe, zip cannot go back to fill in sizes: every file
        # entry gets a data descriptor.
        with open(f"{out}/infozip-stream.zip", "wb") as f:
            run(["zip", "-q", "-r", "-"] + top, src, stdout=f)
        with open(f"{out}/infozip-stream-crypt.zip", "wb") as f:
            run(["zip", "-q", "-r", "-P", PASSWORD, "-"] + top, src, stdout=f)
        # A self-extractor's layout: other bytes first, and zip -A makes the
        # offsets count from the start of the whole file.
        prefix = b"MZ" + bytes(random.Random(9).getrandbits(8) for _ in range(4094))
        with open(f"{out}/infozip-deflate.zip", "rb") as f:
            body = f.read()
        with open(f"{out}/infozip-adjusted.exe", "wb") as f:
            f.write(prefix + body)
        run(["zip", "-q", "-A", f"{out}/infozip-adjusted.exe"], src)
    if have("7z"):
        run(["7z", "a", "-tzip", "-bd", f"{out}/7z-deflate.zip"] + top, src)
        run(["7z", "a", "-tzip", "-bd", "-mx=0", f"{out}/7z-stored.zip"] + top, src)
        run(["7z", "a", "-tzip", "-bd", "-mem=ZipCrypto", f"-p{PASSWORD}", f"{out}/7z-crypt.zip"] + top, src)


# ----------------------------------------------------------------------------
# Crafted archives: written with zipfile, then patched

CENTRAL = {"sig": (0, "I"), "made_by": (4, "H"), "flag": (8, "H"), "method": (10, "H"), "time": (12, "H"),
           "crc": (16, "I"), "csize": (20, "I"), "usize": (24, "I"), "name_len": (28, "H"),
           "volume": (34, "H"), "external": (38, "I"), "offset": (42, "I")}
LOCAL = {"sig": (0, "I"), "flag": (6, "H"), "method": (8, "H"), "crc": (14, "I"), "csize": (18, "I"),
         "usize": (22, "I"), "name_len": (26, "H")}
END = {"this_volume": (4, "H"), "dir_volume": (6, "H"), "volume_entries": (8, "H"), "entries": (10, "H"),
       "dir_size": (12, "I"), "dir_offset": (16, "I")}


class Zip:
    """The bytes of an archive with the positions of its records."""

    def __init__(self, data):
        self.data = bytearray(data)
        # The real end record: its comment runs exactly to the end of the data.
        self.end = len(self.data)
        while True:
            self.end = self.data.rfind(b"PK\x05\x06", 0, self.end)
            if self.end < 0:
                raise ValueError("no end record")
            if self.end + 22 <= len(self.data) and \
                    self.end + 22 + struct.unpack_from("<H", self.data, self.end + 20)[0] == len(self.data):
                break
        entries, self.dir_size, self.dir_offset = struct.unpack_from("<HII", self.data, self.end + 10)
        self.central = []  # offsets of the central records, in directory order
        pos = self.dir_offset
        for _ in range(entries):
            self.central.append(pos)
            n, m, k = struct.unpack_from("<HHH", self.data, pos + 28)
            pos += 46 + n + m + k

    def _field(self, table, base, field, value):
        offset, fmt = table[field]
        if value is None:
            return struct.unpack_from("<" + fmt, self.data, base + offset)[0]
        struct.pack_into("<" + fmt, self.data, base + offset, value)
        return value

    def central_field(self, i, field, value=None):
        return self._field(CENTRAL, self.central[i], field, value)

    def local(self, i):
        return self.central_field(i, "offset")

    def local_field(self, i, field, value=None):
        return self._field(LOCAL, self.local(i), field, value)

    def both(self, i, field, value):
        self.central_field(i, field, value)
        self.local_field(i, field, value)

    def end_field(self, field, value=None):
        return self._field(END, self.end, field, value)

    def data_offset(self, i):
        n, m = struct.unpack_from("<HH", self.data, self.local(i) + 26)
        return self.local(i) + 30 + n + m

    def index(self, name):
        for i, pos in enumerate(self.central):
            n = struct.unpack_from("<H", self.data, pos + 28)[0]
            if bytes(self.data[pos + 46:pos + 46 + n]) == name.encode():
                return i
        raise KeyError(name)

    def replace_name_byte(self, i, old, new):
        """Changes one byte of the name in both headers."""
        for base in (self.central[i] + 46, self.local(i) + 30):
            n = self.central_field(i, "name_len")
            at = self.data.index(old, base, base + n)
            self.data[at] = new[0]

    def central_records(self):
        bounds = self.central + [self.dir_offset + self.dir_size]
        return [bytes(self.data[bounds[k]:bounds[k + 1]]) for k in range(len(self.central))]

    def with_central(self, records):
        """The archive with its central directory replaced by `records`."""
        head = bytes(self.data[:self.dir_offset])
        tail = bytearray(self.data[self.end:])
        directory = b"".join(records)
        struct.pack_into("<HHI", tail, 8, len(records), len(records), len(directory))
        return Zip(head + directory + bytes(tail))

    def save(self, path):
        with open(path, "wb") as f:
            f.write(self.data)


class Unseekable(io.RawIOBase):
    """An output zipfile cannot seek in, so it writes data descriptors."""

    def __init__(self):
        self.buffer = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.buffer += b
        return len(b)


def info(name, system=3, external=0o100644 << 16, when=FIXED_TIME):
    zi = zipfile.ZipInfo(name, when)
    zi.create_system = system
    zi.external_attr = external
    return zi


def build(entries, comment=b"", stream=False):
    """entries: (ZipInfo or name, data, method)."""
    out = Unseekable() if stream else io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for zi, data, method in entries:
            if isinstance(zi, str):
                zi = info(zi)
            zi.compress_type = method
            z.writestr(zi, data)
        z.comment = comment
    return Zip(out.buffer if stream else out.getvalue())


STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
LATER = ("later.txt", b"after the damaged entry\n", STORED)


def crafted(out):
    rng = random.Random(7)
    text = text_lines(rng, 200)

    # Attributes of every supported system family, and of unsupported ones.
    z = build([
        (info("unix/tool", 3, 0o100755 << 16), b"#!/bin/sh\n", STORED),
        (info("unix/readonly.txt", 3, 0o100444 << 16), b"ro\n", STORED),
        (info("unix/folder/", 3, 0x41ED0010), b"", STORED),
        (info("unix/zero", 3, 0), b"zero\n", STORED),
        (info("unix/zerofolder/", 3, 0), b"", STORED),
        (info("dos/readonly.txt", 0, 0x21), b"dos\n", STORED),
        (info("dos/folder/", 0, 0x10), b"", STORED),
        (info("os2/file.txt", 6, 0x20), b"os2\n", STORED),
        (info("mac/file.txt", 7, 0x25), b"mac\n", STORED),
        (info("ntfs/hidden.txt", 10, 0x22), b"ntfs\n", STORED),
        (info("amiga/file.txt", 1, 0x12345678), b"amiga\n", STORED),
        (info("amiga/folder/", 1, 0), b"", STORED),
        (info("future/file.txt", 19, 0x20), b"future\n", STORED),
    ])
    for name in ("unix/zero", "unix/zerofolder/", "amiga/folder/"):
        z.central_field(z.index(name), "external", 0)
    z.save(f"{out}/families.zip")

    # The central directory in the reverse order of the data.
    z = build([("first.txt", b"1\n", STORED), ("second.txt", b"22\n", DEFLATED), ("third.txt", b"333\n", STORED)])
    z.with_central(list(reversed(z.central_records()))).save(f"{out}/reordered.zip")

    # Two central records for the same local header.
    z = build([("one.txt", b"one\n", STORED), ("two.txt", b"two\n", STORED)])
    records = z.central_records()
    z.with_central(records + [records[0]]).save(f"{out}/duplicate-offset.zip")

    # Names: '/' separators, a folder by its trailing separator, a DOS name
    # in the OEM code page (0x81 is u-umlaut there).
    z = build([(info("dir/sub/file.txt", 0, 0x20), b"file\n", STORED), (info("dir/Xber.txt", 0, 0x20), b"oem\n", STORED)])
    z.replace_name_byte(1, b"X", b"\x81")
    z.save(f"{out}/names.zip")

    # Comments: the end record signature inside the comment wins.
    z = build([("real.txt", b"real\n", STORED)],
              comment=b"note " + b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 0, 0, 0, 0, 0) + b" tail")
    z.save(f"{out}/comment-end-record.zip")
    build([("real.txt", b"real\n", STORED)], comment=b"cut " + b"PK\x05\x06" + b"short").save(f"{out}/comment-short-record.zip")
    # The end record at the farthest place the search looks.
    build([("far.txt", b"far\n", STORED)], comment=b"c" * 65535).save(f"{out}/comment-max.zip")
    # The signature k bytes before the start of the last 32768-byte window.
    for k in range(5):
        build([("window.txt", b"window\n", STORED)], comment=b"w" * (32746 + k)).save(f"{out}/window-{k}.zip")

    build([]).save(f"{out}/empty.zip")

    # The end record's numbers.
    z = build([("a.txt", b"a\n", STORED)])
    z.end_field("this_volume", 1)
    z.save(f"{out}/end-volume.zip")
    z = build([("a.txt", b"a\n", STORED)])
    z.end_field("dir_size", 0)
    z.save(f"{out}/end-size-zero.zip")
    z = build([("a.txt", b"a\n", STORED)])
    z.end_field("entries", 0)
    z.end_field("volume_entries", 0)
    z.save(f"{out}/end-entries-zero.zip")
    z = build([("a.txt", b"a\n", STORED)])
    z.end_field("dir_offset", z.end_field("dir_offset") + 100)
    z.save(f"{out}/end-past-record.zip")
    z = build([("a.txt", b"a\n", STORED), ("b.txt", b"b\n", STORED)])
    z.central_field(1, "sig", 0x02014B51)
    z.save(f"{out}/central-signature.zip")

    # Local headers that disagree with the central ones, one way each, with
    # good entries between them.
    z = build([(n, f"{n}\n".encode(), STORED) for n in
               ("signature.txt", "flags.txt", "method.txt", "namelen.txt", "crc.txt", "samelen.txt", "ok.txt",
                "volume.txt")])
    z.local_field(z.index("signature.txt"), "sig", 0x04034B51)
    z.local_field(z.index("flags.txt"), "flag", 0x0002)
    z.local_field(z.index("method.txt"), "method", 8)
    z.local_field(z.index("namelen.txt"), "name_len", 12)
    z.local_field(z.index("crc.txt"), "crc", 0x12345678)
    z.data[z.local(z.index("samelen.txt")) + 30] = ord("S")  # only the local name changes
    z.central_field(z.index("volume.txt"), "volume", 1)
    z.save(f"{out}/local-damage.zip")

    # Sizes no data can have: refused before any output.
    z = build([("stored-short.txt", b"0123456789", STORED), ("stored-long.txt", b"0123456789", STORED),
               ("crypt-short.txt", b"01234", STORED), ("ok.txt", b"ok\n", STORED)])
    z.both(0, "csize", 9)
    z.both(1, "csize", 11)
    z.both(2, "flag", 0x0001)
    z.save(f"{out}/size-damage.zip")

    # Data errors: each leaves its entry open, so one per archive, followed
    # by a good file and a folder.
    def damaged(name, data, method, patch):
        z = build([("damaged.bin", data, method), LATER, (info("laterdir/", 3, 0x41ED0010), b"", STORED)])
        patch(z)
        z.save(f"{out}/{name}")

    damaged("bad-crc.zip", text, STORED, lambda z: z.both(0, "crc", z.central_field(0, "crc") ^ 0x1))

    def truncate(z):
        z.both(0, "csize", z.central_field(0, "csize") // 2)
    damaged("truncated.zip", text, DEFLATED, truncate)

    def corrupt(z):
        z.data[z.data_offset(0)] = 0xFF  # final block of the reserved type 3
    damaged("bad-data.zip", text, DEFLATED, corrupt)

    def short_output(z):
        z.both(0, "usize", z.central_field(0, "usize") + 100)
    damaged("short-output.zip", text, DEFLATED, short_output)

    def surplus_output(z):
        z.both(0, "usize", z.central_field(0, "usize") - 100)
    damaged("surplus-output.zip", text, DEFLATED, surplus_output)

    damaged("method12.zip", text, zipfile.ZIP_BZIP2, lambda z: None)

    # Data descriptors: with signature (as zipfile writes them), without, and
    # one that disagrees with the central header.
    z = build([("desc.txt", text, DEFLATED)], stream=True)
    z.save(f"{out}/descriptor-signature.zip")
    at = z.data_offset(0) + z.central_field(0, "csize")
    assert z.data[at:at + 4] == b"PK\x07\x08"
    nosig = Zip(bytes(z.data[:at]) + bytes(z.data[at + 4:]))
    nosig.end_field("dir_offset", nosig.end_field("dir_offset") - 4)
    Zip(nosig.data).save(f"{out}/descriptor-plain.zip")
    z = build([("desc.txt", text, DEFLATED), LATER], stream=True)
    at = z.data_offset(0) + z.central_field(0, "csize")
    struct.pack_into("<I", z.data, at + 4, z.central_field(0, "crc") ^ 0x100)
    z.save(f"{out}/descriptor-mismatch.zip")

    # Names that must not leave the target folder, between good ones.
    build([("first.txt", b"first\n", STORED), ("../escape.txt", b"x", STORED),
           ("a/../../escape2.txt", b"x", STORED), ("/absolute.txt", b"x", STORED),
           ("C:/drive.txt", b"x", STORED), ("dots/.../x.txt", b"x", STORED), (info("../escapedir/", 3, 0x41ED0010), b"", STORED),
           ("last.txt", b"last\n", STORED)]).save(f"{out}/hostile.zip")

    # Names longer than the path splitter takes.
    build([("f" * 256 + ".txt", b"long\n", STORED), ("d" * 256 + "/x.txt", b"long\n", STORED),
           ("short.txt", b"short\n", STORED)]).save(f"{out}/long-names.zip")

    # Pieces for the progress callback: empty, exactly one buffer, several.
    build([("empty.txt", b"", STORED), ("exact.bin", bytes(rng.getrandbits(8) for _ in range(65536)), STORED),
           ("several.bin", bytes(rng.getrandbits(8) for _ in range(3 * 65536 + 3392)), DEFLATED),
           (info("folder/", 3, 0x41ED0010), b"", STORED), ("tail.txt", b"tail\n", STORED)]).save(f"{out}/pieces.zip")
    build([("several.bin", bytes(rng.getrandbits(8) for _ in range(3 * 65536 + 3392)), DEFLATED), LATER],
          stream=True).save(f"{out}/pieces-stream.zip")

    # Many files in a few folders, some of them nested: what extraction
    # costs per file in calls to the file system.
    entries = []
    for folder in ("a/", "b/", "b/c/", "d/e/f/"):
        entries.append((info(folder, 3, 0x41ED0010), b"", STORED))
        for i in range(10):
            entries.append((info(f"{folder}{i}.txt", 3, 0o100644 << 16), f"{folder}{i}\n".encode() * 50, DEFLATED))
    build(entries).save(f"{out}/many.zip")

    # Names that meet: a name twice (the later entry wins), names that
    # differ in case only (one file where case does not matter), and a file
    # in the way of a folder.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # zipfile warns of the duplicate name
        build([("same.txt", b"first\n", STORED), ("other.txt", b"other\n", DEFLATED),
               ("same.txt", b"second\n", DEFLATED), ("Case.txt", b"upper\n", STORED),
               ("case.txt", b"lower\n", STORED), ("file", b"a file\n", STORED),
               ("file/inner.txt", b"inner\n", STORED), ("z.txt", b"z\n" * 40000, DEFLATED)]).save(f"{out}/meeting-names.zip")


# ----------------------------------------------------------------------------
# Zip64


def tree_entries(src):
    """(relative name, path) of every folder ('/' at the end) and file under src, sorted."""
    found = []
    for dirpath, dirnames, filenames in os.walk(src):
        for name in dirnames:
            found.append((os.path.relpath(os.path.join(dirpath, name), src) + "/", os.path.join(dirpath, name)))
        for name in filenames:
            found.append((os.path.relpath(os.path.join(dirpath, name), src), os.path.join(dirpath, name)))
    return sorted(found)


def write_zip64_tree(src, path, stream_path, only=None):
    """The tree (or the names in `only`) into `path` with every Zip64 record
    forced (see tests/e2e/zip64_writer.py), and so into `stream_path` written
    to a stream, which gives data descriptors with 8-byte sizes."""
    entries = [(zipfile.ZipInfo.from_file(full, name), b"" if name.endswith("/") else open(full, "rb").read())
               for name, full in tree_entries(src) if only is None or name.rstrip("/") in only]
    for target, stream in ((path, False), (stream_path, True)):
        with open(target, "wb") as f:
            write_zip64(f, entries, stream=stream)


def le16(v):
    return struct.pack("<H", v)


def le32(v):
    return struct.pack("<I", v)


def le64(v):
    return struct.pack("<Q", v)


def zip64_block(*values):
    return le16(1) + le16(8 * len(values)) + b"".join(le64(v) for v in values)


def raw_local(name, data, csize, usize, extra=b""):
    """A stored entry's local header and data; csize/usize as the 32-bit fields hold them."""
    return (le32(0x04034B50) + le16(45) + le16(0) + le16(0) + le32(0x52CF0000) + le32(zlib.crc32(data)) +
            le32(csize) + le32(usize) + le16(len(name)) + le16(len(extra)) + name.encode() + extra + data)


def raw_central(name, data, csize, usize, offset, extra=b""):
    return (le32(0x02014B50) + le16((3 << 8) | 45) + le16(45) + le16(0) + le16(0) + le32(0x52CF0000) +
            le32(zlib.crc32(data)) + le32(csize) + le32(usize) + le16(len(name)) + le16(len(extra)) + le16(0) +
            le16(0) + le16(0) + le32(0o100644 << 16) + le32(offset) + name.encode() + extra)


def raw_ends(count, dir_offset, dir_size, end64_at, entries64=None, dir_offset64=None, locator_offset=None,
             record=True):
    """A Zip64 end record at end64_at (where the directory ends; left out
    without `record`), its locator and the end record."""
    zip64_end = (le32(0x06064B50) + le64(44) + le16((3 << 8) | 45) + le16(45) + le32(0) + le32(0) +
              le64(count) + le64(count if entries64 is None else entries64) + le64(dir_size) +
              le64(dir_offset if dir_offset64 is None else dir_offset64))
    locator = le32(0x07064B50) + le32(0) + le64(end64_at if locator_offset is None else locator_offset) + le32(1)
    end = (le32(0x06054B50) + le16(0) + le16(0) + le16(0xFFFF) + le16(0xFFFF) + le32(0xFFFFFFFF) +
           le32(0xFFFFFFFF) + le16(0))
    return (zip64_end if record else b"") + locator + end


def raw_zip64(entries, **ends):
    """entries: (name, data, local extra or None for a plain local header,
    central fields) where central fields is a dict of 32-bit values to put
    (csize, usize, offset) and 'extra'. Returns the archive bytes."""
    body, directory = b"", b""
    for name, data, local_extra, central in entries:
        offset = len(body)
        if local_extra is None:
            body += raw_local(name, data, len(data), len(data))
        else:
            body += raw_local(name, data, 0xFFFFFFFF, 0xFFFFFFFF, local_extra)
        directory += raw_central(name, data, central.get("csize", len(data)), central.get("usize", len(data)),
                                 central.get("offset", offset), central.get("extra", b""))
    return body + directory + raw_ends(len(entries), len(body), len(directory), len(body) + len(directory), **ends)


BEYOND_4GIB = 9 << 29  # 4.5 GiB


def zip64_archives(out, src, top):
    write_zip64_tree(src, f"{out}/zip64-python.zip", f"{out}/zip64-python-stream.zip")
    # After a stub, with offsets that count from the start of the archive.
    with open(f"{out}/zip64-python.zip", "rb") as f:
        body = f.read()
    with open(f"{out}/zip64-python-prefixed.exe", "wb") as f:
        f.write(b"MZ" + bytes(random.Random(11).getrandbits(8) for _ in range(7000)) + body)
    # 4.5 GiB of nothing (a hole in a sparse file) before the archive, whose
    # offsets count from the start of the file: every one needs Zip64.
    with open(f"{out}/zip64-beyond-4gib.zip", "wb") as f:
        f.seek(BEYOND_4GIB)
        with zipfile.ZipFile(f, "w", zipfile.ZIP_DEFLATED) as z:
            for name, path in tree_entries(src):
                z.write(path, name)
    if have("zip"):
        run(["zip", "-q", "-r", "-fz", f"{out}/zip64-infozip.zip"] + top, src)
    if have("bsdtar"):
        run(["bsdtar", "--format", "zip", "--options", "zip:zip64", "-cf", f"{out}/zip64-libarchive.zip"] + top, src)

    # A locator whose offset is wrong, while the Zip64 end record stands
    # right before it: read, as other readers read it.
    one = [("a.txt", b"a\n", None, {})]
    for name, ends in (("locator-beyond", {"locator_offset": 1 << 40}), ("locator-elsewhere", {"locator_offset": 0})):
        with open(f"{out}/zip64-{name}.zip", "wb") as f:
            f.write(raw_zip64(one, **ends))
    # Hostile values, each refused: the archive does not open ...
    for name, ends in (("locator-nowhere", {"locator_offset": 1 << 40, "record": False}),  # no Zip64 end record
                       ("directory-beyond", {"dir_offset64": 1 << 40}),
                       ("entries-beyond", {"entries64": 1 << 40})):  # more headers than the directory holds
        with open(f"{out}/zip64-{name}.zip", "wb") as f:
            f.write(raw_zip64(one, **ends))
    # ... a central Zip64 block shorter than the fields whose 32-bit values hold all ones:
    with open(f"{out}/zip64-central-short.zip", "wb") as f:
        f.write(raw_zip64([("a.txt", b"a\n", None, {"csize": 0xFFFFFFFF, "usize": 0xFFFFFFFF,
                                                      "extra": zip64_block(2)})]))
    # ... or an entry fails (the others come out): a local Zip64 block that
    # lacks the compressed size, a local header beyond the file, sizes the
    # file cannot hold (the output stops where the data does).
    with open(f"{out}/zip64-entry-damage.zip", "wb") as f:
        f.write(raw_zip64([("local-short.txt", b"short\n", zip64_block(6), {}), ("good1.txt", b"good\n", None, {}),
                           ("offset-beyond.txt", b"far\n", None, {"offset": 0xFFFFFFFF, "extra": zip64_block(1 << 40)}),
                           ("good2.txt", b"good\n", None, {})]))
    data = b"beyond\n" * 1000
    with open(f"{out}/zip64-sizes-beyond.zip", "wb") as f:
        f.write(raw_zip64([("sizes-beyond.txt", data, zip64_block(1 << 40, 1 << 40),
                            {"csize": 0xFFFFFFFF, "usize": 0xFFFFFFFF, "extra": zip64_block(1 << 40, 1 << 40)}),
                           ("later.txt", b"later\n", None, {})]))


def seeds(out, src):
    """Small archives for the fuzz target to start from: the crafted ones that
    are small, and tool-made ones of a few files."""
    folder = os.path.join(out, "seeds")
    os.makedirs(folder)
    few = ["hello.txt", "text/deep/nested/note.txt", "emptydir"]
    if shutil.which("zip"):
        run(["zip", "-q", "-r", f"{folder}/infozip.zip"] + few, src)
        run(["zip", "-q", "-r", "-P", PASSWORD, f"{folder}/infozip-crypt.zip"] + few, src)
        with open(f"{folder}/infozip-stream-crypt.zip", "wb") as f:
            run(["zip", "-q", "-r", "-P", PASSWORD, "-"] + few, src, stdout=f)
        run(["zip", "-q", "-r", "-fz", f"{folder}/infozip-zip64.zip"] + few, src)
    if shutil.which("7z"):
        run(["7z", "a", "-tzip", "-bd", "-mem=ZipCrypto", f"-p{PASSWORD}", f"{folder}/7z-crypt.zip"] + few, src)
    # Zip64 blocks and end records, and 8-byte data descriptors.
    write_zip64_tree(src, f"{folder}/python-zip64.zip", f"{folder}/python-zip64-stream.zip", only=few)
    for name in sorted(os.listdir(out)):
        path = os.path.join(out, name)
        if name.endswith(".zip") and os.path.getsize(path) <= 16384:
            shutil.copy(path, folder)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    src = os.path.join(out, "src")
    top = make_tree(src)
    tool_archives(out, src, top)
    crafted(out)
    zip64_archives(out, src, top)
    seeds(out, src)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("done\n")


if __name__ == "__main__":
    main()
