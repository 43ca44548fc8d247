# upgrade-checks.sh: check bundles that several scenarios share (sourced after lib.sh).

FILE=$VM_FILES/full-region.hex
IMAGE=$VM_FILES/full-region.bin
REGION_START=4096
REGION_SIZE=57344
VERSION_TEXT='Current Application Firmware Version: 2.4.1 and Boot Version:1.0.7'
VERSION_LINE="version: $VERSION_TEXT"

# device_evidence NAME: the device's wire log, memory and counters into VM_DIR.
device_evidence() {
  ctl "$1" dump-log "$VM_DIR/device.log" > /dev/null
  ctl "$1" dump-memory "$VM_DIR/memory.bin" > /dev/null
  ctl "$1" counters > "$VM_DIR/counters.txt"
}

# what_the_user_saw RUN_OUTPUT: the run's lines without times and paths, for comparing a run
# through the real stack with the native one.
what_the_user_saw() {
  sed -e 's/ at_ms=[0-9]*//' -e 's/ elapsed_ms=[0-9]*//' -e 's/^found: \([0-9]\) path=.*/found: \1/' "$1"
}

# memory_holds_image FROM COUNT: device memory equals the file's bytes over [start+FROM, +COUNT).
memory_holds_image() {
  cmp -s -n "$2" "$VM_DIR/memory.bin" "$IMAGE" "$((REGION_START + $1))" "$1"
}

# memory_erased FROM COUNT: device memory is 0xFF over [start+FROM, +COUNT).
memory_erased() {
  cmp -s -n "$2" "$VM_DIR/memory.bin" "$VM_FILES/erased.bin" "$((REGION_START + $1))" 0
}

# full_upgrade NAME REVISION: a whole upgrade of the full-region file through the device NAME,
# which the hidapi walk must see with hardware ID HID\VID_7E51&PID_0A3D&REV_<REVISION>.
full_upgrade() {
  note "plugging in the $1 device"
  node=$(use_device "$1") || abort "the $1 device did not come up"
  note "device node: $node"
  "$VM_BIN/vm-upgrade" list > "$VM_DIR/list.txt"
  show "$VM_DIR/list.txt"
  expect "the walk sees the device at $node with its hardware ID and matches it" \
    grep -qxF "interface: id=HID\\VID_7E51&PID_0A3D&REV_$2 path=$node match=1" "$VM_DIR/list.txt"

  note "upgrading through $node"
  "$VM_BIN/vm-upgrade" upgrade "$FILE" --path "$node" --trace "$VM_DIR/trace.txt" > "$VM_DIR/run.txt" 2>&1
  show "$VM_DIR/run.txt"
  note "the same upgrade on the native simulator"
  "$VM_BIN/vm-upgrade" upgrade "$FILE" --native --log "$VM_DIR/native.log" > "$VM_DIR/native.txt" 2>&1
  note "collecting the device's evidence"
  device_evidence "$1"
  note "checking"
  show "$VM_DIR/counters.txt"

  expect_line "the upgrade ran to the reset with the match verdict" "$VM_DIR/run.txt" \
    '^outcome: step=done verdict=match packets=989 error=0 '
  expect "the version line shows both versions from the device" grep -qxF "$VERSION_LINE" "$VM_DIR/run.txt"
  expect "progress reached 100" grep -qx 'progress: 100' "$VM_DIR/run.txt"
  expect "the status says the checksum matched" grep -qx 'status: CRC Matched' "$VM_DIR/run.txt"
  expect_line "the success box was shown" "$VM_DIR/run.txt" '^box: .*text="Firmware download Success'
  what_the_user_saw "$VM_DIR/run.txt" > "$VM_DIR/run.seen"
  what_the_user_saw "$VM_DIR/native.txt" > "$VM_DIR/native.seen"
  expect "the user saw exactly what the native simulator run shows" cmp -s "$VM_DIR/run.seen" "$VM_DIR/native.seen"
  expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
  expect "the device's wire log equals the native simulator's byte for byte" \
    cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
  expect_line "the device took one erase, 989 packets, the end, one checksum and the reset" "$VM_DIR/counters.txt" \
    ' erases=1 packets=989 outside=0 ends=1 crc=1 resets=1 '
  expect_line "every output report reached the device as 64 bytes" "$VM_DIR/counters.txt" ' odd=0 '
}

# box_at RUN_OUTPUT: when the run's first message box was shown (steady clock, ms).
box_at() { grep -m 1 '^box:' "$1" | grep -Eo 'at_ms=[0-9]+' | cut -d= -f2; }

# within FROM TO LOW HIGH: LOW <= TO - FROM < HIGH (milliseconds); fails on a missing value.
within() {
  [ -n "$1" ] && [ -n "$2" ] && [ "$1" != none ] && [ "$2" != none ] || return 1
  [ $(($2 - $1)) -ge "$3" ] && [ $(($2 - $1)) -lt "$4" ]
}

# removed_mid_programming NAME: the device pulls its cable after packet 300 of an upgrade.
removed_mid_programming() {
  note "plugging in the $1 device"
  node=$(use_device "$1") || abort "the $1 device did not come up"
  ctl "$1" remove-after program#300 > /dev/null || abort "the device server refused the removal point"
  note "upgrading through $node; the device goes after packet 300"
  "$VM_BIN/vm-upgrade" upgrade "$FILE" --path "$node" > "$VM_DIR/run.txt" 2>&1
  show "$VM_DIR/run.txt"
  note "the same on the native simulator, gone at packet 301"
  "$VM_BIN/vm-upgrade" upgrade "$FILE" --native --fault disconnect@program#301 --log "$VM_DIR/native.log" \
    > "$VM_DIR/native.txt" 2>&1
  device_evidence "$1"
  show "$VM_DIR/counters.txt"
  removed=$(field removed-at-ms "$VM_DIR/counters.txt")
  shown=$(box_at "$VM_DIR/run.txt")
  note "the host wrote $(field packets "$VM_DIR/run.txt") packets in all; the failure showed $((shown - removed)) ms after the removal"

  expect "the device went away after exactly 300 packets" \
    sh -c 'grep -q " packets=300 " "$1" && ! grep -q " removed-at-ms=none" "$1"' sh "$VM_DIR/counters.txt"
  expect_line "the run stopped at the programming step" "$VM_DIR/run.txt" '^outcome: step=program-write verdict=none '
  expect_no_line "the failed write carries an error code" "$VM_DIR/run.txt" '^outcome: .* error=0 '
  expect_line "the step's failure box was shown" "$VM_DIR/run.txt" \
    '^box: .*caption="Firmware Upgrade" style=0x0 owner=dialog text="Program Write Failed"$'
  expect_no_line "no success text was shown" "$VM_DIR/run.txt" 'Success|CRC Matched'
  expect "the failure showed within the answer bound (3 s) of the removal" within "$removed" "$shown" 0 3000
  expect "the 300 packets are in the device's memory" memory_holds_image 0 17400
  expect "the rest of the region is erased" memory_erased 17400 $((REGION_SIZE - 17400))
  expect "the device's wire log equals the native one of a device gone at packet 301" \
    cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
  expect "the host no longer lists the device" wait_gone "$(serial_of "$1")"
}
