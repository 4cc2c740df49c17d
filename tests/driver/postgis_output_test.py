#!/usr/bin/python3
"""Conversions into PostGIS (-f PostgreSQL) on the tests' own cluster
(tests/support/pg_cluster.sh): the tables read back through GDAL against
the shapefiles of the same run, every polygon valid for PostGIS, the EPSG
code and the GiST index; failed runs (no server, wrong password, no
permission, an existing table without --overwrite, a run killed while it
writes) leave the database as it was; eight generated files converted at
once with GNU parallel and --append: every object once, the counts of
their reports.

usage: postgis_output_test.py EGIB2SHP GEN_SWDE SOURCE_DIR CLUSTER_STATE_FILE
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from osgeo import gdal

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "layers"))
import gdal_output_test as common  # noqa: E402

gdal.UseExceptions()
check = common.check


def read_state(path):
    state = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            state[key] = value
    return state


class Database:
    def __init__(self, state):
        self.state = state
        self.url = (f"PG:host=127.0.0.1 port={state['PGPORT']} dbname=egib user=egib "
                    f"password={state['EGIB_PG_PASSWORD']}")

    def sql(self, statement):
        """Runs SQL as the superuser over the socket; the rows as text."""
        r = subprocess.run(["psql", "-X", "-qAt", "-v", "ON_ERROR_STOP=1", "-h", self.state["PGHOST"],
                            "-p", self.state["PGPORT"], "-U", "postgres", "-d", "egib",
                            "-c", statement], capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError(f"psql: {statement}: {r.stderr}")
        return r.stdout.strip()

    def snapshot(self):
        """Every table of the tests' schemas with a digest of its rows."""
        tables = self.sql("SELECT string_agg(schemaname || '.' || tablename, ' ' ORDER BY 1) "
                          "FROM pg_tables WHERE schemaname IN ('public', 'many')").split()
        return {t: self.sql(f"SELECT count(*) || ' ' || coalesce(md5(string_agg(t::text, '|' "
                            f"ORDER BY t::text)), '') FROM {t} t")
                for t in tables if t != "public.spatial_ref_sys"}


def convert(binary, args, cwd):
    return subprocess.run([binary] + args, cwd=cwd, capture_output=True, text=True,
                          errors="replace")


def check_tables(db, binary, workdir):
    """The sample with every layer: the tables against the shapefiles."""
    shutil.copy(os.path.join(SOURCE_DIR, "examples", "sample.swd"), workdir)
    args = ["--points", "--precincts"]
    subprocess.run([binary] + args + ["-o", "shp", "sample.swd", "2", "21", "0"], cwd=workdir,
                   check=True, capture_output=True)
    r = convert(binary, ["-f", "PostgreSQL", "--destination", db.url] + args +
                ["sample.swd", "2", "21", "0"], workdir)
    check(r.returncode == 0, f"sample into PostGIS: {r.returncode} {r.stderr[-300:]}")
    check(db.state["EGIB_PG_PASSWORD"] not in r.stderr, "the password is shown on stderr")
    ds = gdal.OpenEx(db.url, gdal.OF_VECTOR)
    for layer in ("DZE", "BUD", "PKT", "OBR"):
        common.compare_layer(f"PostGIS {layer.lower()}", ds.GetLayerByName(layer.lower()),
                             os.path.join(workdir, "shp", "sample" + common.LAYERS[layer]), 2178,
                             "sample.swd")
    ds = None
    for table in ("dze", "bud", "obr"):
        invalid = db.sql(f"SELECT count(*) FROM {table} WHERE NOT ST_IsValid(geom)")
        check(invalid == "0", f"PostGIS {table}: {invalid} polygons not valid")
    srids = db.sql("SELECT string_agg(DISTINCT ST_SRID(geom)::text, ',') FROM dze")
    check(srids == "2178", f"PostGIS dze: SRID {srids}")
    gist = db.sql("SELECT count(*) FROM pg_indexes WHERE tablename = 'dze' "
                  "AND indexdef ILIKE '%USING gist%'")
    check(gist == "1", "PostGIS dze: no GiST index")
    letters = db.sql("SELECT g5naz FROM obr")
    check(letters == "Obręb 1 Łęczyca", f"PostGIS obr: name {letters!r}")

    # A generated county file into a schema of its own, in the 1992 grid.
    county = os.path.join(workdir, "county")
    os.mkdir(county)
    subprocess.run([GEN_SWDE, "--parcels", "2000", "--seed", "7",
                    os.path.join(county, "county.swd")], check=True, capture_output=True)
    subprocess.run([binary, "-o", "shp", "county.swd", "2", "10", "0"], cwd=county, check=True,
                   capture_output=True)
    db.sql("CREATE SCHEMA county AUTHORIZATION egib")
    r = convert(binary, ["-f", "PostgreSQL", "--schema", "county", "--destination", db.url,
                         "county.swd", "2", "10", "0"], county)
    check(r.returncode == 0, f"county into PostGIS: {r.returncode} {r.stderr[-300:]}")
    ds = gdal.OpenEx(db.url, gdal.OF_VECTOR)
    counts = {}
    for layer in ("DZE", "BUD"):
        counts[layer] = common.compare_layer(
            f"PostGIS county.{layer.lower()}", ds.GetLayerByName("county." + layer.lower()),
            os.path.join(county, "shp", "county" + common.LAYERS[layer]), 2180, "county.swd")
        invalid = db.sql(f"SELECT count(*) FROM county.{layer.lower()} WHERE NOT ST_IsValid(geom)")
        check(invalid == "0", f"PostGIS county.{layer.lower()}: {invalid} polygons not valid")
    ds = None
    check(counts["DZE"] == 2000, f"PostGIS county.dze: {counts['DZE']} rows, expected 2000")


def check_failures(db, binary, workdir):
    """Runs that fail say so in one line, exit with 1 and change nothing."""
    db.sql("CREATE SCHEMA locked")
    before = db.snapshot()
    check(len(before) == 4, f"tables before the failures: {sorted(before)}")
    port = db.state["PGPORT"]
    pw = db.state["EGIB_PG_PASSWORD"]
    cases = [
        ("wrong port", [f"PG:host=127.0.0.1 port={int(port) + 1 if int(port) < 65535 else 1} "
                        f"dbname=egib user=egib password={pw}"], []),
        ("wrong password", [f"PG:host=127.0.0.1 port={port} dbname=egib user=egib password=x{pw}"],
         []),
        ("existing table", [db.url], []),
        ("no permission", [f"PG:host=127.0.0.1 port={port} dbname=egib user=reader password={pw}"],
         ["--overwrite"]),
        ("no permission to create",
         [f"PG:host=127.0.0.1 port={port} dbname=egib user=reader password={pw}"],
         ["--schema", "locked"]),
    ]
    for name, (url,), extra in cases:
        r = convert(binary, ["-f", "PostgreSQL", "--destination", url] + extra +
                    ["sample.swd", "2", "21", "0"], workdir)
        messages = [line for line in r.stderr.splitlines() if line.strip()]
        check(r.returncode == 1, f"{name}: exit status {r.returncode}")
        check(len(messages) == 1 and pw not in r.stderr,
              f"{name}: not one line without the password: {messages}")
        check(db.snapshot() == before, f"{name}: the database changed")
        locked = db.sql("SELECT count(*) FROM pg_tables WHERE schemaname = 'locked'")
        check(locked == "0", f"{name}: {locked} tables made where none may be")

    # A run killed while it copies rows into the table it replaces: the
    # transaction goes with it, the old table stays.
    big = os.path.join(workdir, "big.swd")
    subprocess.run([GEN_SWDE, "--parcels", "60000", "--seed", "3", big], check=True,
                   capture_output=True)
    p = subprocess.Popen([binary, "-f", "PostgreSQL", "--overwrite", "--destination", db.url,
                          "big.swd", "2", "21", "0"], cwd=workdir, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    copying = False
    deadline = time.time() + 120
    while time.time() < deadline and p.poll() is None:
        rows = db.sql("SELECT count(*) FROM pg_stat_activity WHERE query ILIKE 'COPY%'")
        if rows != "0":
            copying = True
            time.sleep(0.3)
            break
        time.sleep(0.05)
    p.send_signal(signal.SIGKILL)
    p.wait()
    check(copying, "the killed run was never seen copying rows")
    time.sleep(0.5)  # the server ends the dead connection's transaction
    check(db.snapshot() == before, "a run killed midway changed the database")


def check_many_files(db, binary, workdir):
    """Eight files at once into one schema with --append."""
    many = os.path.join(workdir, "many")
    os.mkdir(many)
    db.sql("CREATE SCHEMA many AUTHORIZATION egib")
    for i in range(8):
        subprocess.run([GEN_SWDE, "--parcels", "300", "--seed", str(i + 1),
                        "--north", str(5806000 + 3000 * i),
                        os.path.join(many, f"f{i}.swd")], check=True, capture_output=True)
    command = (f"{binary} -f PostgreSQL --append --schema many --destination '{db.url}' "
               "--log {.}.log --report {.}.json {} 2 21 0 >/dev/null 2>{.}.err")
    r = subprocess.run(["parallel", "-j8", command, ":::"] + [f"f{i}.swd" for i in range(8)],
                       cwd=many, capture_output=True, text=True)
    check(r.returncode == 0, f"parallel --append: {r.returncode} {r.stderr[-300:]}")
    for table, key in (("dze", "parcels_written"), ("bud", "buildings_written")):
        rows = dict(line.split("|") for line in db.sql(
            f"SELECT zrodlo, count(*) FROM many.{table} GROUP BY 1").splitlines())
        for i in range(8):
            with open(os.path.join(many, f"f{i}.json")) as f:
                report = json.load(f)
            want = find_count(report, key)
            check(want is not None and int(rows.get(f"f{i}.swd", 0)) == want,
                  f"many.{table}: f{i}.swd has {rows.get(f'f{i}.swd')} rows, its report {want}")
        twice = db.sql(f"SELECT count(*) FROM (SELECT zrodlo, id FROM many.{table} "
                       "GROUP BY 1, 2 HAVING count(*) > 1) d")
        check(twice == "0", f"many.{table}: {twice} objects written more than once")


def check_register(db, binary, workdir):
    """--all into its own schema: the README's join in PostGIS."""
    reg = os.path.join(workdir, "register")
    os.mkdir(reg)
    with open(os.path.join(reg, "rej.swd"), "wb") as f:
        f.write(common.register_file())
    db.sql("CREATE SCHEMA reg AUTHORIZATION egib")
    r = convert(binary, ["-f", "PostgreSQL", "--all", "--schema", "reg", "--destination", db.url,
                         "rej.swd", "2", "2", "0"], reg)
    check(r.returncode == 0, f"--all into PostGIS: {r.returncode} {r.stderr[-400:]}")
    rows = db.sql("SET search_path = reg, public; " + common.JOIN).splitlines()
    got = [tuple(line.split("|")) for line in rows]
    check(got == common.JOIN_ROWS, f"PostGIS: the join gives {got}")
    kind = db.sql("SELECT data_type FROM information_schema.columns WHERE table_schema = 'reg' "
                  "AND table_name = 'jrg' AND column_name = 'g5dtw'")
    check(kind == "date", f"PostGIS jrg.g5dtw of type {kind!r}")


def check_register_append(db, binary, workdir):
    """--all with --append: two files one after the other into one schema,
    then the second again beside them; each run's relations reach its own
    rows (the tables hold rows of the same running numbers from the other
    runs), and the README's join gives each file its rows."""
    reg = os.path.join(workdir, "register_append")
    os.mkdir(reg)
    for name in ("rej1.swd", "rej2.swd"):
        with open(os.path.join(reg, name), "wb") as f:
            f.write(common.register_file())
    db.sql("CREATE SCHEMA rega AUTHORIZATION egib")
    for name in ("rej1.swd", "rej2.swd"):
        r = convert(binary, ["-f", "PostgreSQL", "--all", "--append", "--schema", "rega",
                             "--destination", db.url, name, "2", "2", "0"], reg)
        check(r.returncode == 0, f"--all --append {name}: {r.returncode} {r.stderr[-400:]}")
    # Then three generated registers at once, large enough for the runs to
    # overlap: the columns are there, so no run alters the tables (two
    # runs altering a table they both wrote into wait for each other, and
    # PostgreSQL stops one as a deadlock).
    # The first of them alone adds its types' tables and columns.
    for i in range(2, 6):
        subprocess.run([GEN_SWDE, "--parcels", "3000", "--register", "--seed", str(i),
                        "--north", str(5806000 + 3000 * i), os.path.join(reg, f"gen{i}.swd")],
                       check=True, capture_output=True)
    r = convert(binary, ["-f", "PostgreSQL", "--all", "--append", "--schema", "rega",
                         "--destination", db.url, "gen2.swd", "2", "2", "0"], reg)
    check(r.returncode == 0, f"--all --append gen2.swd: {r.returncode} {r.stderr[-400:]}")
    names = ["gen3.swd", "gen4.swd", "gen5.swd"]
    command = (f"{binary} -f PostgreSQL --all --append --schema rega --destination '{db.url}' "
               "--log {.}.log {} 2 2 0 >/dev/null 2>{.}.err")
    r = subprocess.run(["parallel", "-j3", command, ":::"] + names, cwd=reg, capture_output=True,
                       text=True)
    errors = [open(os.path.join(reg, n[:-4] + ".err"), errors="replace").read()[-300:]
              for n in names]
    check(r.returncode == 0, f"three --all --append at once: {r.returncode} {errors}")
    filled = db.sql("SELECT string_agg(zrodlo || ':' || n || '/' || c, ' ' ORDER BY zrodlo) FROM "
                    "(SELECT zrodlo, count(g5rpod) n, count(*) c FROM rega.dze GROUP BY 1) d")
    want_rows = len(common.JOIN_ROWS)
    check(filled == " ".join([f"gen{i}.swd:3000/3000" for i in range(2, 6)] +
                             [f"rej{i}.swd:{want_rows}/{want_rows}" for i in range(1, 3)]),
          f"rega.dze: relations per file {filled!r}")
    for name in ["rej1.swd", "rej2.swd"]:
        rows = db.sql("SET search_path = rega, public; " + common.JOIN.replace(
            "ORDER BY", f"WHERE d.zrodlo = '{name}' AND j.zrodlo = '{name}' ORDER BY")).splitlines()
        got = [tuple(line.split("|")) for line in rows]
        check(got == common.JOIN_ROWS, f"rega: the join of {name} gives {got}")


def find_count(report, key):
    """A count of the JSON report, wherever it is nested."""
    if isinstance(report, dict):
        if key in report:
            return report[key]
        for v in report.values():
            found = find_count(v, key)
            if found is not None:
                return found
    return None


def main():
    global SOURCE_DIR, GEN_SWDE
    binary, GEN_SWDE, SOURCE_DIR, state_file = sys.argv[1:5]
    db = Database(read_state(state_file))
    workdir = tempfile.mkdtemp(prefix="egib-postgis-")
    try:
        check_tables(db, binary, workdir)
        check_failures(db, binary, workdir)
        check_many_files(db, binary, workdir)
        check_register(db, binary, workdir)
        check_register_append(db, binary, workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    if common.failures:
        print(f"{len(common.failures)} checks failed")
        return 1
    print("all PostGIS checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
