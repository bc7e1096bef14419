#!/usr/bin/env bash
# The run history as it grows: a full-size commodity run (every subgroup of
# the synthetic full-size installation, both reports), recorded, timed when
# the history holds 10, 100 and 1,000 such runs, with the file's size. The
# history is filled between the points with copies of the run
# (ormid-history-fill: the run's figures read back and recorded again, as a
# run records them); each point is the median of RUNS whole ormid-cli runs
# (default 11), started so that the history holds the point's number of runs
# half-way through them. Then one run of a residue file that differs by one
# residue (its own list of items), `history` of the 1,000 runs, a compare of
# two of them, and `history check`. The runs' clock is fixed
# (SOURCE_DATE_EPOCH), so that the day's whole check of the file falls on
# the first run only; one more run on the next day times it.
#
#   bash bench/history-growth.sh      builds into build-bench/ and measures
#   RUNS=21 bash bench/history-growth.sh
#
# About 1 GB of disk under the temporary folder while it runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORMID_BENCH_BUILD:-$root/build-bench}
runs=${RUNS:-11}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORMID_BUILD_BENCH=ON \
  -DORMID_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target ormid-cli ormid-synth ormid-timeit ormid-history-fill >/dev/null

cli=$build/cli/ormid-cli
timeit=$build/bench/ormid-timeit
fill=$build/bench/ormid-history-fill
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000

dir=$work/x1
"$build/bench/ormid-synth" 1 "$dir" >/dev/null
db=$dir/ormid-history.sqlite
args=(commodity "$dir/residues/BENCH.R98" --rfd --complete --critical --food-pct 1 --crop-pct 5
  --subgroups all)
count() { python3 -c 'import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute("select count(*) from runs").fetchone()[0])' "$db"; }

read -r plain _ _ < <("$timeit" "$runs" "$cli" -C "$dir" "${args[@]}" --no-history)
"$cli" -C "$dir" "${args[@]}" >/dev/null  # the first run, which the others copy
"$fill" --levels "$db"
echo
printf '%-6s %22s %10s %12s\n' runs "recorded run median ms" "file MB" "KB per run"
declare -A ms size
for n in 10 100 1000; do
  "$fill" "$db" $(( n - (runs + 1) / 2 ))
  read -r median _ _ < <("$timeit" "$runs" "$cli" -C "$dir" "${args[@]}")
  ms[$n]=$median
  size[$n]=$(stat -c %s "$db")
  printf '%-6s %22s %10.1f %12.0f\n' "$(count)" "$median" \
    "$(awk -v s="${size[$n]}" 'BEGIN { print s / 1e6 }')" \
    "$(awk -v s="${size[$n]}" -v c="$(count)" 'BEGIN { print s / c / 1024 }')"
done
per_run=$(awk -v a="${size[1000]}" -v b="${size[100]}" -v c="$(count)" \
  'BEGIN { printf "%.0f", (a - b) / 900 / 1024 }')
printf 'commodity without the run history: %s ms; a run added from 100 to 1,000 runs: %s KB\n' \
  "$plain" "$per_run"

# A residue file that differs by one residue: the run brings its own list
# of items (the descriptions of the foods are the file's already).
sed '0,/^110,"",0.07,/s//110,"",0.08,/' "$dir/residues/BENCH.R98" >"$dir/residues/OTHER.R98"
before=$(stat -c %s "$db")
"$cli" -C "$dir" commodity "$dir/residues/OTHER.R98" --rfd --complete --critical --food-pct 1 \
  --crop-pct 5 --subgroups all >/dev/null
printf 'a run of another residue file: %s KB\n' $(( ($(stat -c %s "$db") - before) / 1024 ))
read -r list_ms _ _ < <("$timeit" "$runs" "$cli" -C "$dir" history)
read -r cmp_ms _ _ < <("$timeit" "$runs" "$cli" -C "$dir" compare 500 900)
read -r show_ms _ _ < <("$timeit" 3 "$cli" -C "$dir" history show 900)
read -r check_ms _ _ < <("$timeit" 1 "$cli" -C "$dir" history check)
printf 'history of %s runs %s ms; compare %s ms; history show of a run %s ms; history check %s ms\n' \
  "$(count)" "$list_ms" "$cmp_ms" "$show_ms" "$check_ms"
# The next day's first run checks the whole file first.
export SOURCE_DATE_EPOCH=$(( SOURCE_DATE_EPOCH + 86400 ))
read -r day_ms _ _ < <("$timeit" 1 "$cli" -C "$dir" "${args[@]}")
printf 'the next day'"'"'s first recorded run (the whole file checked) %s ms\n' "$day_ms"

echo
check() {  # check TEXT CONDITION-FOR-AWK
  if awk "BEGIN { exit !($2) }"; then echo "met     $1"; else echo "MISSED  $1"; fi
}
ratio=$(awk -v a="${ms[1000]}" -v b="${ms[10]}" 'BEGIN { printf "%.2f", a / b }')
check "a recorded run at 1,000 runs at most 1.2 times at 10 (x$ratio)" "$ratio <= 1.2"
check "a full-size commodity run takes at most 1 MB of the history ($per_run KB)" "$per_run <= 1024"
