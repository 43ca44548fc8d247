# PENDING (branch cli): needs VM_FWUPGRADE.
# The ready answer comes 4 s late, after the tool's 3 s bound: the version line is still right
# (the late answer is drained, not taken for the version answer), and the flash matches.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
use_only_device uhid > /dev/null || abort "the uhid device did not come up"
ctl uhid fault late-answer@ready > /dev/null && ctl uhid late-delay 4000 > /dev/null || abort "the device refused the fault"
"$VM_FWUPGRADE" flash "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $?" >> "$VM_DIR/flash.txt"
show "$VM_DIR/flash.txt"
device_evidence uhid
expect_line "the device sent the ready answer late" "$VM_DIR/counters.txt" ' late=1 '
expect "the version line shows both versions" grep -qF "$VERSION_LINE" "$VM_DIR/flash.txt"
expect_line "flash ends with the match verdict" "$VM_DIR/flash.txt" 'CRC Matched'
expect "flash exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
finish
