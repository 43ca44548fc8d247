# needs: wine
# timeout: 200
# PENDING (branch win): see win-common.sh.
# The same program with no matching device present: the warning box, exit 0, the dialog never
# shown (the driver's "no_device" script).
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/pending/win-common.sh"
for device in uhid gadget; do
  ctl $device detach > /dev/null && wait_gone "$(serial_of $device)" || abort "$device did not go away"
done
win_dialog no_device.txt
expect "every step of the driver's script passed (warning box, exit 0)" grep -qx 0 "$VM_DIR/driver-status"
finish
