#!/usr/bin/python3
"""GIS interoperability of the layers, checked with GDAL's Python bindings.

Converts a file with Polish names and the bundled sample, then checks what a
GIS sees: feature counts, geometry type, the schema, UTF-8 text through the
.cpg, the EPSG system of the .prj, a valid GeoPackage made by ogr2ogr and
valid polygons.

usage: gdal_interop_test.py EGIB2SHP_BINARY SOURCE_DIR
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
    ("OBR", ogr.OFTString, 10), ("DNR", ogr.OFTString, 50), ("POW", ogr.OFTReal, 10),
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


def check_validity(base, expect_valid):
    """Polygons the input closes are valid; others are reported only."""
    ds = ogr.Open(base + ".shp")
    invalid = []
    for feature in ds.GetLayer(0):
        geometry = feature.GetGeometryRef()
        if geometry is None or not geometry.IsValid():
            invalid.append(feature.GetFID())
    if expect_valid:
        check(not invalid, f"{base}: invalid polygons {invalid}")
    elif invalid:
        print(f"note: {base}: {len(invalid)} polygons not valid (input rings not closed)")


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
            check_validity(base + layer, True)
            check_geopackage(base + layer, 1)

        with open(os.path.join(source, "examples", "sample.swd"), "rb") as f:
            sample = f.read()
        for codes, epsg in ((["2", "21", "0"], 2178), (["2", "2", "1"], 2172),
                            (["0", "0", "0"], None)):
            base = convert(binary, workdir, "sample", sample, codes)
            check_layer(base + "_DZE", PARCEL_FIELDS, 36, epsg)
            check_layer(base + "_BUD", BUILDING_FIELDS, 24, epsg)
            # The sample's outlines are closed in the input.
            check_validity(base + "_DZE", True)
            check_validity(base + "_BUD", True)
        check_geopackage(base + "_DZE", 36)
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
