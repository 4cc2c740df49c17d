#!/usr/bin/env python3
"""The generator of geodesy/poly1965_builtin.inc against the committed file:
the figures read back out of the .inc and written as a coefficient table
give the same .inc again (all but the header, which quotes the table's own
comment), and a table with one cell missing, one cell twice or a set
missing is refused.

usage: gen_poly1965_test.py SOURCE_DIR
"""
import os
import re
import subprocess
import sys
import tempfile

source = sys.argv[1]
generator = os.path.join(source, "tools", "gen_poly1965.py")
inc = open(os.path.join(source, "geodesy", "poly1965_builtin.inc"), encoding="utf-8").read()


def body(text):
    # From the first set on; the header lines are comments.
    return text[text.index("\n// zone 1, variant 1"):]


# Read the ten sets back: the parameter line, then rows "{  // i = k" of A
# and of B with their cells.
rows = []
sets = body(inc).split("\n// zone ")[1:]
assert len(sets) == 10, len(sets)
for chunk in sets:
    zone, variant = map(int, re.match(r"(\d), variant (\d)", chunk).groups())
    params = re.search(r"\{(\d+), ([^,]+), ([^,]+), ([^,]+), ([^,]+), ([^,\n]+),", chunk).groups()
    for key, value in zip(("degree", "scale", "x0", "y0", "X0", "Y0"), params):
        rows.append(f"{zone}\t{variant}\t{key}\t\t\t{value.strip()}")
    triangles = re.split(r"\n \{\n", chunk)[1:]
    assert len(triangles) == 2, (zone, variant, len(triangles))
    for name, tri in zip("AB", triangles):
        for i, cells in re.findall(r"// i = (\d+)\n((?:[^}])*)\}", tri):
            values = [v.strip() for v in cells.replace("\n", " ").split(",") if v.strip()]
            for j, v in enumerate(values):
                rows.append(f"{zone}\t{variant}\t{name}\t{i}\t{j}\t{v}")


def run(table_rows):
    with tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False) as f:
        f.write("# a table for the test\n" + "\n".join(table_rows) + "\n")
        path = f.name
    try:
        return subprocess.run([sys.executable, generator, path], capture_output=True, text=True)
    finally:
        os.unlink(path)


failures = []
cells = [r for r in rows if r.split("\t")[2] in "AB"]
if len(cells) != 2812:
    failures.append(f"{len(cells)} cells read back from the .inc, 2812 expected")
again = run(rows)
if again.returncode != 0:
    failures.append("the generator refused the figures of the .inc: " + again.stderr)
elif body(again.stdout) != body(inc):
    failures.append("the generator does not give back the committed .inc")

first_cell = next(k for k, r in enumerate(rows) if r.split("\t")[2] == "A")
broken = {
    "one cell missing": rows[:first_cell] + rows[first_cell + 1:],
    "one cell twice": rows + [rows[first_cell]],
    "a set missing": [r for r in rows if not r.startswith("5\t2\t")],
    "a cell outside the triangle": rows + ["5\t1\tA\t12\t1\t1.0E+0000"],
}
for what, table in broken.items():
    r = run(table)
    if r.returncode == 0 or "gen_poly1965:" not in r.stderr:
        failures.append(f"a table with {what} was not refused")

for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
