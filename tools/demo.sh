#!/usr/bin/env bash
# Builds ormid-cli (and nothing else) and runs the long-term analysis of a
# bundled sample residue file on a copy of the bundled CSFII sample
# installation, printing the report. Runs write their reports and the run
# history into the working folder, so the copy is made in a new folder of
# its own and the checkout stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh --cli
work=$(mktemp -d "${TMPDIR:-/tmp}/ormid-demo.XXXXXX")
cp -r samples/csfii "$work/csfii"
build/cli/ormid-cli -C "$work/csfii" longterm "$work/csfii/residues/DEMOFOS.R98" \
  --rfd --noel --comment "Demonstration run" --stdout
echo "The run's working folder is $work/csfii (its report: ormdtemp.txt)" >&2
