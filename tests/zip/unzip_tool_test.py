#!/usr/bin/env python3
"""velacorte-unzip as its users run it: each mode with its exit status and output, the refusal of
differing files, an interruption by SIGINT, SIGTERM or SIGHUP that must leave the folder as it was,
and a run killed outright, which the next run must undo.

usage: unzip_tool_test.py TOOL CASES SCRATCH"""

import os
import pty
import shutil
import signal
import subprocess
import sys
import time
import unittest
import zipfile

TOOL, CASES, SCRATCH = sys.argv[1:4]


def tree(root):
    result = {}
    for folder, folders, files in os.walk(root):
        for name in folders:
            result[os.path.relpath(os.path.join(folder, name), root) + "/"] = b""
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                result[os.path.relpath(os.path.join(folder, name), root)] = f.read()
    return result


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def sound(name):
    return os.path.join(CASES, "sound", name)


def hostile(name):
    return os.path.join(CASES, "hostile", name)


class Tool(unittest.TestCase):
    def setUp(self):
        self.root = os.path.join(SCRATCH, self.id().rsplit(".", 1)[-1])
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.addCleanup(shutil.rmtree, self.root, True)

    def run_tool(self, *args):
        return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120)

    def test_modes(self):
        folder = os.path.join(self.root, "out")
        expected = tree(sound("abc.expected"))
        # (arguments, status, text expected in the output, in standard error)
        table = [
            (["--help"], 0, "velacorte-unzip -l ZIP", ""),
            ([], 2, "", "uso: velacorte-unzip"),
            (["-x", sound("abc.zip"), folder], 2, "", "uso: velacorte-unzip"),
            (["-l", sound("abc.zip")], 0, "2020-05-17 10:30  b.txt", ""),
            (["-l", hostile("dotdot.zip")], 1, "", "climbs out of the folder"),
            (["-t", sound("infozip_compressible.zip")], 0, "nenhuma falha", ""),
            (["-t", hostile("wrong_crc.zip")], 1, "", 'entry "a.txt" fails its CRC check'),
            (["-t", hostile("damaged_stream.zip")], 1, "", 'entry "damaged.txt"'),
            (["-t", os.path.join(self.root, "missing.zip")], 1, "", "cannot be opened"),
        ]
        for args, status, out, err in table:
            with self.subTest(args=args):
                result = self.run_tool(*args)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(out, result.stdout)
                self.assertIn(err, result.stderr)
        self.assertFalse(os.path.exists(folder), "a mode that only reads wrote the folder")

        size = len(expected["a.txt"])
        listing = self.run_tool("-l", sound("abc.zip")).stdout
        self.assertRegex(listing, r"\s%d\s+\d+\s+2020-05-17 10:30  a.txt\n" % size)
        self.assertIn("3 entradas", listing)

    def test_existing_files(self):
        folder = os.path.join(self.root, "out")
        expected = tree(sound("abc.expected"))
        write(os.path.join(folder, "a.txt"), b"the shop's own a.txt")
        before = tree(self.root)

        refused = self.run_tool(sound("abc.zip"), folder)
        self.assertEqual(refused.returncode, 1)
        self.assertIn('a.txt" exists and differs', refused.stderr)
        self.assertEqual(tree(self.root), before)

        kept = self.run_tool("-n", sound("abc.zip"), folder)
        self.assertEqual(kept.returncode, 0, kept.stderr)
        self.assertEqual(tree(folder), {**expected, "a.txt": b"the shop's own a.txt"})

        replaced = self.run_tool("-o", sound("abc.zip"), folder)
        self.assertEqual(replaced.returncode, 0, replaced.stderr)
        self.assertEqual(tree(folder), expected)

        # Equal files are no obstacle, and the files take the entries' dates.
        again = self.run_tool(sound("abc.zip"), folder)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(os.stat(os.path.join(folder, "c.txt")).st_mtime,
                         time.mktime((2020, 5, 17, 10, 30, 0, 0, 0, -1)))

    def archive(self, name, entries, method=zipfile.ZIP_DEFLATED):
        """An archive of the scratch folder holding `entries`, pairs of name and content."""
        archive = os.path.join(self.root, name)
        with zipfile.ZipFile(archive, "w", method, compresslevel=1) as z:
            for entry, data in entries:
                z.writestr(entry, data)
        return archive

    def big_archive(self):
        """400 MB in 16 entries, a small archive that inflates long enough to be interrupted."""
        block = os.urandom(4096) * 6400
        return self.archive("big.zip", [("data/f%02d.bin" % i, block) for i in range(16)])

    def test_interruption_leaves_the_folder_as_it_was(self):
        archive = self.big_archive()
        folder = os.path.join(self.root, "out")
        write(os.path.join(folder, "data", "f00.bin"), b"older file")
        write(os.path.join(folder, "mine.txt"), b"not in the archive")
        before = tree(folder)
        for sent in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sent.name):
                child = subprocess.Popen([TOOL, "-o", archive, folder], stderr=subprocess.PIPE, text=True)
                deadline = time.monotonic() + 60
                while time.monotonic() < deadline and child.poll() is None:
                    staged = [n for n in os.listdir(folder) if n.startswith(".vzpart-")]
                    if len(staged) >= 2:
                        break
                    time.sleep(0.002)
                child.send_signal(sent)
                try:
                    err = child.communicate(timeout=60)[1]
                except subprocess.TimeoutExpired:
                    child.kill()
                    self.fail("velacorte-unzip did not end after %s" % sent.name)
                self.assertEqual(child.returncode, 130, err)
                self.assertIn("interrupted", err)
                self.assertEqual(tree(folder), before)

    def empty_archive(self):
        """An archive of no entries: unpacking it only tidies the folder."""
        return self.archive("empty.zip", [])

    def kill_when(self, archive, folder, ready):
        """Starts an unpacking, kills it with SIGKILL once `ready` holds for the folder's names, and
        tells whether it was killed there (it may have ended first)."""
        child = subprocess.Popen([TOOL, "-o", archive, folder], stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and child.poll() is None:
            if ready(os.listdir(folder)):
                child.kill()
                break
        child.wait(timeout=60)
        return child.returncode == -signal.SIGKILL

    def test_killed_run_is_undone_by_the_next(self):
        # Staging: 120 large files, each in folders of its own. Commit: many small files, half of them
        # replacing older ones, so that the moves take a while.
        block = os.urandom(4096) * 400
        staging = self.archive("staging.zip", [("d%03d/sub/f.bin" % i, block) for i in range(120)])
        commit = self.archive("commit.zip", [("c%03d/s/f%d.txt" % (i % 200, i), b"new %d" % i) for i in range(4000)],
                              zipfile.ZIP_STORED)
        folder = os.path.join(self.root, "out")
        write(os.path.join(folder, "mine.txt"), b"not in the archive")
        write(os.path.join(folder, "d000", "sub", "f.bin"), b"older file")
        os.makedirs(os.path.join(folder, "empty", "inside"))
        for i in range(0, 4000, 2):
            write(os.path.join(folder, "c%03d" % (i % 200), "s", "f%d.txt" % i), b"old %d" % i)
        before = tree(folder)
        table = [
            ("staging", staging, lambda names: sum(n.startswith(".vzpart-") for n in names) >= 40),
            ("commit", commit, lambda names: any(n.startswith(".vzold-") for n in names)),
        ]
        for moment, archive, ready in table:
            with self.subTest(moment=moment):
                for _ in range(20):
                    if self.kill_when(archive, folder, ready):
                        break
                    self.assertEqual(self.run_tool(self.empty_archive(), folder).returncode, 0)
                    shutil.rmtree(folder)
                    self.restore(folder, before)
                else:
                    self.fail("velacorte-unzip always ended before it could be killed while %s" % moment)
                # The killed run had made folders of its own.
                folders = [n for n in tree(folder) if n.endswith("/")]
                self.assertGreater(len(folders), len([n for n in before if n.endswith("/")]))
                again = self.run_tool(self.empty_archive(), folder)
                self.assertEqual(again.returncode, 0, again.stderr)
                self.assertEqual(tree(folder), before)

    def restore(self, folder, contents):
        for name, data in contents.items():
            if name.endswith("/"):
                os.makedirs(os.path.join(folder, name), exist_ok=True)
            else:
                write(os.path.join(folder, name), data)

    def test_progress_on_a_terminal(self):
        archive = self.big_archive()
        master, slave = pty.openpty()
        child = subprocess.Popen([TOOL, archive, os.path.join(self.root, "out")], stderr=slave)
        os.close(slave)
        shown = b""
        while True:
            try:
                piece = os.read(master, 4096)
            except OSError:
                break
            if not piece:
                break
            shown += piece
        os.close(master)
        self.assertEqual(child.wait(timeout=120), 0, shown)
        self.assertIn(b"\rvelacorte-unzip:  50% (200 de 400 MB)", shown)
        self.assertRegex(shown, rb"100% \(400 de 400 MB\)\r?\n$")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
