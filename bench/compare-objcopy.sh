#!/usr/bin/env bash
# compare-objcopy.sh FWUPGRADE [RUNS]: times `fwupgrade image` against GNU objcopy on the same
# full-region Intel HEX file, whole process against whole process, and prints both medians.
# objcopy reads the records without our signature line, which it does not know. The two run in
# turn, one of each per round, so that a change in the machine's load weighs on both alike.
set -euo pipefail
fwupgrade=${1:?usage: compare-objcopy.sh FWUPGRADE [RUNS]}
runs=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 57,344 random bytes at 0x1000, the default application region, as 16-byte records. objcopy
# ends its lines with CR LF already.
head -c 57344 /dev/urandom > "$work/region.bin"
objcopy -I binary -O ihex --change-addresses 0x1000 "$work/region.bin" "$work/records.hex"
{ printf 'TALVORK\r\n'; cat "$work/records.hex"; } > "$work/firmware.hex"

# Wall time of one run of a command, in microseconds.
wall() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { sort -n | sed -n "$((runs / 2 + 1))p"; }

for ((i = 0; i < runs; i++)); do
  wall "$fwupgrade" image "$work/firmware.hex" -o "$work/ours.bin" >> "$work/ours.times"
  wall objcopy -I ihex -O binary "$work/records.hex" "$work/objcopy.bin" >> "$work/theirs.times"
done
ours=$(median < "$work/ours.times")
theirs=$(median < "$work/theirs.times")
cmp -s <(tail -c +4097 "$work/ours.bin" | head -c 57344) "$work/region.bin" || { echo "image differs"; exit 1; }
cmp -s "$work/objcopy.bin" "$work/region.bin" || { echo "objcopy's image differs"; exit 1; }
echo "fwupgrade image: median ${ours} us over $runs runs"
echo "objcopy:         median ${theirs} us over $runs runs"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio fwupgrade/objcopy: %.2f\n", a / b }'
