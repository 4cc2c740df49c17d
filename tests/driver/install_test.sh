#!/usr/bin/env bash
# Installs the build into a temporary prefix, runs the installed program on
# the sample, links a program against the installed array library, and
# builds the Debian package.
set -euo pipefail
build="$1"
src="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/egib2shp"
test -f "$prefix/share/man/man1/egib2shp.1"
test -f "$prefix/include/egib2shp/array.h"
manual="$(man -l "$prefix/share/man/man1/egib2shp.1" 2>&1)"
grep -q "EXIT STATUS" <<<"$manual"
libdir="$(dirname "$(find "$prefix" -name 'libegibarray.so' | head -1)")"
test -n "$libdir"

mkdir "$prefix/run"
cd "$prefix/run"
cp "$src/examples/sample.swd" .
HOME="$prefix/run" "$prefix/bin/egib2shp" sample.swd 2 21 0 >out.txt 2>err.txt
grep -q "faza10KONIEC" out.txt
grep -q "37 parcels and 24 buildings written" err.txt
test -f sample_DZE.shp && test -f sample_DZE.prj && test -f sample_BUD.dbf

# With GDAL the installed program finds its GDAL writer where it was
# installed (lib/egib2shp), and the package carries it.
with_gdal=0
if grep -q "^EGIB_WITH_GDAL:BOOL=ON" "$build/CMakeCache.txt"; then
  with_gdal=1
  test -f "$(find "$prefix" -name egib2shp-gdal.so | head -1)"
  HOME="$prefix/run" "$prefix/bin/egib2shp" -f GPKG -o gdal sample.swd 2 21 0 >/dev/null 2>err.txt
  test -f gdal/sample.gpkg
  "$prefix/bin/egib2shp" --formats | grep -q "^GPKG "
fi

# A sanitized build installs a sanitized library: its clients link the runtime too.
cflags=()
if grep -q "^EGIB_SANITIZE:BOOL=ON" "$build/CMakeCache.txt"; then
  cflags=(-fsanitize=address,undefined)
fi
cc "${cflags[@]}" -I"$prefix/include/egib2shp" "$src/tests/array/shared_client.c" -L"$libdir" \
  -legibarray -o client
LD_LIBRARY_PATH="$libdir" ./client

cpack -G DEB -B "$prefix/package" --config "$build/CPackConfig.cmake" >/dev/null
deb="$(ls "$prefix"/package/*.deb)"
listing="$(dpkg-deb -c "$deb")"
grep -q "\./usr/bin/egib2shp" <<<"$listing"
grep -q "man1/egib2shp.1" <<<"$listing"
grep -q "libegibarray.so" <<<"$listing"
if [ "$with_gdal" = 1 ]; then grep -q "egib2shp/egib2shp-gdal.so" <<<"$listing"; fi
echo "installed and packaged: $(basename "$deb")"
