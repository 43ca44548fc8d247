# A whole upgrade through hidapi, hidraw and a uhid device: the match verdict, the file in the
# device's memory, and the same wire log as the native simulator's. uhid devices have no USB
# parent, so hidapi reads release 0000.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
full_upgrade uhid 0000
finish
