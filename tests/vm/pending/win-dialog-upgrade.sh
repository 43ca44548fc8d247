# needs: wine
# timeout: 240
# PENDING (branch win): see win-common.sh.
# The production dialog program, unmodified, driven under Xvfb by the Windows tests' driver with
# its "match" script (version line from the device, status texts, progress 100, box V1, exit 0),
# over the gadget; the device's memory equals the file and its wire log the native simulator's.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/pending/win-common.sh"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
win_dialog match.txt
"$VM_BIN/vm-upgrade" upgrade "$FILE" --native --log "$VM_DIR/native.log" > /dev/null 2>&1
device_evidence gadget
expect "every step of the driver's script passed (texts, progress 100, box V1, exit 0)" grep -qx 0 "$VM_DIR/driver-status"
expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
expect "the device's wire log equals the native simulator's byte for byte" cmp -s "$VM_DIR/device.log" "$VM_DIR/native.log"
finish
