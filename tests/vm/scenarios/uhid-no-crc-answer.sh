# The device never answers the checksum request: the tool's bounded wait (3 s) ends in the
# failure box of that step, and nothing is sent after it (no reset).
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
note "plugging in the uhid device"
node=$(use_device uhid) || abort "the uhid device did not come up"
ctl uhid fault no-answer@crc > /dev/null || abort "the device refused the fault"
note "upgrading through $node; the checksum request goes unanswered"
"$VM_BIN/vm-upgrade" upgrade "$FILE" --path "$node" > "$VM_DIR/run.txt" 2>&1
show "$VM_DIR/run.txt"
"$VM_BIN/vm-upgrade" upgrade "$FILE" --native --fault no-answer@crc --log "$VM_DIR/native.log" \
  > "$VM_DIR/native.txt" 2>&1
device_evidence uhid
show "$VM_DIR/counters.txt"
asked=$(field last-request-at-ms "$VM_DIR/counters.txt")
shown=$(box_at "$VM_DIR/run.txt")
note "the box came $((shown - asked)) ms after the checksum request reached the device"

expect_line "the run stopped waiting for the checksum answer" "$VM_DIR/run.txt" '^outcome: step=crc-response verdict=none '
expect_line "the step's failure box was shown" "$VM_DIR/run.txt" \
  '^box: .*caption="Firmware Upgrade" style=0x0 owner=none text="CRC Response Failed"$'
expect "the wait lasted the 3 s bound, no less and not much more" within "$asked" "$shown" 2900 4500
expect_no_line "no success text was shown" "$VM_DIR/run.txt" 'Success|CRC Matched'
expect_line "the device got the checksum request and nothing after it" "$VM_DIR/counters.txt" ' crc=1 resets=0 '
expect "the checksum request is the last report on the wire" sh -c 'tail -n 1 "$1" | grep -q "^> 00 09 "' sh "$VM_DIR/device.log"
expect "the device's wire log equals the native simulator's with the same fault" \
  cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
finish
