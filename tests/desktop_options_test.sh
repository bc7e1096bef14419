#!/usr/bin/env bash
# ormid's --help and --version print and end, as Qt programs do, without a
# display and before any window system is reached; an option it does not
# know ends it with status 2 and the hint of --help.
#   Usage: desktop_options_test.sh ORMID VERSION
set -uo pipefail
ormid=$1
version=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# No display of any kind: a program that tried to open a window would fail
# or wait.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT

for option in --version -v; do
  out=$("${no_display[@]}" timeout 8 "$ormid" $option 2>err.txt)
  status=$?
  [ $status -eq 0 ] || fail "ormid $option exits $status: $(cat err.txt)"
  [ "$out" = "Ormid $version" ] || fail "ormid $option prints '$out', not 'Ormid $version'"
done
for option in --help -h; do
  out=$("${no_display[@]}" timeout 8 "$ormid" $option 2>err.txt)
  status=$?
  [ $status -eq 0 ] || fail "ormid $option exits $status: $(cat err.txt)"
  grep -q -- '--version' <<<"$out" || fail "ormid $option does not list --version: $out"
done
# Where a window system is there, an option it does not know is a usage
# error, and so is a file name (the program starts in its folder).
for args in --frobnicate somefile.R98; do
  QT_QPA_PLATFORM=offscreen timeout 8 "$ormid" $args >out.txt 2>err.txt
  status=$?
  [ $status -eq 2 ] || fail "ormid $args exits $status, not 2: $(cat err.txt)"
  grep -q "Try 'ormid --help'" err.txt || fail "ormid $args: no hint of --help: $(cat err.txt)"
done
# No folder was asked for and nothing written where it was started.
leftovers=$(ls -A | grep -v -e '^out.txt$' -e '^err.txt$' || true)
[ -z "$leftovers" ] || fail "ormid left $leftovers"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "ormid --help, --version and a wrong option end without a window"
