#!/usr/bin/env bash
# Installs the Debian package into a new minimal Debian 12 system (a chroot
# made by debootstrap) with --no-install-recommends, as the leanest system
# would get it, and checks that both programs run there: the command line on
# a copy of the installed sample, the desktop program's --version, and its
# window under the offscreen platform; the xcb platform plugin (package
# qt6-qpa-plugins, which libqt6gui6 only recommends) must be installed.
# Run as root; needs debootstrap and the Debian archive. Not part of CI (it
# fetches a whole base system).
#   Usage: tools/check_clean_install.sh build/ormid_*.deb [CHROOT_DIR]
set -euo pipefail
deb=$(realpath "$1")
root=${2:-$(mktemp -d /tmp/ormid-chroot.XXXXXX)}
if [ ! -x "$root/bin/bash" ]; then
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.log"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/ormid.deb"
chroot "$root" /bin/bash -euo pipefail -c '
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/ormid.deb >/dev/null
  test -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so ||
    { echo "the xcb platform plugin is not installed" >&2; exit 1; }
  ormid --version
  ormid-cli --version
  rm -rf /tmp/work && cp -r /usr/share/ormid/samples/csfii /tmp/work && cd /tmp/work
  ormid-cli longterm residues/DEMOFOS.R98 --rfd >/dev/null
  # The window stays up until it is closed: still running after 5 s.
  status=0
  QT_QPA_PLATFORM=offscreen timeout 5 ormid 2>/dev/null || status=$?
  [ "$status" -eq 124 ] || { echo "ormid ended with $status before its window was closed" >&2; exit 1; }
  echo "installed with --no-install-recommends: both programs run"
'
