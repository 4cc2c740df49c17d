#!/usr/bin/python3
"""Runs two builds of egib2shp on the bench files over every route and
compares everything they write: the console, the run log and the error log
byte for byte (the coordinates in area warnings to a micrometre), the
tables byte for byte but for POW (to 0.01), the shapes with every
coordinate to a micrometre.  For a change of the conversion kernels, which
may move coordinates by nanometres; for any other change, record_outputs.sh
asks for the same bytes.

usage: compare_outputs.py BEFORE_BINARY AFTER_BINARY BENCH_DIR
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

RUNS = [
    ("county.swd", [], ["0", "0", "0"]),
    ("county.swd", [], ["2", "18", "1"]),
    ("county.swd", [], ["2", "2", "1"]),
    ("county.swd", [], ["2", "4", "2"]),
    ("county.swd", [], ["2", "10", "1"]),
    ("county.swd", ["--points", "--precincts"], ["2", "21", "0"]),
    ("county1992.swd", [], ["10", "21", "0"]),
    ("county1992.swd", [], ["10", "5", "2"]),
    ("county1992.swd", ["--points", "--precincts"], ["10", "10", "0"]),
    ("county2000.swd", [], ["21", "18", "0"]),
    ("county2000.swd", [], ["21", "10", "0"]),
    ("county2000.swd", [], ["21", "3", "1"]),
]
TOLERANCE = 1e-6
moved = [0.0]  # the largest coordinate difference seen in a run
WARNING = re.compile(rb"^Punkt x,y \(([-0-9.]+), ([-0-9.]+)\)(.*)$")


def run(binary, source, options, codes, work):
    os.makedirs(os.path.join(work, "home"))
    os.symlink(os.path.abspath(source), os.path.join(work, "in.swd"))
    r = subprocess.run([binary] + options + ["in.swd"] + codes, cwd=work,
                       env=dict(os.environ, HOME=os.path.join(work, "home")),
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return r.returncode, r.stdout


def same_console(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    if len(la) != len(lb):
        return f"{len(la)} console lines against {len(lb)}"
    worst = 0.0
    for x, y in zip(la, lb):
        if x == y:
            continue
        mx, my = WARNING.match(x), WARNING.match(y)
        if not (mx and my and mx.group(3) == my.group(3)):
            return f"console line differs: {x[:80]!r} / {y[:80]!r}"
        for i in (1, 2):
            worst = max(worst, abs(float(mx.group(i)) - float(my.group(i))))
    return None if worst <= TOLERANCE + 1e-6 else f"warning coordinates {worst} apart"


def dbf_fields(data):
    header_length, record_length = struct.unpack("<HH", data[8:12])
    fields, at = [], 1
    for k in range(32, header_length - 1, 32):
        name = data[k:k + 11].split(b"\0")[0]
        width = data[k + 16]
        fields.append((name, at, width))
        at += width
    return header_length, record_length, fields


def same_dbf(a, b):
    if len(a) != len(b):
        return "tables of different length"
    header, length, fields = dbf_fields(a)
    if a[:header] != b[:header]:
        return "table headers differ"
    pow_field = [(at, w) for name, at, w in fields if name == b"POW"]
    worst = 0.0
    for start in range(header, len(a) - 1, length):
        ra, rb = bytearray(a[start:start + length]), bytearray(b[start:start + length])
        for at, w in pow_field:
            worst = max(worst, abs(float(ra[at:at + w]) - float(rb[at:at + w])))
            ra[at:at + w] = rb[at:at + w] = b" " * w
        if ra != rb:
            return f"record at byte {start} differs"
    return None if worst <= 0.01 + 1e-9 else f"POW {worst} apart"


def same_shp(a, b):
    if len(a) != len(b):
        return "shapes of different length"
    worst = max(abs(x - y) for x, y in zip(struct.unpack("<4d", a[36:68]), struct.unpack("<4d", b[36:68])))
    at = 100
    while at < len(a):
        if a[at:at + 8] != b[at:at + 8]:
            return f"record header at {at} differs"
        length = struct.unpack(">i", a[at + 4:at + 8])[0] * 2
        body_a, body_b = a[at + 8:at + 8 + length], b[at + 8:at + 8 + length]
        kind = struct.unpack("<i", body_a[:4])[0]
        if kind == 1:  # point
            coords_a, coords_b = body_a[4:20], body_b[4:20]
        else:  # polygon: box, counts, parts, points
            parts, points = struct.unpack("<ii", body_a[36:44])
            if body_a[:4] + body_a[36:44 + 4 * parts] != body_b[:4] + body_b[36:44 + 4 * parts]:
                return f"record at {at}: parts differ"
            coords_a = body_a[4:36] + body_a[44 + 4 * parts:]
            coords_b = body_b[4:36] + body_b[44 + 4 * parts:]
        n = len(coords_a) // 8
        for x, y in zip(struct.unpack(f"<{n}d", coords_a), struct.unpack(f"<{n}d", coords_b)):
            worst = max(worst, abs(x - y))
        at += 8 + length
    moved[0] = max(moved[0], worst)
    return None if worst <= TOLERANCE else f"coordinates {worst} apart"


def main():
    before, after, bench = sys.argv[1], sys.argv[2], sys.argv[3]
    failures = 0
    for name, options, codes in RUNS:
        with tempfile.TemporaryDirectory() as wa, tempfile.TemporaryDirectory() as wb:
            moved[0] = 0.0
            sa, oa = run(before, os.path.join(bench, name), options, codes, wa)
            sb, ob = run(after, os.path.join(bench, name), options, codes, wb)
            problems = []
            if sa != sb:
                problems.append(f"exit status {sa} against {sb}")
            if (p := same_console(oa, ob)):
                problems.append(p)
            files = sorted(set(os.listdir(wa)) | set(os.listdir(wb)))
            for f in files + ["home/ZOV_uriri.txt"]:
                pa, pb = os.path.join(wa, f), os.path.join(wb, f)
                if os.path.isdir(pa) or f == "in.swd":
                    continue
                if os.path.exists(pa) != os.path.exists(pb):
                    problems.append(f"{f} written by one only")
                    continue
                if not os.path.exists(pa):
                    continue
                da, db = open(pa, "rb").read(), open(pb, "rb").read()
                check = same_dbf if f.endswith(".dbf") else same_shp if f.endswith(".shp") else None
                if check is not None:
                    if (p := check(da, db)):
                        problems.append(f"{f}: {p}")
                elif f.endswith(".shx"):
                    if da[100:] != db[100:]:
                        problems.append(f"{f}: offsets differ")
                elif da != db:
                    problems.append(f"{f} differs")
            label = f"{name} {' '.join(options + codes)}"
            verdict = "same" if not problems else "; ".join(problems)
            print(f"{label}: {verdict} (coordinates at most {moved[0] * 1e9:.1f} nm apart)")
            failures += bool(problems)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
