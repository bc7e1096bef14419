#!/usr/bin/env bash
# Configures and builds Ormid into build/ (installing missing packages first).
# The build's own output goes to build/build.log and is shown only on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
mkdir -p build
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build -j"$(nproc)"; } >build/build.log 2>&1; then
  cat build/build.log
  echo "Build failed (log: build/build.log)" >&2
  exit 1
fi
