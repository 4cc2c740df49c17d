#!/usr/bin/env bash
# End-to-end and kernel benchmarks of egib2shp (see bench/run_bench.py).
#
#   bash tools/bootstrap.sh bench          (installs, builds, runs this)
#   bash bench/run_bench.sh BUILD_DIR      (with a Release build that has
#                                           -DEGIB_BUILD_BENCH=ON)
set -euo pipefail
exec /usr/bin/python3 "$(dirname "$0")/run_bench.py" "${1:-build-bench}"
