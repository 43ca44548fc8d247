# PENDING (branch cli): needs VM_FWUPGRADE.
# flash --all with two devices that differ in serial number (the uhid device and the gadget):
# both end with the match verdict.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
ctl uhid reset-state > /dev/null && ctl gadget reset-state > /dev/null || abort "the devices did not reset"
wait_node SIMU0001 > /dev/null && wait_node SIMG0001 > /dev/null || abort "the devices did not come up"
"$VM_FWUPGRADE" flash --all "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $?" >> "$VM_DIR/flash.txt"
show "$VM_DIR/flash.txt"
expect "flash --all exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
for device in uhid gadget; do
  ctl $device dump-memory "$VM_DIR/memory.bin" > /dev/null
  ctl $device counters > "$VM_DIR/$device-counters.txt"
  expect "$device: its memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
  expect_line "$device: it was upgraded once, to the reset" "$VM_DIR/$device-counters.txt" ' erases=1 packets=989 .* resets=1 '
done
# PENDING: the per-device outcome lines of --all; check that both say CRC Matched.
finish
