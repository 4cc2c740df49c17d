#!/usr/bin/python3
"""GIS interoperability of the layers, checked with GDAL's Python bindings.

Converts a file with Polish names and the bundled sample, then checks what a
GIS sees: feature counts, geometry type, the schema, UTF-8 text through the
.cpg, the EPSG system of the .prj, a valid GeoPackage made by ogr2ogr and
valid polygons.

usage: gdal_interop_test.py EGIB2SHP_BINARY SOURCE_DIR GEN_SWDE_BINARY
"""
import os
import shutil
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr, osr

gdal.UseExceptions()
ogr.UseExceptions()

PARCEL_FIELDS = [
    ("ID", ogr.OFTInteger64, 10), ("IDD", ogr.OFTString, 50),
    ("KOD_WOJ", ogr.OFTInteger64, 10), ("KOD_POW", ogr.OFTInteger64, 10),
    ("KOD_GMI", ogr.OFTString, 10), ("KOD_OBR", ogr.OFTString, 50),
    ("OBR", ogr.OFTString, 10), ("DNR", ogr.OFTString, 50), ("POW", ogr.OFTReal, 16),
]
BUILDING_FIELDS = ([("IDB", ogr.OFTString, 50) if f[0] == "IDD" else f for f in PARCEL_FIELDS]
                   + [("FUNKCJA", ogr.OFTInteger64, 10)])

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def convert(binary, workdir, name, content, codes):
    path = os.path.join(workdir, name + ".swd")
    with open(path, "wb") as f:
        f.write(content)
    run = subprocess.run([binary, name + ".swd"] + codes, cwd=workdir,
                         env=dict(os.environ, HOME=workdir), capture_output=True)
    check(run.returncode == 0, f"{name}: exit status {run.returncode}: {run.stderr!r}")
    return os.path.join(workdir, name)


def check_layer(base, fields, count, epsg):
    ds = ogr.Open(base + ".shp")
    layer = ds.GetLayer(0)
    check(layer.GetFeatureCount() == count,
          f"{base}: {layer.GetFeatureCount()} features, expected {count}")
    check(layer.GetGeomType() == ogr.wkbPolygon, f"{base}: geometry type {layer.GetGeomType()}")
    defn = layer.GetLayerDefn()
    got = [(defn.GetFieldDefn(i).GetName(), defn.GetFieldDefn(i).GetType(),
            defn.GetFieldDefn(i).GetWidth()) for i in range(defn.GetFieldCount())]
    check(got == fields, f"{base}: schema {got}")
    srs = layer.GetSpatialRef()
    if epsg is None:
        check(srs is None, f"{base}: a coordinate system where none is known")
    else:
        check(srs is not None, f"{base}: no coordinate system")
        if srs is not None:
            srs.AutoIdentifyEPSG()
            matches = srs.FindMatches()
            best = matches[0][0].GetAuthorityCode(None) if matches else None
            check(best == str(epsg), f"{base}: .prj identified as EPSG:{best}, expected {epsg}")
    return ds


def check_validity(base):
    """Every polygon valid for GEOS, every ring closed, and GDAL silent."""
    messages = []

    def handler(_level, _number, message):
        messages.append(message)

    gdal.PushErrorHandler(handler)
    try:
        ds = ogr.Open(base + ".shp")
        invalid, unclosed = [], []
        for feature in ds.GetLayer(0):
            geometry = feature.GetGeometryRef()
            if geometry is None or not geometry.IsValid():
                invalid.append(feature.GetFID())
                continue
            polygons = ([geometry] if geometry.GetGeometryType() == ogr.wkbPolygon
                        else [geometry.GetGeometryRef(i) for i in range(geometry.GetGeometryCount())])
            for polygon in polygons:
                for r in range(polygon.GetGeometryCount()):
                    ring = polygon.GetGeometryRef(r)
                    if ring.GetPoint_2D(0) != ring.GetPoint_2D(ring.GetPointCount() - 1):
                        unclosed.append(feature.GetFID())
    finally:
        gdal.PopErrorHandler()
    check(not invalid, f"{base}: invalid polygons {invalid}")
    check(not unclosed, f"{base}: unclosed rings in {unclosed}")
    check(not messages, f"{base}: GDAL says {messages[:3]}")
    return ds


def polygon_areas(base):
    ds = ogr.Open(base + ".shp")
    return [(f.GetGeometryRef().GetArea(), f.GetField("POW"), f.GetGeometryRef().GetGeometryName(),
             f.GetGeometryRef().GetGeometryCount()) for f in ds.GetLayer(0)]


def check_outlines_with_holes(binary, workdir):
    """Rings as SWDE writes them: holes in the outer ring's list, closed in
    the input or not, either orientation, several lists, courtyards."""
    outer = b"P,G,0,0\nP,G,100,0\nP,G,100,100\nP,G,0,100\n"
    hole = b"P,G,20,20\nP,G,20,80\nP,G,80,80\nP,G,80,20\n"          # counter-clockwise
    hole_cw = b"P,G,20,20\nP,G,80,20\nP,G,80,80\nP,G,20,80\n"       # clockwise
    small = [b"P,G,10,10\nP,G,10,15\nP,G,15,15\nP,G,15,10\n",
             b"P,G,85,85\nP,G,85,90\nP,G,90,90\nP,G,90,85\n"]
    closed = lambda ring: ring + ring.split(b"\n")[0] + b"\n"
    cases = [
        # (name, object lines, expected POW)
        ("unclosed", b"GL\nK,+\n" + outer + b"K,-\n" + hole, 6400.0),
        ("closed", b"GL\nK,+\n" + closed(outer) + b"K,-\n" + closed(hole), 6400.0),
        ("hole clockwise", b"GL\nK,+\n" + outer + b"K,-\n" + hole_cw, 6400.0),
        ("two holes", b"GL\nK,+\n" + outer + b"K,-\n" + small[0] + b"K,-\n" + small[1], 9950.0),
        ("two lists", b"GL\nK,+\n" + outer + b"GL\nK,-\n" + hole, 6400.0),
        ("single ring", b"GL\nK,+\n" + outer, 10000.0),
    ]
    body = b"".join(b"RO,,G5DZE,d%d\nD,G5IDD,,%d\n" % (i, i) + lines + b"X\n"
                    for i, (_, lines, _) in enumerate(cases))
    # A building with a courtyard, through point references.
    body += (b"RP,,G5PZG,w1,\nP,G,0,0\nX\nRP,,G5PZG,w2,\nP,G,30,0\nX\n"
             b"RP,,G5PZG,w3,\nP,G,30,30\nX\nRP,,G5PZG,w4,\nP,G,0,30\nX\n"
             b"RO,,G5BUD,b1\nD,G5IDB,,b1\nGL\nK,+\nP,P,,w1\nP,P,,w2\nP,P,,w3\nP,P,,w4\n"
             b"P,P,,w1\nK,-\nP,G,10,10\nP,G,20,10\nP,G,20,20\nP,G,10,20\nX\n")
    content = b"SWDE.w.3.00\nSO\n" + body + b"SX\nSWDEX\n"
    for codes in (["0", "0", "0"], ["2", "18", "0"]):
        base = convert(binary, workdir, "holes", content, codes)
        check_validity(base + "_DZE")
        check_validity(base + "_BUD")
        areas = polygon_areas(base + "_DZE")
        for (name, _, pow_expected), (area, pow_written, kind, rings) in zip(cases, areas):
            check(abs(area - pow_written) < 0.01, f"{codes} {name}: POW {pow_written}, area {area}")
            if codes[0] == "0":
                check(pow_written == pow_expected, f"{name}: POW {pow_written}, not {pow_expected}")
            check(kind == "POLYGON", f"{codes} {name}: read as {kind}")
        building = polygon_areas(base + "_BUD")[0]
        check(building[2] == "POLYGON" and building[3] == 2,
              f"{codes} courtyard: read as {building[2]} of {building[3]} rings")
        if codes[0] == "0":
            check(building[1] == 800.0, f"courtyard: POW {building[1]}")


def check_register_layers(binary, gen_swde, workdir):
    """The optional layers as a GIS sees them: points, precinct polygons."""
    path = os.path.join(workdir, "register.swd")
    subprocess.run([gen_swde, "--parcels", "100", "--seed", "21", path], check=True,
                   capture_output=True)
    with open(path, "rb") as f:
        content = f.read()
    run = subprocess.run([binary, "--points", "--precincts", "register.swd", "EPSG:2172",
                          "EPSG:2178", "0"], cwd=workdir, env=dict(os.environ, HOME=workdir),
                         capture_output=True)
    check(run.returncode == 0, f"register layers: exit status {run.returncode}")
    base = os.path.join(workdir, "register")
    ds = ogr.Open(base + "_PKT.shp")
    layer = ds.GetLayer(0)
    check(layer.GetGeomType() == ogr.wkbPoint, f"points: geometry type {layer.GetGeomType()}")
    points = content.count(b"RP,,G5PZG,")
    check(layer.GetFeatureCount() == points, f"points: {layer.GetFeatureCount()} of {points}")
    srs = layer.GetSpatialRef()
    matches = srs.FindMatches() if srs is not None else []
    check(matches and matches[0][0].GetAuthorityCode(None) == "2178", "points: not EPSG:2178")
    ds = check_validity(base + "_OBR")
    layer = ds.GetLayer(0)
    layer.ResetReading()
    check(layer.GetFeatureCount() == 1, f"precincts: {layer.GetFeatureCount()}")
    feature = layer.GetNextFeature()
    check(feature.GetField("G5NAZ") == "Obręb 1 Łęczyca", f"precinct name {feature.GetField('G5NAZ')!r}")
    check(abs(feature.GetGeometryRef().GetArea() - feature.GetField("POW")) < 0.01,
          "precinct POW is its area")
    check_geopackage(base + "_OBR", 1)


def check_generated(binary, gen_swde, workdir):
    """Generated county-like files with ponds: every polygon valid."""
    path = os.path.join(workdir, "generated.swd")
    subprocess.run([gen_swde, "--parcels", "400", "--seed", "9", path], check=True,
                   capture_output=True)
    with open(path, "rb") as f:
        content = f.read()
    for codes in (["0", "0", "0"], ["2", "18", "1"], ["2", "4", "0"]):
        base = convert(binary, workdir, "generated", content, codes)
        check_validity(base + "_DZE")
        check_validity(base + "_BUD")
        holes = [a for a in polygon_areas(base + "_DZE") if a[3] > 1]
        check(len(holes) == 8, f"generated {codes}: {len(holes)} parcels with a hole, not 8")
        for area, pow_written, _, _ in holes:
            check(abs(area - pow_written) < 0.01, f"generated {codes}: POW {pow_written}, area {area}")


def check_geopackage(base, count):
    gpkg = base + ".gpkg"
    run = subprocess.run(["ogr2ogr", "-f", "GPKG", gpkg, base + ".shp"], capture_output=True)
    check(run.returncode == 0, f"ogr2ogr {base}: {run.stderr!r}")
    ds = ogr.Open(gpkg)
    check(ds is not None and ds.GetLayer(0).GetFeatureCount() == count,
          f"{gpkg}: feature count")
    # GDAL's own check of the GeoPackage's structure.
    check(ds.ExecuteSQL("PRAGMA integrity_check").GetNextFeature().GetField(0) == "ok",
          f"{gpkg}: integrity check")


def main():
    binary, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    gen_swde = os.path.abspath(sys.argv[3])
    workdir = tempfile.mkdtemp(prefix="egib_gdal_")
    try:
        # "Łąka" and "Świętokrzyska" in ISO 8859-2, closed rings.
        polish = (b"SWDE.w.3.00\nSO\n"
                  b"RO,,G5DZE,d1\nD,G5IDD,,\xa3\xb1ka.0001.1\nGL\nK,+\n"
                  b"P,G,5806000,4603000\nP,G,5806010,4603000\nP,G,5806010,4603010\n"
                  b"P,G,5806000,4603000\nX\n"
                  b"RO,,G5BUD,b1\nD,G5IDB,,\xa6wi\xeatokrzyska\nD,G5FUZ,,110\nGL\nK,+\n"
                  b"P,G,5806001,4603001\nP,G,5806005,4603001\nP,G,5806005,4603005\n"
                  b"P,G,5806001,4603001\nX\nSX\nSWDEX\n")
        base = convert(binary, workdir, "polish", polish, ["2", "18", "0"])
        check_layer(base + "_DZE", PARCEL_FIELDS, 1, 2177)
        ds = check_layer(base + "_BUD", BUILDING_FIELDS, 1, 2177)
        names = [f.GetField("IDB") for f in ds.GetLayer(0)]
        check(names == ["Świętokrzyska"], f"UTF-8 text read back as {names}")
        ds = ogr.Open(base + "_DZE.shp")
        names = [f.GetField("IDD") for f in ds.GetLayer(0)]
        check(names == ["Łąka.0001.1"], f"UTF-8 text read back as {names}")
        for layer in ("_DZE", "_BUD"):
            check_validity(base + layer)
            check_geopackage(base + layer, 1)
        check_outlines_with_holes(binary, workdir)
        check_generated(binary, gen_swde, workdir)
        check_register_layers(binary, gen_swde, workdir)

        with open(os.path.join(source, "examples", "sample.swd"), "rb") as f:
            sample = f.read()
        for codes, epsg in ((["2", "21", "0"], 2178), (["2", "2", "1"], 2172),
                            (["0", "0", "0"], None)):
            base = convert(binary, workdir, "sample", sample, codes)
            check_layer(base + "_DZE", PARCEL_FIELDS, 37, epsg)
            check_layer(base + "_BUD", BUILDING_FIELDS, 24, epsg)
            check_validity(base + "_DZE")
            check_validity(base + "_BUD")
            # The parcel around the enclave and the building with a courtyard.
            with_holes = [a for a in polygon_areas(base + "_DZE") + polygon_areas(base + "_BUD")
                          if a[3] == 2]
            check(len(with_holes) == 2, f"sample {codes}: {len(with_holes)} outlines with a hole")
        check_geopackage(base + "_DZE", 37)
        check_geopackage(base + "_BUD", 24)
    finally:
        shutil.rmtree(workdir)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all GDAL interoperability checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
