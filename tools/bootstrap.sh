#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds egib2shp and then
#   demo: converts the bundled sample examples/sample.swd from the 1965
#         system, zone 2, into the 2000 grid zone of 21 E (codes 2 21, no
#         1965 correction: variant 0);
#   test: runs the whole test suite, once in a Release build and once built
#         with AddressSanitizer and UndefinedBehaviorSanitizer;
#   bench: builds bench/ in Release and runs bench/run_bench.sh (end-to-end
#         figures on generated files and the conversion kernels beside PROJ);
#   windows: cross-builds egib2shp.exe with MinGW-w64 (shapelib fetched and
#         built by tools/build_shapelib_mingw.sh) and leaves
#         dist/egib2shp-<version>-win64.zip.
# test also cross-builds the .exe and compares what it writes under Wine
# with what the Linux build writes (tests/windows/wine_compare.py).
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-demo}"
# Building the program and converting the sample needs only these.
packages=(build-essential cmake pkg-config libshp-dev libgeos-dev libgdal-dev)
case "$mode" in
  test)
    # GoogleTest, PROJ (the geodesy cross-check), GDAL (what a GIS sees),
    # valgrind and clang (memory checks, fuzzing), script(1), man, dpkg-deb
    # (the install test), GNU parallel (concurrent runs) and PostgreSQL with
    # PostGIS (the tests start a cluster of their own; none is kept running).
    packages+=(libgtest-dev libbenchmark-dev gdal-bin python3-gdal proj-bin libproj-dev
               valgrind clang libclang-rt-14-dev util-linux bsdutils man-db dpkg-dev parallel
               postgresql postgis)
    ;;
  bench)
    packages+=(libbenchmark-dev libproj-dev proj-bin python3 time gdal-bin postgresql postgis bc)
    ;;
esac
# The Windows cross build (and, for the tests, Wine to run it).  The npm
# that fetches the shapelib sources: the machine's own when it has one.
windows_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                  mingw-w64-x86-64-dev mingw-w64-common zip)
case "$mode" in
  windows) packages+=("${windows_packages[@]}") ;;
  test) packages+=("${windows_packages[@]}" wine wine64 python3) ;;
esac
if [ "$mode" = windows ] || [ "$mode" = test ]; then
  command -v npm >/dev/null || packages+=(npm)
fi

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
version="$(sed -n 's/^project(egib2shp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

# egib2shp.exe in build-windows/cross, with a static shapelib of its own.
cross_build() {
  bash tools/build_shapelib_mingw.sh build-windows/shapelib
  cmake -S . -B build-windows/cross -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DEGIB_BUILD_TESTS=OFF \
    -DEGIB_SHAPELIB_PREFIX="$PWD/build-windows/shapelib" >/dev/null
  cmake --build build-windows/cross -j"$jobs" --target egib2shp
  [ "$mode" = test ] && cmake --build build-windows/cross -j"$jobs" --target platform_check
  return 0
}

if [ "$mode" = windows ]; then
  cross_build
  stage="build-windows/egib2shp-$version-win64"
  rm -rf "$stage"
  mkdir -p "$stage" dist
  cp build-windows/cross/egib2shp.exe "$stage/"
  cp README.md "$stage/README.md"
  cp examples/sample.swd "$stage/"
  # The notices of what the .exe links statically: shapelib, the MinGW-w64
  # runtime (C runtime start-up, winpthreads) and GCC's runtime libraries.
  {
    echo "egib2shp.exe links statically the following; their notices follow."
    echo
    echo "=== shapelib ==="
    cat build-windows/shapelib/share/shapelib/LICENSE.txt
    echo
    echo "=== MinGW-w64 runtime (Debian package mingw-w64-common) ==="
    cat /usr/share/doc/mingw-w64-common/copyright
    echo
    echo "=== GCC runtime libraries: libstdc++, libgcc (Debian package gcc-mingw-w64-base) ==="
    cat /usr/share/doc/gcc-mingw-w64-base/copyright
  } >"$stage/LICENSES.txt"
  zip_file="dist/egib2shp-$version-win64.zip"
  rm -f "$zip_file"
  (cd "$(dirname "$stage")" && zip -qr "$OLDPWD/$zip_file" "$(basename "$stage")")
  echo "written: $zip_file"
  exit 0
fi

tests=OFF
[ "$mode" = test ] && tests=ON
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEGIB_BUILD_TESTS="$tests" >/dev/null
cmake --build build -j"$jobs"

case "$mode" in
  demo)
    cd examples
    ../build/egib2shp sample.swd 2 21 0
    echo
    echo "written: $(ls sample_DZE.* sample_BUD.* | tr '\n' ' ')"
    ;;
  test)
    ctest --test-dir build --output-on-failure -j"$jobs"

    # The Windows build: cross-built, run under Wine on the end-to-end
    # scenarios, and compared file by file with the Linux build's output.
    cross_build
    python3 tests/windows/wine_compare.py build/egib2shp build-windows/cross/egib2shp.exe \
      build/gen_swde "$PWD"
    # The end-to-end tests against the .exe, one at a time in one private
    # prefix (tests/windows/wine_run.sh), less those that ask what Windows
    # cannot have, skipped here by name:
    wine_skipped=(
      "Driver.ReportSaysHowTheRunEnded"                # a '"' in a file name
      "Outputs.ReadOnlyDirectoryFailsNamingTheFile"    # another user's rights (root under Wine writes anywhere)
      "Outputs.KilledRunLeavesThePreviousLayers"       # POSIX signals (Windows has console events)
      "Driver.ForeignFirstLineIsShownOnStderr"         # the error log's place, $HOME/ZOV_uriri.txt
      "ConversionEndToEnd.EveryRowOfTheRouteTable"     # bit-exact coordinates (the maths library differs
    )                                                  #   in the last bit; compared within 1 um above)
    printf 'skipped under Wine: %s\n' "${wine_skipped[@]}"
    wine_prefix="$(mktemp -d)"
    (
      export WINEPREFIX="$wine_prefix" WINEDEBUG=-all LC_ALL=C.UTF-8
      wineboot -i >/dev/null 2>&1 </dev/null || true
      wineserver -p >/dev/null 2>&1 </dev/null
      status=0
      # The file calls on their own: Polish letters, long paths, renames
      # over older files, offsets past 4 GiB, deleting an open file.
      checks="$wine_prefix/platform_check"
      mkdir -p "$checks"
      /usr/lib/wine/wine64 build-windows/cross/platform_check.exe "Z:${checks//\//\\}" \
        >"$wine_prefix/platform_check.out" 2>&1 </dev/null || status=$?
      cat "$wine_prefix/platform_check.out"
      EGIB_TEST_WRAPPER="bash $PWD/tests/windows/wine_run.sh" \
        EGIB_TEST_BINARY="$PWD/build-windows/cross/egib2shp.exe" \
        ctest --test-dir build --output-on-failure -j1 \
          -R "Conversion|Golden|Driver|Outputs|HostileInput" \
          -E "TruncatedAtEveryOffset|$(IFS='|'; echo "${wine_skipped[*]}")" || status=$?
      wineserver -k >/dev/null 2>&1 </dev/null || true
      exit "$status"
    ) || { rm -rf "$wine_prefix"; echo "end-to-end tests under Wine failed" >&2; exit 1; }
    rm -rf "$wine_prefix"
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DEGIB_SANITIZE=ON >/dev/null
    cmake --build build-sanitize -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

    # The end-to-end tests once more with every run of the binary under
    # valgrind (the run at every truncation offset is left to the builds
    # above: hundreds of valgrind start-ups).
    EGIB_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite" \
      ctest --test-dir build --output-on-failure -j"$jobs" \
        -R "Conversion|HostileInput|Driver|Outputs|GdalReads" -E "TruncatedAtEveryOffset"

    # The outputs through GDAL under valgrind too: the sample's whole
    # register into a GeoPackage, a folder of FlatGeobuf files and a
    # PostGIS database of a cluster of its own (stopped whatever happens).
    vg=(valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite)
    vg_work="$(mktemp -d)"
    chmod 755 "$vg_work"
    (
      trap 'bash tests/support/pg_cluster.sh stop "$vg_work/pg.env"; rm -rf "$vg_work"' EXIT
      "${vg[@]}" build/egib2shp -f GPKG --all -o "$vg_work" examples/sample.swd 2 21 0 >/dev/null
      "${vg[@]}" build/egib2shp -f FlatGeobuf --all -o "$vg_work" examples/sample.swd 2 21 0 \
        >/dev/null
      bash tests/support/pg_cluster.sh start "$vg_work/pg.env" >/dev/null
      # shellcheck disable=SC1091
      . "$vg_work/pg.env"
      "${vg[@]}" build/egib2shp -f PostgreSQL --all -o "$vg_work" \
        --destination="PG:host=127.0.0.1 port=$PGPORT dbname=egib user=egib password=$EGIB_PG_PASSWORD" \
        examples/sample.swd 2 21 0 >/dev/null
    ) || { echo "the GDAL outputs under valgrind failed" >&2; exit 1; }

    # Bounded fuzzing of the line reader and of whole conversions.
    fuzz_seconds="${EGIB_FUZZ_SECONDS:-60}"
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DEGIB_FUZZ=ON -DEGIB_BUILD_TESTS=OFF >/dev/null
    cmake --build build-fuzz -j"$jobs" --target line_reader_fuzz conversion_fuzz
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    for target in line_reader:lines conversion:conversion; do
      name="${target%%:*}"; seeds="$PWD/tests/fuzz/corpus/${target##*:}"
      mkdir -p "$work/$name"
      echo "fuzzing $name for ${fuzz_seconds} s"
      build-fuzz/tests/fuzz/${name}_fuzz -max_total_time="$fuzz_seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$name-" \
        "$work/$name" "$seeds" 2>"$work/$name.log" \
        || { tail -50 "$work/$name.log"; echo "fuzzing $name found a fault" >&2; exit 1; }
      grep -E "^stat::number_of_executed_units|^Done" "$work/$name.log" || true
    done
    ;;
  bench)
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DEGIB_BUILD_BENCH=ON \
      -DEGIB_BUILD_TESTS=OFF >/dev/null
    cmake --build build-bench -j"$jobs"
    bash bench/run_bench.sh build-bench
    ;;
  *)
    echo "usage: tools/bootstrap.sh [demo|test|bench|windows]" >&2
    exit 2
    ;;
esac
