# needs: wine
# timeout: 240
# PENDING (branch win): see win-common.sh.
# The device pulls its cable after packet 300: the program shows box E4 (the programming step's
# failure box), exits 0, and never a success text. The driver's "packet_fails" script expects
# that box; PENDING: check that its progress and status steps hold for a removal too.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/pending/win-common.sh"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
ctl gadget remove-after program#300 > /dev/null || abort "the device refused the removal point"
win_dialog packet_fails.txt
device_evidence gadget
expect "every step of the driver's script passed (box E4, exit 0)" grep -qx 0 "$VM_DIR/driver-status"
expect_no_line "no success text" "$VM_DIR/driver/trace.txt" 'Success|CRC Matches'
expect "the 300 packets are in the device's memory" memory_holds_image 0 17400
finish
