"""A small ZIP writer that lets every field be set by hand, for archives that no honest tool writes."""

import struct
import zlib

UNIX = 3


class Entry:
    def __init__(self, name, data=b"", method=8, **fields):
        self.name = name.encode("utf-8") if isinstance(name, str) else name
        self.data = data
        self.method = method
        self.payload = zlib.compress(data, 9)[2:-4] if method == 8 else data
        self.flags = 0
        self.crc = zlib.crc32(data)
        self.compressed_size = len(self.payload)
        self.size = len(data)
        self.made_by = 20
        self.external = 0
        self.central_extra = b""
        self.local_extra = b""
        self.local = {}  # fields of the local header that differ from the central ones
        self.offset = None  # the local header offset that the central directory gives
        self.skip_local = False  # no local header nor data of its own
        for key, value in fields.items():
            setattr(self, key, value)


def zip64_extra(*values):
    return struct.pack("<HH", 1, 8 * len(values)) + b"".join(struct.pack("<Q", v) for v in values)


def build(entries, comment=b"", count=None, directory_offset=None, zip64_end=None):
    """Writes the entries, their central directory and end record. zip64_end, a dict, adds a ZIP64
    end record and locator with those values (count, size, offset)."""
    out = bytearray()
    offsets = []
    for e in entries:
        offsets.append(len(out))
        if e.skip_local:
            continue
        f = dict(name=e.name, flags=e.flags, method=e.method, crc=e.crc,
                 compressed_size=e.compressed_size, size=e.size, extra=e.local_extra)
        f.update(e.local)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, f["flags"], f["method"], 0, 0x21,
                           f["crc"], f["compressed_size"] & 0xFFFFFFFF, f["size"] & 0xFFFFFFFF,
                           len(f["name"]), len(f["extra"]))
        out += f["name"] + f["extra"] + e.payload
    start = len(out)
    for e, offset in zip(entries, offsets):
        offset = e.offset if e.offset is not None else offset
        out += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.made_by, 20, e.flags, e.method, 0, 0x21,
                           e.crc, e.compressed_size & 0xFFFFFFFF, e.size & 0xFFFFFFFF, len(e.name),
                           len(e.central_extra), 0, 0, 0, e.external, offset & 0xFFFFFFFF)
        out += e.name + e.central_extra
    size = len(out) - start
    n = len(entries) if count is None else count
    where = start if directory_offset is None else directory_offset
    if zip64_end is not None:
        end64 = len(out)
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, zip64_end.get("count", n),
                           zip64_end.get("count", n), zip64_end.get("size", size), zip64_end.get("offset", where))
        out += struct.pack("<IIQI", 0x07064B50, 0, end64, 1)
    narrow = (n & 0xFFFF, size & 0xFFFFFFFF, where & 0xFFFFFFFF)
    if zip64_end is not None:
        narrow = (zip64_end.get("narrow_count", 0xFFFF), 0xFFFFFFFF, 0xFFFFFFFF)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, narrow[0], narrow[0], narrow[1], narrow[2], len(comment))
    return bytes(out + comment)
