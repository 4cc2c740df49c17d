#!/usr/bin/env python3
"""The whole register (--all) as GDAL sees it, on the bundled sample and on
a generated file: every attribute and relation line of the input is found in
a cell of its layer or table and nothing else is; layers have their geometry
type, count and coordinate system, every polygon is valid; --types and
--exclude-types; one thread and two write the same bytes.

usage: register_test.py EGIB2SHP SOURCE_DIR GEN_SWDE
"""
import collections
import csv
import filecmp
import json
import os
import shutil
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr

gdal.UseExceptions()
failures = []

# The layers of the plain run, and the attribute each keeps in a column of
# its own (not repeated among the added ones).
LEGACY = {"DZE": ("IDD", "G5IDD"), "BUD": ("IDB", "G5IDB"), "OBR": ("G5IDR", "G5IDR"), "PKT": None}


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def layer_name(swde_type):
    for prefix in ("G5G_", "G5"):
        if swde_type.startswith(prefix):
            return swde_type[len(prefix):]
    return swde_type


def input_counts(path):
    """(layer, name) -> values of its "D", "WG" and "WL" lines, objects per layer."""
    values = collections.Counter()
    objects = collections.Counter()
    current = None
    in_objects = False
    with open(path, "rb") as f:
        for raw in f:
            line = raw.split(b";")[0].strip().decode("latin-1")
            fields = [x.strip() for x in line.split(",")]
            code = fields[0]
            if code == "SO":
                in_objects = True
            elif code in ("SX", "SXC"):
                in_objects = False
            elif in_objects and len(code) == 2 and code[0] == "R":
                current = layer_name(fields[2])
                objects[current] += 1
            elif current and code in ("D", "WG", "WL"):
                values[(current, fields[1])] += 1
            elif code in ("X", "XC"):
                current = None
    return values, objects


def convert(binary, folder, swde, extra):
    run = subprocess.run([binary] + extra + [os.path.basename(swde), "2", "21", "0"], cwd=folder,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check(run.returncode == 0, f"{swde} {extra}: exit {run.returncode}: {run.stderr.decode()}")
    return run


def output_counts(base):
    """(layer, full name) -> values found in the cells, from <base>_fields.csv."""
    found = collections.Counter()
    with open(base + "_fields.csv", newline="", encoding="cp1250") as f:
        rows = list(csv.DictReader(f))
    by_layer = collections.defaultdict(list)
    for r in rows:
        by_layer[r["layer"]].append(r)
    for layer, columns in by_layer.items():
        file_layer = "PKT" if layer == "PZG" else layer
        path = f"{base}_{file_layer}.dbf"
        ds = ogr.Open(path)
        check(ds is not None, f"{path} opens")
        if ds is None:
            continue
        lyr = ds.GetLayer(0)
        defn = lyr.GetLayerDefn()
        names = [defn.GetFieldDefn(i).GetName() for i in range(defn.GetFieldCount())]
        for c in columns:
            check(c["column"] in names, f"{path}: column {c['column']} of _fields.csv")
        for feat in lyr:
            for c in columns:
                if c["role"] not in ("attribute", "relation"):
                    continue
                if not feat.IsFieldSetAndNotNull(c["column"]):
                    continue
                found[(layer, c["full_name"])] += str(feat.GetField(c["column"])).count("|") + 1
            legacy = LEGACY.get(file_layer)
            if legacy and feat.IsFieldSetAndNotNull(legacy[0]):
                found[(layer, legacy[1])] += 1
    return found


def check_register(binary, folder, swde, expect_layers):
    values, objects = input_counts(swde)
    convert(binary, folder, swde, ["--all", "--report=report.json"])
    base = os.path.join(folder, os.path.splitext(os.path.basename(swde))[0])
    found = output_counts(base)
    check(values == found, f"{swde}: input lines {sorted((values - found).items())[:5]} "
          f"not in cells; cells {sorted((found - values).items())[:5]} not in the input")
    with open(os.path.join(folder, "report.json")) as f:
        report = json.load(f)
    for t in report["register"]:
        check(t["objects_read"] == objects[t["name"]],
              f"{swde}: {t['name']} read {t['objects_read']}, input has {objects[t['name']]}")
    for name, (geometry, count) in expect_layers.items():
        ds = ogr.Open(f"{base}_{name}.{'dbf' if geometry == ogr.wkbNone else 'shp'}")
        check(ds is not None, f"{base}_{name} opens")
        if ds is None:
            continue
        lyr = ds.GetLayer(0)
        check(lyr.GetFeatureCount() == count, f"{name}: {lyr.GetFeatureCount()} rows, not {count}")
        check(lyr.GetGeomType() == geometry, f"{name}: geometry {lyr.GetGeomType()}, not {geometry}")
        if geometry != ogr.wkbNone:
            srs = lyr.GetSpatialRef()
            check(srs is not None and srs.GetAuthorityCode(None) == "2178", f"{name}: CRS")
        for feat in lyr:
            g = feat.GetGeometryRef()
            if g is not None and geometry == ogr.wkbPolygon:
                check(g.IsValid(), f"{name} {feat.GetFID()}: invalid polygon")
    return base, report


def dbf_parts(path):
    """(header bytes, records) of a dBase file."""
    with open(path, "rb") as f:
        data = f.read()
    count = int.from_bytes(data[4:8], "little")
    header = int.from_bytes(data[8:10], "little")
    length = int.from_bytes(data[10:12], "little")
    return data[:32], [data[header + i * length:header + (i + 1) * length] for i in range(count)]


def check_legacy_tables_kept(binary, work, source):
    """--all adds columns after the plain layers' own: every record of the
    four begins with the plain run's bytes, the header keeps its date and
    code page."""
    runs = {}
    for name, opts in (("plain", ["--points", "--precincts"]), ("all", ["--all"])):
        folder = os.path.join(work, "legacy-" + name)
        os.mkdir(folder)
        shutil.copy(os.path.join(source, "examples", "sample.swd"), folder)
        convert(binary, folder, os.path.join(folder, "sample.swd"), opts)
        runs[name] = folder
    for layer in ("DZE", "BUD", "PKT", "OBR"):
        plain_head, plain = dbf_parts(os.path.join(runs["plain"], f"sample_{layer}.dbf"))
        all_head, added = dbf_parts(os.path.join(runs["all"], f"sample_{layer}.dbf"))
        check(len(plain) > 0 and len(plain) == len(added),
              f"{layer}: {len(added)} records with --all, {len(plain)} without")
        check(all(a.startswith(p) and len(a) > len(p) for p, a in zip(plain, added)),
              f"{layer}: the records with --all do not begin with the plain run's")
        check(all_head[1:4] == plain_head[1:4], f"{layer}: date {all_head[1:4].hex()}, "
              f"not {plain_head[1:4].hex()}")
        check(all_head[29] == plain_head[29] == 0xC8,
              f"{layer}: language driver {all_head[29]:#x}, not Windows-1250 (0xc8)")


MALFORMED = ("SWDE.w.3.00\nSO\n"
             "RD,,G5JRG,J1,1\nD,G5IJR,,G1\n"  # no X: the point's head ends it
             "RP,,G5PZG,A1,K1\nD,G5NRP,,15\nP,G,5,5\nX\n"
             "RO,,G5DZE,D1,1\nD,G5IDD,,146518_8.0001.1\nD,G5POW,,0.09\n"
             "GL\nK,+\nP,G,0,0\nP,G,0,10\nP,G,10,10\n"  # no X either
             "RO,,G5DZE,D2,1\nD,G5IDD,,146518_8.0001.2\nD,G5POW,,0.05\n"
             "GL\nK,+\nP,G,0,0\nP,G,0,10\nP,G,10,10\nX\nSX\nSWDEX\n")


def check_malformed(binary, work, gen_swde):
    """Objects without their "X": the register ends such an object at the
    next head, takes nothing of the next object into it, and the run writes
    every layer (it failed before, the counts of the plain layers and of the
    register differing); one thread and two agree on a large messy file."""
    folder = os.path.join(work, "malformed")
    os.mkdir(folder)
    with open(os.path.join(folder, "mal.swd"), "w") as f:
        f.write(MALFORMED)
    run = convert(binary, folder, os.path.join(folder, "mal.swd"), ["--all"])
    check(b"1 DZE objects have no record of their own in the DZE layer" in run.stderr,
          f"the parcel read into the one before it is told: {run.stderr.decode()[-600:]}")
    # The data sources are kept while their layers are read.
    jrg_ds = ogr.Open(os.path.join(folder, "mal_JRG.dbf"))
    jrg = jrg_ds.GetLayer(0)
    fields = [jrg.GetLayerDefn().GetFieldDefn(i).GetName()
              for i in range(jrg.GetLayerDefn().GetFieldCount())]
    check(fields == ["ID", "IDENT", "KLUCZ", "G5IJR"], f"JRG took lines of the point: {fields}")
    pkt_ds = ogr.Open(os.path.join(folder, "mal_PKT.dbf"))
    pkt = pkt_ds.GetLayer(0).GetNextFeature()
    check(pkt.GetField("IDENT") == "A1" and pkt.GetField("G5NRP_1") == 15,
          f"the point's register cells: {pkt.GetField('IDENT')} {pkt.GetField('G5NRP_1')}")
    dze_ds = ogr.Open(os.path.join(folder, "mal_DZE.dbf"))
    dze = dze_ds.GetLayer(0)
    rows = [(f.GetField("IDENT"), f.GetField("G5POW")) for f in dze]
    check(rows == [("D1", 0.09)], f"the parcel layer's one record and its register cells: {rows}")

    # A generated file with every fiftieth "X" left out, and every "X"
    # before an object of another type.
    source = os.path.join(work, "gen_malformed.swd")
    subprocess.run([gen_swde, "--parcels", "12000", "--seed", "9", "--register", source],
                   check=True, stderr=subprocess.DEVNULL)
    with open(source, "rb") as f:
        lines = f.read().split(b"\n")
    ends = 0
    kept = []
    current_type = None
    in_objects = False
    for i, line in enumerate(lines):
        in_objects = in_objects or line.strip() == b"SO"
        if line.startswith(b"R") and line[2:3] == b",":
            current_type = line.split(b",")[2]
        if in_objects and line.strip() in (b"X", b"XC"):
            ends += 1
            following = next((n for n in lines[i + 1:i + 4] if n.startswith(b"R")), b"")
            if ends % 50 == 0 or (following and following.split(b",")[2] != current_type):
                continue
        kept.append(line)
    with open(source, "wb") as f:
        f.write(b"\n".join(kept))
    check_threads_agree(binary, work, source, "messy")


def check_threads_agree(binary, work, source, name):
    """--all of source with one thread and two writes the same files."""
    outs = []
    for threads in ("1", "2"):
        folder = os.path.join(work, name + threads)
        os.mkdir(folder)
        os.symlink(source, os.path.join(folder, name + ".swd"))
        convert(binary, folder, os.path.join(folder, name + ".swd"), ["--all", "-j", threads])
        outs.append(folder)
    names = sorted(n for n in os.listdir(outs[0]) if n.startswith(name + "_"))
    check(len(names) > 20 and names == sorted(n for n in os.listdir(outs[1])
                                              if n.startswith(name + "_")),
          f"the same layers and tables of {name} with one thread and two: {names}")
    for n in names:
        check(filecmp.cmp(os.path.join(outs[0], n), os.path.join(outs[1], n), shallow=False),
              f"{n}: one thread and two differ")


def main():
    binary, source, gen_swde = (os.path.abspath(a) for a in sys.argv[1:4])
    work = tempfile.mkdtemp(prefix="register-test-")
    try:
        # The sample.
        shutil.copy(os.path.join(source, "examples", "sample.swd"), work)
        base, report = check_register(binary, work, os.path.join(work, "sample.swd"), {
            "KLU": (ogr.wkbPolygon, 36), "JEW": (ogr.wkbPolygon, 1), "ADR": (ogr.wkbNone, 24),
            "JRG": (ogr.wkbNone, 35), "OSF": (ogr.wkbNone, 2), "INS": (ogr.wkbNone, 1),
            "UDZ": (ogr.wkbNone, 43), "DOK": (ogr.wkbNone, 1),
            "META": (ogr.wkbNone, 5)})
        check(report["counts"]["texts_cut"] == 1, f"texts_cut {report['counts']['texts_cut']}")
        check(report["unresolved_relations"] == {"G5RPOD": 1},
              f"unresolved {report['unresolved_relations']}")
        dok_ds = ogr.Open(base + "_DOK.dbf")
        opd = dok_ds.GetLayer(0).GetNextFeature().GetField("G5OPD")
        check(len(opd) == 254 and opd.startswith("Decyzja o podziale nieruchomości, działka"),
              f"the long description: {len(opd)} characters")
        osf_ds = ogr.Open(base + "_OSF.dbf")
        osf = [f.GetField("G5PIM") for f in osf_ds.GetLayer(0)]
        check(osf == ["Jan|Paweł", "Anna"], f"given names {osf}")
        dze_ds = ogr.Open(base + "_DZE.dbf")
        dze = dze_ds.GetLayer(0)
        defn = dze.GetLayerDefn()
        first = [defn.GetFieldDefn(i).GetName() for i in range(9)]
        check(first == ["ID", "IDD", "KOD_WOJ", "KOD_POW", "KOD_GMI", "KOD_OBR", "OBR", "DNR",
                        "POW"], f"parcel columns first {first}")
        f = dze.GetNextFeature()
        check(f.GetField("G5POW") == 0.09 and f.GetField("G5RPOD") == "JR1",
              f"first parcel: G5POW {f.GetField('G5POW')} G5RPOD {f.GetField('G5RPOD')}")
        klu_ds = ogr.Open(base + "_KLU.shp")
        uses = sorted({f.GetField("G5OFU") for f in klu_ds.GetLayer(0)})
        check(uses == sorted(["R", "S", "Ł", "Ps", "B", "dr", "W"]), f"land uses {uses}")

        check_legacy_tables_kept(binary, work, source)
        check_malformed(binary, work, gen_swde)

        # Left out and only: the persons' data never reaches a file.
        for opts, present, absent in ((["--exclude-types=OSF,G5UDZ"], ["KLU", "JRG"],
                                       ["OSF", "UDZ"]),
                                      (["--types=KLU"], ["KLU"], ["OSF", "JRG", "ADR"])):
            folder = tempfile.mkdtemp(dir=work)
            shutil.copy(os.path.join(source, "examples", "sample.swd"), folder)
            run = convert(binary, folder, os.path.join(folder, "sample.swd"), opts)
            files = os.listdir(folder)
            for name in present:
                check(f"sample_{name}.dbf" in files, f"{opts}: sample_{name} written")
            for name in absent:
                check(f"sample_{name}.dbf" not in files, f"{opts}: sample_{name} left out")
            check(b"left out" in run.stderr, f"{opts}: the summary names what is left out")

        # A generated county part, one thread and two.
        outs = []
        for threads in ("1", "2"):
            folder = os.path.join(work, "t" + threads)
            os.mkdir(folder)
            path = os.path.join(folder, "gen.swd")
            subprocess.run([gen_swde, "--parcels", "3000", "--seed", "5", "--register", path],
                           check=True, stderr=subprocess.DEVNULL)
            run = convert(binary, folder, path, ["--all", "-j", threads])
            outs.append(folder)
        base, _ = check_register(binary, outs[0], os.path.join(outs[0], "gen.swd"), {
            "KLU": (ogr.wkbPolygon, 3000), "ADR": (ogr.wkbNone, 2000), "JRG": (ogr.wkbNone, 2999)})
        names = sorted(n for n in os.listdir(outs[1]) if n.startswith("gen_"))
        check(names == sorted(n for n in os.listdir(outs[0]) if n.startswith("gen_")),
              "the same files with one thread and two")
        for n in names:
            check(filecmp.cmp(os.path.join(outs[0], n), os.path.join(outs[1], n), shallow=False),
                  f"{n}: one thread and two differ")

        # A file of several parts (the passes cut it at about every 4 MB):
        # the rows the threads make of each part are taken in file order.
        big = os.path.join(work, "big.swd")
        subprocess.run([gen_swde, "--parcels", "12000", "--seed", "7", "--register", big],
                       check=True, stderr=subprocess.DEVNULL)
        check(os.path.getsize(big) > 12 * 2**20, "the file spans several parts")
        check_threads_agree(binary, work, big, "big")
    finally:
        shutil.rmtree(work)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all register checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
