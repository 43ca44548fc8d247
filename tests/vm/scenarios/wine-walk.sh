# needs: wine
# timeout: 150
# Both devices present at once under Wine 8: SetupAPI's walk lists the uhid device and the USB
# gadget, the project's MatchHardwareId matches the first hardware ID of each as Wine builds it
# (no REV_ part; the gadget's carries MI_00), the reports are 65 bytes with the report ID, a
# 64-byte WriteFile fails with error 87, and a 65-byte exchange reaches the simulator and back.
. "$VM_SRC/guest/lib.sh"
note "plugging in both devices"
ctl uhid reset-state > /dev/null && ctl gadget reset-state > /dev/null || abort "the devices did not reset"
uhid_node=$(wait_node SIMU0001) && gadget_node=$(wait_node SIMG0001) || abort "the devices did not come up"
wine_env || abort "no Wine prefix"
note "walking under Wine"
wine "$VM_BIN/hid-walk.exe" 2 > "$VM_DIR/walk.crlf" 2> "$VM_DIR/wine-stderr.txt"
note "wine ended with status $?"
wine_stop
tr -d '\r' < "$VM_DIR/walk.crlf" > "$VM_DIR/walk.txt"
show "$VM_DIR/walk.txt"
for device in uhid gadget; do
  ctl $device dump-log "$VM_DIR/$device.log" > /dev/null
  ctl $device counters > "$VM_DIR/$device-counters.txt"
  show "$VM_DIR/$device.log" "$VM_DIR/$device-counters.txt"
done

walk=$VM_DIR/walk.txt
expect_line "the walk lists the uhid device; its first hardware ID matches" "$walk" \
  '^walk: .* id="HID\\VID_7E51&PID_0A3D\\[^"]*SIMU0001[^"]*" path="[^"]+" match=1 '
expect_line "the walk lists the gadget; its first hardware ID (with MI_00) matches" "$walk" \
  '^walk: .* id="HID\\VID_7E51&PID_0A3D&MI_00\\[^"]*" path="[^"]+" match=1 '
expect_no_line "no hardware ID carries a REV_ part under Wine" "$walk" 'REV_'
expect "exactly the two devices match" grep -qx 'matches: 2' "$walk"
expect "both open for writing and for reading" sh -c '[ "$(grep -c "^open: .* write_error=0 read_error=0$" "$1")" = 2 ]' sh "$walk"
expect_line "the uhid device reports version 0000 (no USB device behind it)" "$walk" \
  '^attributes: .* vendor=7E51 product=0A3D version=0000 input=65 output=65$'
expect_line "the gadget reports its bcdDevice 0100" "$walk" \
  '^attributes: .* vendor=7E51 product=0A3D version=0100 input=65 output=65$'
expect "a 64-byte WriteFile fails with error 87 on both" \
  sh -c '[ "$(grep -c "^write64: .* result=FALSE error=87$" "$1")" = 2 ]' sh "$walk"
expect "a 65-byte exchange brings the version answer back on both" \
  sh -c '[ "$(grep -c "^exchange: .* write=TRUE write_error=0 read=TRUE bytes=65 id=00 code=AD text=\"2.4.1\"$" "$1")" = 2 ]' sh "$walk"
for device in uhid gadget; do
  expect "$device: the device got exactly the one 65-byte request and answered it" \
    sh -c '[ "$(grep -c "^> 00 AD 00 " "$1")" = 1 ] && [ "$(grep -c "^< 00 AD " "$1")" = 1 ] && [ "$(wc -l < "$1")" = 2 ]' \
    sh "$VM_DIR/$device.log"
  expect_line "$device: every report reached it as 64 bytes" "$VM_DIR/$device-counters.txt" ' requests=1 .* odd=0 '
done
finish
