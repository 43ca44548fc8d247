# The device answers the ready command only after the tool's bound has passed (4 s against 3 s).
# The ready exchange's outcome is ignored, so the run goes on; the late answer sits in hidraw's
# queue, and the tool must drop it so that the two version queries get their own answers.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
note "plugging in the uhid device"
node=$(use_device uhid) || abort "the uhid device did not come up"
ctl uhid fault late-answer@ready > /dev/null && ctl uhid late-delay 4000 > /dev/null || abort "the device refused the fault"
note "upgrading through $node; the ready answer comes after 4 s"
"$VM_BIN/vm-upgrade" upgrade "$FILE" --path "$node" > "$VM_DIR/run.txt" 2>&1
show "$VM_DIR/run.txt"
"$VM_BIN/vm-upgrade" upgrade "$FILE" --native --fault late-answer@ready --log "$VM_DIR/native.log" \
  > "$VM_DIR/native.txt" 2>&1
device_evidence uhid
show "$VM_DIR/counters.txt"

expect_line "the device sent the ready answer late" "$VM_DIR/counters.txt" ' late=1 '
expect "the version line still shows both versions from the device" grep -qxF "$VERSION_LINE" "$VM_DIR/run.txt"
expect_no_line "no version query failed" "$VM_DIR/run.txt" 'Version Query Failed'
expect_line "the upgrade went on to the match verdict" "$VM_DIR/run.txt" '^outcome: step=done verdict=match packets=989 error=0 '
expect_line "the run waited out the ready bound" "$VM_DIR/run.txt" '^outcome: .* elapsed_ms=([3-9][0-9]{3}|[0-9]{5,}) *$'
expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
expect "the device's wire log equals the native simulator's with the same fault" \
  cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
finish
