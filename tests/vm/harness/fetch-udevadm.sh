#!/usr/bin/env bash
# fetch-udevadm.sh CACHE: prints the path of a udevadm for the guest, fetching it first when
# needed: the udev package downloaded with apt-get and unpacked with dpkg -x, never installed on
# the host (installing it would start a udev daemon on the build machine). udevadm needs only
# libraries every Debian system has. Prints nothing and fails when it cannot be had.
set -euo pipefail
cache=$1
mkdir -p "$cache"
exec 9>"$cache/.lock-udev"
flock 9
tree=$cache/udev
if [ ! -f "$tree/.unpacked" ]; then
  rm -rf "$tree" "$cache"/udev_*.deb
  (cd "$cache" && apt-get download udev >&2) || { echo "vm: apt-get download udev failed" >&2; exit 1; }
  mkdir -p "$tree"
  dpkg -x "$cache"/udev_*.deb "$tree"
  touch "$tree/.unpacked"
fi
for udevadm in "$tree/bin/udevadm" "$tree/usr/bin/udevadm"; do
  [ -x "$udevadm" ] && "$udevadm" --version > /dev/null 2>&1 && { echo "$udevadm"; exit 0; }
done
echo "vm: the udev package holds no udevadm that runs here" >&2
exit 1
