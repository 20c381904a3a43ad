"""The two forms of a launcher's archive offsets: from the start of the whole
file (what sfxpack writes, and what `zip -A` makes of the other form) and
from the start of the archive (what sfxpack wrote before; the stub reads
both)."""
import pathlib
import struct


def archive_relative(source, target):
    """Writes `source` to `target` with every central-directory offset and the
    end record's directory offset counted from the archive's first local
    header instead of the file's first byte."""
    data = bytearray(pathlib.Path(source).read_bytes())
    end = data.rindex(b"PK\x05\x06")
    count, _, directory = struct.unpack_from("<HII", data, end + 10)
    position, headers = directory, []
    for _ in range(count):
        assert data[position:position + 4] == b"PK\x01\x02"
        name, extra, comment = struct.unpack_from("<HHH", data, position + 28)
        headers.append(position)
        position += 46 + name + extra + comment
    base = min(struct.unpack_from("<I", data, h + 42)[0] for h in headers)
    for h in headers:
        (local,) = struct.unpack_from("<I", data, h + 42)
        struct.pack_into("<I", data, h + 42, local - base)
    struct.pack_into("<I", data, end + 16, directory - base)
    pathlib.Path(target).write_bytes(bytes(data))
    pathlib.Path(target).chmod(0o755)
    return pathlib.Path(target)
