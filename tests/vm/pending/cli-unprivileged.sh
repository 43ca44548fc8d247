# PENDING (branch cli): needs VM_FWUPGRADE and the project's udev rule (packaging/udev).
# As an unprivileged user, with the hidraw node root-only (devtmpfs makes it 0600 when no udev
# rule runs): fwupgrade says the device was found but could not be opened, points to the udev
# rule, and exits 4. Where udevadm is present, udevadm test on the gadget's hidraw node shows the
# rule applies to it.
. "$VM_SRC/guest/lib.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
node=$(use_only_device gadget) || abort "the gadget did not come up"
chmod 600 "$node" && chown root:root "$node"
setpriv --reuid=65534 --regid=65534 --clear-groups "$VM_FWUPGRADE" info > "$VM_DIR/info.txt" 2>&1
echo "status $?" >> "$VM_DIR/info.txt"
show "$VM_DIR/info.txt"
expect_line "it says the device was found but could not be opened" "$VM_DIR/info.txt" "found but could not be opened"
expect_line "it says why: permission denied" "$VM_DIR/info.txt" 'permission denied'
# PENDING: the advice text names the rule file (src/cli/connection.cpp).
expect_line "it points to the udev rule" "$VM_DIR/info.txt" 'udev'
expect "it exits 4 (device failure)" grep -qx 'status 4' "$VM_DIR/info.txt"
if command -v udevadm > /dev/null; then
  # PENDING: VM_UDEV_RULE, the rule file's path in the source tree.
  mkdir -p /etc/udev/rules.d && cp "$VM_UDEV_RULE" /etc/udev/rules.d/
  udevadm test "/sys/class/hidraw/${node#/dev/}" > "$VM_DIR/udevadm.txt" 2>&1
  show "$VM_DIR/udevadm.txt"
  expect_line "udevadm test: the project's rule applies to the gadget's hidraw node" "$VM_DIR/udevadm.txt" '70-fwupgrade.rules'
else
  note "no udevadm on this host: the rule check is skipped (the messages above still count)"
fi
finish
