# flash --all with two devices that differ in serial number (the uhid device and the gadget): both
# are upgraded, each ends with the match verdict, and the summary says so.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
uhid_node=$(use_device uhid) && gadget_node=$(use_device gadget) || abort "the devices did not come up"
note "flashing $uhid_node and $gadget_node"
"$VM_FWUPGRADE" flash --all "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $?" >> "$VM_DIR/flash.txt"
note "flash ended"
show "$VM_DIR/flash.txt"
expect "flash --all exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
expect "the summary counts two devices matched" grep -qx '2 of 2 devices ended with CRC Matched.' "$VM_DIR/flash.txt"
for device in uhid gadget; do
  node=$uhid_node
  [ $device = gadget ] && node=$gadget_node
  ctl $device dump-memory "$VM_DIR/memory.bin" > /dev/null
  ctl $device counters > "$VM_DIR/$device-counters.txt"
  show "$VM_DIR/$device-counters.txt"
  expect_line "$device: its own line says CRC Matched" "$VM_DIR/flash.txt" "^$node: Device Status: CRC Matched\$"
  # The gadget sits at a USB port; the uhid device has no USB parent, so no location.
  location='-'
  [ $device = gadget ] && location='[0-9]+-[0-9.]+'
  expect_line "$device: its summary row shows its location, versions and the verdict" "$VM_DIR/flash.txt" \
    "^$node +$location +2\\.4\\.1 +1\\.0\\.7 +CRC Matched "
  expect "$device: its memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
  expect_line "$device: it was upgraded once, to the reset" "$VM_DIR/$device-counters.txt" \
    ' erases=1 packets=989 outside=0 ends=1 crc=1 resets=1 '
done
finish
