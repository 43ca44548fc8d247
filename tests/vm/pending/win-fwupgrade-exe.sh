# needs: wine
# timeout: 200
# PENDING (branches cli and win): needs VM_FWUPGRADE_EXE, fwupgrade built for Windows.
# fwupgrade.exe under Wine: list shows the device with Wine's hardware ID (no REV_ part; the
# gadget's carries MI_00) and its path; flash completes with the match verdict.
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
. "$VM_SRC/pending/win-common.sh"
[ -f "$VM_FWUPGRADE_EXE" ] || abort "no fwupgrade.exe (VM_FWUPGRADE_EXE)"
use_only_device gadget > /dev/null || abort "the gadget did not come up"
wine_env || abort "no Wine prefix"
cp "$FILE" "$VM_DIR/good.hex"
wine "$VM_FWUPGRADE_EXE" list > "$VM_DIR/list.crlf" 2>&1
echo "status $?" >> "$VM_DIR/list.crlf"
wine "$VM_FWUPGRADE_EXE" flash "$(winpath "$VM_DIR/good.hex")" > "$VM_DIR/flash.crlf" 2>&1
echo "status $?" >> "$VM_DIR/flash.crlf"
wine_stop
tr -d '\r' < "$VM_DIR/list.crlf" > "$VM_DIR/list.txt"
tr -d '\r' < "$VM_DIR/flash.crlf" > "$VM_DIR/flash.txt"
show "$VM_DIR/list.txt" "$VM_DIR/flash.txt"
device_evidence gadget
expect_line "list shows Wine's hardware ID and path for the gadget" "$VM_DIR/list.txt" \
  'HID\\VID_7E51&PID_0A3D&MI_00\\[^ ]*SIMG0001.* \\\\\?\\hid#vid_7e51&pid_0a3d&mi_00#'
expect "list exits 0" grep -qx 'status 0' "$VM_DIR/list.txt"
expect_line "flash ends with the match verdict" "$VM_DIR/flash.txt" 'CRC Matched'
expect "flash exits 0" grep -qx 'status 0' "$VM_DIR/flash.txt"
expect "the device's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
finish
