# flash --wait 30 starts while no device is present; the device appears 3 s later; the upgrade
# completes.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
use_only_device uhid > /dev/null || abort "the uhid device did not come up"
ctl uhid detach > /dev/null && wait_gone "$(serial_of uhid)" || abort "the device did not go away"
note "no device; starting flash --wait 30"
"$VM_FWUPGRADE" flash --wait 30 "$FILE" > "$VM_DIR/flash.txt" 2>&1 &
flash=$!
sleep 3
note "plugging the device in"
ctl uhid attach > /dev/null || abort "the device did not come back"
wait $flash
echo "status $?" >> "$VM_DIR/flash.txt"
note "flash ended"
show "$VM_DIR/flash.txt"
device_evidence uhid
show "$VM_DIR/counters.txt"
expect "flash was still waiting when the device came (it did not give up or flash early)" \
  grep -q ' erases=1 ' "$VM_DIR/counters.txt"
expect_line "flash ends with the match verdict" "$VM_DIR/flash.txt" 'Device Status: CRC Matched$'
expect "flash exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
finish
