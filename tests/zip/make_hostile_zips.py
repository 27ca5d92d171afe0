#!/usr/bin/env python3
"""Writes the hostile archives into the folder given: one NAME.zip per case. Each must fail to unpack
cleanly, with nothing written. The tests hold the table of cases and the reason each must give."""

import io
import os
import sys
import zipfile
import zlib

from zipbuild import UNIX, Entry, build, zip64_extra

GOOD = Entry("good.txt", b"a good file\n" * 50)


def good_archive():
    return build([Entry("first.txt", b"first\n" * 100), Entry("dir/second.txt", b"second\n" * 100)])


def truncations():
    """A sound archive cut inside each of its regions."""
    first = Entry("first.txt", b"first\n" * 100)
    second = Entry("second.txt", b"second\n" * 100)
    data = build([first, second], comment=b"a comment")
    local_end = 30 + len(first.name)
    directory = data.index(b"PK\x01\x02")
    end = data.index(b"PK\x05\x06")
    return {
        "truncated_empty": b"",
        "truncated_in_local_header": data[:10],
        "truncated_in_data": data[: local_end + 5],
        "truncated_before_directory": data[:directory],
        "truncated_in_directory": data[: directory + 20],
        "truncated_in_end_record": data[: end + 10],
        "truncated_in_comment": data[:-3],
    }


def overlapping_bomb():
    """Many central entries sharing one compressed payload: the data of each overlaps the others."""
    kernel = Entry("0", b"\0" * 1000000)
    entries = [kernel]
    for i in range(1, 20):
        entries.append(Entry(str(i), kernel.data, offset=0, skip_local=True))
    return build(entries)


def lying_zip64_offset():
    e = Entry("a.txt", b"hello\n", central_extra=zip64_extra(1 << 40))
    e.offset = 0xFFFFFFFF
    return build([e])


def damaged_stream():
    e = Entry("damaged.txt", bytes(range(256)) * 400)
    payload = bytearray(e.payload)
    for i in range(len(payload) // 2, len(payload) // 2 + 40):
        payload[i] ^= 0x5A
    e.payload = bytes(payload)
    return build([GOOD, e])


def planted_journal():
    """An entry named like a journal of unpacking, whose lines name files outside the folder."""
    lines = ".vzpart-7ffffff0-00000000\t.vzold-7ffffff0-00000001\t../victim/config.ini\n" \
            ".vzpart-7ffffff0-00000002\t-\t../victim/precious.txt\n"
    return build([Entry(".vzjournal-7ffffff0-00000000", lines.encode()), Entry("payload.txt", b"payload")])


def own_name_by_zipfile():
    """The same kind of name, written by Python's zipfile into a sub-folder."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("payload.txt", b"payload")
        z.writestr("bin/.vzold-0123456789abcdef-00000000", b"moved aside")
    return out.getvalue()


# Names that unpacking keeps for its own files in the folder, at the top, in sub-folders, as folders,
# in other letter cases and after a backslash.
OWN_NAMES = [
    ".vzpart-0123456789abcdef-00000001",
    ".vzold-0123456789abcdef-00000000",
    ".vzlock-0123456789abcdef",
    "dir/sub/.vzjournal-0123456789abcdef-00000000",
    "dir/.VZPart-x",
    ".VzLoCk-",
    "dir/.vzold-folder/inner.txt",
    "dir\\.vzjournal-7ffffff0-00000000",
]


def cases():
    yield "own_name_journal", planted_journal()
    yield "own_name_zipfile", own_name_by_zipfile()
    for i, name in enumerate(OWN_NAMES):
        yield "own_name_%d" % i, build([GOOD, Entry(name, b"planted")])
    # 32,000 components: a 64 KB name, as long as ZIP allows; and 2,000 longer ones, which fit a
    # Windows path but no file system's.
    yield "deep_name", build([GOOD, Entry("a/" * 32000 + "x.txt", b"deep")])
    yield "deep_name_on_disk", build([GOOD, Entry("abcdefghijklmno/" * 2000 + "x.txt", b"deep")])
    yield "dotdot", build([GOOD, Entry("../evil.txt", b"evil")])
    yield "dotdot_inner", build([GOOD, Entry("a/b/../../../evil.txt", b"evil")])
    yield "backslash_climb", build([GOOD, Entry("..\\..\\evil.txt", b"evil")])
    yield "absolute", build([GOOD, Entry("/tmp/velacorte-evil.txt", b"evil")])
    yield "absolute_backslash", build([GOOD, Entry("\\windows\\evil.txt", b"evil")])
    yield "drive", build([GOOD, Entry("C:/evil.txt", b"evil")])
    yield "drive_relative", build([GOOD, Entry("c:evil.txt", b"evil")])
    yield "nul_in_name", build([GOOD, Entry(b"evil.txt\0.dll", b"evil")])
    yield "control_in_name", build([GOOD, Entry(b"evil\x07.txt", b"evil")])
    yield "forbidden_character", build([GOOD, Entry("what?.txt", b"evil")])
    yield "stream_name", build([GOOD, Entry("good.txt:hidden", b"evil")])
    yield "device_name", build([GOOD, Entry("dir/con.txt", b"evil")])
    for i, device in enumerate(["COM\u00b9.txt", "lpt\u00b3", "CONIN$", "conout$.log", "Com9.dll", "nul .txt", "Aux"]):
        yield "device_name_%d" % i, build([GOOD, Entry("dir/" + device, b"evil", flags=0x800)])
    yield "trailing_dot", build([GOOD, Entry("evil.dll.", b"evil")])
    yield "invalid_utf8", build([GOOD, Entry(b"caf\xc3(.txt", b"x", flags=0x800)])
    yield "symlink", build([GOOD, Entry("link", b"/etc", method=0, made_by=UNIX << 8 | 30,
                                        external=0o120777 << 16)])
    yield "symlink_then_file", build([Entry("link", b"..", method=0, made_by=UNIX << 8 | 30,
                                            external=0o120777 << 16), Entry("link/evil.txt", b"evil")])
    yield "duplicate", build([GOOD, Entry("good.txt", b"other")])
    yield "duplicate_case", build([GOOD, Entry("GOOD.TXT", b"other")])
    # Names that NTFS takes for one: the second would silently replace the first.
    pairs = [("Ação.txt", "AÇÃO.txt"), ("ΣΟΦΙΑ/x", "σοφια/x"), ("Дом.txt", "дОМ.txt"), ("Straẞe", "straße"),
             ("ǅ.txt", "ǆ.txt")]
    for i, (first, second) in enumerate(pairs):
        yield "duplicate_case_unicode_%d" % i, build([Entry(first, b"first", flags=0x800),
                                                      Entry(second, b"second", flags=0x800)])
    yield "file_and_folder", build([GOOD, Entry("good.txt/inner.txt", b"inner")])
    yield "overlap", build([GOOD, Entry("copy.txt", GOOD.data, offset=0, skip_local=True)])
    yield "overlap_bomb", overlapping_bomb()
    yield "local_name_differs", build([GOOD, Entry("a.txt", b"text", local={"name": b"b.txt"})])
    yield "local_size_differs", build([GOOD, Entry("a.txt", b"text" * 10, local={"size": 7})])
    yield "local_method_differs", build([GOOD, Entry("a.txt", b"text" * 10, local={"method": 0})])
    yield "local_header_missing", build([GOOD, Entry("a.txt", b"text", offset=3)])
    yield "wrong_crc", build([GOOD, Entry("a.txt", b"text" * 10, crc=0x12345678,
                                          local={"crc": 0x12345678})])
    yield "damaged_stream", damaged_stream()
    yield from truncations().items()
    bomb = b"\0" * 10_000_000
    yield "bomb_lying_size", build([GOOD, Entry("bomb.bin", bomb, size=1000, crc=zlib.crc32(bomb[:1000]))])
    yield "bomb_declared", build([GOOD, Entry("bomb.bin", bomb, size=0xFFFFFFFF, central_extra=zip64_extra(1 << 40),
                                              flags=8)])
    yield "stored_sizes_differ", build([GOOD, Entry("a.txt", b"text", method=0, size=3, local={"size": 4})])
    yield "zip64_extra_missing", build([GOOD, Entry("a.txt", b"text", size=0xFFFFFFFF)])
    yield "zip64_offset_lies", lying_zip64_offset()
    yield "zip64_size_lies", build([Entry("a.txt", b"text" * 100, size=0xFFFFFFFF, central_extra=zip64_extra(5),
                                          local={"size": 5})])
    yield "zip64_end_disagrees", build([GOOD], zip64_end={"count": 2, "narrow_count": 1})
    yield "zip64_end_lies", build([GOOD], zip64_end={"offset": 1 << 40})
    yield "encrypted", build([GOOD, Entry("secret.txt", b"secret", flags=1)])
    yield "strong_encryption", build([GOOD, Entry("secret.txt", b"secret", flags=0x41)])
    yield "unsupported_method", build([GOOD, Entry("a.bz2", b"BZh9", method=12)])
    yield "folder_with_data", build([GOOD, Entry("dir/", b"data")])
    yield "count_too_large", build([GOOD], count=500)
    yield "directory_elsewhere", build([GOOD], directory_offset=5)
    yield "html_page", b"<html><body>Not Found</body></html>\n"


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in cases():
        with open(os.path.join(folder, name + ".zip"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
