#!/usr/bin/env bash
# run-guest.sh --build DIR --bin DIR --out DIR --work DIR [--cache DIR] [--env NAME=VALUE]... SCENARIO...
# Boots the QEMU guest once and runs the named scenarios (tests/vm/scenarios/NAME.sh) in it.
# The guest gets the project's trees as 9p exports of their own, mounted at the same paths as
# on the host: the source tree, the build tree (--build, which holds --bin) and the cache
# read-only, --out writable. So a clone may live anywhere, /tmp included; the host's root is
# exported too, read-only, but only for the system (libraries, Wine). Each scenario leaves its
# log and result in --out/NAME/, which check-scenario.sh reads. --env passes a setting to the
# scenarios (a program's path, say); a path there must lie in one of the exported trees.
# Fails when the guest cannot be booted, or when it did not finish
# every scenario in time; a scenario's own failure is its own test's.
set -euo pipefail
# Physical paths: the guest mounts each tree where it physically lies on the host.
here=$(cd "$(dirname "$0")/.." && pwd -P)
source_root=$(cd "$here/../.." && pwd -P)

build= bin= out= work= cache=
scenarios=()
settings=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --env) settings+=("$2"); shift 2 ;;
    *) scenarios+=("$1"); shift ;;
  esac
done
[ -n "$build" ] && [ -n "$bin" ] && [ -n "$out" ] && [ -n "$work" ] && [ ${#scenarios[@]} -gt 0 ] || {
  echo "usage: run-guest.sh --build DIR --bin DIR --out DIR --work DIR [--cache DIR] [--env NAME=VALUE]... SCENARIO..." >&2
  exit 2
}

# No result of an earlier boot may stand for this one.
case "$out" in /*) rm -rf "$out" ;; esac

started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
say() { echo "vm: $* ($(elapsed) s)"; }
die() {
  echo "vm: FAILED: $*" >&2
  exit 1
}

# What the guest needs from the host. scripts/install-deps installs all of it.
for tool in qemu-system-x86_64 busybox cpio gzip dpkg apt-get objcopy flock timeout; do
  command -v "$tool" > /dev/null || die "$tool is missing: run scripts/install-deps as root"
done
ldd /bin/busybox > /dev/null 2>&1 && die "/bin/busybox is not the static build the initramfs needs: install busybox-static"
for program in device-server device-ctl vm-upgrade; do
  [ -x "$bin/$program" ] || die "no $program in $bin: build first"
done
case "$out" in /*) ;; *) die "--out must be an absolute path" ;; esac
[ -d "$build" ] || die "no build tree $build"
build=$(cd "$build" && pwd -P)

if [ -z "$cache" ]; then
  cache=/var/cache/fwup-vm
  mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache=$work/cache
fi
mkdir -p "$work" "$cache"
cache=$(cd "$cache" && pwd -P)
kernel_tree=$("$here/harness/fetch-kernel.sh" "$cache") || die "no kernel for the guest"
vmlinuz=$(ls "$kernel_tree"/boot/vmlinuz-* | head -n 1)
say "kernel $(basename "$vmlinuz") from $kernel_tree"

# Scenarios that run Windows programs say "# needs: wine".
wine_prefix=
for scenario in "${scenarios[@]}"; do
  [ -f "$here/scenarios/$scenario.sh" ] || die "no scenario $scenario"
  grep -q '^# needs: wine' "$here/scenarios/$scenario.sh" || continue
  command -v wine > /dev/null || die "wine is missing: run scripts/install-deps as root"
  wine_prefix=$("$here/harness/make-wine-prefix.sh" "$cache") || die "no Wine prefix"
  say "Wine prefix $wine_prefix"
  break
done

# udevadm for the check that the project's udev rule applies to the gadget; a scenario without it
# says so and checks the rest.
udevadm=$("$here/harness/fetch-udevadm.sh" "$cache") || udevadm=

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd -P)
"$here/harness/make-firmware.sh" "$out/files" || die "cannot make the firmware files"

# The trees the guest mounts, one 9p export each: "TAG MODE PATH" lines, parents before what
# lies inside them (init mounts them in this order, each over the one it lies in). The same
# path twice (a cache given as the build tree, say) is exported once.
exports=()
export_tree() {
  local tag=$1 mode=$2 path=$3 line
  for line in "${exports[@]}"; do
    [ "${line#* ro }" = "$path" ] && [ "$mode" = ro ] && return 0
  done
  exports+=("$tag $mode $path")
}
export_tree fwsrc ro "$source_root"
export_tree fwbuild ro "$build"
export_tree fwcache ro "$cache"
export_tree vmout rw "$out"
printf '%s\n' "${exports[@]}" | awk '{ path = $0; sub(/^[^ ]+ [^ ]+ /, "", path); print length(path) "\t" $0 }' |
  sort -n | cut -f2- > "$work/mounts"

# exported PATH: PATH lies in one of the exported trees, so the guest sees it.
exported() {
  local path line
  path=$(realpath -m "$1")
  for line in "${exports[@]}"; do
    line=${line#* * }
    case "$path/" in "$line"/*) return 0 ;; esac
  done
  return 1
}
exported "$bin" || die "--bin $bin is not in the build tree $build"

# One settings file for the guest, in the initramfs: VAR='VALUE' lines for busybox sh.
quoted() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
{
  echo "VM_SRC=$(quoted "$here")"
  echo "VM_BIN=$(quoted "$(cd "$bin" && pwd -P)")"
  echo "VM_OUT=$(quoted "$out")"
  echo "VM_FILES=$(quoted "$out/files")"
  echo "VM_SCENARIOS=$(quoted "${scenarios[*]}")"
  echo "VM_WINEPREFIX=$(quoted "$wine_prefix")"
  echo "VM_UDEVADM=$(quoted "$udevadm")"
} > "$work/guest.env"
for setting in "${settings[@]}"; do
  case "$setting" in
    VM_[A-Z0-9_]*=*) ;;
    *) die "--env takes VM_NAME=VALUE, not $setting" ;;
  esac
  value=${setting#*=}
  case "$value" in
    /*) exported "$value" || die "${setting%%=*}: $value is in none of the trees the guest gets: ${exports[*]}" ;;
  esac
  echo "${setting%%=*}=$(quoted "$value")" >> "$work/guest.env"
done

# The settings and the mount list travel in the initramfs, so that init needs no host path to
# find them. dummy_hcd with two device controllers, so that two gadgets can be plugged in at once.
"$here/harness/make-initramfs.sh" "$kernel_tree" "$here/guest/init" "$work/initramfs.cpio.gz" \
  --add "$work/guest.env" --add "$work/mounts" \
  virtio_pci 9pnet_virtio 9p overlay configfs \
  hid uhid hid-generic usbhid \
  dummy_hcd:num=2 libcomposite usb_f_hid || die "cannot build the initramfs"
say "initramfs built"

# KVM is no use here (the host's KVM cannot run a stock kernel at speed), so QEMU emulates:
# TCG with SMAP off, as QEMU's TCG checks the stack reads of a user-mode iret against SMAP
# (Wine's processes die of it). FWUP_VM_CPU overrides the CPU model for experiments.
serial_log=$out/serial.log
virtfs=()
for line in "${exports[@]}"; do
  read -r tag mode path <<< "$line"
  # QEMU reads a comma in an option's value as a doubled one.
  option="local,path=${path//,/,,},mount_tag=$tag,security_model=none,multidevs=remap"
  [ "$mode" = ro ] && option+=",readonly=on"
  virtfs+=(-virtfs "$option")
done
say "booting the guest for: ${scenarios[*]}"
set +e
timeout -k 10 "${FWUP_VM_BOOT_TIMEOUT:-420}" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu "${FWUP_VM_CPU:-max,-smap}" -smp 2 -m 2048 \
  -display none -no-reboot -monitor none -serial stdio -nodefaults \
  -kernel "$vmlinuz" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  "${virtfs[@]}" \
  < /dev/null > "$serial_log" 2>&1
status=$?
set -e
tr -d '\r' < "$serial_log" | sed 's/^/  | /'
say "guest ended with status $status"
[ $status -ne 124 ] && [ $status -ne 137 ] || die "the guest did not finish within ${FWUP_VM_BOOT_TIMEOUT:-420} s"
[ -f "$out/runner.done" ] || die "the guest did not finish its scenarios (see the serial log above)"

missing=0
for scenario in "${scenarios[@]}"; do
  if [ -f "$out/$scenario/result" ]; then
    echo "vm: $scenario: $(cat "$out/$scenario/result")"
  else
    echo "vm: $scenario: no result"
    missing=$((missing + 1))
  fi
done
[ $missing -eq 0 ] || die "$missing scenario(s) left no result"
say "done"
