#!/usr/bin/env bash
# Builds Ormid and runs the long-term analysis of a bundled sample residue
# file on the bundled CSFII sample installation, printing the report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
build/cli/ormid-cli -C samples/csfii longterm samples/csfii/residues/DEMOFOS.R98 \
  --rfd --noel --comment "Demonstration run" --stdout
