#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed
# ormid-cli on a copy of the installed CSFII sample, as a user of the
# package would.  Usage: install_test.sh BUILD_DIR WITH_GUI(ON|OFF)
set -euo pipefail
build=$1
gui=${2:-ON}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

expect() { [ -e "$prefix/$1" ] || { echo "not installed: $1" >&2; exit 1; }; }
expect bin/ormid-cli
expect share/ormid/samples/csfii/KavriSupport.txt
expect share/ormid/samples/csfii/residues/DEMOFOS.R98
expect share/ormid/samples/nhanes-2005-2010/residues/DEMOFOS.R10
if [ "$gui" = ON ]; then
  expect bin/ormid
  expect share/applications/ormid.desktop
  expect share/icons/hicolor/scalable/apps/ormid.svg
  grep -qx 'Exec=ormid' "$prefix/share/applications/ormid.desktop"
  grep -qx 'Icon=ormid' "$prefix/share/applications/ormid.desktop"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/ormid.desktop"
  fi
fi
# No report left over from a run in the source tree.
if find "$prefix/share/ormid/samples" -name 'ormdtemp.txt' -o -name 'tempcomm.txt' \
  -o -name 'tempagg.txt' | grep -q .; then
  echo "a temporary report was installed" >&2
  exit 1
fi

work="$prefix/work"
cp -r "$prefix/share/ormid/samples/csfii" "$work"
cd /
"$prefix/bin/ormid-cli" -C "$work" info >/dev/null
"$prefix/bin/ormid-cli" -C "$work" longterm "$work/residues/DEMOFOS.R98" --rfd >/dev/null
grep -q 'DEMOFOS' "$work/ormdtemp.txt"
grep -q 'U.S. Population (total)' "$work/ormdtemp.txt"
echo "installed ormid-cli wrote $(wc -l <"$work/ormdtemp.txt") report lines"
# The documented aggregate example on the installed sample's example files.
"$prefix/bin/ormid-cli" -C "$work" aggregate "$work/residues/DEMOFOS.R98" --tox "$work/tox.csv" \
  --residential "$work/residential.csv" --subgroups 1,27,31 --no-history >/dev/null
grep -q 'lawn, post-application' "$work/tempagg.txt"
