#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Ormid need, when
# they are missing. Run as root (or with sudo available). With --hardening it
# also installs clang and its sanitizer and libFuzzer runtimes, which only
# tools/hardening.sh needs; with --screenshot the virtual X server and the
# window manager that tools/screenshot.sh draws under; with --package lintian,
# which CI runs on the Debian package. poppler-utils lets the
# desktop tests read printed pages back; dpkg-dev lets cpack work out
# the Debian package's dependencies; time measures the batches' peak memory
# in bench/run-bench.sh; the sqlite3 shell lets the tests query the run
# history's views as other tools do.
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  libcli11-dev nlohmann-json3-dev libxlsxwriter-dev libssl-dev libsqlite3-dev zlib1g-dev libcsv-dev
  unzip python3 python3-jsonschema poppler-utils dpkg-dev time sqlite3)
if [ "${1:-}" = "--hardening" ]; then packages+=(clang-14 libclang-rt-14-dev); fi
if [ "${1:-}" = "--screenshot" ]; then packages+=(xvfb xauth openbox); fi
if [ "${1:-}" = "--package" ]; then packages+=(lintian); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
