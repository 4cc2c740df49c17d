#!/usr/bin/env bash
# EGIB_TEST_WRAPPER for the end-to-end tests against the Windows build:
#   EGIB_TEST_WRAPPER="bash tests/windows/wine_run.sh" EGIB_TEST_BINARY=.../egib2shp.exe
# Runs the .exe under Wine (headless, quiet, the prefix in $WINEPREFIX) the
# way a test runs the Linux binary, and afterwards moves what the run
# appended to the Windows error log c:\ZOV_uriri.txt into $HOME/ZOV_uriri.txt,
# where the tests look for it.  The tests must run one at a time (ctest -j1):
# the prefix and its drive C are shared.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all
log="$WINEPREFIX/drive_c/ZOV_uriri.txt"
rm -f "$log"
# wine64 itself: the wine launcher complains on stderr about a missing wine32.
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
# Under load Wine's client can lose its socket to wineserver before the
# program starts ("wine client error"), or the program is not started at
# all (a failure without a word: the program says something before every
# failure of its own); that run is made once more, with the server started
# again.  The program's own stdout and stderr are passed on unchanged.
out="$(mktemp)"
err="$(mktemp)"
for attempt in 1 2; do
  "$loader" "$@" >"$out" 2>"$err"
  status=$?
  if [ "$attempt" = 1 ] && [ "$status" != 0 ] &&
    { grep -q 'wine client error' "$err" || { [ ! -s "$out" ] && [ ! -s "$err" ]; }; }; then
    echo "wine_run.sh: Wine failed (exit status $status: $(tail -n 1 "$err")); running it again" >&2
    rm -f "$log"
    wineserver -p >/dev/null 2>&1 </dev/null
    continue
  fi
  break
done
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
if [ -f "$log" ]; then
  cat "$log" >>"$HOME/ZOV_uriri.txt"
  rm -f "$log"
fi
exit "$status"
