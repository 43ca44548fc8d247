# Two uhid devices with different serial numbers: the walk matches both, and each one is
# upgraded by its path, each to the match verdict with the file in its own memory.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
note "plugging in two uhid devices"
first=$(use_device uhid) || abort "the first device did not come up"
start_device second uhid SIMU0002 || abort "the second device did not come up"
second=$(wait_node SIMU0002) || abort "the second device has no hidraw node"
note "nodes: $first and $second"
"$VM_BIN/vm-upgrade" list > "$VM_DIR/list.txt"
show "$VM_DIR/list.txt"
expect "the walk matches the first device" grep -qxF "interface: id=HID\\VID_7E51&PID_0A3D&REV_0000 path=$first match=1" "$VM_DIR/list.txt"
expect "the walk matches the second device" grep -qxF "interface: id=HID\\VID_7E51&PID_0A3D&REV_0000 path=$second match=1" "$VM_DIR/list.txt"
expect_line "hidapi tells them apart by serial number" "$VM_DIR/list.txt" 'serial="SIMU0002"'

for device in uhid second; do
  node=$first
  [ $device = second ] && node=$second
  note "upgrading $device through $node"
  "$VM_BIN/vm-upgrade" upgrade "$FILE" --path "$node" > "$VM_DIR/run-$device.txt" 2>&1
  show "$VM_DIR/run-$device.txt"
  ctl $device dump-memory "$VM_DIR/memory.bin" > /dev/null
  ctl $device counters > "$VM_DIR/counters-$device.txt"
  show "$VM_DIR/counters-$device.txt"
  expect_line "$device: the match verdict" "$VM_DIR/run-$device.txt" '^outcome: step=done verdict=match packets=989 error=0 '
  expect "$device: its memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
  expect_line "$device: it was upgraded once" "$VM_DIR/counters-$device.txt" ' erases=1 packets=989 '
done
stop_device second
finish
