#!/bin/bash
# Installs the Debian package into a clean Debian 12 as a user would (dpkg -i, then apt-get -f
# install for the dependencies it declares) and runs the installed fwupgrade there: --version,
# and check on the sample firmware that the package ships, and on a file that is no firmware.
#
# The clean root is made once with debootstrap --variant=minbase and kept as a tarball in the
# cache folder, with the .debs that apt fetched since; each run unpacks it afresh into SCRATCH.
#
# install_test.sh --deb DEB --version VERSION --root SCRATCH   install and run
# install_test.sh --prepare                                     only make the cached root
#
# FWUP_PACKAGE_CACHE: the cache folder (default /var/cache/fwupgrade-packaging);
# FWUP_DEBIAN_MIRROR: where debootstrap and apt fetch (default http://deb.debian.org/debian).
# Exit 77 (skipped) when not run as root: chroot and debootstrap need it.
set -uo pipefail
deb="" version="" root="" prepare=0
while [ $# -gt 0 ]; do
  case $1 in
  --deb) deb=$2 ;; --version) version=$2 ;; --root) root=$2 ;;
  --prepare) prepare=1; shift; continue ;;
  *) echo "install_test: unknown option $1"; exit 2 ;;
  esac
  shift 2
done

suite=bookworm
mirror=${FWUP_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${FWUP_PACKAGE_CACHE:-/var/cache/fwupgrade-packaging}
arch=$(dpkg --print-architecture)
tarball="$cache/$suite-minbase-$arch.tar.gz"
started=$SECONDS

[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: installing into a chroot needs root"; exit 77; }
for tool in debootstrap chroot tar flock timeout; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool not found (scripts/install-deps installs it)"; exit 1; }
done
if [ $prepare -eq 0 ]; then
  [ -f "$deb" ] || { echo "FAILED: no package $deb"; exit 1; }
  if [ -z "$version" ] || [ -z "$root" ]; then
    echo "install_test: --deb, --version and --root are needed"
    exit 2
  fi
fi

mkdir -p "$cache/archives"
# One run at a time makes or uses the cache (other build folders may run this test too).
exec 9>"$cache/lock"
flock -w 1200 9 || { echo "FAILED: the cache $cache stayed locked"; exit 1; }

in_root() { timeout "$1" chroot "$root" "${@:2}"; }

make_cached_root() {
  local fresh="$cache/$suite-minbase.new"
  rm -rf "$fresh"
  echo "making the clean root: debootstrap --variant=minbase $suite from $mirror (log in $cache/debootstrap.log)"
  if ! timeout 1000 debootstrap --variant=minbase "$suite" "$fresh" "$mirror" >"$cache/debootstrap.log" 2>&1; then
    tail -30 "$cache/debootstrap.log"
    rm -rf "$fresh"
    return 1
  fi
  # apt's package lists, so that a later run resolves dependencies without fetching them.
  cp /etc/resolv.conf "$fresh/etc/resolv.conf"
  if ! timeout 300 chroot "$fresh" apt-get update -q; then
    rm -rf "$fresh"
    return 1
  fi
  rm -f "$fresh"/var/cache/apt/archives/*.deb
  tar -C "$fresh" --numeric-owner -czf "$tarball.new" . && mv "$tarball.new" "$tarball"
  local status=$?
  rm -rf "$fresh"
  echo "cached the clean root in $tarball ($(du -h "$tarball" | cut -f1)) after $((SECONDS - started)) s"
  return $status
}

if [ ! -s "$tarball" ] || ! gzip -t "$tarball" 2>/dev/null; then
  make_cached_root || { echo "FAILED: could not make the clean Debian $suite root"; exit 1; }
fi
[ $prepare -eq 1 ] && exit 0

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$root" && mkdir -p "$root"
tar -C "$root" --numeric-owner -xzf "$tarball" || { echo "FAILED: cannot unpack $tarball"; exit 1; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$cache"/archives/*.deb "$root/var/cache/apt/archives/" 2>/dev/null
echo "clean root ready in $root after $((SECONDS - started)) s"

in_root 30 dpkg-query -W libhidapi-hidraw0 >/dev/null 2>&1 && fail "the clean root already has the hidapi library"
cp "$deb" "$root/tmp/fwupgrade.deb"
# Without its dependencies dpkg unpacks the package and leaves it unconfigured.
in_root 120 dpkg -i /tmp/fwupgrade.deb
echo "dpkg -i exited with $?"
export DEBIAN_FRONTEND=noninteractive
if ! in_root 300 apt-get -f install -y -q -o Acquire::Retries=3; then
  echo "apt-get -f install failed with the cached lists; fetching them anew"
  if ! in_root 300 apt-get update -q || ! in_root 300 apt-get -f install -y -q -o Acquire::Retries=3; then
    fail "apt-get -f install"
  fi
fi
cp -n "$root"/var/cache/apt/archives/*.deb "$cache/archives/" 2>/dev/null

# shellcheck disable=SC2016 # dpkg-query's own fields
status=$(in_root 30 dpkg-query -W -f '${Status} ${Version}' fwupgrade)
[ "$status" = "install ok installed $version" ] || fail "fwupgrade is \"$status\", not installed at $version"
in_root 30 dpkg-query -W libhidapi-hidraw0 || fail "apt did not bring the hidapi library"
for path in /usr/bin/fwupgrade /usr/lib/udev/rules.d/70-fwupgrade.rules /usr/share/man/man1/fwupgrade.1.gz \
  /usr/share/doc/fwupgrade/examples/sample-firmware.hex; do
  [ -f "$root$path" ] || fail "$path not installed"
done

shown=$(in_root 30 fwupgrade --version)
echo "installed fwupgrade --version: $shown"
[ "$shown" = "fwupgrade $version" ] || fail "fwupgrade --version printed \"$shown\""

in_root 30 fwupgrade check /usr/share/doc/fwupgrade/examples/sample-firmware.hex
code=$?
[ $code -eq 0 ] || fail "fwupgrade check on the sample firmware exited with $code"
# A file that is no firmware must be refused (exit 5), or check proves nothing.
in_root 30 fwupgrade check /usr/share/doc/fwupgrade/copyright
code=$?
[ $code -eq 5 ] || fail "fwupgrade check on a file that is no firmware exited with $code, not 5"

echo "install test took $((SECONDS - started)) s"
if [ $failures -eq 0 ]; then
  rm -rf "$root"
  echo "the package installs and runs in a clean Debian $suite"
else
  echo "the root is left in $root"
fi
exit $((failures > 0))
