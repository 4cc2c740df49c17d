#!/usr/bin/python3
"""The outputs in GDAL's formats (-f GPKG, -f FlatGeobuf) read back through
GDAL, layer by layer against the shapefiles of the same conversion: the
counts, every attribute value, the column types, UTF-8 texts with every
Polish letter and not cut, the EPSG code, the geometries byte for byte
(the same coordinates and rings), every polygon valid, the GeoPackage's
R-tree, and the working names gone after the run.

usage: gdal_output_test.py EGIB2SHP_BINARY GEN_SWDE_BINARY SOURCE_DIR
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr

gdal.UseExceptions()
ogr.UseExceptions()

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(binary, args, cwd):
    r = subprocess.run([binary] + args, cwd=cwd, capture_output=True)
    check(r.returncode == 0, f"{args}: exit status {r.returncode}: {r.stderr[-400:]!r}")
    return r


LAYERS = {"DZE": "_DZE.shp", "BUD": "_BUD.shp", "PKT": "_PKT.shp", "OBR": "_OBR.shp"}
INTEGER_COLUMNS = {"ID", "FUNKCJA", "G5STB", "G5ZRD", "G5BPP", "G5RZG"}
REAL_COLUMNS = {"POW"}


def compare_layer(label, layer, shp_path, epsg, source, null_shapes_dropped=False):
    """Every feature of a GDAL layer against the shapefile of the same run;
    with null_shapes_dropped (GDAL 3.6's FlatGeobuf) against the records
    of the shapefile that have a shape.  Returns the count compared."""
    shp_ds = ogr.Open(shp_path)
    shp = shp_ds.GetLayer(0)
    shp_features = [f for f in shp if not null_shapes_dropped or f.GetGeometryRef() is not None]
    check(layer.GetFeatureCount() == len(shp_features),
          f"{label}: {layer.GetFeatureCount()} features, the shapefile has {len(shp_features)}")
    srs = layer.GetSpatialRef()
    code = srs.GetAuthorityCode(None) if srs is not None else None
    check(code == str(epsg), f"{label}: EPSG {code}, expected {epsg}")
    defn = layer.GetLayerDefn()
    # A database folds the column names to lower case.
    names = [defn.GetFieldDefn(i).GetName().upper() for i in range(defn.GetFieldCount())]
    for i, name in enumerate(names):
        t = defn.GetFieldDefn(i).GetType()
        want = (ogr.OFTInteger if name in INTEGER_COLUMNS else
                ogr.OFTReal if name in REAL_COLUMNS else ogr.OFTString)
        check(t == want, f"{label}: column {name} of type {defn.GetFieldDefn(i).GetTypeName()}")
    shp_names = [shp.GetLayerDefn().GetFieldDefn(i).GetName()
                 for i in range(shp.GetLayerDefn().GetFieldCount())]
    check([n for n in names if n != "ZRODLO"] == [n for n in shp_names if n != "DNR" or
                                                  "IDB" not in shp_names],
          f"{label}: columns {names} against the shapefile's {shp_names}")
    polygons = layer.GetGeomType() != ogr.wkbPoint
    check(layer.GetGeomType() == (ogr.wkbMultiPolygon if polygons else ogr.wkbPoint),
          f"{label}: geometry type {layer.GetGeomType()}")
    id_index = names.index("ID")
    # FlatGeobuf's spatial index orders the features along its curve: they
    # are matched by their running number.
    features = sorted(layer, key=lambda f: f.GetField(id_index))
    mismatches = []
    for n, (f, s) in enumerate(zip(features, shp_features)):
        for i, name in enumerate(names):
            v = f.GetField(i)
            if name == "ZRODLO":
                if v != source:
                    mismatches.append((n, name, v))
                continue
            w = s.GetField(name)
            if name in ("KOD_WOJ", "KOD_POW"):
                ident = f.GetField(names.index("IDD" if "IDD" in names else "IDB")) or ""
                want = ident[:2] if name == "KOD_WOJ" else ident[:4]
                # The TERYT code as text, its leading zeros kept; the
                # shapefile holds its number.
                if (v or "") != want or (want.isdigit() and int(want) != w):
                    mismatches.append((n, name, v, w))
            elif name in REAL_COLUMNS:
                if v is None or abs(v - w) > 0.0051:
                    mismatches.append((n, name, v, w))
            elif name in INTEGER_COLUMNS:
                if v != w:
                    mismatches.append((n, name, v, w))
            else:
                # Texts: equal, or, where the shapefile's column cut one,
                # whole here and beginning with what the shapefile holds.
                width = s.GetFieldDefnRef(name).GetWidth()
                if not ((v or "") == (w or "") or
                        (len((w or "").encode("cp1250")) == width and (v or "").startswith(w))):
                    mismatches.append((n, name, v, w))
        g = f.GetGeometryRef()
        sg = s.GetGeometryRef()
        if polygons:
            if g is None or not g.IsValid():
                mismatches.append((n, "invalid polygon"))
            elif ogr.ForceToMultiPolygon(sg.Clone()).ExportToIsoWkb() != g.ExportToIsoWkb():
                mismatches.append((n, "geometry", g.ExportToWkt()[:80], sg.ExportToWkt()[:80]))
        elif g is None or sg is None:
            # A point without coordinates: no geometry here, a null shape there.
            if (g is None) != (sg is None):
                mismatches.append((n, "point", g and g.ExportToWkt(), sg and sg.ExportToWkt()))
        elif (g.GetX(), g.GetY()) != (sg.GetX(), sg.GetY()):
            mismatches.append((n, "point", g.ExportToWkt(), sg.ExportToWkt()))
    check(not mismatches, f"{label}: {len(mismatches)} differences, first {mismatches[:3]}")
    return len(features)


def check_outputs(binary, workdir, name, codes, layers, epsg, extra=()):
    """Converts one file into shapefiles, a GeoPackage and FlatGeobuf files
    and compares every layer; returns the GeoPackage's path."""
    shp_dir = os.path.join(workdir, "shp")
    run(binary, list(extra) + ["-o", shp_dir, name + ".swd"] + codes, workdir)
    run(binary, list(extra) + ["-f", "GPKG", name + ".swd"] + codes, workdir)
    fgb_run = run(binary, list(extra) + ["-f", "FlatGeobuf", name + ".swd"] + codes, workdir)
    gpkg = os.path.join(workdir, name + ".gpkg")
    fgb = os.path.join(workdir, name + "_fgb")
    left = [f for f in os.listdir(workdir) if ".tmp" in f]
    check(not left, f"{name}: working files left: {left}")
    counts = {}
    ds = gdal.OpenEx(gpkg, gdal.OF_VECTOR)
    check(sorted(ds.GetLayer(i).GetName() for i in range(ds.GetLayerCount())) == sorted(layers),
          f"{name}.gpkg: layers {[ds.GetLayer(i).GetName() for i in range(ds.GetLayerCount())]}")
    for layer_name in layers:
        shp_path = os.path.join(shp_dir, name + LAYERS[layer_name])
        counts[layer_name] = compare_layer(f"{name}.gpkg {layer_name}",
                                           ds.GetLayerByName(layer_name), shp_path, epsg,
                                           name + ".swd")
        # The R-tree of the layer holds every feature that has a geometry.
        rtree = ds.ExecuteSQL(f'SELECT (SELECT COUNT(*) FROM "rtree_{layer_name}_geom"), '
                              f'(SELECT COUNT(*) FROM "{layer_name}" WHERE geom IS NOT NULL)')
        r = rtree.GetNextFeature()
        check(r.GetField(0) == r.GetField(1) and r.GetField(1) > 0,
              f"{name}.gpkg: the R-tree of {layer_name} holds {r.GetField(0)} of {r.GetField(1)}")
        ds.ReleaseResultSet(rtree)
        fds = gdal.OpenEx(os.path.join(fgb, layer_name + ".fgb"), gdal.OF_VECTOR)
        held = compare_layer(f"{name}_fgb {layer_name}", fds.GetLayer(0), shp_path, epsg,
                             name + ".swd", null_shapes_dropped=True)
        fds = None
        # The features FlatGeobuf cannot hold are named, not lost unnoticed.
        dropped = counts[layer_name] - held
        said = f"{dropped} feature{'' if dropped == 1 else 's'} of {layer_name} without geometry"
        check((said.encode() in fgb_run.stderr) == (dropped > 0),
              f"{name}_fgb {layer_name}: {dropped} dropped, stderr {fgb_run.stderr[-300:]!r}")
    ds = None
    return gpkg, counts


def polish_file():
    """Every Polish letter in a precinct's name and a parcel identifier of
    sixty characters, in ISO 8859-2 as the format has it."""
    letters = "ĄĆĘŁŃÓŚŹŻąćęłńóśźż"
    ident = "021101_1.0001." + "9" * 46
    lines = ["SWDE.w.3.00", "SO",
             "RO,,G5OBR,OB1", "D,G5IDR,,021101_1.0001", "D,G5NRO,,0001",
             f"D,G5NAZ,,Obręb {letters}", "GL", "K,+",
             "P,G,5806000,4603000", "P,G,5806100,4603000", "P,G,5806100,4603100",
             "P,G,5806000,4603100", "X",
             "RO,,G5DZE,DZ1", f"D,G5IDD,,{ident}", "GL", "K,+",
             "P,G,5806010,4603010", "P,G,5806050,4603010", "P,G,5806050,4603050",
             "P,G,5806010,4603050", "X",
             "RO,,G5BUD,BU1", "D,G5IDB,,021101_1.0001.BUD1", "D,G5FUZ,,110", "GL", "K,+",
             "P,G,5806020,4603020", "P,G,5806030,4603020", "P,G,5806030,4603030",
             "P,G,5806020,4603030", "X",
             "SX", "SWDEX"]
    return ("\n".join(lines) + "\n").encode("iso-8859-2"), letters, ident


# The join of the README: parcels with their registration unit, the same
# text in SQLite (GeoPackage) and PostgreSQL.
JOIN = ("SELECT d.idd, j.g5ijr FROM dze d JOIN jrg j ON j.ident = d.g5rpod "
        "ORDER BY d.idd")


def register_file():
    """Two registration units (G5JRG, no geometry) and three parcels that
    refer to them by G5RPOD."""
    lines = ["SWDE.w.3.00", "SO",
             "RO,,G5JRG,JR1", "D,G5IJR,,G12", "X",
             "RO,,G5JRG,JR2", "D,G5IJR,,G7", "D,G5DTW,,20210315", "X"]
    for n, unit in ((1, "JR1"), (2, "JR2"), (3, "JR1")):
        e = 4603000 + 50 * n
        lines += [f"RO,,G5DZE,DZ{n}", f"D,G5IDD,,021101_1.0001.{n}", f"WG,G5RPOD,,{unit}", "GL",
                  "K,+", f"P,G,5806000,{e}", f"P,G,5806040,{e}", f"P,G,5806040,{e + 40}",
                  f"P,G,5806000,{e + 40}", "X"]
    lines += ["SX", "SWDEX"]
    return ("\n".join(lines) + "\n").encode("iso-8859-2")


JOIN_ROWS = [("021101_1.0001.1", "G12"), ("021101_1.0001.2", "G7"), ("021101_1.0001.3", "G12")]


def check_register(binary, workdir):
    """--all into a GeoPackage: the registration units as a table without
    geometry, the parcels' relation as a column, the README's join."""
    reg = os.path.join(workdir, "register")
    os.mkdir(reg)
    with open(os.path.join(reg, "rej.swd"), "wb") as f:
        f.write(register_file())
    r = run(binary, ["-f", "GPKG", "--all", "rej.swd", "2", "2", "0"], reg)
    check(b"rej.gpkg (" in r.stderr and b") and rej_fields.csv\n" in r.stderr
          and os.path.exists(os.path.join(reg, "rej_fields.csv"))
          and not os.path.exists(os.path.join(reg, "rej_fields.tmp.csv")),
          f"the summary names the list of columns beside rej.gpkg: {r.stderr[-300:]!r}")
    ds = gdal.OpenEx(os.path.join(reg, "rej.gpkg"), gdal.OF_VECTOR)
    if ds is None:
        check(False, "rej.gpkg not written")
        return
    jrg = ds.GetLayerByName("JRG")
    check(jrg is not None and jrg.GetGeomType() == ogr.wkbNone and jrg.GetFeatureCount() == 2,
          "rej.gpkg: JRG is not a table of two rows without geometry")
    if jrg is not None:
        defn = jrg.GetLayerDefn()
        i = defn.GetFieldIndex("G5DTW")
        check(i >= 0 and defn.GetFieldDefn(i).GetType() == ogr.OFTDate,
              "rej.gpkg: the date G5DTW is not a date column")
    rows = ds.ExecuteSQL(JOIN)
    got = [(f.GetField(0), f.GetField(1)) for f in rows] if rows is not None else []
    if rows is not None:
        ds.ReleaseResultSet(rows)
    check(got == JOIN_ROWS, f"rej.gpkg: the join gives {got}")
    ds = None
    # The same join as a user runs it.
    r = subprocess.run(["ogrinfo", "-ro", "-q", "rej.gpkg", "-sql", JOIN], cwd=reg,
                       capture_output=True, text=True)
    check(r.returncode == 0 and r.stdout.lower().count("g5ijr (string) = g12") == 2,
          f"ogrinfo -sql of the join: {r.returncode} {r.stdout[-300:]!r}")


def check_all_layers(binary, workdir):
    """--all of the sample into a GeoPackage and a folder of FlatGeobuf files
    against the shapefiles' --all: the same layers and tables (the boundary
    points and precincts among them), the same rows (FlatGeobuf less the
    features without geometry it cannot hold, said on stderr; its tables
    without geometry as CSV files), the relations added to the parcels with
    the same values, and every value of every layer and table of the
    GeoPackage equal to the shapefiles' under its full column name."""
    d = os.path.join(workdir, "all")
    os.mkdir(d)
    shutil.copy(os.path.join(workdir, "sample.swd"), d)
    codes = ["sample.swd", "2", "21", "0"]
    run(binary, ["--all", "-o", "shp"] + codes, d)
    run(binary, ["-f", "GPKG", "--all"] + codes, d)
    fgb_run = run(binary, ["-f", "FlatGeobuf", "--all"] + codes, d)
    shp_dir = os.path.join(d, "shp")
    shp_tables = {}
    opened = []  # the features need their datasets open
    for f in sorted(os.listdir(shp_dir)):
        if f.startswith("sample_") and f.endswith(".dbf"):
            opened.append(ogr.Open(os.path.join(shp_dir, f)))
            layer = opened[-1].GetLayer(0)
            shp_tables[f[len("sample_"):-4]] = (
                [x for x in layer],
                layer.GetGeomType() != ogr.wkbNone)
    check({"DZE", "BUD", "PKT", "OBR", "JRG", "META"} <= set(shp_tables),
          f"shapefiles of --all: {sorted(shp_tables)}")
    gpkg = gdal.OpenEx(os.path.join(d, "sample.gpkg"), gdal.OF_VECTOR)
    names = sorted(gpkg.GetLayer(i).GetName() for i in range(gpkg.GetLayerCount()))
    check(names == sorted(shp_tables), f"sample.gpkg of --all: {names}, shapefiles {sorted(shp_tables)}")
    fgb_dir = os.path.join(d, "sample_fgb")
    for name, (features, has_shape) in shp_tables.items():
        with_shape = [f for f in features if f.GetGeometryRef() is not None]
        g = gpkg.GetLayerByName(name)
        check(g is not None and g.GetFeatureCount() == len(features),
              f"sample.gpkg {name}: {g and g.GetFeatureCount()} rows, shapefile {len(features)}")
        path = os.path.join(fgb_dir, name + (".fgb" if has_shape else ".csv"))
        fds = gdal.OpenEx(path, gdal.OF_VECTOR) if os.path.exists(path) else None
        want = len(with_shape) if has_shape else len(features)
        got = fds.GetLayer(0).GetFeatureCount() if fds is not None else None
        check(got == want, f"sample_fgb {os.path.basename(path)}: {got} rows, expected {want}")
        if has_shape and want < len(features):
            check(f"{len(features) - want} feature".encode() in fgb_run.stderr,
                  f"sample_fgb {name}: the features dropped are not said")
        # The relations and attributes added to the parcels, by running number.
        if name == "DZE" and fds is not None:
            for source, layer in (("gpkg", g), ("fgb", fds.GetLayer(0))):
                by_id = {f.GetField("ID"): f for f in layer}
                diff = [(f.GetField("ID"), f.GetField("G5RPOD"), by_id[f.GetField("ID")].GetField("G5RPOD"))
                        for f in features
                        if f.GetField("ID") not in by_id or
                        (f.GetField("G5RPOD") or None) != by_id[f.GetField("ID")].GetField("G5RPOD")]
                check(not diff and any(f.GetField("G5RPOD") for f in features),
                      f"{source} DZE: G5RPOD differs from the shapefile's: {diff[:3]}")
        fds = None
    # Every value of every layer and table, by its full name as
    # sample_fields.csv gives it for the dBase column.
    full_names = {}
    with open(os.path.join(shp_dir, "sample_fields.csv"), encoding="utf-8") as f:
        for row in csv.DictReader(f):
            full_names[(row["layer"], row["column"])] = row["full_name"]
    compared = 0
    for name, (features, _) in shp_tables.items():
        g = gpkg.GetLayerByName(name)
        if g is None:
            continue
        gdefn = g.GetLayerDefn()
        gnames = {gdefn.GetFieldDefn(i).GetName().upper(): i for i in range(gdefn.GetFieldCount())}
        sdefn = features[0].GetDefnRef() if features else None
        columns = [sdefn.GetFieldDefn(i) for i in range(sdefn.GetFieldCount())] if sdefn else []
        rows = {f.GetField("ID"): f for f in g} if "ID" in gnames else {}
        differences = []
        for k, s in enumerate(features):
            f = rows.get(s.GetField("ID")) if rows else None
            if f is None:
                differences.append((k, "row missing"))
                continue
            for c in columns:
                short = c.GetName()
                if name == "BUD" and short == "DNR":
                    continue  # the buildings' DNR is written in shapefiles alone
                # The boundary points' register columns are listed under
                # their type, G5PZG; those that the layer has already are
                # not added twice, and hold the same values.
                listed = "PZG" if name == "PKT" else name
                full = full_names.get((listed, short), short).upper()
                if full != short.upper() and any(x.GetName().upper() == full for x in columns):
                    continue  # compared as the layer's own column
                if full not in gnames:
                    differences.append((k, short, "no column " + full))
                    continue
                w, v = s.GetField(short), f.GetField(gnames[full])
                compared += 1
                if full in ("KOD_WOJ", "KOD_POW"):
                    # TERYT codes as texts here, as numbers in dBase.
                    same = (v is None and w is None) or (v is not None and w is not None and
                                                        int(v) == int(w))
                elif c.GetType() == ogr.OFTReal:
                    # dBase holds the value rounded to its column's decimals.
                    tolerance = 0.5 * 10.0**-c.GetPrecision() + 1e-9
                    same = (v is None and w is None) or (v is not None and w is not None and
                                                        abs(float(v) - float(w)) <= tolerance)
                elif c.GetType() == ogr.OFTString:
                    # Whole here where the dBase column (254 at most) cut it.
                    w, v = w or "", v if isinstance(v, str) else ("" if v is None else str(v))
                    same = v == w or (len(w.encode("cp1250")) == c.GetWidth() and v.startswith(w))
                else:
                    same = s.GetFieldAsString(short) == f.GetFieldAsString(gnames[full])
                if not same:
                    differences.append((k, short, full, w, v))
        check(not differences, f"sample.gpkg {name} of --all: {len(differences)} values differ "
              f"from the shapefiles', first {differences[:3]}")
    check(compared > 1000, f"--all: only {compared} values compared")
    gpkg = None


def main():
    binary, gen_swde, source_dir = sys.argv[1:4]
    workdir = tempfile.mkdtemp(prefix="egib-gdal-output-")
    try:
        # The bundled sample, every layer.
        shutil.copy(os.path.join(source_dir, "examples", "sample.swd"), workdir)
        _, counts = check_outputs(binary, workdir, "sample", ["2", "21", "0"],
                                  ["DZE", "BUD", "PKT", "OBR"], 2178,
                                  ["--points", "--precincts"])
        check(counts["DZE"] > 30 and counts["BUD"] > 20 and counts["PKT"] > 300,
              f"sample: counts {counts}")

        # A generated county file, parcels and buildings, into the 1992 grid.
        county = os.path.join(workdir, "county")
        os.mkdir(county)
        subprocess.run([gen_swde, "--parcels", "2000", "--seed", "7",
                        os.path.join(county, "county.swd")], check=True)
        _, counts = check_outputs(binary, county, "county", ["2", "10", "0"], ["DZE", "BUD"], 2180)
        check(counts["DZE"] == 2000, f"county: {counts['DZE']} parcels, expected 2000")

        # Polish letters and a long identifier: whole and in UTF-8.
        polish = os.path.join(workdir, "polish")
        os.mkdir(polish)
        content, letters, ident = polish_file()
        with open(os.path.join(polish, "litery.swd"), "wb") as f:
            f.write(content)
        gpkg, _ = check_outputs(binary, polish, "litery", ["2", "2", "0"], ["DZE", "BUD", "OBR"],
                                2172, ["--precincts"])
        ds = gdal.OpenEx(gpkg, gdal.OF_VECTOR)
        name = ds.GetLayerByName("OBR").GetNextFeature().GetField("G5NAZ")
        check(name == "Obręb " + letters, f"litery.gpkg: precinct name {name!r}")
        parcel = ds.GetLayerByName("DZE").GetNextFeature()
        check(parcel.GetField("IDD") == ident, f"litery.gpkg: identifier {parcel.GetField('IDD')!r}")
        check(parcel.GetField("KOD_WOJ") == "02" and parcel.GetField("KOD_POW") == "0211",
              f"litery.gpkg: TERYT codes {parcel.GetField('KOD_WOJ')!r} {parcel.GetField('KOD_POW')!r}")
        building = ds.GetLayerByName("BUD").GetNextFeature()
        check(building.GetField("FUNKCJA") == 110, f"litery.gpkg: FUNKCJA {building.GetField('FUNKCJA')}")
        ds = None

        # A second run replaces the GeoPackage whole; an unknown format and
        # a destination that cannot be made fail with status 1 and leave the
        # earlier file as it was.
        before = os.path.getsize(gpkg)
        bad = subprocess.run([binary, "-f", "NoSuchFormat", "litery.swd", "2", "2", "0"],
                             cwd=polish, capture_output=True)
        check(bad.returncode == 1 and b"--formats" in bad.stderr,
              f"unknown format: {bad.returncode} {bad.stderr!r}")
        bad = subprocess.run([binary, "-f", "GPKG", "--append", "litery.swd", "2", "2", "0"],
                             cwd=polish, capture_output=True)
        check(bad.returncode == 1 and b"--append" in bad.stderr,
              f"--append to a file: {bad.returncode} {bad.stderr!r}")
        os.mkdir(os.path.join(polish, "blocked"))
        with open(os.path.join(polish, "blocked", "litery.tmp.gpkg"), "w"):
            pass
        os.chmod(os.path.join(polish, "blocked"), 0o555)
        if os.geteuid() != 0:
            bad = subprocess.run([binary, "-f", "GPKG", "-o", "blocked", "litery.swd", "2", "2", "0"],
                                 cwd=polish, capture_output=True)
            check(bad.returncode == 1, f"unwritable folder: {bad.returncode} {bad.stderr!r}")
        check(os.path.getsize(gpkg) == before, "litery.gpkg changed by failed runs")

        check_register(binary, workdir)
        check_all_layers(binary, workdir)

        # --formats names the formats of this build.
        r = subprocess.run([binary, "--formats"], capture_output=True, text=True)
        names = [line.split("  ")[0] for line in r.stdout.splitlines()]
        check(r.returncode == 0 and {"ESRI Shapefile", "GPKG", "PostgreSQL", "FlatGeobuf"} <= set(names),
              f"--formats: {r.returncode} {names[:8]}")
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    if failures:
        print(f"{len(failures)} checks failed")
        return 1
    print("all GDAL output checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
