# The device pulls its cable after packet 300: fwupgrade reports the transfer failure within its
# bounded wait, exits with its transfer-failure code (4) and never says CRC Matched.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
ctl gadget remove-after program#300 > /dev/null || abort "the device refused the removal point"
note "flashing; the device goes after packet 300"
"$VM_FWUPGRADE" flash "$FILE" > "$VM_DIR/flash.txt" 2>&1
echo "status $? at_ms $(ctl gadget now | sed 's/.*ms=//')" >> "$VM_DIR/flash.txt"
note "flash ended"
show "$VM_DIR/flash.txt"
device_evidence gadget
show "$VM_DIR/counters.txt"
removed=$(field removed-at-ms "$VM_DIR/counters.txt")
ended=$(sed -n 's/^status .* at_ms //p' "$VM_DIR/flash.txt")
note "flash ended $((ended - removed)) ms after the removal"
expect "flash exits 4 (device failure)" grep -q '^status 4 ' "$VM_DIR/flash.txt"
expect_line "it says the programming step failed" "$VM_DIR/flash.txt" 'Program Write Failed'
expect_no_line "it never says CRC Matched" "$VM_DIR/flash.txt" 'CRC Matched|Success'
expect "it ended within the 3 s answer bound of the removal (plus its own exit)" within "$removed" "$ended" 0 4000
expect "the 300 packets are in the device's memory" memory_holds_image 0 17400
expect "the rest of the region is erased" memory_erased 17400 $((REGION_SIZE - 17400))
finish
