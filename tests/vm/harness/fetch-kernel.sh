#!/usr/bin/env bash
# fetch-kernel.sh CACHE: prints the directory of the kernel tree the guest boots, fetching it
# first when needed. The tree is the linux-image package that linux-image-amd64 depends on,
# downloaded with apt-get and unpacked with dpkg -x, never installed on the host; the package
# ships no modules.dep and the host may have no kmod, so busybox's depmod writes it.
set -euo pipefail
cache=$1
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

say() { echo "vm: $*" >&2; }

current_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}

package=$(current_package)
if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
  say "apt knows no linux-image-amd64 yet: apt-get update"
  apt-get update -q >&2 || true
  package=$(current_package)
fi
if [ -z "$package" ]; then
  # Offline: a tree fetched before still serves.
  newest=$(ls -d "$cache"/linux-image-*/.unpacked 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$newest" ]; then
    say "cannot name the kernel package: apt-cache knows no linux-image-amd64 (run apt-get update as root)"
    exit 1
  fi
  dirname "$newest"
  exit 0
fi

tree=$cache/$package
if [ ! -f "$tree/.unpacked" ]; then
  deb=$(ls "$cache/${package}"_*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    say "downloading $package"
    (cd "$cache" && apt-get download "$package" >&2) || { say "apt-get download $package failed"; exit 1; }
    deb=$(ls "$cache/${package}"_*.deb | head -n 1)
  fi
  rm -rf "$tree"
  mkdir -p "$tree"
  dpkg -x "$deb" "$tree"
  release=$(ls "$tree/lib/modules" | head -n 1)
  busybox depmod -b "$tree" "$release"
  touch "$tree/.unpacked"
  say "kernel $release unpacked in $tree"
fi
echo "$tree"
