#!/usr/bin/env bash
# Configures and builds Ormid into build/ (installing missing packages first).
#
#   tools/build.sh         everything: both programs, the tests, the package's files
#   tools/build.sh --cli   only ormid-cli, with only the packages it needs
#
# The build's own output goes to build/build.log; it is shown whole on
# failure, and its compiler warnings are shown after a build that passed.
# ORMID_WERROR=ON makes every warning an error (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [ "${1:-}" = "--cli" ]; then
  bash tools/install-deps.sh --cli
  targets=(--target ormid-cli)
else
  bash tools/install-deps.sh
fi
mkdir -p build
start=$SECONDS
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMID_WERROR="${ORMID_WERROR:-OFF}" &&
       cmake --build build -j"$(nproc)" "${targets[@]}"; } >build/build.log 2>&1; then
  cat build/build.log
  echo "Build failed (log: build/build.log)" >&2
  exit 1
fi
if grep -q 'warning:' build/build.log; then
  grep -A3 'warning:' build/build.log
  echo "The build has $(grep -c 'warning:' build/build.log) warning lines (log: build/build.log)" >&2
fi
echo "Built in $((SECONDS - start)) s (build/)"
