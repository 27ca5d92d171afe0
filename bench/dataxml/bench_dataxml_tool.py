#!/usr/bin/env python3
"""dataxml --reply against its peers, measured in turns in the same run:

- a reply of 100,000 rows (six text columns and two numbers) printed as a table, against
  `xmllint --noout` of the same file (target: at most 1.0x);
- the same 40,000 cells as one row of 40,000 columns and as 5,000 rows of 8 columns, in every
  format (target: the wide reply at most 3x the narrow one).

Prints every time and ratio; a missed target is printed as MISSED and makes the exit status 1.
    bench_dataxml_tool.py DATAXML WORK_FOLDER"""

import base64
import os
import shutil
import statistics
import subprocess
import sys
import time

ROUNDS = 7
HEAD = '<?xml version="1.0" encoding="UTF-8"?>\n<retorno><status><codigo>000</codigo><mensagem></mensagem></status>'
TEXT_COLUMNS = ["ARQUIVO", "LOCAL", "CHECK_ID", "ATALHO", "NOME_ATALHO", "LINK"]


def b64(text):
    return base64.b64encode(text.encode()).decode()


def file_list_reply(rows):
    """Rows like those of the installer's file list; NOME_ATALHO as UTF-8 after a byte-order mark."""
    out = [HEAD, f'<select rows="{rows}">']
    for r in range(rows):
        n = str(r)
        values = [f"Velacorte{n}.dll", f"c:\\Velacorte\\modulos\\{n}", n, f"c:\\Velacorte\\Velacorte{n}.exe",
                  "\ufeffMódulo " + n, f"http://velacorte.com.br/site/arquivos/produto/{n}.zip"]
        out.append("<row>")
        out.extend(f"<{c}>{b64(v)}</{c}>" for c, v in zip(TEXT_COLUMNS, values))
        out.append(f"<ID>{n}</ID><TAMANHO>{r * 37 % 100000}</TAMANHO></row>")
    out.append("</select><fields>")
    out.extend(f'<{c} tipo="253" tamanho="255"/>' for c in TEXT_COLUMNS)
    out.append('<ID tipo="3" tamanho="11"/><TAMANHO tipo="8" tamanho="20"/></fields></retorno>')
    return "".join(out)


def grid_reply(columns, rows):
    """columns x rows cells, numbers and texts in turn, each cell's value its number in the grid. The
    names have the same length in every shape, so that only the width differs."""
    names = [f"C{c:05}" for c in range(columns)]
    out = [HEAD, f'<select rows="{rows}">']
    for r in range(rows):
        out.append("<row>")
        for c, name in enumerate(names):
            cell = r * columns + c
            value = str(cell) if c % 2 == 0 else b64(f"texto {cell}")
            out.append(f"<{name}>{value}</{name}>")
        out.append("</row>")
    out.append("</select><fields>")
    out.extend(f'<{name} tipo="{3 if c % 2 == 0 else 253}" tamanho="20"/>' for c, name in enumerate(names))
    out.append("</fields></retorno>")
    return "".join(out)


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def measure(commands):
    """Each command ROUNDS times, in turns; the median time of each, and the spread of the ratio of
    the first to the second over the rounds."""
    times = [[] for _ in commands]
    for _ in range(ROUNDS):
        for k, command in enumerate(commands):
            times[k].append(timed(command))
    ratios = [a / b for a, b in zip(times[0], times[1])]
    return [statistics.median(t) for t in times], (min(ratios), max(ratios))


def main():
    tool, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    missed = []

    def verdict(ratio, target, what):
        ok = ratio <= target
        if not ok:
            missed.append(what)
        return f"target <= {target:.1f}: {'met' if ok else 'MISSED'}"

    rows = os.path.join(work, "rows-100000.xml")
    write(rows, file_list_reply(100000))
    (ours, peer), spread = measure([[tool, "--reply", rows], ["xmllint", "--noout", rows]])
    ratio = ours / peer
    print(f"100,000 rows ({os.path.getsize(rows) / 1e6:.1f} MB): dataxml --reply {ours * 1000:.0f} ms, "
          f"xmllint --noout {peer * 1000:.0f} ms (medians of {ROUNDS})")
    print(f"  dataxml / xmllint = {ratio:.2f}x (rounds {spread[0]:.2f} to {spread[1]:.2f}), "
          f"{verdict(ratio, 1.0, '100,000 rows against xmllint')}")

    wide, narrow = os.path.join(work, "wide.xml"), os.path.join(work, "narrow.xml")
    write(wide, grid_reply(40000, 1))
    write(narrow, grid_reply(8, 5000))
    print(f"40,000 cells: one row of 40,000 columns ({os.path.getsize(wide) / 1e6:.1f} MB, its definitions "
          f"included) against 5,000 rows of 8 columns ({os.path.getsize(narrow) / 1e6:.1f} MB)")
    for form in ["table", "tsv", "csv", "json"]:
        (wide_time, narrow_time), spread = measure([[tool, "--reply", wide, "--format", form],
                                                    [tool, "--reply", narrow, "--format", form]])
        ratio = wide_time / narrow_time
        print(f"  {form:5}  wide {wide_time * 1000:6.0f} ms  narrow {narrow_time * 1000:6.0f} ms  "
              f"= {ratio:.2f}x (rounds {spread[0]:.2f} to {spread[1]:.2f}), "
              f"{verdict(ratio, 3.0, f'40,000 columns in {form}')}")
    shutil.rmtree(work, ignore_errors=True)
    if missed:
        print("MISSED: " + "; ".join(missed))
        sys.exit(1)


if __name__ == "__main__":
    main()
