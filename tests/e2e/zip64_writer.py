"""Zip64 archives as Python's zipfile writes them with every Zip64 record
forced: a Zip64 block in each file entry's local header, a Zip64 end record
and its locator (zipfile writes these only where an archive needs them), and,
written to a stream it cannot seek in, data descriptors with 8-byte sizes.
The tests' fixtures (tests/data/zip/make_fixtures.py) use it too."""
import contextlib
import io
import zipfile


class NoSeek(io.RawIOBase):
    """A write-only stream without seek or tell: zipfile then writes data descriptors."""

    def __init__(self, target):
        self.target = target

    def writable(self):
        return True

    def write(self, data):
        return self.target.write(data)


@contextlib.contextmanager
def forced_zip64_end():
    """zipfile writes a Zip64 end record when the entries reach its count
    limit; with a limit of 0 it always does."""
    saved = zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP_FILECOUNT_LIMIT = 0
    try:
        yield
    finally:
        zipfile.ZIP_FILECOUNT_LIMIT = saved


def write_zip64(target, entries, compression=zipfile.ZIP_DEFLATED, stream=False):
    """Writes `entries`, (ZipInfo or name, bytes) each, a folder's name ending
    in '/', to the binary file object `target` (through NoSeek with `stream`)."""
    with forced_zip64_end(), zipfile.ZipFile(NoSeek(target) if stream else target, "w", compression) as z:
        for info, data in entries:
            if isinstance(info, zipfile.ZipInfo) and info.is_dir():
                z.writestr(info, b"")
                continue
            if isinstance(info, zipfile.ZipInfo):
                info.compress_type = compression
            with z.open(info, "w", force_zip64=True) as entry:
                entry.write(data)
