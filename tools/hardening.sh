#!/usr/bin/env bash
# Hardening checks: the whole test suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), the tests of what runs on more
# than one thread (the batch pool, the run history written by several
# programs) built with ThreadSanitizer (build-tsan/), then a bounded run of
# every fuzz target (build-fuzz/). Each target starts from the seeds that
# ormid-fuzz-seeds writes (the bundled samples and generated installations),
# the corpus of earlier runs (build-fuzz/run/corpus/) and the inputs of past
# findings (tests/regression/TARGET/). Any sanitizer report, fuzz finding or
# failing test fails the script; a finding is left in build-fuzz/run/findings/.
#
#   tools/hardening.sh [--fuzz-only]
#   FUZZ_SECONDS  run time of each target (default 45)
#   FUZZ_TARGETS  targets to run, separated by blanks (default: all)
#   JOBS          parallel build and test jobs (default: number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tools/install-deps.sh --hardening

seconds=${FUZZ_SECONDS:-45}
jobs=${JOBS:-$(nproc)}
all_targets="item_reader residue_file support_list setup_file description_file master_lists consumption residue_table manifest scenarios history assessment_group"
targets=${FUZZ_TARGETS:-$all_targets}
# Bounds checks of the standard containers as well: an index past a vector's
# size but within its capacity is invisible to AddressSanitizer.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS"
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# build DIR CMAKE-ARGUMENTS...: configure with clang and build, the log shown
# only on failure.
build() {
  local dir=$1
  shift
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 "$@" &&
         cmake --build "$dir" -j"$jobs"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    echo "Build failed (log: $dir/build.log)" >&2
    exit 1
  fi
}

if [ "${1:-}" != "--fuzz-only" ]; then
  echo "== Test suite with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
  build build-asan -DCMAKE_CXX_FLAGS="$sanitize"
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

  echo "== Batch and run history tests with ThreadSanitizer (build-tsan/)"
  build build-tsan -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DORMID_BUILD_GUI=OFF
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R '^(Batch|History|ExportAgreement)\.'
fi

echo "== Fuzz targets, ${seconds}s each (build-fuzz/)"
build build-fuzz -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitize" \
  -DORMID_BUILD_FUZZERS=ON -DORMID_BUILD_TESTS=OFF -DORMID_BUILD_GUI=OFF
run=$root/build-fuzz/run
rm -rf "$run/seeds" "$run/findings" "$run/tmp"
mkdir -p "$run/findings" "$run/tmp"
# The targets make their installations under TMPDIR.
export TMPDIR=$run/tmp
build-fuzz/fuzz/ormid-fuzz-seeds "$run/seeds" >/dev/null
for t in $targets; do
  mkdir -p "$run/corpus/$t"
  inputs=("$run/corpus/$t" "$run/seeds/$t")
  if [ -d "tests/regression/$t" ]; then inputs+=("$root/tests/regression/$t"); fi
  if ! build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$run/findings/$t-" "${inputs[@]}" >"$run/$t.log" 2>&1; then
    tail -n 60 "$run/$t.log"
    echo "fuzz_$t found a problem; the input is in $run/findings/ (log: $run/$t.log)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/$t.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/$t.log")
  corpus=$(find "$run/corpus/$t" -type f | wc -l)
  printf '%-18s %9s executions  %6s/s  corpus %s\n' "$t" "$runs" "$rate" "$corpus"
done
echo "Hardening checks passed."
