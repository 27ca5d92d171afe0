#!/usr/bin/env python3
"""Unpacks one archive of about 50 MB in about 200 files, made by Info-ZIP zip, with velacorte-unzip and
with `unzip -o -q` in turn, and prints the ratio of their median times (target: at most 1.0)."""

import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ROUNDS = 7


def make_tree(root):
    """Files like an installer's: compressible text and tables, and barely compressible binaries."""
    rng = random.Random(50)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
    for i in range(200):
        size = rng.randint(150_000, 350_000)
        kind = i % 4
        if kind == 3:
            data = rng.randbytes(size)
        elif kind == 2:
            block = rng.randbytes(4096)
            data = b"".join(block[: rng.randint(1024, 4096)] + rng.randbytes(512) for _ in range(size // 3000))
        else:
            data = b" ".join(rng.choice(words) for _ in range(size // 6))
        path = os.path.join(root, f"pasta{i % 10}", f"arquivo{i:03}.{['txt', 'dat', 'dll', 'bin'][kind]}")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data[:size])


def timed(command, folder):
    shutil.rmtree(folder, ignore_errors=True)
    start = time.perf_counter()
    subprocess.run(command, check=True)
    return time.perf_counter() - start


def main():
    tool, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    tree = os.path.join(work, "tree")
    make_tree(tree)
    archive = os.path.abspath(os.path.join(work, "bench.zip"))
    subprocess.run(["zip", "-q", "-r", archive, "."], cwd=tree, check=True)
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(tree) for f in fs)
    print(f"archive: {os.path.getsize(archive) / 1e6:.1f} MB packed, {total / 1e6:.1f} MB in 200 files")

    ours_folder, peer_folder = os.path.join(work, "ours"), os.path.join(work, "peer")
    ours, peer = [], []
    for _ in range(ROUNDS):  # alternated, so both meet the same state of the machine
        ours.append(timed([tool, archive, ours_folder], ours_folder))
        peer.append(timed(["unzip", "-o", "-q", archive, "-d", peer_folder], peer_folder))
    if subprocess.run(["diff", "-r", "-q", ours_folder, tree]).returncode != 0:
        sys.exit("velacorte-unzip unpacked something else than the tree")
    ours_time, peer_time = statistics.median(ours), statistics.median(peer)
    print(f"velacorte-unzip: {ours_time * 1000:.0f} ms (median of {ROUNDS})")
    print(f"unzip -o -q:     {peer_time * 1000:.0f} ms (median of {ROUNDS})")
    print(f"ratio velacorte-unzip / unzip: {ours_time / peer_time:.2f}x (target: at most 1.00x)")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
