#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds egib2shp and then
#   demo: converts the bundled sample examples/sample.swd (no conversion of
#         coordinates: system codes 0 0, variant 0);
#   test: runs the whole test suite, once in a Release build and once built
#         with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-demo}"
packages=(build-essential cmake pkg-config libshp-dev libgtest-dev libbenchmark-dev
          gdal-bin proj-bin libproj-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"

case "$mode" in
  demo)
    cd examples
    ../build/egib2shp sample.swd 0 0 0
    echo
    echo "written: $(ls sample_DZE.* sample_BUD.* | tr '\n' ' ')"
    ;;
  test)
    ctest --test-dir build --output-on-failure -j"$jobs"
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DEGIB_SANITIZE=ON >/dev/null
    cmake --build build-sanitize -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
    ;;
  *)
    echo "usage: tools/bootstrap.sh [demo|test]" >&2
    exit 2
    ;;
esac
