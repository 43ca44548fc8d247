# The ready answer comes 4 s late, after the tool's 3 s bound: the ready exchange's outcome is
# ignored, the late answer is drained and not taken for the answer to the version query, so the
# versions shown are right, and the flash matches.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
use_only_device uhid > /dev/null || abort "the uhid device did not come up"
ctl uhid fault late-answer@ready > /dev/null && ctl uhid late-delay 4000 > /dev/null || abort "the device refused the fault"
note "flashing; the ready answer comes 4 s late"
"$VM_FWUPGRADE" flash "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $?" >> "$VM_DIR/flash.txt"
note "flash ended"
show "$VM_DIR/flash.txt"
device_evidence uhid
show "$VM_DIR/counters.txt"
expect_line "the device sent the ready answer late" "$VM_DIR/counters.txt" ' late=1 '
expect "the versions shown are the device's" grep -qF "$VERSION_TEXT" "$VM_DIR/flash.txt"
expect_line "flash ends with the match verdict" "$VM_DIR/flash.txt" 'Device Status: CRC Matched$'
expect "flash exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
finish
