#!/usr/bin/python3
"""Many files at once: the README's GNU parallel recipe on eight generated
files in one working directory, then every run log, report, layer and the
shared error log checked.

usage: parallel_runs_test.py EGIB2SHP_BINARY GEN_SWDE_BINARY
"""
import json
import os
import re
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


def generate(gen_swde, path, parcels, seed, junk):
    """A generated county file with `junk` top-level lines of unknown codes,
    each of which both passes report in the error log."""
    subprocess.run([gen_swde, "--parcels", str(parcels), "--seed", str(seed), path], check=True,
                   capture_output=True)
    with open(path, "rb") as f:
        header, rest = f.read().split(b"\n", 1)
    name = os.path.basename(path).encode()
    lines = b"".join(b"Q%d,%s\n" % (k, name) for k in range(junk))
    with open(path, "wb") as f:
        f.write(header + b"\n" + lines + rest)


def feature_count(path, geometry):
    ds = ogr.Open(path)
    layer = ds.GetLayer(0)
    invalid = [f.GetFID() for f in layer
               if geometry == ogr.wkbPolygon and not f.GetGeometryRef().IsValid()]
    check(not invalid, f"{path}: invalid polygons {invalid[:5]}")
    check(layer.GetGeomType() == geometry, f"{path}: geometry {layer.GetGeomType()}")
    return layer.GetFeatureCount()


def shapes_and_records(base):
    """Shape count from the .shx, record count from the .dbf header."""
    with open(base + ".shx", "rb") as f:
        shx = f.read()
    with open(base + ".dbf", "rb") as f:
        dbf = f.read(12)
    return (len(shx) - 100) // 8, int.from_bytes(dbf[4:8], "little")


def main():
    binary, gen_swde = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    work = tempfile.mkdtemp(prefix="egib_parallel_")
    try:
        os.mkdir(os.path.join(work, "dane"))
        junk = 40
        for i in range(8):
            generate(gen_swde, os.path.join(work, "dane", f"obreb{i}.swd"), 150 + 90 * i,
                     100 + i, junk)
        os.mkdir(os.path.join(work, "wynik"))
        env = dict(os.environ, HOME=work, PATH=os.path.dirname(binary) + ":" + os.environ["PATH"])
        # The recipe of the README, as it stands there.
        recipe = ("parallel --joblog wynik/joblog.tsv "
                  "'egib2shp -j1 --points --precincts --log=wynik/{/.}.log --report=wynik/{/.}.json "
                  "-o wynik {} 2 2178 0 >wynik/{/.}.txt 2>&1' ::: dane/*.swd")
        run = subprocess.run(["bash", "-c", recipe], cwd=work, env=env, capture_output=True)
        check(run.returncode == 0, f"parallel: exit status {run.returncode}: {run.stderr!r}")
        with open(os.path.join(work, "wynik", "joblog.tsv")) as f:
            jobs = [line.split("\t") for line in f.read().splitlines()[1:]]
        check(len(jobs) == 8 and all(j[6] == "0" for j in jobs), f"joblog: {jobs}")
        # Nothing of the runs in the working directory itself (HOME is the
        # working directory here: the error log, and parallel's own folder).
        entries = sorted(e for e in os.listdir(work) if e != ".parallel")
        check(entries == ["ZOV_uriri.txt", "dane", "wynik"], f"working directory holds {entries}")

        for i in range(8):
            name = f"obreb{i}"
            out = os.path.join(work, "wynik", name)
            with open(out + ".log") as f:
                log = f.read()
            check(log.endswith("KONIEC\n"), f"{name}.log ends with {log[-20:]!r}")
            with open(out + ".json") as f:
                report = json.load(f)
            counts = report["counts"]
            check(report["exit_status"] == 0 and report["error"] is None, f"{name}: {report}")
            check(report["input"] == f"dane/{name}.swd", f"{name}: input {report['input']}")
            check(report["input_bytes"] == os.path.getsize(os.path.join(work, "dane", name + ".swd")),
                  f"{name}: input_bytes")
            check(report["input_system"] == {"code": 2, "epsg": 2172}, f"{name}: input system")
            check(report["output_system"] == {"code": 21, "epsg": 2178}, f"{name}: output system")
            check(counts["error_log_messages"] == 2 * junk, f"{name}: {counts['error_log_messages']}")
            for suffix, key, geometry in (("_DZE", "parcels_written", ogr.wkbPolygon),
                                          ("_BUD", "buildings_written", ogr.wkbPolygon),
                                          ("_PKT", "points_written", ogr.wkbPoint),
                                          ("_OBR", "precincts_written", ogr.wkbPolygon)):
                base = out + suffix
                shapes, records = shapes_and_records(base)
                check(shapes == records == counts[key],
                      f"{name}{suffix}: {shapes} shapes, {records} records, report {counts[key]}")
                check(feature_count(base + ".shp", geometry) == counts[key], f"{name}{suffix}")
                check(os.path.relpath(base + ".shp", work) in report["files"], f"{name}: files")
            check(all(os.path.exists(os.path.join(work, f)) for f in report["files"]),
                  f"{name}: a listed file is missing")
            check(counts["parcels_written"] == 150 + 90 * i, f"{name}: parcels")

        # The shared error log: every message whole, none lost.
        with open(os.path.join(work, "ZOV_uriri.txt"), "rb") as f:
            lines = f.read().split(b"\n")
        messages = [line for line in lines if line]
        pattern = re.compile(rb"^line=\d+ code='Q\d+' Unknown swde code$")
        broken = [m for m in messages if not pattern.match(m)]
        check(not broken, f"error log: broken lines {broken[:3]}")
        check(len(messages) == 8 * 2 * junk, f"error log: {len(messages)} messages")
        check(len(lines) == 2 * len(messages) + 1, "error log: a message without its blank line")
    finally:
        shutil.rmtree(work)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("parallel runs: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
