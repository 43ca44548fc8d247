# fwupgrade over hidapi and hidraw with both device kinds: list, info, and flash of a full-region
# file with the match verdict, the device's memory equal to the file, and its wire log equal to
# that of the same flash on the built-in simulator.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
for device in uhid gadget; do
  revision=0000
  [ $device = gadget ] && revision=0100
  node=$(use_only_device $device) || abort "the $device device did not come up"
  note "$device at $node"
  "$VM_FWUPGRADE" list > "$VM_DIR/$device-list.txt" 2>&1
  echo "status $?" >> "$VM_DIR/$device-list.txt"
  "$VM_FWUPGRADE" info > "$VM_DIR/$device-info.txt" 2>&1
  echo "status $?" >> "$VM_DIR/$device-info.txt"
  if [ $device = gadget ]; then
    # The location list shows, given to --path, picks the same device.
    port=$(sed -n 's/^\* [^ ]* *\([^ ]*\) .*/\1/p' "$VM_DIR/$device-list.txt")
    "$VM_FWUPGRADE" info --path "$port" > "$VM_DIR/$device-info-at.txt" 2>&1
    echo "status $?" >> "$VM_DIR/$device-info-at.txt"
    show "$VM_DIR/$device-info-at.txt"
  fi
  # The wire log that counts is the flash's alone.
  ctl $device reset-state > /dev/null || abort "the $device device did not reset"
  note "flashing through $node"
  "$VM_FWUPGRADE" flash "$FILE" --wire-log "$VM_DIR/$device-wire.log" > "$VM_DIR/$device-flash.txt" 2>&1
  echo "status $?" >> "$VM_DIR/$device-flash.txt"
  note "flash ended"
  show "$VM_DIR/$device-list.txt" "$VM_DIR/$device-info.txt" "$VM_DIR/$device-flash.txt"
  "$VM_FWUPGRADE" flash "$FILE" --simulate --sim-transfer-time 0 --sim-log "$VM_DIR/$device-native.log" \
    > /dev/null 2>&1
  device_evidence $device
  show "$VM_DIR/counters.txt"

  # A gadget sits at a USB port (sysfs names it, e.g. 1-1); a uhid device has no USB parent.
  location='-'
  [ $device = gadget ] && location='[0-9]+-[0-9.]+'
  expect_line "$device: list marks the device as the one it would use, with its hardware ID, location and path" \
    "$VM_DIR/$device-list.txt" "^\\* HID\\\\VID_7E51&PID_0A3D&REV_$revision +$location +$node\$"
  expect "$device: list exits 0" grep -qx 'status 0' "$VM_DIR/$device-list.txt"
  expect "$device: info shows both versions from the device" grep -qF "$VERSION_TEXT" "$VM_DIR/$device-info.txt"
  expect "$device: info exits 0" grep -qx 'status 0' "$VM_DIR/$device-info.txt"
  if [ $device = gadget ]; then
    expect "gadget: info --path with the location reaches the device" \
      grep -qx "Device Path: $node" "$VM_DIR/$device-info-at.txt"
    expect_line "gadget: info says the location" "$VM_DIR/$device-info-at.txt" "^Location: [0-9]+-[0-9.]+\$"
  else
    expect "uhid: info says it has no location" grep -qx "Location: none" "$VM_DIR/$device-info.txt"
  fi
  expect_line "$device: flash ends with the match verdict" "$VM_DIR/$device-flash.txt" 'Device Status: CRC Matched$'
  expect "$device: flash exits 0" grep -qx 'status 0' "$VM_DIR/$device-flash.txt"
  expect "$device: the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
  expect "$device: the device's wire log equals the built-in simulator's" \
    cmp -s "$VM_DIR/device.log" "$VM_DIR/$device-native.log"
  # What the tool recorded on its side of the link is what the device saw, each line timed.
  expect "$device: the tool's wire log, without its times, equals the device's" \
    sh -c 'cut -d" " -f2- "$1" | cmp -s - "$2"' sh "$VM_DIR/$device-wire.log" "$VM_DIR/device.log"
  expect_no_line "$device: every line of the tool's wire log starts with the seconds since the start" \
    "$VM_DIR/$device-wire.log" '^([^0-9]|[0-9]+\.[0-9]{0,5} |[0-9]+ )'
  expect_line "$device: every output report reached the device as 64 bytes" "$VM_DIR/counters.txt" ' odd=0 '
done
finish
