#!/usr/bin/env bash
# The whole conversion into a GeoPackage and into PostGIS against what a
# user ran before -f existed: ogr2ogr copying the program's own shapefile
# output of the same file (both layers) into the same format.
#
#   bash bench/gdal_formats_bench.sh BUILD_DIR [RUNS] [PARCELS]
#
# Generates the bench's county file (150,000 parcels, 100,000 buildings),
# starts a PostgreSQL cluster of its own (tests/support/pg_cluster.sh) and
# prints the wall seconds of every run and their medians.  Route 2 -> 21
# (1965 zone 2 into the 2000 grid, EPSG:2178), as a user would run it.
set -euo pipefail
build="$(cd "${1:?build directory}" && pwd)"
runs="${2:-3}"
parcels="${3:-150000}"
here="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d /tmp/egib-gdal-bench.XXXXXX)"
state="$work/pg.env"
trap 'bash "$here/tests/support/pg_cluster.sh" stop "$state"; rm -rf "$work"' EXIT
cd "$work"

"$build/gen_swde" --parcels "$parcels" county.swd 2>/dev/null
"$build/egib2shp" county.swd 2 21 0 >/dev/null 2>&1  # the shapefiles ogr2ogr copies
bash "$here/tests/support/pg_cluster.sh" start "$state" >/dev/null
# shellcheck disable=SC1090
. "$state"
db="PG:host=127.0.0.1 port=$PGPORT dbname=egib user=egib password=$EGIB_PG_PASSWORD"

seconds() {  # wall seconds of a command; a command that fails stops the bench
  local start end
  start=$(date +%s.%N)
  if ! "$@" >"$work/last.out" 2>&1; then
    echo "bench: $1 failed:" >&2
    tail -5 "$work/last.out" >&2
    return 1
  fi
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

gpkg_run() { rm -f county.gpkg; "$build/egib2shp" -f GPKG county.swd 2 21 0; }
gpkg_copy() {
  rm -f copy.gpkg
  ogr2ogr -f GPKG copy.gpkg county_DZE.shp && ogr2ogr -update -append copy.gpkg county_BUD.shp
}
pg_run() { "$build/egib2shp" -f PostgreSQL --overwrite --destination "$db" county.swd 2 21 0; }
pg_copy() {
  ogr2ogr -f PostgreSQL --config PG_USE_COPY YES -overwrite "$db" county_DZE.shp &&
    ogr2ogr -f PostgreSQL --config PG_USE_COPY YES -overwrite "$db" county_BUD.shp
}

for what in gpkg_run gpkg_copy pg_run pg_copy; do : >"$work/$what.times"; done
for ((i = 1; i <= runs; ++i)); do
  # In turn, so that a drift of the machine's speed touches both sides.
  for what in gpkg_run gpkg_copy pg_run pg_copy; do
    t=$(seconds "$what")
    echo "$t" >>"$work/$what.times"
    echo "run $i $what: $t s"
  done
done
echo "features: $(ogrinfo -so county.gpkg DZE | awk '/Feature Count/ { print $3 }') parcels," \
  "$(ogrinfo -so county.gpkg BUD | awk '/Feature Count/ { print $3 }') buildings"
for what in gpkg_run gpkg_copy pg_run pg_copy; do
  echo "median $what: $(median <"$work/$what.times") s"
done
