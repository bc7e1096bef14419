#!/usr/bin/env bash
# Hardening checks, in two clang trees:
#   build-asan/  everything (the desktop program, the whole test suite and the
#                fuzz targets) with AddressSanitizer and UndefinedBehaviorSanitizer
#                and libFuzzer's coverage instrumentation; the whole suite runs
#                there (--asan), and so do the fuzz targets (--fuzz): each
#                replays every seed that ormid-fuzz-seeds writes (the bundled
#                samples, generated installations, manifests and histories of
#                real runs) and every input of a past finding
#                (tests/regression/TARGET/), then fuzzes for FUZZ_SECONDS,
#                as many targets at a time as there are jobs.
#   build-tsan/  only the tests of what runs on more than one thread (the batch
#                pool, the run history written by several programs, the
#                exports' agreement across batch workers) with ThreadSanitizer
#                (--tsan).
# Any sanitizer report, fuzz finding or failing test fails the script; a
# finding is left in build-asan/fuzz-run/findings/.
#
#   tools/hardening.sh [--asan] [--tsan] [--fuzz] [--long]
#     no part named: all three, in that order (CI runs them one by one)
#     --fuzz-only   the same as --fuzz
#     --long        fuzz campaigns of 600 s a target instead of CI's 10 s
#                   (and, without a part named, only the fuzzing); the corpus
#                   in build-asan/fuzz-run/corpus/ grows from run to run. Run
#                   it for the targets of a reader before a change to that
#                   reader lands.
#   FUZZ_SECONDS  fuzzing time of each target (default 10, with --long 600)
#   FUZZ_TARGETS  targets to fuzz, separated by blanks (default: all)
#   JOBS          parallel build and test jobs (default: number of processors)
#   ORMID_WERROR  ON: every compiler warning fails the build (CI sets it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

asan=0 tsan=0 fuzz=0 long=0
for option in "$@"; do
  case $option in
    --asan) asan=1 ;;
    --tsan) tsan=1 ;;
    --fuzz | --fuzz-only) fuzz=1 ;;
    --long) long=1 ;;
    *) echo "usage: $0 [--asan] [--tsan] [--fuzz] [--long]" >&2; exit 2 ;;
  esac
done
if [ $((asan + tsan + fuzz)) -eq 0 ]; then
  if [ $long -eq 1 ]; then fuzz=1; else asan=1 tsan=1 fuzz=1; fi
fi
bash tools/install-deps.sh --hardening

if [ $long -eq 1 ]; then seconds=${FUZZ_SECONDS:-600}; else seconds=${FUZZ_SECONDS:-10}; fi
jobs=${JOBS:-$(nproc)}
all_targets="item_reader residue_file support_list setup_file description_file master_lists consumption residue_table manifest scenarios history assessment_group residue_build aggregate_inputs"
targets=${FUZZ_TARGETS:-$all_targets}
# Bounds checks of the standard containers as well: an index past a vector's
# size but within its capacity is invisible to AddressSanitizer.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS"
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# build DIR TARGET CMAKE-ARGUMENTS...: configure with clang and build TARGET
# (all: everything); the log is shown whole on failure, its warnings after a
# build that passed. The sanitizers' trees are optimised as sanitizers are
# usually run (-O1) and carry line tables only, enough for their reports'
# stack traces; Debian's hardening flags stay out of them (the fortified C
# library calls would hide accesses from AddressSanitizer).
build() {
  local dir=$1 target=$2
  shift 2
  local start=$SECONDS
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
           -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
           -DORMID_HARDENING=OFF -DORMID_WERROR="${ORMID_WERROR:-OFF}" "$@" &&
         cmake --build "$dir" -j"$jobs" --target "$target"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    echo "Build failed (log: $dir/build.log)" >&2
    exit 1
  fi
  if grep -q 'warning:' "$dir/build.log"; then
    grep -A3 'warning:' "$dir/build.log"
    echo "The build has $(grep -c 'warning:' "$dir/build.log") warning lines (log: $dir/build.log)" >&2
  fi
  echo "Built $target in $dir/ in $((SECONDS - start)) s"
}

# The sanitizer tree: the same configuration for the suite and the fuzz
# targets, so that either part finds the other's build done.
asan_tree() {
  build build-asan "$1" -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitize" \
    -DORMID_BUILD_FUZZERS=ON -DORMID_BUILD_TESTS=ON -DORMID_BUILD_GUI=ON -DORMID_TESTS_ONLY=
}

if [ $asan -eq 1 ]; then
  echo "== Test suite with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
  asan_tree all
  start=$SECONDS
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
  echo "Ran the suite in $((SECONDS - start)) s"
fi

if [ $tsan -eq 1 ]; then
  echo "== Batch, run history and export agreement tests with ThreadSanitizer (build-tsan/)"
  build build-tsan ormid_tests -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DORMID_BUILD_GUI=OFF -DORMID_BUILD_TESTS=ON -DORMID_TESTS_ONLY="batch;history;export_agreement"
  start=$SECONDS
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R '^(Batch|History|ExportAgreement)\.'
  echo "Ran the tests in $((SECONDS - start)) s"
fi

if [ $fuzz -eq 1 ]; then
  echo "== Fuzz targets: every seed and past finding, then ${seconds}s of fuzzing each (build-asan/)"
  asan_tree fuzzers
  run=$root/build-asan/fuzz-run
  rm -rf "$run/seeds" "$run/findings" "$run/tmp"
  mkdir -p "$run/findings" "$run/tmp"
  # The targets make their installations under TMPDIR.
  export TMPDIR=$run/tmp
  build-asan/fuzz/ormid-fuzz-seeds "$run/seeds" >/dev/null
  for t in $all_targets; do
    [ -d "$run/seeds/$t" ] || { echo "ormid-fuzz-seeds wrote no seed for $t" >&2; exit 1; }
  done
  export run root seconds
  # replay_target T: every seed and past finding of target T run once, whole, as it
  # is (no corpus, no size limit).
  replay_target() {
    local t=$1 inputs=() f ran
    while IFS= read -r -d '' f; do inputs+=("$f"); done < <(
      find "$run/seeds/$t" "$root/tests/regression/$t" -type f -print0 2>/dev/null | sort -z)
    if ! "$root/build-asan/fuzz/fuzz_$t" -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$run/findings/$t-" "${inputs[@]}" >"$run/$t.replay.log" 2>&1; then
      tail -n 60 "$run/$t.replay.log"
      echo "fuzz_$t fails on an input it was given (log: $run/$t.replay.log)" >&2
      return 1
    fi
    ran=$(grep -c '^Executed ' "$run/$t.replay.log" || true)
    if [ "$ran" -ne ${#inputs[@]} ]; then
      echo "fuzz_$t ran $ran of its ${#inputs[@]} inputs (log: $run/$t.replay.log)" >&2
      return 1
    fi
    printf '%-18s replayed %4d inputs\n' "$t" "$ran"
  }
  # fuzz_target T: target T fuzzed for $seconds from its corpus, seeds and past
  # findings.
  fuzz_target() {
    local t=$1 inputs runs rate corpus
    mkdir -p "$run/corpus/$t"
    inputs=("$run/corpus/$t" "$run/seeds/$t")
    if [ -d "$root/tests/regression/$t" ]; then inputs+=("$root/tests/regression/$t"); fi
    if ! "$root/build-asan/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$run/findings/$t-" "${inputs[@]}" >"$run/$t.log" 2>&1; then
      tail -n 60 "$run/$t.log"
      echo "fuzz_$t found a problem; the input is in $run/findings/ (log: $run/$t.log)" >&2
      return 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/$t.log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/$t.log")
    corpus=$(find "$run/corpus/$t" -type f | wc -l)
    printf '%-18s %9s executions  %6s/s  corpus %s\n' "$t" "$runs" "$rate" "$corpus"
  }
  export -f replay_target fuzz_target
  # Each target is one process on one processor: as many at a time as there
  # are jobs. xargs fails when any of them failed.
  start=$SECONDS
  printf '%s\n' $all_targets | xargs -P "$jobs" -I{} bash -c 'replay_target "$1"' _ {}
  echo "Replayed every seed and past finding in $((SECONDS - start)) s"
  start=$SECONDS
  printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'fuzz_target "$1"' _ {}
  echo "Fuzzed in $((SECONDS - start)) s"
fi
echo "Hardening checks passed."
