#!/usr/bin/env bash
# run-guest.sh --bin DIR --out DIR --work DIR [--cache DIR] [--env NAME=VALUE]... SCENARIO...
# Boots the QEMU guest once and runs the named scenarios (tests/vm/scenarios/NAME.sh) in it.
# The guest sees the host's root read-only over 9p, so it runs the programs built in --bin;
# each scenario leaves its log and result in --out/NAME/ through a writable 9p share, which
# check-scenario.sh reads. --env passes a setting to the scenarios (a program's path, say).
# Fails when the guest cannot be booted, or when it did not finish
# every scenario in time; a scenario's own failure is its own test's.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

bin= out= work= cache=
scenarios=()
settings=()
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --env) settings+=("$2"); shift 2 ;;
    *) scenarios+=("$1"); shift ;;
  esac
done
[ -n "$bin" ] && [ -n "$out" ] && [ -n "$work" ] && [ ${#scenarios[@]} -gt 0 ] || {
  echo "usage: run-guest.sh --bin DIR --out DIR --work DIR [--cache DIR] [--env NAME=VALUE]... SCENARIO..." >&2
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
# The guest mounts its own /tmp and /run over the host's.
for dir in "$here" "$bin" "$out" "$work"; do
  case "$(realpath -m "$dir")" in /tmp/* | /run/*) die "$dir is under /tmp or /run, which the guest does not see" ;; esac
done

if [ -z "$cache" ]; then
  cache=/var/cache/fwup-vm
  mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache=$work/cache
fi
mkdir -p "$work"
kernel_tree=$("$here/harness/fetch-kernel.sh" "$cache") || die "no kernel for the guest"
vmlinuz=$(ls "$kernel_tree"/boot/vmlinuz-* | head -n 1)
say "kernel $(basename "$vmlinuz") from $kernel_tree"

# dummy_hcd with two device controllers, so that two gadgets can be plugged in at once.
"$here/harness/make-initramfs.sh" "$kernel_tree" "$here/guest/init" "$work/initramfs.cpio.gz" \
  virtio_pci 9pnet_virtio 9p overlay configfs \
  hid uhid hid-generic usbhid \
  dummy_hcd:num=2 libcomposite usb_f_hid || die "cannot build the initramfs"
say "initramfs built"

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
"$here/harness/make-firmware.sh" "$out/files" || die "cannot make the firmware files"

cat > "$work/guest.env" <<ENV
VM_SRC='$here'
VM_BIN='$(cd "$bin" && pwd)'
VM_OUT='$out'
VM_FILES='$out/files'
VM_SCENARIOS='${scenarios[*]}'
VM_WINEPREFIX='$wine_prefix'
VM_UDEVADM='$udevadm'
ENV
for setting in "${settings[@]}"; do
  case "$setting" in
    VM_[A-Z0-9_]*=*) printf "%s='%s'\n" "${setting%%=*}" "${setting#*=}" >> "$work/guest.env" ;;
    *) die "--env takes VM_NAME=VALUE, not $setting" ;;
  esac
done

# KVM is no use here (the host's KVM cannot run a stock kernel at speed), so QEMU emulates:
# TCG with SMAP off, as QEMU's TCG checks the stack reads of a user-mode iret against SMAP
# (Wine's processes die of it). FWUP_VM_CPU overrides the CPU model for experiments.
serial_log=$out/serial.log
say "booting the guest for: ${scenarios[*]}"
set +e
timeout -k 10 "${FWUP_VM_BOOT_TIMEOUT:-420}" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu "${FWUP_VM_CPU:-max,-smap}" -smp 2 -m 2048 \
  -display none -no-reboot -monitor none -serial stdio -nodefaults \
  -kernel "$vmlinuz" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet panic=-1 fwupvm.env=$work/guest.env" \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$out,mount_tag=vmout,security_model=none,multidevs=remap" \
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
