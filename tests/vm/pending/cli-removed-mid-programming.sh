# PENDING (branch cli): needs VM_FWUPGRADE.
# The device pulls its cable after packet 300: fwupgrade reports the transfer failure within its
# bounded wait, exits with its transfer-failure code (4) and never says CRC Matched.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
ctl gadget remove-after program#300 > /dev/null || abort "the device refused the removal point"
"$VM_FWUPGRADE" flash "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $? at_ms $(ctl gadget now | sed 's/.*ms=//')" >> "$VM_DIR/flash.txt"
show "$VM_DIR/flash.txt"
device_evidence gadget
removed=$(field removed-at-ms "$VM_DIR/counters.txt")
ended=$(sed -n 's/^status .* at_ms //p' "$VM_DIR/flash.txt")
expect "flash exits 4 (device failure)" grep -q '^status 4 ' "$VM_DIR/flash.txt"
expect_no_line "flash never says CRC Matched" "$VM_DIR/flash.txt" 'CRC Matched'
expect "it ended within the 3 s answer bound of the removal (plus its own exit)" within "$removed" "$ended" 0 4000
expect "the 300 packets are in the device's memory" memory_holds_image 0 17400
# PENDING: the failure text names the packet and the device error (src/cli/flash_report.cpp).
finish
