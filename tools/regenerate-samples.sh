#!/bin/sh
# Rebuilds the bundled sample installations (samples/*/) from their source
# tables (samples/*/source/) with ormid-gen.
#
#   tools/regenerate-samples.sh            builds ormid-gen in build-samples/
#   ORMID_GEN=path/to/ormid-gen tools/regenerate-samples.sh
#
# Afterwards `git status samples` shows what changed; the output depends on the
# source tables alone, so an unchanged source gives byte-identical files.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
gen=${ORMID_GEN:-}
if [ -z "$gen" ]; then
  build="$root/build-samples"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORMID_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target ormid-gen -j2 >/dev/null
  gen="$build/tools/ormid-gen"
fi
for source in "$root"/samples/*/source; do
  sample=$(dirname "$source")
  # Residue files come only from residues/*.txt in the source folder: drop
  # those of a source that was renamed or removed.
  rm -f "$sample"/residues/*
  "$gen" "$source" "$sample"
done
