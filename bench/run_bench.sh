#!/usr/bin/env bash
# End-to-end and kernel benchmarks of egib2shp, printed as a Markdown table.
#
#   bash tools/bootstrap.sh bench          (installs, builds, runs this)
#   bash bench/run_bench.sh BUILD_DIR      (with a Release build that has
#                                           -DEGIB_BUILD_BENCH=ON)
#
# Generates a small (about 10 MB) and a county-sized (about 150 MB: 1.1
# million points, 150,000 parcels, 100,000 buildings) SWDE file, converts
# each five times on the route without conversion ("0 0 0") and on the
# heaviest route ("2 18 1": zone-2 correction, stereographic inverse, datum
# shift, Gauss-Krüger forward), reports the median wall time, input MB/s,
# vertices/s and peak memory, and the floor of reading the file twice with
# `wc -l`.  Then the conversion kernels of the 2 -> 18 and 10 -> 18 routes
# beside PROJ's proj_trans_generic on the same points.
# EGIB_BENCH_DIR (default /tmp/egib2shp-bench) holds the files.
set -euo pipefail
build="${1:-build-bench}"
work="${EGIB_BENCH_DIR:-/tmp/egib2shp-bench}"
runs="${EGIB_BENCH_RUNS:-5}"
mkdir -p "$work"

declare -A parcels=([small]=11000 [county]=150000)
for size in small county; do
  if [ ! -s "$work/$size.swd" ]; then
    "$build/gen_swde" --parcels "${parcels[$size]}" "$work/$size.swd" 2>/dev/null
  fi
done

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "date: $(date -u +%Y-%m-%d), runs per figure: $runs (median)"
echo
echo "| file | size | route | median wall | MB/s | vertices/s | peak RSS | (RSS - 64 MB) / point | wc -l floor (2 reads) | converter / floor |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for size in small county; do
  f="$work/$size.swd"
  bytes=$(stat -c %s "$f")
  mb=$(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1e6}')
  floor=$(for i in $(seq "$runs"); do
    t0=$EPOCHREALTIME
    wc -l "$f" >/dev/null
    wc -l "$f" >/dev/null
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {print b - a}'
  done | median)
  for route in "0 0 0" "2 18 1"; do
    times=()
    peak=0
    summary=""
    for i in $(seq "$runs"); do
      t0=$EPOCHREALTIME
      out=$( { cd "$work" && /usr/bin/time -f "TIME %e %M" "$OLDPWD/$build/egib2shp" "$f" $route >/dev/null; } 2>&1 )
      t=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {print b - a}')
      m=$(grep '^TIME' <<<"$out" | awk '{print $3}')
      times+=("$t")
      [ "$m" -gt "$peak" ] && peak=$m
      summary=$(grep 'written (' <<<"$out")
    done
    wall=$(printf '%s\n' "${times[@]}" | median)
    vertices=$(sed -E 's/.*written \(([0-9]+) vert.*/\1/' <<<"$summary")
    points=$(sed -E 's/.*, ([0-9]+) points collected.*/\1/' <<<"$summary")
    awk -v f="$size" -v mb="$mb" -v r="$route" -v w="$wall" -v v="$vertices" -v p="$peak" \
        -v pts="$points" -v fl="$floor" 'BEGIN {
      extra = p * 1024 - 64 * 1048576
      per_point = extra > 0 ? sprintf("%.0f", extra / pts) : "under 64 MB"
      printf "| %s | %s MB | `%s` | %.3f s | %.0f | %.2f M | %.0f MB | %s | %.3f s | %.1f |\n",
        f, mb, r, w, mb / w, v / w / 1e6, p / 1024, per_point, fl, w / fl }'
  done
done

echo
echo "Conversion kernels (points per second, the same 4096 points, same systems):"
echo
json="$work/kernels.json"
"$build/bench/geodesy_bench" --benchmark_filter='route_' --benchmark_min_time=1 \
  --benchmark_format=json >"$json" 2>/dev/null
python3 - "$json" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))["benchmarks"]
rate = {b["name"]: b["items_per_second"] for b in data}
print("| route | egib2shp | PROJ proj_trans_generic | egib2shp / PROJ |")
print("|---|---|---|---|")
for route, label in (("route_2_18_v1", "`2 18 1`: 1965 zone 2 -> 2000 zone 18"),
                     ("route_10_18", "`10 18`: 1992 -> 2000 zone 18")):
    ours, proj = rate["egib/" + route], rate["proj/" + route]
    print(f"| {label} | {ours / 1e6:.2f} M/s | {proj / 1e6:.2f} M/s | {ours / proj:.2f} |")
EOF
