# needs: wine
# timeout: 240
# PENDING (branch win): see win-common.sh.
# The ready answer comes after the program's bound; under Wine 8 HidD_FlushQueue fails (error 50),
# so the program must drain the late answer by reading (overlapped reads with a zero wait) before
# the version queries: the version line is still right (the driver's "late_ready" script).
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/pending/win-common.sh"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
ctl gadget fault late-answer@ready > /dev/null && ctl gadget late-delay 4000 > /dev/null || abort "the device refused the fault"
win_dialog late_ready.txt
device_evidence gadget
expect_line "the device sent the ready answer late" "$VM_DIR/counters.txt" ' late=1 '
expect "every step of the driver's script passed (version line right, exit 0)" grep -qx 0 "$VM_DIR/driver-status"
finish
