#!/usr/bin/env bash
# make-firmware.sh DIR: the firmware files the scenarios load, made by an independent tool
# (GNU objcopy) from random bytes that are kept beside them for the memory checks.
#   full-region.bin / .hex: the whole default application region, 57344 bytes at 0x1000.
set -euo pipefail
dir=$1
mkdir -p "$dir"
head -c 57344 /dev/urandom > "$dir/full-region.bin"
objcopy -I binary -O ihex --change-addresses 0x1000 "$dir/full-region.bin" "$dir/full-region.records"
{ printf 'TALVORK\r\n'; cat "$dir/full-region.records"; } > "$dir/full-region.hex"
rm "$dir/full-region.records"
# The erased state, for the checks of a region programmed only in part.
head -c 57344 /dev/zero | tr '\000' '\377' > "$dir/erased.bin"
