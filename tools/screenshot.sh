#!/usr/bin/env bash
# Makes docs/main-window.png: the desktop program's main window with a sample
# residue file open and, beside it, the report viewer with the long-term
# report; docs/results-window.png, the Results window of that run beside the
# report; and docs/history-window.png, the Run History window with that run
# and a second one compared; drawn
# under a virtual X server of 1366x768 with the openbox window manager
# (Debian: xvfb, xauth, openbox), with settings of its own, so that no kept
# window layout moves the windows.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh --screenshot
cmake --build build --target ormid-screenshot -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r samples/csfii "$work/csfii"
cat >"$work/session.sh" <<SESSION
openbox >/dev/null 2>&1 &
sleep 1
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb build/tools/ormid-screenshot "$work/csfii" "$work/csfii/residues/DEMOFOS.R98" \
  docs/main-window.png docs/results-window.png docs/history-window.png
SESSION
xvfb-run -a -s "-screen 0 1366x768x24" bash "$work/session.sh"
echo "docs/main-window.png, docs/results-window.png and docs/history-window.png written"
