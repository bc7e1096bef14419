#!/usr/bin/env bash
# The JSON exports of both sample installations, long-term and commodity,
# every endpoint kind, cumulative and aggregate, validated against docs/results.schema.json; a broken
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
echo "$(ls "$work"/*.json | wc -l) exports valid"
