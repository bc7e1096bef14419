#!/usr/bin/env bash
# The JSON exports of both sample installations validated against
# docs/results.schema.json: long-term and commodity for every endpoint kind,
# cumulative, headroom, residue builds, aggregate runs, a comparison of two recorded runs,
# history show --export of each kind recorded, and a batch's scenario
# exports. A broken
# document (a figure turned into text) must fail the validation.
set -euo pipefail
cli=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1709629621
validate() {
  python3 - "$src/docs/results.schema.json" "$@" <<'PY'
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
for path in sys.argv[2:]:
    jsonschema.validate(json.load(open(path)), schema)
PY
}
n=0
for inst in csfii nhanes-2005-2010; do
  cp -r "$src/samples/$inst" "$work/$inst"
  residue=$(ls "$work/$inst"/residues/DEMOFOS.R*)
  for endpoint in "--rfd" "--noel=0.5" "--noel=0.5 --rfd" "--pad --pad-value 17=0.0001" "--qstar=0.05"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    "$cli" -C "$work/$inst" longterm "$residue" $endpoint --export "$work/lt$n.json" >/dev/null 2>&1 ||
      [ "$inst" != csfii ] || { echo "longterm $inst $endpoint failed"; exit 1; }
    # shellcheck disable=SC2086
    "$cli" -C "$work/$inst" commodity "$residue" $endpoint --complete --critical --food-pct 1 \
      --crop-pct 5 --subgroups 1,2 --export "$work/cc$n.json" >/dev/null 2>&1 ||
      [ "$inst" != csfii ] || { echo "commodity $inst $endpoint failed"; exit 1; }
  done
done
# Cumulative runs of the samples' example groups, with a breakdown.
for inst in csfii nhanes-2005-2010; do
  "$cli" -C "$work/$inst" cumulative "$work/$inst/op-group.csv" --subgroups 1,2 --by food --target 50 \
    --export "$work/cu-$inst.json" >/dev/null 2>&1 || { echo "cumulative $inst failed"; exit 1; }
done
# Headroom, the run history's exports and comparisons, and a batch.
for inst in csfii nhanes-2005-2010; do
  residue=$(ls "$work/$inst"/residues/DEMOFOS.R*)
  run() { "$cli" -C "$work/$inst" "$@" >/dev/null 2>&1 || { echo "$* ($inst) failed"; exit 1; }; }
  run headroom "$residue" --rfd --export "$work/hr-$inst.json"
  run headroom "$residue" --noel=0.5 --by form --export "$work/hf-$inst.json"
  # Runs recorded in a fresh history: ids 1 to 4.
  rm -f "$work/$inst/ormid-history.sqlite"
  run longterm "$residue" --rfd
  run longterm "$residue" --rfd --adj2
  run commodity "$residue" --rfd --complete --subgroups 1,2
  run cumulative "$work/$inst/op-group.csv"
  for id in 1 3 4; do run history show $id --export "$work/show$id-$inst.json"; done
  run compare 1 2 --export "$work/cmp-$inst.json"
  run batch "$residue" --rfd --out "$work/batch-$inst" --export json --no-history
  cp "$work/batch-$inst/DEMOFOS.json" "$work/batch-$inst.json"
done
# Residue builds from the samples' monitoring folders, the three bounds and
# field trial percents.
for inst in csfii nhanes-2005-2010; do
  ext=R98
  [ "$inst" = csfii ] || ext=R10
  "$cli" -C "$work/$inst" residue build "$work/$inst/monitoring/samples.csv" \
    --rules "$work/$inst/monitoring/rules.csv" --chemical Demofos --bound all --crop-treated factor \
    "$work/$inst/residues/BUILT.$ext" --export "$work/rb-$inst.json" >/dev/null 2>&1 ||
    { echo "residue build $inst failed"; exit 1; }
done
# Aggregate runs of the samples' example files: NHANES with its drinking water
# foods, CSFII food and residential.
"$cli" -C "$work/nhanes-2005-2010" aggregate "$work/nhanes-2005-2010/residues/DEMOFOS.R10" \
  --tox "$work/nhanes-2005-2010/tox.csv" --residential "$work/nhanes-2005-2010/residential.csv" \
  --water-ppb chronic=2 --water-ppb short-term=30 --water-foods 8600078001,8600079001 \
  --export "$work/ag-nhanes.json" >/dev/null 2>&1 || { echo "aggregate nhanes failed"; exit 1; }
"$cli" -C "$work/csfii" aggregate "$work/csfii/residues/DEMOFOS.R98" --tox "$work/csfii/tox.csv" \
  --residential "$work/csfii/residential.csv" --subgroups 1,27 \
  --export "$work/ag-csfii.json" >/dev/null 2>&1 || { echo "aggregate csfii failed"; exit 1; }
validate "$work"/*.json
# An aggregate figure as text fails too.
python3 - "$work/ag-nhanes.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
s = doc["aggregate"]["durations"][0]["subgroups"][0]
s["hazard_index"] = str(s["hazard_index"])
json.dump(doc, open(sys.argv[1], "w"))
PY
if validate "$work/ag-nhanes.json" 2>/dev/null; then echo "an aggregate figure as text passed"; exit 1; fi
# The first row's exposure (its fourth cell) as text.
python3 - "$work/lt1.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["columns"][3] == "exposure_mg_per_kg_bw_day"
doc["longterm"][0][3] = str(doc["longterm"][0][3])
json.dump(doc, open(sys.argv[1], "w"))
PY
if validate "$work/lt1.json" 2>/dev/null; then echo "a figure as text passed the schema"; exit 1; fi
# A build's residue (its 19th cell) as text.
python3 - "$work/rb-csfii.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
assert doc["columns"][18] == "residue_ppm"
doc["residue_build"][0][18] = str(doc["residue_build"][0][18])
json.dump(doc, open(sys.argv[1], "w"))
PY
if validate "$work/rb-csfii.json" 2>/dev/null; then echo "a residue as text passed the schema"; exit 1; fi
echo "$(ls "$work"/*.json | wc -l) exports valid"
