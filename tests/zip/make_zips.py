#!/usr/bin/env python3
"""Writes sound archives into the folder given, as Info-ZIP zip, bsdtar and Python's zipfile make them:
for each case NAME.zip and NAME.expected/, the tree that unpacking it must give."""

import io
import os
import random
import shutil
import subprocess
import sys
import zipfile

from zipbuild import Entry, build


def sample_tree(root):
    """Files of the kinds an installer ships: text, incompressible bytes, empty, nested folders."""
    rng = random.Random(6)
    files = {
        "readme.txt": b"Velacorte\r\n" * 2000,
        "bin/velacorte.dll": bytes(rng.getrandbits(8) for _ in range(300000)),
        "bin/empty.ini": b"",
        "dados/sub/deep/leaf.txt": b"leaf\n",
    }
    for path, data in files.items():
        write(os.path.join(root, path), data)
    os.makedirs(os.path.join(root, "empty folder"), exist_ok=True)
    return files


def compressible_tree(root):
    """Highly compressible files, as a database with empty pages, a log or a large XML file are, of
    sizes around the reader's buffers: each inflates to many buffers from little input."""
    page = b"\x00" * 4000 + b"VELACORTE PAGE\x01\x02" + b"\x00" * 78
    files = {
        "dados/base.fdb": page * 1024,
        "log/velacorte.log": (b"2026-01-01 10:00:00 consulta executada\r\n" * 110000)[: 4 << 20],
        "edge/below.txt": b"a" * ((256 << 10) - 1),
        "edge/exact.txt": b"a" * (256 << 10),
        "edge/above.txt": b"a" * ((256 << 10) + 1),
        "edge/zeros.bin": b"\x00" * ((4 << 20) + 1),
    }
    for path, data in files.items():
        write(os.path.join(root, path), data)
    return files


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def info_zip(out, name, options, files_root):
    archive = os.path.abspath(os.path.join(out, name + ".zip"))
    subprocess.run(["zip", "-q", "-r", *options, archive, "."], cwd=files_root, check=True)
    shutil.copytree(files_root, os.path.join(out, name + ".expected"))


def info_zip_streamed(out, name, data):
    """zip reading standard input into a pipe: a data descriptor and a ZIP64 local header."""
    archive = os.path.join(out, name + ".zip")
    with open(archive, "wb") as f:
        zip_proc = subprocess.Popen(["zip", "-q", "-", "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        cat = subprocess.Popen(["cat"], stdin=zip_proc.stdout, stdout=f)
        zip_proc.stdout.close()
        zip_proc.stdin.write(data)
        zip_proc.stdin.close()
        if zip_proc.wait() != 0 or cat.wait() != 0:
            sys.exit("zip failed")
    write(os.path.join(out, name + ".expected", "-"), data)


def bsdtar_zip(out, name, options, files_root):
    archive = os.path.abspath(os.path.join(out, name + ".zip"))
    subprocess.run(["bsdtar", "-c", "-f", archive, "--format", "zip", *options, "."], cwd=files_root, check=True)
    shutil.copytree(files_root, os.path.join(out, name + ".expected"))


def python_zip(out, name, files, compression, stream=False, zip64=False, level=None):
    target = io.BytesIO()
    sink = Unseekable(target) if stream else target
    with zipfile.ZipFile(sink, "w", compression, compresslevel=level) as z:
        z.writestr(zipfile.ZipInfo("empty folder/"), b"")
        for path, data in files.items():
            with z.open(path, "w", force_zip64=zip64) as f:
                f.write(data)
    with open(os.path.join(out, name + ".zip"), "wb") as f:
        f.write(target.getvalue())
    expected = os.path.join(out, name + ".expected")
    for path, data in files.items():
        write(os.path.join(expected, path), data)
    os.makedirs(os.path.join(expected, "empty folder"), exist_ok=True)


class Unseekable(io.RawIOBase):
    """A stream that zipfile cannot seek back in, so it writes data descriptors."""

    def __init__(self, target):
        self.target = target

    def writable(self):
        return True

    def write(self, b):
        return self.target.write(b)

    def seekable(self):
        return False


def python_zip64_end(out, name, files):
    """Every offset and the entry count beyond zipfile's limits, lowered here: ZIP64 extra fields for
    the offsets and a ZIP64 end record."""
    limits = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 100, 1
    try:
        python_zip(out, name, files, zipfile.ZIP_DEFLATED, zip64=True)
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = limits


def names(out):
    """Names in UTF-8 with the flag, in code page 437 without it, and with "\\" as separator."""
    entries = [
        Entry("ação/preço.txt", b"utf-8 name\n", flags=0x800),
        Entry(b"caf\x82 \x80\xa4.txt", b"cp437 name\n"),
        Entry("win\\sub\\file.txt", b"backslashes\n"),
        Entry("win\\empty\\", b""),
        Entry("./dot/./x.txt", b"dots\n", method=0),
        # Near device names, but none.
        Entry("dev/COM10.txt", b"com10\n"),
        Entry("dev/console.log", b"console\n"),
        Entry("dev/nul-result.txt", b"nul\n"),
        # Near the names of unpacking's own files, but none.
        Entry("near/.vzpart.txt", b"near\n"),
        Entry("near/vzjournal-00000000", b"near\n"),
        # Names as long as file systems allow: nothing may be added to them on the way.
        Entry("long/" + "n" * 246 + ".txt", b"250 bytes\n"),
        Entry("long/" + "m" * 251 + ".txt", b"255 bytes\n"),
    ]
    with open(os.path.join(out, "names.zip"), "wb") as f:
        f.write(build(entries))
    expected = os.path.join(out, "names.expected")
    write(os.path.join(expected, "ação", "preço.txt"), b"utf-8 name\n")
    write(os.path.join(expected, "café Çñ.txt"), b"cp437 name\n")
    write(os.path.join(expected, "win", "sub", "file.txt"), b"backslashes\n")
    os.makedirs(os.path.join(expected, "win", "empty"))
    write(os.path.join(expected, "dot", "x.txt"), b"dots\n")
    write(os.path.join(expected, "dev", "COM10.txt"), b"com10\n")
    write(os.path.join(expected, "dev", "console.log"), b"console\n")
    write(os.path.join(expected, "dev", "nul-result.txt"), b"nul\n")
    write(os.path.join(expected, "near", ".vzpart.txt"), b"near\n")
    write(os.path.join(expected, "near", "vzjournal-00000000"), b"near\n")
    write(os.path.join(expected, "long", "n" * 246 + ".txt"), b"250 bytes\n")
    write(os.path.join(expected, "long", "m" * 251 + ".txt"), b"255 bytes\n")


def three_files(out):
    """a.txt, b.txt and c.txt, in that order, dated 2020-05-17 10:30 local time."""
    with zipfile.ZipFile(os.path.join(out, "abc.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("a.txt", "b.txt", "c.txt"):
            z.writestr(zipfile.ZipInfo(name, (2020, 5, 17, 10, 30, 0)), b"new " + name.encode() * 1000)
    for name in ("a.txt", "b.txt", "c.txt"):
        write(os.path.join(out, "abc.expected", name), b"new " + name.encode() * 1000)


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    files_root = os.path.join(out, "_tree")
    files = sample_tree(files_root)
    info_zip(out, "infozip_deflated", [], files_root)
    info_zip(out, "infozip_stored", ["-0"], files_root)
    info_zip_streamed(out, "infozip_streamed", files["readme.txt"])
    python_zip(out, "python_deflated", files, zipfile.ZIP_DEFLATED)
    python_zip(out, "python_stored", files, zipfile.ZIP_STORED)
    python_zip(out, "python_descriptor", files, zipfile.ZIP_DEFLATED, stream=True)
    python_zip(out, "python_zip64", files, zipfile.ZIP_DEFLATED, zip64=True)
    python_zip64_end(out, "python_zip64_end", files)
    names(out)
    three_files(out)
    shutil.rmtree(files_root)

    compressible_root = os.path.join(out, "_compressible")
    compressible = compressible_tree(compressible_root)
    info_zip(out, "infozip_compressible", [], compressible_root)
    info_zip(out, "infozip_compressible_9", ["-9"], compressible_root)
    info_zip_streamed(out, "infozip_compressible_streamed", compressible["log/velacorte.log"])
    bsdtar_zip(out, "bsdtar_compressible", [], compressible_root)
    bsdtar_zip(out, "bsdtar_compressible_9", ["--options", "zip:compression-level=9"], compressible_root)
    python_zip(out, "python_compressible_1", compressible, zipfile.ZIP_DEFLATED, level=1)
    python_zip(out, "python_compressible_9", compressible, zipfile.ZIP_DEFLATED, level=9)
    python_zip(out, "python_compressible_descriptor", compressible, zipfile.ZIP_DEFLATED, stream=True)
    shutil.rmtree(compressible_root)


if __name__ == "__main__":
    main()
