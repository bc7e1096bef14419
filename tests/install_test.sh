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
expect share/man/man1/ormid-cli.1.gz
expect share/bash-completion/completions/ormid-cli
expect share/zsh/vendor-completions/_ormid-cli
expect share/doc/ormid/README.md
expect share/doc/ormid/docs/batch.md
expect share/doc/ormid/docs/results.schema.json
if [ "$gui" = ON ]; then
  id=example.kavri_fcid.ormid
  desktop="$prefix/share/applications/$id.desktop"
  expect bin/ormid
  expect "share/applications/$id.desktop"
  expect "share/metainfo/$id.metainfo.xml"
  expect share/icons/hicolor/scalable/apps/ormid.svg
  expect share/man/man1/ormid.1.gz
  grep -qx 'Exec=ormid' "$desktop"
  grep -qx 'Icon=ormid' "$desktop"
  grep -qx "  <launchable type=\"desktop-id\">$id.desktop</launchable>" \
    "$prefix/share/metainfo/$id.metainfo.xml"
  # tools/install-deps.sh installs both checkers; CI runs them always.
  for tool in desktop-file-validate appstreamcli; do
    if ! command -v $tool >/dev/null && [ "${CI:-}" = true ]; then
      echo "$tool is missing (tools/install-deps.sh installs it)" >&2
      exit 1
    fi
  done
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop"
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --pedantic --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml"
  fi
fi
# Every reference to the documentation in the installed README, pages,
# manual pages and --help texts leads to an installed file.
helps=$(mktemp -d)
trap 'rm -rf "$prefix" "$helps"' EXIT
"$prefix/bin/ormid-cli" --help >"$helps/ormid-cli.txt"
for command in $(sed -n '/^Subcommands:/,/^$/p' "$helps/ormid-cli.txt" | awk 'NR > 1 && NF { print $1 }') \
  "residue export" "residue import"; do
  # shellcheck disable=SC2086
  "$prefix/bin/ormid-cli" $command --help >"$helps/ormid-cli ${command}.txt"
done
if [ "$gui" = ON ]; then
  QT_QPA_PLATFORM=offscreen timeout 20 "$prefix/bin/ormid" --help >"$helps/ormid.txt"
fi
python3 "$(dirname "$0")/../tools/check_doc_refs.py" "$prefix" "$helps"/*.txt
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
