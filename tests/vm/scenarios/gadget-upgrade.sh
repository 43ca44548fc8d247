# A whole upgrade through hidapi, hidraw, usbhid and a USB gadget on dummy_hcd: a real USB
# device, so hidapi reads its bcdDevice 0100 and usbhid strips the report-ID byte on the way.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
full_upgrade gadget 0100
finish
