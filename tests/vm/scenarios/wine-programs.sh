# needs: wine
# timeout: 330
# The Windows side through Wine's HID stack and the USB gadget, in one Wine session (a cold Wine
# start costs half a minute under emulation; winebus watches /dev, so devices may come and go):
# - SetupAPI's walk with both devices present: the uhid device and the gadget, each matched by
#   the project's MatchHardwareId on the first hardware ID as Wine builds it (no REV_ part; the
#   gadget's carries MI_00); 65-byte reports with the report ID; a 64-byte WriteFile fails with
#   error 87; a 65-byte exchange reaches the simulator and back;
# - with the uhid device removed: fwupgrade.exe's list and flash;
# - the production dialog program, unmodified, driven as a user would by the driver of the
#   Windows tests (as a plain child, not a debuggee: under emulation each debug event costs
#   tens of milliseconds): a whole upgrade whose ready answer comes late; a checksum request
#   never answered; the device removed mid-programming; then, with no device left, the warning.
# Each run checks what the user sees, the device's memory and its wire log.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/guest/win-common.sh"
note "plugging in both devices"
ctl uhid reset-state > /dev/null && ctl gadget reset-state > /dev/null || abort "the devices did not reset"
uhid_node=$(wait_node SIMU0001) && gadget_node=$(wait_node SIMG0001) || abort "the devices did not come up"
win_session_start
note "walking under Wine"
wine "$VM_BIN/hid-walk.exe" 2 > "$VM_DIR/walk.crlf" 2> "$VM_DIR/wine-stderr.txt"
note "wine ended with status $?"
tr -d '\r' < "$VM_DIR/walk.crlf" > "$VM_DIR/walk.txt"
show "$VM_DIR/walk.txt"
for device in uhid gadget; do
  ctl $device dump-log "$VM_DIR/walk-$device.log" > /dev/null
  ctl $device counters > "$VM_DIR/walk-$device-counters.txt"
  show "$VM_DIR/walk-$device.log" "$VM_DIR/walk-$device-counters.txt"
done

walk=$VM_DIR/walk.txt
expect_line "walk: the walk lists the uhid device; its first hardware ID matches" "$walk" \
  '^walk: .* id="HID\\VID_7E51&PID_0A3D\\[^"]*SIMU0001[^"]*" path="[^"]+" match=1 '
expect_line "walk: the walk lists the gadget; its first hardware ID (with MI_00) matches" "$walk" \
  '^walk: .* id="HID\\VID_7E51&PID_0A3D&MI_00\\[^"]*" path="[^"]+" match=1 '
expect_no_line "walk: no hardware ID carries a REV_ part under Wine" "$walk" 'REV_'
expect "walk: exactly the two devices match" grep -qx 'matches: 2' "$walk"
expect "walk: both open for writing and for reading" sh -c '[ "$(grep -c "^open: .* write_error=0 read_error=0$" "$1")" = 2 ]' sh "$walk"
expect_line "walk: the uhid device reports version 0000 (no USB device behind it)" "$walk" \
  '^attributes: .* vendor=7E51 product=0A3D version=0000 input=65 output=65$'
expect_line "walk: the gadget reports its bcdDevice 0100" "$walk" \
  '^attributes: .* vendor=7E51 product=0A3D version=0100 input=65 output=65$'
expect "walk: a 64-byte WriteFile fails with error 87 on both" \
  sh -c '[ "$(grep -c "^write64: .* result=FALSE error=87$" "$1")" = 2 ]' sh "$walk"
expect "walk: a 65-byte exchange brings the version answer back on both" \
  sh -c '[ "$(grep -c "^exchange: .* write=TRUE write_error=0 read=TRUE bytes=65 id=00 code=AD text=\"2.4.1\"$" "$1")" = 2 ]' sh "$walk"
for device in uhid gadget; do
  expect "walk: $device: the device got exactly the one 65-byte request and answered it" \
    sh -c '[ "$(grep -c "^> 00 AD 00 " "$1")" = 1 ] && [ "$(grep -c "^< 00 AD " "$1")" = 1 ] && [ "$(wc -l < "$1")" = 2 ]' \
    sh "$VM_DIR/walk-$device.log"
  expect_line "walk: $device: every report reached it as 64 bytes" "$VM_DIR/walk-$device-counters.txt" ' requests=1 .* odd=0 '
done

# The wire log that every whole upgrade below must reproduce.
"$VM_BIN/vm-upgrade" upgrade "$FILE" --native --log "$VM_DIR/native.log" > /dev/null 2>&1

# The uhid device goes: Wine sees it go, and the gadget is the only match from here on (the dialog
# program takes the first one). winebus hears of it through inotify; a moment lets it pass the
# removal on.
ctl uhid detach > /dev/null && wait_gone "$(serial_of uhid)" || abort "the uhid device did not go away"
sleep 2

# fwupgrade.exe: list shows Wine's hardware ID (no REV_ part; the gadget's carries MI_00) and
# path; flash ends with the match verdict.
ctl gadget reset-state > /dev/null || abort "the gadget did not reset"
note "fwupgrade.exe list and flash"
wine "$VM_FWUPGRADE_EXE" list > "$VM_DIR/exe-list.crlf" 2>&1
echo "status $?" >> "$VM_DIR/exe-list.crlf"
wine "$VM_FWUPGRADE_EXE" flash "$(winpath "$VM_DIR/data/good.hex")" --wire-log "$(winpath "$VM_DIR/exe-wire.log")" \
  > "$VM_DIR/exe-flash.crlf" 2>&1
echo "status $?" >> "$VM_DIR/exe-flash.crlf"
tr -d '\r' < "$VM_DIR/exe-list.crlf" > "$VM_DIR/exe-list.txt"
tr -d '\r' < "$VM_DIR/exe-flash.crlf" > "$VM_DIR/exe-flash.txt"
show "$VM_DIR/exe-list.txt" "$VM_DIR/exe-flash.txt"
device_evidence gadget
# The location column holds what Wine's SetupAPI gives for the USB parent, "-" for none.
expect_line "fwupgrade.exe: list marks the gadget, its own hardware ID, a location and path on one row" \
  "$VM_DIR/exe-list.txt" '^\* HID\\VID_7E51&PID_0A3D&MI_00\\[^ ]*SIMG0001[^ ]* +[^ ]+ +\\\\\?\\hid#vid_7e51&pid_0a3d&mi_00#'
expect_no_line "fwupgrade.exe: no hardware ID carries a REV_ part under Wine" "$VM_DIR/exe-list.txt" 'REV_'
expect_no_line "fwupgrade.exe: the removed uhid device is not listed" "$VM_DIR/exe-list.txt" 'SIMU0001|simu0001'
expect "fwupgrade.exe: list exits 0" grep -qx 'status 0' "$VM_DIR/exe-list.txt"
expect_line "fwupgrade.exe: flash shows the device's versions" "$VM_DIR/exe-flash.txt" "$VERSION_TEXT"
expect_line "fwupgrade.exe: flash ends with the match verdict" "$VM_DIR/exe-flash.txt" 'Device Status: CRC Matched$'
expect "fwupgrade.exe: flash exits 0" grep -qx 'status 0' "$VM_DIR/exe-flash.txt"
expect "fwupgrade.exe: the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
expect "fwupgrade.exe: the device's wire log equals the native simulator's" cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
expect "fwupgrade.exe: its own wire log, without its times, equals the device's" \
  sh -c 'cut -d" " -f2- "$1" | cmp -s - "$2"' sh "$VM_DIR/exe-wire.log" "$VM_DIR/device.log"

# A complete upgrade: version line, status texts, progress 100, box V1, exit 0. The ready answer
# comes after the program's bound; Wine 8 does not support HidD_FlushQueue (error 50), so the
# program drains by reading what is queued before each request: the version queries still get
# their own answers, and the device sees the same requests as without the delay.
ctl gadget reset-state > /dev/null && ctl gadget fault late-answer@ready > /dev/null && ctl gadget late-delay 4000 > /dev/null ||
  abort "the gadget refused the late answer"
win_dialog upgrade match.txt
device_evidence gadget
show "$VM_DIR/counters.txt"
expect_line "upgrade: the device sent the ready answer late" "$VM_DIR/counters.txt" ' late=1 '
expect "upgrade: every step of the driver's script passed (version line, texts, progress 100, box V1, exit 0)" \
  driver_passed upgrade
expect "upgrade: the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
expect "upgrade: the device's wire log equals the native simulator's byte for byte" \
  cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
expect_line "upgrade: every output report reached the device as 64 bytes" "$VM_DIR/counters.txt" ' odd=0 '

# The checksum request is never answered: box E7 after the bounded wait, nothing sent after it.
# A region of ten packets is enough for that and spares a whole upgrade's time.
ctl gadget region 4096 580 > /dev/null && ctl gadget fault no-answer@crc > /dev/null || abort "the gadget refused the fault"
win_dialog no-crc-answer crc_read_fails.txt
device_evidence gadget
show "$VM_DIR/counters.txt"
expect "no checksum answer: every step of the driver's script passed (box E7, exit 0)" driver_passed no-crc-answer
expect_line "no checksum answer: the device got the request and nothing after it" "$VM_DIR/counters.txt" ' crc=1 resets=0 '
expect "no checksum answer: the checksum request is the last report on the wire" \
  sh -c 'tail -n 1 "$1" | grep -q "^> 00 09 "' sh "$VM_DIR/device.log"
expect "no checksum answer: the device's memory equals the file over its ten packets" memory_holds_image 0 580

# The cable pulled after packet 300: the programming step's failure box (E4), exit 0, no success.
ctl gadget region 4096 57344 > /dev/null && ctl gadget remove-after program#300 > /dev/null || abort "the gadget refused the removal point"
win_dialog removed packet_fails.txt
device_evidence gadget
show "$VM_DIR/counters.txt"
expect "removed: every step of the driver's script passed (box E4, progress 60, exit 0)" driver_passed removed
expect_line "removed: the device went away after exactly 300 packets" "$VM_DIR/counters.txt" ' packets=300 '
expect_line "removed: nothing was sent after the failed write (no end, no checksum, no reset)" "$VM_DIR/counters.txt" \
  ' ends=0 crc=0 resets=0 '
expect "removed: the 300 packets are in the device's memory" memory_holds_image 0 17400
expect "removed: the rest of the region is erased" memory_erased 17400 $((REGION_SIZE - 17400))

# With the gadget gone as well, no device matches: the warning box, exit 0, no dialog.
wait_gone "$(serial_of gadget)" || abort "the gadget did not go away"
sleep 2
win_dialog no-device no_device.txt
expect "no device: every step of the driver's script passed (warning box, exit 0, no dialog)" driver_passed no-device

win_session_stop
finish
