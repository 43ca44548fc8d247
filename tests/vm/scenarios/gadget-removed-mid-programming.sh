# The USB gadget unbinds from dummy_hcd after packet 300 (the cable pulled): usbhid sees the
# disconnect, the next write fails, and the upgrade stops with the step's failure box within
# the bounded wait, never claiming success.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
removed_mid_programming gadget
finish
