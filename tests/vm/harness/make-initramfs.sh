#!/usr/bin/env bash
# make-initramfs.sh KERNEL_TREE INIT OUT.cpio.gz [--add FILE]... MODULE[:PARAMS]...
# The guest's initramfs: busybox-static, the init script, each --add FILE at the top under its
# own name, and the named modules with everything they depend on (from modules.dep), listed in
# load order in /modules/load-order.
set -euo pipefail
tree=$1 init=$2 out=$3
shift 3
added=()
while [ "${1:-}" = --add ]; do
  added+=("$2")
  shift 2
done
release=$(ls "$tree/lib/modules" | head -n 1)
modules=$tree/lib/modules/$release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{bin,dev,proc,sys,tmp,modules}
cp /bin/busybox "$work/bin/busybox"
ln -s busybox "$work/bin/sh"
cp "$init" "$work/init"
chmod 755 "$work/init"
for file in "${added[@]}"; do
  cp "$file" "$work/$(basename "$file")"
done
: > "$work/modules/load-order"

# Depth first, so that a module's dependencies load before it.
add_module() {
  local name=$1 params=${2:-} relative dependency
  relative=$(grep -E "(^|/)${name}\.ko(\.[gx]z|\.zst)?:" "$modules/modules.dep" | head -n 1 | cut -d: -f1)
  [ -n "$relative" ] || { echo "vm: module $name is not in $release" >&2; exit 1; }
  grep -q "^$(basename "$relative")\( \|$\)" "$work/modules/load-order" && return 0
  for dependency in $(grep -E "^${relative}:" "$modules/modules.dep" | cut -d: -f2-); do
    dependency=$(basename "$dependency")
    add_module "${dependency%%.ko*}"
  done
  cp "$modules/$relative" "$work/modules/"
  echo "$(basename "$relative") $params" >> "$work/modules/load-order"
}

for module in "$@"; do
  add_module "${module%%:*}" "$([ "${module#*:}" != "$module" ] && echo "${module#*:}" | tr ',' ' ')"
done
(cd "$work" && find . | cpio -o -H newc --quiet | gzip -1) > "$out"
