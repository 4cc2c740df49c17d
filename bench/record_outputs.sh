#!/usr/bin/env bash
# Checksums of everything a run writes (stdout, the run log, the error log,
# every layer file), for a set of files and routes: recorded before a change
# to the inside of the converter and compared after it.
#
#   bash bench/record_outputs.sh BINARY BENCH_DIR > before.txt
#   ... change, rebuild ...
#   bash bench/record_outputs.sh BINARY BENCH_DIR > after.txt && diff before.txt after.txt
#
# BENCH_DIR holds county.swd (1965 zone 2), county1992.swd and
# county2000.swd (2000 zone 21) as bench/run_bench.sh generates them.
set -euo pipefail
binary="$(realpath "$1")"
dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# file | options | codes
runs=(
  "county.swd||0 0 0"
  "county.swd||2 18 1"
  "county.swd||2 2 1"
  "county.swd||2 4 2"
  "county.swd||2 10 1"
  "county.swd|--points --precincts|2 21 0"
  "county1992.swd||10 21 0"
  "county1992.swd||10 5 2"
  "county1992.swd|--points --precincts|10 10 0"
  "county2000.swd||21 18 0"
  "county2000.swd||21 10 0"
  "county2000.swd||21 3 1"
)
for run in "${runs[@]}"; do
  IFS='|' read -r file options codes <<<"$run"
  read -r -a option_words <<<"$options"
  read -r -a code_words <<<"$codes"
  rm -rf "${work:?}"/*
  mkdir -p "$work/home"
  ln -s "$(realpath "$dir/$file")" "$work/in.swd"
  (cd "$work" && HOME="$work/home" "$binary" "${option_words[@]}" in.swd "${code_words[@]}" \
    >stdout.txt 2>stderr.txt) || echo "$file $options $codes: exit status $?"
  (cd "$work" && for f in stdout.txt err.log home/ZOV_uriri.txt in_*; do
    if [ -e "$f" ]; then echo "$file | $options | $codes | $f | $(md5sum <"$f" | cut -d' ' -f1)"; fi
  done)
done
