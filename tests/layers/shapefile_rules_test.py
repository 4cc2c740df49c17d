#!/usr/bin/python3
"""Every written layer read byte by byte against the shapefile and dBase rules.

The .shp/.shx pair: file codes, lengths in 16-bit words, record numbers and
offsets, each record's box and the file's box, polygons whose rings are
closed, hold no vertex equal to the one before it, run clockwise when they
are outer rings and counter-clockwise when they are holes (a hole inside an
outer ring of its shape), and are valid for GEOS (through GDAL).  The .dbf:
its header (version, the date of SOURCE_DATE_EPOCH, record count, lengths,
the Windows-1250 language driver) against its records.

Runs over the fuzzing corpus, the bundled sample, generated files and a file
of every ring direction, and takes a 150 km2 parcel through a GeoPackage.

usage: shapefile_rules_test.py EGIB2SHP_BINARY SOURCE_DIR GEN_SWDE_BINARY
"""
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from osgeo import gdal, ogr

gdal.UseExceptions()
ogr.UseExceptions()

# 2026-12-09 00:00:00 UTC
EPOCH = 1796774400
EPOCH_DATE = time.gmtime(EPOCH)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def signed_area(ring):
    """Twice the shoelace sum: positive for clockwise rings (x east, y north)."""
    s = 0.0
    for (x0, y0), (x1, y1) in zip(ring, ring[1:]):
        s += (x1 - x0) * (y1 + y0)
    return s / 2.0


def read_header(data, name):
    code, = struct.unpack(">i", data[0:4])
    length, = struct.unpack(">i", data[24:28])
    version, shape_type = struct.unpack("<ii", data[28:36])
    box = struct.unpack("<4d", data[36:68])
    check(code == 9994, f"{name}: file code {code}")
    check(version == 1000, f"{name}: version {version}")
    check(length * 2 == len(data), f"{name}: length {length * 2} bytes in the header, "
                                    f"{len(data)} in the file")
    return shape_type, box


def ring_list(points, parts):
    ends = list(parts[1:]) + [len(points)]
    return [points[s:e] for s, e in zip(parts, ends)]


def check_polygon(name, rings):
    """ESRI's rules for one polygon record; returns its rings as read."""
    outer, holes = [], []
    for i, ring in enumerate(rings):
        where = f"{name} ring {i}"
        if not check(len(ring) >= 4, f"{where}: {len(ring)} points"):
            continue
        check(ring[0] == ring[-1], f"{where}: not closed")
        repeats = [k for k in range(1, len(ring)) if ring[k] == ring[k - 1]]
        check(not repeats, f"{where}: vertex repeated right after itself at {repeats}")
        area = signed_area(ring)
        check(area != 0, f"{where}: no area")
        (outer if area > 0 else holes).append(ring)
    check(bool(outer), f"{name}: no clockwise (outer) ring")

    def polygon(ring):
        r = ogr.Geometry(ogr.wkbLinearRing)
        for x, y in ring:
            r.AddPoint_2D(x, y)
        p = ogr.Geometry(ogr.wkbPolygon)
        p.AddGeometry(r)
        return p

    shells = [polygon(r) for r in outer]
    for i, hole in enumerate(holes):
        h = polygon(hole)
        check(any(h.Within(s) for s in shells),
              f"{name}: counter-clockwise ring {i} lies in no clockwise ring (a hole outside)")


def check_shp(base):
    """Checks base.shp and base.shx; returns the number of records."""
    with open(base + ".shp", "rb") as f:
        shp = f.read()
    with open(base + ".shx", "rb") as f:
        shx = f.read()
    shape_type, file_box = read_header(shp, base + ".shp")
    shx_type, shx_box = read_header(shx, base + ".shx")
    check(shx_type == shape_type and shx_box == file_box, f"{base}: .shx header differs")
    count = (len(shx) - 100) // 8
    check(len(shx) == 100 + 8 * count, f"{base}.shx: {len(shx)} bytes")
    pos = 100
    boxes = []
    for n in range(count):
        offset, length = struct.unpack(">ii", shx[100 + 8 * n:108 + 8 * n])
        name = f"{base} record {n + 1}"
        check(offset * 2 == pos, f"{name}: .shx offset {offset * 2}, at {pos}")
        number, content = struct.unpack(">ii", shp[pos:pos + 8])
        check(number == n + 1, f"{name}: numbered {number}")
        check(content == length, f"{name}: length {content} in .shp, {length} in .shx")
        body = shp[pos + 8:pos + 8 + content * 2]
        check(len(body) == content * 2, f"{name}: cut short")
        kind, = struct.unpack("<i", body[0:4])
        if kind == 0:
            check(content == 2, f"{name}: null shape of {content} words")
        elif kind == 1:
            check(shape_type == 1 and content == 10, f"{name}: point of {content} words")
            x, y = struct.unpack("<2d", body[4:20])
            check(x == x and y == y, f"{name}: point not a number")
            boxes.append((x, y, x, y))
        elif kind == 5:
            check(shape_type == 5, f"{name}: polygon in a layer of type {shape_type}")
            box = struct.unpack("<4d", body[4:36])
            nparts, npoints = struct.unpack("<ii", body[36:44])
            check(content * 2 == 44 + 4 * nparts + 16 * npoints,
                  f"{name}: length {content} words for {nparts} parts, {npoints} points")
            parts = struct.unpack(f"<{nparts}i", body[44:44 + 4 * nparts])
            check(nparts >= 1 and parts[0] == 0 and list(parts) == sorted(set(parts))
                  and parts[-1] < npoints, f"{name}: parts {parts}")
            flat = struct.unpack(f"<{2 * npoints}d", body[44 + 4 * nparts:])
            points = list(zip(flat[0::2], flat[1::2]))
            xs, ys = flat[0::2], flat[1::2]
            check(box == (min(xs), min(ys), max(xs), max(ys)), f"{name}: box {box}")
            boxes.append(box)
            check_polygon(name, ring_list(points, parts))
        else:
            check(False, f"{name}: shape type {kind}")
        pos += 8 + content * 2
    check(pos == len(shp), f"{base}.shp: {len(shp) - pos} bytes after the last record")
    if boxes:
        union = (min(b[0] for b in boxes), min(b[1] for b in boxes),
                 max(b[2] for b in boxes), max(b[3] for b in boxes))
        check(file_box == union, f"{base}.shp: box {file_box}, records span {union}")
    return count


def check_dbf(base, records):
    with open(base + ".dbf", "rb") as f:
        dbf = f.read()
    version, yy, mm, dd, count, header, reclen = struct.unpack("<4BIHH", dbf[0:12])
    check(version == 3, f"{base}.dbf: version byte {version}")
    check((yy + 1900, mm, dd) == EPOCH_DATE[0:3],
          f"{base}.dbf: date {yy + 1900}-{mm}-{dd}, not that of SOURCE_DATE_EPOCH")
    check(dbf[29] == 0xC8, f"{base}.dbf: language driver 0x{dbf[29]:02X}, not 0xC8")
    check(count == records, f"{base}.dbf: {count} records for {records} shapes")
    widths = 0
    for at in range(32, header - 1, 32):
        widths += dbf[at + 16]
    check(dbf[header - 1] == 0x0D, f"{base}.dbf: no end of the field list")
    check(reclen == 1 + widths, f"{base}.dbf: record length {reclen}, fields {widths}")
    body = len(dbf) - header
    check(body in (count * reclen, count * reclen + 1), f"{base}.dbf: {len(dbf)} bytes")
    with open(base + ".cpg", "rb") as f:
        check(f.read().strip() == b"1250", f"{base}.cpg")


def geos_valid(base):
    ds = ogr.Open(base + ".shp")
    for feature in ds.GetLayer(0):
        g = feature.GetGeometryRef()
        if g is None or g.GetGeometryType() not in (ogr.wkbPolygon, ogr.wkbMultiPolygon):
            continue
        check(g.IsValid(), f"{base} feature {feature.GetFID()}: not valid for GEOS")


def convert(binary, workdir, name, content, args):
    path = os.path.join(workdir, name + ".swd")
    with open(path, "wb") as f:
        f.write(content)
    for stale in glob.glob(os.path.join(workdir, name + "_*")):
        os.remove(stale)
    run = subprocess.run([binary] + args[:-3] + [name + ".swd"] + args[-3:], cwd=workdir,
                         env=dict(os.environ, HOME=workdir, SOURCE_DATE_EPOCH=str(EPOCH)),
                         capture_output=True)
    check(run.returncode == 0, f"{name}: exit status {run.returncode}: {run.stderr[-300:]!r}")
    return os.path.join(workdir, name), run


def check_all_layers(binary, workdir, name, content, args):
    base, run = convert(binary, workdir, name, content, args)
    layers = [p[:-4] for p in sorted(glob.glob(base + "_*.shp"))]
    check(len(layers) >= 2, f"{name}: layers {layers}")
    for layer in layers:
        records = check_shp(layer)
        check_dbf(layer, records)
        geos_valid(layer)
    return base, run


def ring_cases():
    """Outlines of every ring direction, closed and open, with holes, two outer
    rings of opposite direction, repeated points."""
    # (northing, easting): east, north, west: counter-clockwise on the map
    sq = [(0, 0), (0, 100), (100, 100), (100, 0)]
    hole = [(20, 20), (80, 20), (80, 80), (20, 80)]  # clockwise on the map

    def lines(ring, close=False, repeat=False):
        pts = list(ring) + ([ring[0]] if close else [])
        if repeat:
            pts = pts[:2] + [pts[1]] + pts[2:]
        return "".join(f"P,G,{n},{e}\n" for n, e in pts)

    far = [(n + 500, e + 500) for n, e in sq]
    rev = lambda r: list(reversed(r))
    cases = [
        ("ccw open", "GL\nK,+\n" + lines(sq), 10000),
        ("ccw closed", "GL\nK,+\n" + lines(sq, True), 10000),
        ("cw open", "GL\nK,+\n" + lines(rev(sq)), 10000),
        ("cw closed", "GL\nK,+\n" + lines(rev(sq), True), 10000),
        ("no ring start", "GL\n" + lines(rev(sq), True), 10000),
        ("repeated point", "GL\nK,+\n" + lines(sq, True, True), 10000),
        ("hole cw", "GL\nK,+\n" + lines(sq) + "K,-\n" + lines(hole, True), 6400),
        ("hole ccw", "GL\nK,+\n" + lines(rev(sq), True) + "K,-\n" + lines(rev(hole)), 6400),
        ("hole in its own list", "GL\nK,+\n" + lines(sq) + "GL\nK,-\n" + lines(hole), 6400),
        ("two outer rings opposite", "GL\nK,+\n" + lines(sq) + "K,+\n" + lines(rev(far), True),
         20000),
    ]
    body = "".join(f"RO,,G5DZE,d{i}\nD,G5IDD,,{i}\n{l}X\n" for i, (_, l, _) in enumerate(cases))
    body += "".join(f"RO,,G5BUD,b{i}\nD,G5IDB,,{i}\n{l}X\n" for i, (_, l, _) in enumerate(cases))
    return cases, ("SWDE.w.3.00\nSO\n" + body + "SX\nSWDEX\n").encode("ascii")


def check_ring_cases(binary, workdir):
    cases, content = ring_cases()
    for args in (["0", "0", "0"], ["2", "18", "0"]):
        base, _ = check_all_layers(binary, workdir, "rings", content, args)
        for layer in ("_DZE", "_BUD"):
            ds = ogr.Open(base + layer + ".shp")
            for (name, _, area), feature in zip(cases, ds.GetLayer(0)):
                pow_written = feature.GetField("POW")
                check(pow_written > 0, f"{args} {layer} {name}: POW {pow_written}")
                check(abs(pow_written - feature.GetGeometryRef().GetArea()) < 0.01,
                      f"{args} {layer} {name}: POW {pow_written} is not the area written")
                if args[0] == "0":
                    check(pow_written == area, f"{layer} {name}: POW {pow_written}, not {area}")


def check_big_parcel(binary, workdir):
    """A 150 km2 parcel: POW fits its column and reads back exactly through
    a GeoPackage, and so do its vertices."""
    side = 12247.45
    n0, e0 = 5800000.0, 4600000.0
    ring = [(n0, e0), (n0 + side, e0), (n0 + side, e0 + side), (n0, e0 + side)]
    body = "RO,,G5DZE,d1\nD,G5IDD,,146518_8.0001.1\nGL\nK,+\n"
    body += "".join(f"P,G,{n:.2f},{e:.2f}\n" for n, e in ring) + "X\n"
    content = ("SWDE.w.3.00\nSO\n" + body + "SX\nSWDEX\n").encode("ascii")
    base, _ = check_all_layers(binary, workdir, "big", content, ["0", "0", "0"])
    expected = round(side * side, 2)
    gpkg = base + ".gpkg"
    run = subprocess.run(["ogr2ogr", "-f", "GPKG", gpkg, base + "_DZE.shp"], capture_output=True)
    check(run.returncode == 0, f"ogr2ogr: {run.stderr!r}")
    ds = ogr.Open(gpkg)
    feature = ds.GetLayer(0).GetNextFeature()
    check(feature.GetField("POW") == expected,
          f"150 km2 parcel: POW {feature.GetField('POW')} in the GeoPackage, not {expected}")
    g = feature.GetGeometryRef()
    if g.GetGeometryType() == ogr.wkbMultiPolygon:
        g = g.GetGeometryRef(0)
    got = sorted(g.GetGeometryRef(0).GetPoints())
    want = sorted([(e, n) for n, e in ring] + [(e0, n0)])
    check([(round(x, 2), round(y, 2)) for x, y, *_ in got] == want,
          f"150 km2 parcel: vertices {got}")


def check_date_of_run(binary, workdir):
    """Without SOURCE_DATE_EPOCH the header carries the day of the run (UTC)."""
    content = b"SWDE.w.3.00\nSO\nSX\nSWDEX\n"
    path = os.path.join(workdir, "today.swd")
    with open(path, "wb") as f:
        f.write(content)
    env = dict(os.environ, HOME=workdir)
    env.pop("SOURCE_DATE_EPOCH", None)
    before = time.gmtime()[0:3]
    run = subprocess.run([binary, "today.swd", "0", "0", "0"], cwd=workdir, env=env,
                         capture_output=True)
    after = time.gmtime()[0:3]
    check(run.returncode == 0, f"today: exit status {run.returncode}")
    with open(os.path.join(workdir, "today_DZE.dbf"), "rb") as f:
        yy, mm, dd = f.read(4)[1:4]
    check((yy + 1900, mm, dd) in (before, after), f"today: header date {yy + 1900}-{mm}-{dd}")


def main():
    binary, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    gen_swde = os.path.abspath(sys.argv[3])
    workdir = tempfile.mkdtemp(prefix="egib_rules_")
    try:
        check_ring_cases(binary, workdir)
        check_date_of_run(binary, workdir)
        check_big_parcel(binary, workdir)
        with open(os.path.join(source, "examples", "sample.swd"), "rb") as f:
            sample = f.read()
        for args in (["--points", "--precincts", "2", "18", "1"], ["0", "0", "0"]):
            check_all_layers(binary, workdir, "sample", sample, args)
        for seed in (3, 9):
            path = os.path.join(workdir, "generated.swd")
            subprocess.run([gen_swde, "--parcels", "300", "--seed", str(seed), path], check=True,
                           capture_output=True)
            with open(path, "rb") as f:
                generated = f.read()
            check_all_layers(binary, workdir, "generated", generated,
                             ["--points", "--precincts", "2", "18", "0"])
        corpus = sorted(glob.glob(os.path.join(source, "tests", "fuzz", "corpus", "conversion",
                                               "*")))
        check(len(corpus) > 10, f"{len(corpus)} files in the corpus")
        for i, path in enumerate(corpus):
            with open(path, "rb") as f:
                content = f.read()
            # The corpus holds odd inputs on purpose: some outlines in it are
            # not valid polygons and are checked by the format rules only.
            base, _ = convert(binary, workdir, f"corpus{i}", content, ["--points", "0", "0", "0"])
            for layer in sorted(glob.glob(base + "_*.shp")):
                records = check_shp(layer[:-4]) if "_PKT" in layer else check_format_only(layer[:-4])
                check_dbf(layer[:-4], records)
    finally:
        shutil.rmtree(workdir)
    if failures:
        print(f"0 passed, {len(failures)} failed")
        return 1
    print("all shapefile rule checks passed")
    return 0


def check_format_only(base):
    """check_shp without the orientation of rings that lie outside all shells
    (an input may give a hole that is not inside its outline)."""
    before = len(failures)
    count = check_shp(base)
    outside = [f for f in failures[before:] if "lies in no clockwise ring" in f]
    for f in outside:
        failures.remove(f)
    return count


if __name__ == "__main__":
    sys.exit(main())
