#!/usr/bin/env bash
# compare-objcopy.sh FWUPGRADE [RUNS]: times `fwupgrade image` against GNU objcopy on the same
# full-region Intel HEX file, whole process against whole process, and prints both medians.
# objcopy reads the records without our signature line, which it does not know.
set -euo pipefail
fwupgrade=${1:?usage: compare-objcopy.sh FWUPGRADE [RUNS]}
runs=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 57,344 random bytes at 0x1000, the default application region, as 16-byte records.
head -c 57344 /dev/urandom > "$work/region.bin"
objcopy -I binary -O ihex --change-addresses 0x1000 "$work/region.bin" "$work/records.hex"
{ printf 'TALVORK\r\n'; sed 's/$/\r/' "$work/records.hex"; } > "$work/firmware.hex"

# Median wall time of RUNS runs of a command, in microseconds.
median() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$((runs / 2 + 1))p"
}

ours=$(median "$fwupgrade" image "$work/firmware.hex" -o "$work/ours.bin")
theirs=$(median objcopy -I ihex -O binary "$work/records.hex" "$work/objcopy.bin")
cmp -s <(tail -c +4097 "$work/ours.bin" | head -c 57344) "$work/region.bin" || { echo "image differs"; exit 1; }
echo "fwupgrade image: median ${ours} us over $runs runs"
echo "objcopy:         median ${theirs} us over $runs runs"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio fwupgrade/objcopy: %.2f\n", a / b }'
