#!/usr/bin/env bash
# Times ormid-cli on two synthetic CSFII installations: full size (600 master
# foods, 3,000 food-form entries, 33 subgroups) and one ten times larger, each
# with a residue file that covers every food and food form. For info,
# longterm and commodity (every subgroup, complete and critical reports) it
# prints the median wall time and the peak memory of whole runs, next to the
# floor: the time it takes merely to copy the report's bytes to a file (and to
# copy them and flush them to the disk). Then batches on the full-size
# installation: 1,000 long-term scenarios, and 100 commodity scenarios
# against 100 single commodity runs shared out over the processors.
#
#   bash bench/run-bench.sh           builds into build-bench/ (Release,
#                                     -DORMID_BUILD_BENCH=ON) and measures
#   RUNS=21 bash bench/run-bench.sh   runs per figure (default 11)
#   MICRO=1 bash bench/run-bench.sh   then the micro-benchmarks as well
#
# Needs cmake, g++ and Google Benchmark (Debian: libbenchmark-dev). Wall
# times are noisy on a busy machine: compare medians of several runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORMID_BENCH_BUILD:-$root/build-bench}
runs=${RUNS:-11}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORMID_BUILD_BENCH=ON \
  -DORMID_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target ormid-cli ormid-synth ormid-timeit ormid_bench >/dev/null
command -v /usr/bin/time >/dev/null || { echo "run-bench.sh needs /usr/bin/time (Debian: time)" >&2; exit 1; }

cli=$build/cli/ormid-cli
timeit=$build/bench/ormid-timeit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000

# "median_ms min_ms peak_kb" of RUNS runs of a command, after one warm-up run.
# The reports and exports written by the figure before are put on the disk
# first, so that the kernel writing them back does not weigh on this one.
measure() {
  sync
  "$@" >/dev/null
  "$timeit" "$runs" "$@"
}

declare -A ms peak
printf '%-5s %-10s %10s %8s %11s %10s %13s %8s\n' scale command "median ms" "peak MB" \
  "report KB" "floor ms" "floor+sync ms" "x floor"
for scale in 1 10; do
  dir=$work/x$scale
  "$build/bench/ormid-synth" "$scale" "$dir" >/dev/null
  residue=$dir/residues/BENCH.R98
  for command in info longterm commodity; do
    case $command in
      info) args=(info) report= ;;
      longterm) args=(longterm "$residue" --rfd) report=ormdtemp.txt ;;
      commodity)
        args=(commodity "$residue" --rfd --complete --critical --food-pct 1 --crop-pct 5
          --subgroups all)
        report=tempcomm.txt
        ;;
    esac
    read -r median _ kb < <(measure "$cli" -C "$dir" "${args[@]}")
    ms[$scale.$command]=$median
    peak[$scale.$command]=$kb
    floor=- sync=- ratio=- size=-
    if [ -n "$report" ]; then
      size=$(( $(stat -c %s "$dir/$report") / 1024 ))
      read -r floor _ _ < <(measure cp "$dir/$report" "$work/copy")
      read -r sync _ _ < <(measure dd if="$dir/$report" of="$work/copy" bs=1M conv=fsync status=none)
      ratio=$(awk -v a="$median" -v b="$floor" 'BEGIN { printf "%.1f", a / b }')
    fi
    printf '%-5s %-10s %10s %8s %11s %10s %13s %8s\n' "x$scale" "$command" "$median" \
      "$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')" "$size" "$floor" "$sync" "$ratio"
    [ "$command" = commodity ] && floor1=${floor1:-$floor}
  done
done

# Exports on the full-size installation: a commodity run with a CSV export
# against the same run without, and a long-term run with all three formats.
dir=$work/x1
residue=$dir/residues/BENCH.R98
# Both without the run history, so that the ratio is the export's alone.
read -r cc_plain _ _ < <(measure "$cli" -C "$dir" commodity "$residue" --rfd --complete --critical \
  --food-pct 1 --crop-pct 5 --subgroups all --no-history)
read -r cc_csv _ cc_csv_kb < <(measure "$cli" -C "$dir" commodity "$residue" --rfd --complete \
  --critical --food-pct 1 --crop-pct 5 --subgroups all --no-history --export "$work/cc.csv" \
  --yes 2>/dev/null)
read -r cc_json _ _ < <(measure "$cli" -C "$dir" commodity "$residue" --rfd --complete \
  --critical --food-pct 1 --crop-pct 5 --subgroups all --no-history --export "$work/cc.json" \
  --yes 2>/dev/null)
# A workbook takes seconds: five runs are enough for its median.
all_runs=$runs
runs=$(( runs < 5 ? runs : 5 ))
read -r cc_xlsx _ cc_xlsx_kb < <(measure "$cli" -C "$dir" commodity "$residue" --rfd --complete \
  --critical --food-pct 1 --crop-pct 5 --subgroups all --no-history --export "$work/cc.xlsx" \
  --yes 2>/dev/null)
runs=$all_runs
read -r lt_plain _ _ < <(measure "$cli" -C "$dir" longterm "$residue" --rfd --no-history)
read -r lt_all _ _ < <(measure "$cli" -C "$dir" longterm "$residue" --rfd --export "$work/lt.csv" \
  --export "$work/lt.json" --export "$work/lt.xlsx" --yes 2>/dev/null)
echo
printf 'x1    commodity %10s ms, with a CSV export (%s KB) %s ms, peak %s MB\n' "$cc_plain" \
  "$(( $(stat -c %s "$work/cc.csv") / 1024 ))" "$cc_csv" "$((cc_csv_kb / 1024))"
printf 'x1    commodity with a JSON export (%s KB) %s ms; with a workbook (%s KB) %s ms, peak %s MB\n' \
  "$(( $(stat -c %s "$work/cc.json") / 1024 ))" "$cc_json" \
  "$(( $(stat -c %s "$work/cc.xlsx") / 1024 ))" "$cc_xlsx" "$((cc_xlsx_kb / 1024))"
printf 'x1    longterm with CSV, JSON and Excel exports %s ms\n' "$lt_all"
printf 'x1    longterm without the run history %s ms\n' "$lt_plain"
export_ratio=$(awk -v a="$cc_csv" -v b="$cc_plain" 'BEGIN { printf "%.2f", a / b }')

# Batches on the full-size installation: 1,000 long-term scenarios, and 100
# commodity scenarios (every subgroup, both reports) against 100 single
# commodity runs shared out over the processors. Wall seconds and peak memory
# of one batch each (a batch is long enough not to need a median).
cores=$(nproc)
{
  echo "id,residue_file,command,rfd"
  for i in $(seq 1000); do echo "lt$i,residues/BENCH.R98,longterm,file"; done
} >"$dir/lt1000.csv"
{
  echo "id,residue_file,command,rfd,reports,subgroups,food_pct,crop_pct"
  for i in $(seq 100); do echo "cc$i,residues/BENCH.R98,commodity,file,both,all,1,5"; done
} >"$dir/cc100.csv"
batch_run() {  # batch_run SCENARIOS [OPTION...] -> "wall_s peak_kb"
  local scenarios=$1
  shift
  # Each batch writes to a folder of its own: a thousand files deleted just
  # before would slow the next thousand down (ext4 passes over recently
  # freed inodes when it makes new files).
  local out
  out=$(mktemp -d "$work/batch.XXXXXX")
  rm -f "$dir/ormid-history.sqlite"*
  sync
  /usr/bin/time -f "%e %M" -o "$work/time" "$cli" -C "$dir" batch --scenarios "$dir/$scenarios" \
    --out "$out" "$@" >/dev/null
  cat "$work/time"
}
# The long-term batch as a user runs it (recorded in the run history); the
# commodity batch against single runs both without the history, so that the
# ratio measures the batch alone, and recorded as well.
read -r lt_batch lt_batch_kb < <(batch_run lt1000.csv)
read -r cc_batch cc_batch_kb < <(batch_run cc100.csv --no-history)
read -r cc_batch_hist cc_batch_hist_kb < <(batch_run cc100.csv)
# A cumulative assessment of 124 chemicals (each a residue file on every food
# and food form) over all subgroups with a CSV export, against a batch of the
# same 124 residue files (long-term, RfD), both without the run history.
mkdir -p "$dir/group"
{
  echo "chemical,residue_file,pod_mg_per_kg_bw_day,uncertainty_factor,index,rpf"
  for i in $(seq 1 124); do
    cp "$residue" "$dir/group/C$i.R98"
    if [ "$i" = 1 ]; then echo "C$i,C$i.R98,0.5,100,yes,"; else echo "C$i,C$i.R98,0.$((i % 9 + 1)),10,,"; fi
  done
} >"$dir/group/group.csv"
read -r cum_ms _ cum_kb < <(measure "$cli" -C "$dir" cumulative "$dir/group/group.csv" \
  --export "$work/cum.csv" --yes --no-history 2>/dev/null)
# Its headroom: every chemical and every crop group across the chemicals, to a
# target just above the most exposed subgroup (about 298,600% of the cPAD on
# this made-up group), so that every factor is searched.
read -r cum_hr_ms _ cum_hr_kb < <(measure "$cli" -C "$dir" cumulative "$dir/group/group.csv" \
  --target 400000 --yes --no-history 2>/dev/null)
read -r cum_batch_ms _ _ < <(measure sh -c "rm -rf '$work/cumbatch' && '$cli' -C '$dir' batch \
  '$dir'/group/C*.R98 --rfd --out '$work/cumbatch' --no-history >/dev/null")
# An aggregate assessment over the 33 subgroups and the 4 durations with 20
# residential scenarios (dermal and inhalation for every subgroup, oral for
# some), two foods as the drinking water with an EDWC for every duration, and
# a CSV export, without the run history.
mkdir -p "$dir/aggregate"
{
  echo "duration,route,pod_mg_per_kg_bw_day,level_of_concern,absorption_percent,q_star"
  for d in chronic short-term intermediate-term; do
    echo "$d,oral,0.5,100,,"
    echo "$d,dermal,5,300,10,"
    echo "$d,inhalation,2,100,,"
  done
  echo "cancer,oral,,,,0.0001"
  echo "cancer,dermal,,,10,"
  echo "cancer,inhalation,,,,"
} >"$dir/aggregate/tox.csv"
{
  echo "scenario,route,duration,subgroup,exposure_mg_per_kg_bw_day"
  for i in $(seq 1 20); do
    for d in chronic short-term intermediate-term cancer; do
      echo "scenario $i,dermal,$d,all,0.00$i"
      echo "scenario $i,inhalation,$d,all,0.000$i"
      echo "scenario $i,oral,$d,$((i + 10)),0.0001"
    done
  done
} >"$dir/aggregate/residential.csv"
# The residue file's first two foods as the water (their own residues are
# then left out of the food).
water=$(awk -F, '$2 ~ /^"[0-9]+"$/ && n < 2 { gsub(/"/, "", $2); printf "%s%s", (n++ ? "," : ""), $2 }' \
  "$residue")
read -r agg_ms _ agg_kb < <(measure "$cli" -C "$dir" aggregate "$residue" \
  --tox "$dir/aggregate/tox.csv" --residential "$dir/aggregate/residential.csv" \
  --water-foods "$water" --water-ppb chronic=2 --water-ppb short-term=30 \
  --water-ppb intermediate-term=20 --water-ppb cancer=1 --export "$work/agg.csv" --yes \
  --no-history 2>/dev/null)
cc_bound=$(awk -v a="$cc_plain" -v c="$cores" 'BEGIN { printf "%.2f", 100 * a / 1000 / c }')
lt_rate=$(awk -v s="$lt_batch" 'BEGIN { printf "%.0f", 1000 / s }')
echo
printf 'x1    batch of 1000 longterm scenarios %s s (%s per second), peak %s MB\n' "$lt_batch" \
  "$lt_rate" "$((lt_batch_kb / 1024))"
printf 'x1    batch of 100 commodity scenarios %s s (100 single runs / %s cores: %s s), peak %s MB\n' \
  "$cc_batch" "$cores" "$cc_bound" "$((cc_batch_kb / 1024))"
printf 'x1    cumulative, 124 chemicals, CSV export %s ms, peak %s MB; batch of the 124 files %s ms\n' \
  "$cum_ms" "$((cum_kb / 1024))" "$cum_batch_ms"
printf 'x1    cumulative, 124 chemicals, headroom of each chemical and crop group %s ms, peak %s MB\n' \
  "$cum_hr_ms" "$((cum_hr_kb / 1024))"
printf 'x1    aggregate, 33 subgroups x 4 durations, 20 residential scenarios, CSV export %s ms, peak %s MB\n' \
  "$agg_ms" "$((agg_kb / 1024))"
printf 'x1    the same recorded in the run history %s s, peak %s MB\n' "$cc_batch_hist" \
  "$((cc_batch_hist_kb / 1024))"
# Residue tables on the ten-times installation: its residue file (every food
# and food form) exported as CSV and as a workbook, and the CSV imported back,
# which must give the file again byte for byte. The overwrite questions that
# --yes answers go to standard error.
dir=$work/x10
residue=$dir/residues/BENCH.R98
read -r rt_csv _ rt_csv_kb < <(measure "$cli" -C "$dir" residue export "$residue" "$work/t.csv" \
  --yes 2>/dev/null)
read -r rt_xlsx _ _ < <(measure "$cli" -C "$dir" residue export "$residue" "$work/t.xlsx" \
  --yes 2>/dev/null)
read -r rt_import _ rt_import_kb < <(measure "$cli" -C "$dir" residue import "$work/t.csv" \
  "$work/back.R98" --yes 2>/dev/null)
if cmp -s "$work/back.R98" "$residue"; then rt_same=1; else rt_same=0; fi
printf 'x10   residue export to CSV (%s KB) %s ms, peak %s MB; to a workbook %s ms\n' \
  "$(( $(stat -c %s "$work/t.csv") / 1024 ))" "$rt_csv" "$((rt_csv_kb / 1024))" "$rt_xlsx"
printf 'x10   residue import of that CSV %s ms, peak %s MB\n' "$rt_import" "$((rt_import_kb / 1024))"

# A residue file built from 100,000 samples of 300 commodities by 600 rules,
# one for each food of the full-size installation (two foods per commodity,
# every fourth with a processing factor, percents crop treated from 40 to
# 100): three in ten samples detected, one in ten not quantified, the rest
# not detected, with two pairs of limits. The three bounds at once, and the
# middle bound with a CSV export of the build table.
dir=$work/x1
"$cli" -C "$dir" residue export "$dir/residues/BENCH.R98" "$work/bench-table.csv" --yes 2>/dev/null
awk -F, 'NR > 12 && $1 != "" && $3 == "" { print $1 }' "$work/bench-table.csv" | head -600 \
  >"$work/codes"
awk 'BEGIN {
  print "commodity,sample_id,result_ppm,lod_ppm,loq_ppm,detected"
  for (i = 0; i < 100000; i++) {
    c = sprintf("COMMODITY %03d", i % 300)
    lod = i % 3 == 0 ? "0.005" : "0.01"
    loq = i % 3 == 0 ? "0.015" : "0.03"
    k = i % 10
    if (k < 3) printf "%s,S%06d,%.4f,%s,%s,\n", c, i, 0.03 + (i % 97) / 1000, lod, loq
    else if (k == 3) printf "%s,S%06d,,%s,%s,nq\n", c, i, lod, loq
    else printf "%s,S%06d,,%s,%s,no\n", c, i, lod, loq
  }
}' >"$work/samples.csv"
awk 'BEGIN { print "commodity,food_code,processing_factor,percent_crop_treated,note" }
  { printf "COMMODITY %03d,%s,%s,%d,rule %d\n", (NR - 1) % 300, $1, NR % 4 == 0 ? "0.5" : "1",
      40 + NR % 61, NR }' "$work/codes" >"$work/rules.csv"
read -r rb_all _ rb_all_kb < <(measure "$cli" -C "$dir" residue build "$work/samples.csv" \
  --rules "$work/rules.csv" --chemical Bench --bound all "$work/built.R98" --yes --no-history \
  2>/dev/null)
read -r rb_mid _ rb_mid_kb < <(measure "$cli" -C "$dir" residue build "$work/samples.csv" \
  --rules "$work/rules.csv" --chemical Bench "$work/built.R98" --export "$work/built.csv" --yes \
  --no-history 2>/dev/null)
printf 'x1    residue build, 100,000 samples (%s KB), 600 rules, three bounds %s ms, peak %s MB\n' \
  "$(( $(stat -c %s "$work/samples.csv") / 1024 ))" "$rb_all" "$((rb_all_kb / 1024))"
printf 'x1    residue build, the middle bound with a CSV export %s ms, peak %s MB\n' "$rb_mid" \
  "$((rb_mid_kb / 1024))"

# The run history on the full-size installation: a commodity run recorded
# against the same run with --no-history, the database's growth per run,
# listing 10,000 recorded runs and comparing two commodity runs.
hist=$work/hist
rm -rf "$hist" && cp -r "$work/x1" "$hist"
cc_args=(commodity "$hist/residues/BENCH.R98" --rfd --complete --critical --food-pct 1 --crop-pct 5
  --subgroups all)
read -r cc_nohist _ _ < <(measure "$cli" -C "$hist" "${cc_args[@]}" --no-history)
read -r cc_hist _ _ < <(measure "$cli" -C "$hist" "${cc_args[@]}")
runs_before=$(python3 -c 'import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute("select count(*) from runs").fetchone()[0])' "$hist/ormid-history.sqlite")
"$cli" -C "$hist" "${cc_args[@]}" >/dev/null
size_before=$(stat -c %s "$hist/ormid-history.sqlite")
for _ in 1 2 3 4; do "$cli" -C "$hist" "${cc_args[@]}" >/dev/null; done
python3 -c 'import sqlite3,sys; sqlite3.connect(sys.argv[1]).execute("pragma wal_checkpoint(truncate)")' "$hist/ormid-history.sqlite"
size_after=$(stat -c %s "$hist/ormid-history.sqlite")
per_run_kb=$(( (size_after - size_before) / 4 / 1024 ))
read -r cmp_ms _ _ < <(measure "$cli" -C "$hist" compare "$((runs_before + 1))" "$((runs_before + 2))")
# 10,000 runs: the first long-term run's row copied.
"$cli" -C "$hist" longterm "$hist/residues/BENCH.R98" --rfd >/dev/null
python3 - "$hist/ormid-history.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
n = db.execute("select count(*) from runs").fetchone()[0]
lt = db.execute("select max(id) from runs where command = 'longterm'").fetchone()[0]
db.execute("""insert into runs (date, command, chemical, residue_file, endpoint, worst_subgroup,
  worst_figure, worst_value, manifest)
  select date, command, chemical, residue_file, endpoint, worst_subgroup, worst_figure, worst_value,
  manifest from runs, (with recursive k(i) as (select 1 union all select i + 1 from k where i < ?)
  select i from k) where id = ?""", (10000 - n, lt))
db.commit()
PY
read -r list_ms _ _ < <(measure "$cli" -C "$hist" history)
history_ratio=$(awk -v a="$cc_hist" -v b="$cc_nohist" 'BEGIN { printf "%.2f", a / b }')
printf 'x1    commodity %s ms without the run history, %s ms recorded (x%s), %s KB per run\n' \
  "$cc_nohist" "$cc_hist" "$history_ratio" "$per_run_kb"
printf 'x1    history of 10,000 runs %s ms; compare of two commodity runs %s ms\n' "$list_ms" "$cmp_ms"

echo
check() {  # check TEXT CONDITION-FOR-AWK
  if awk "BEGIN { exit !($2) }"; then echo "met     $1"; else echo "MISSED  $1"; fi
}
check "longterm under 5 ms (${ms[1.longterm]})" "${ms[1.longterm]} < 5"
check "longterm without the run history under 5 ms ($lt_plain)" "$lt_plain < 5"
check "1000 longterm scenarios in a batch under 2 s ($lt_batch)" "$lt_batch < 2"
check "100 commodity scenarios within 1.2 times $cc_bound s ($cc_batch)" "$cc_batch <= 1.2 * $cc_bound"
check "batch peak memory under 100 MB ($(( (lt_batch_kb > cc_batch_kb ? lt_batch_kb : cc_batch_kb) / 1024 )) MB)" \
  "$lt_batch_kb < 100 * 1024 && $cc_batch_kb < 100 * 1024"
check "commodity under 150 ms (${ms[1.commodity]})" "${ms[1.commodity]} < 150"
cum_ratio=$(awk -v a="$cum_ms" -v b="$cum_batch_ms" 'BEGIN { printf "%.2f", a / b }')
check "cumulative of 124 chemicals within 1.5 times their batch (x$cum_ratio)" "$cum_ratio <= 1.5"
check "aggregate of 33 subgroups x 4 durations with 20 scenarios under 500 ms ($agg_ms)" "$agg_ms < 500"
# The report's own cost, without the run history's.
ratio1=$(awk -v a="$cc_plain" -v b="$floor1" 'BEGIN { printf "%.1f", a / b }')
check "commodity without the run history within 5 times the copy floor (x$ratio1)" "$ratio1 <= 5"
check "commodity with a CSV export at most 1.5 times without (x$export_ratio)" "$export_ratio <= 1.5"
check "longterm with all three exports under 20 ms ($lt_all)" "$lt_all < 20"
check "residue table export of the ten-times file under 200 ms ($rt_csv)" "$rt_csv < 200"
check "residue table export to a workbook under 200 ms ($rt_xlsx)" "$rt_xlsx < 200"
check "residue table import of the ten-times file under 200 ms ($rt_import)" "$rt_import < 200"
check "residue table import gives the file back byte for byte" "$rt_same == 1"
check "commodity recorded in the run history at most 1.25 times without (x$history_ratio)" \
  "$history_ratio <= 1.25"
check "history of 10,000 runs under 200 ms ($list_ms)" "$list_ms < 200"
check "compare of two full-size commodity runs under 100 ms ($cmp_ms)" "$cmp_ms < 100"
for command in info longterm commodity; do
  check "$command peak memory under 50 MB ($((peak[1.$command] / 1024)) MB)" \
    "${peak[1.$command]} < 50 * 1024"
done
for command in info longterm commodity; do
  growth=$(awk -v a="${ms[10.$command]}" -v b="${ms[1.$command]}" 'BEGIN { printf "%.1f", a / b }')
  check "$command ten times larger in at most 12 times the time (x$growth)" "$growth <= 12"
done

if [ "${MICRO:-0}" != 0 ]; then
  echo
  "$build/bench/ormid_bench" --benchmark_min_time=0.2
fi
