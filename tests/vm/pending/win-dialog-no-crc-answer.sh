# needs: wine
# timeout: 240
# PENDING (branch win): see win-common.sh.
# The device never answers the checksum request: the bounded wait ends in box E7 and nothing is
# sent after it. The driver's "crc_read_fails" script expects that box.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/pending/win-common.sh"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
ctl gadget fault no-answer@crc > /dev/null || abort "the device refused the fault"
win_dialog crc_read_fails.txt
device_evidence gadget
expect "every step of the driver's script passed (box E7, exit 0)" grep -qx 0 "$VM_DIR/driver-status"
expect_line "the device got the checksum request and nothing after it" "$VM_DIR/counters.txt" ' crc=1 resets=0 '
expect "the checksum request is the last report on the wire" sh -c 'tail -n 1 "$1" | grep -q "^> 00 09 "' sh "$VM_DIR/device.log"
finish
