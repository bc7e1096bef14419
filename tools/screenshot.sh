#!/usr/bin/env bash
# Makes docs/main-window.png: the desktop program's main window with a sample
# residue file open, drawn under a virtual X server (Debian: xvfb, xauth).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target ormid-screenshot -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r samples/csfii "$work/csfii"
xvfb-run -a -s "-screen 0 1280x900x24" \
  build/tools/ormid-screenshot "$work/csfii" "$work/csfii/residues/DEMOFOS.R98" docs/main-window.png
echo "docs/main-window.png written"
