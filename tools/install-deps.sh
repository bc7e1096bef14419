#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Ormid need, when
# they are missing, in one apt-get run. Run as root (or with sudo available).
#
#   tools/install-deps.sh [--cli] [--hardening] [--package] [--screenshot] [--ci]
#
# Without an option: everything tools/build.sh and tools/test.sh need.
# poppler-utils lets the desktop tests read printed pages back; dpkg-dev lets
# cpack work out the Debian package's dependencies; time measures the
# batches' peak memory in bench/run-bench.sh; the sqlite3 shell lets the tests
# query the run history's views as other tools do; appstream and
# desktop-file-utils check the installed metadata and menu entry
# (tests/install_test.sh).
#   --cli         only what building ormid-cli needs (tools/demo.sh): no Qt
#                 and none of the tools the tests use
#   --hardening   also clang and its sanitizer and libFuzzer runtimes, which
#                 only tools/hardening.sh needs
#   --package     also lintian, which CI runs on the Debian package
#   --screenshot  also the virtual X server and the window manager that
#                 tools/screenshot.sh draws under
#   --ci          everything .ci/run needs: the default, --hardening and
#                 --package
set -euo pipefail

cli=(cmake make g++ pkg-config libgtest-dev libcli11-dev nlohmann-json3-dev libxlsxwriter-dev
  libssl-dev libsqlite3-dev zlib1g-dev libcsv-dev libunistring-dev)
full=(qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
  unzip python3 python3-jsonschema poppler-utils dpkg-dev time sqlite3 appstream
  desktop-file-utils)
hardening=(clang-14 libclang-rt-14-dev)
package=(lintian)
screenshot=(xvfb xauth openbox)

packages=("${cli[@]}")
with_full=1
for option in "$@"; do
  case $option in
    --cli) with_full=0 ;;
    --hardening) packages+=("${hardening[@]}") ;;
    --package) packages+=("${package[@]}") ;;
    --screenshot) packages+=("${screenshot[@]}") ;;
    --ci) packages+=("${hardening[@]}" "${package[@]}") ;;
    *) echo "usage: $0 [--cli] [--hardening] [--package] [--screenshot] [--ci]" >&2; exit 2 ;;
  esac
done
if [ $with_full -eq 1 ]; then packages+=("${full[@]}"); fi

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
