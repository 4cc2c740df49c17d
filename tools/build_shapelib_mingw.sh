#!/usr/bin/env bash
# Builds a static shapelib for the MinGW-w64 cross build of egib2shp.exe.
#
# Debian packages shapelib for Linux only.  Its sources (1.6, MIT) travel in
# the GDAL source tree inside the npm package gdal-async; this fetches that
# package at a pinned version with the machine's npm, checks the tarball
# against the checksum recorded here, takes out only the shapelib sources
# and compiles them with the file hooks of tools/windows/shapelib_io.c.
# Nothing of it is kept in the repository: all of it lands in PREFIX.
#
#   tools/build_shapelib_mingw.sh PREFIX
# leaves PREFIX/include/shapefil.h, PREFIX/lib/libshp.a and
# PREFIX/share/shapelib/LICENSE.txt (the copyright lines of the sources
# with the MIT text).
set -euo pipefail

package=gdal-async
version=3.12.3
sha256=38bd1f5af66c3f85e0b9f219fe78ed3c5c1f81763eeecaff7a1dc9385901ae10
inner=package/deps/libgdal/gdal/ogr/ogrsf_frmts/shape/shapelib
sources=(shpopen.c dbfopen.c)
headers=(shapefil.h shapefil_private.h)

prefix="${1:?usage: tools/build_shapelib_mingw.sh PREFIX}"
here="$(cd "$(dirname "$0")" && pwd)"
cc="${EGIB_MINGW_CC:-x86_64-w64-mingw32-gcc-posix}"
ar="${EGIB_MINGW_AR:-x86_64-w64-mingw32-ar}"
mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"
stamp="$prefix/.built-$package-$version"
if [ -f "$stamp" ] && [ -f "$prefix/lib/libshp.a" ] && [ "$prefix/lib/libshp.a" -nt "$here/windows/shapelib_io.c" ]; then
  exit 0
fi

tarball="$prefix/download/$package-$version.tgz"
if [ ! -f "$tarball" ] || ! echo "$sha256  $tarball" | sha256sum -c --status; then
  if ! command -v npm >/dev/null; then
    echo "npm is needed to fetch the shapelib sources (apt-get install npm)" >&2
    exit 1
  fi
  mkdir -p "$prefix/download"
  rm -f "$tarball"
  (cd "$prefix/download" && npm pack --silent "$package@$version" >/dev/null)
fi
if ! echo "$sha256  $tarball" | sha256sum -c --status; then
  echo "$tarball: sha256 $(sha256sum "$tarball" | cut -d' ' -f1), expected $sha256" >&2
  rm -f "$tarball"
  exit 1
fi

src="$prefix/src"
rm -rf "$src"
mkdir -p "$src"
members=()
for f in "${sources[@]}" "${headers[@]}"; do members+=("$inner/$f"); done
tar -xzf "$tarball" -C "$src" --strip-components=8 "${members[@]}"

# 64-bit offsets through the hooks (the header's default on this target is a
# 32-bit unsigned long); C99 formatting of numbers in the dBase fields, as
# on Linux, instead of the runtime's _snprintf.
defines=(-D__USE_MINGW_ANSI_STDIO=1 "-DSAOffset=unsigned long long" -Dsnprintf=snprintf)
mkdir -p "$prefix/obj" "$prefix/lib" "$prefix/include" "$prefix/share/shapelib"
objects=()
for f in "${sources[@]}"; do
  "$cc" -O2 -std=gnu11 -w "${defines[@]}" -I"$src" -c "$src/$f" -o "$prefix/obj/${f%.c}.o"
  objects+=("$prefix/obj/${f%.c}.o")
done
"$cc" -O2 -std=gnu11 -Wall -Wextra "${defines[@]}" -I"$src" -c "$here/windows/shapelib_io.c" \
  -o "$prefix/obj/shapelib_io.o"
objects+=("$prefix/obj/shapelib_io.o")
rm -f "$prefix/lib/libshp.a"
"$ar" rcs "$prefix/lib/libshp.a" "${objects[@]}"
cp "$src/shapefil.h" "$prefix/include/"

{
  echo "shapelib $(sed -n 's/^#define SHAPELIB_VERSION_\(MAJOR\|MINOR\|MICRO\) \([0-9]*\).*/\2/p' "$src/shapefil.h" | paste -sd.)"
  echo "(from $package $version, ${inner#package/})"
  echo
  grep -h 'Copyright (c)' "${members[@]/#$inner/$src}" | sed 's/^ *\* *//' | sort -u
  echo
  cat "$here/windows/MIT.txt"
} >"$prefix/share/shapelib/LICENSE.txt"
touch "$stamp"
