#!/usr/bin/env bash
# What the CSV export and the run history add to a full-size commodity run
# (every subgroup, both reports), measured in pairs so that the disk and a
# noisy machine weigh on both sides alike: each round times the run without
# the export and the history, then with a CSV export, then recorded in the
# run history, each after `sync` (untimed), so that no run waits for the disk
# to write back the files of the run before it. Prints, for each, the median
# and the quartiles of the ratios of the rounds.
#
#   bash bench/paired-runs.sh            21 rounds, builds into build-bench/
#   ROUNDS=41 bash bench/paired-runs.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORMID_BENCH_BUILD:-$root/build-bench}
rounds=${ROUNDS:-21}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORMID_BUILD_BENCH=ON \
  -DORMID_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target ormid-cli ormid-synth ormid-timeit >/dev/null

cli=$build/cli/ormid-cli
timeit=$build/bench/ormid-timeit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000
dir=$work/x1
"$build/bench/ormid-synth" 1 "$dir" >/dev/null
args=(-C "$dir" commodity "$dir/residues/BENCH.R98" --rfd --complete --critical --food-pct 1
  --crop-pct 5 --subgroups all)

# Milliseconds of one run, after the disk has caught up.
one() {
  sync
  "$timeit" 1 "$@" 2>/dev/null | cut -d' ' -f1
}
# The first runs of each kind are warm-ups: they make the files the measured
# runs replace, as a user's runs do.
one "$cli" "${args[@]}" --no-history >/dev/null
one "$cli" "${args[@]}" --no-history --export "$work/cc.csv" --yes >/dev/null
one "$cli" "${args[@]}" >/dev/null
for _ in $(seq "$rounds"); do
  plain=$(one "$cli" "${args[@]}" --no-history)
  csv=$(one "$cli" "${args[@]}" --no-history --export "$work/cc.csv" --yes)
  recorded=$(one "$cli" "${args[@]}")
  echo "$plain $csv $recorded"
done >"$work/rounds"

# "median (lower quartile-upper quartile)" of one column of ratios.
quartiles() {
  awk -v c="$1" '{ print $c / $1 }' "$work/rounds" | sort -n |
    awk '{ r[NR] = $1 } END {
      printf "%.2f (%.2f-%.2f)", r[int((NR + 1) / 2)], r[int(NR / 4) + 1], r[int(3 * NR / 4) + 1]
    }'
}
median_ms() {
  awk -v c="$1" '{ print $c }' "$work/rounds" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }'
}
echo "x1    commodity --no-history, median of $rounds rounds: $(median_ms 1) ms"
echo "x1    with a CSV export: $(median_ms 2) ms, $(quartiles 2) times the round's run without"
echo "x1    recorded in the run history: $(median_ms 3) ms, $(quartiles 3) times"
