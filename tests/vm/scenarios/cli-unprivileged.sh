# As an unprivileged user, with the hidraw node root-only (as devtmpfs makes it when no udev rule
# runs): fwupgrade says the device was found but could not be opened, points to the udev rule,
# and exits 4. udevadm test (udevadm from the harness, VM_UDEVADM) on the gadget's hidraw node
# shows that the project's rule applies to it.
. "$VM_SRC/guest/lib.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
rule=$VM_SRC/../../packaging/udev/70-fwupgrade.rules
node=$(use_only_device gadget) || abort "the gadget did not come up"
chmod 600 "$node" && chown root:root "$node" || abort "cannot make $node root-only"
note "info as user nobody, $node root-only"
/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups "$VM_FWUPGRADE" info > "$VM_DIR/info.txt" 2>&1
echo "status $?" >> "$VM_DIR/info.txt"
show "$VM_DIR/info.txt"
expect_line "it says the device was found but could not be opened" "$VM_DIR/info.txt" \
  "the device at '$node' was found but could not be opened"
expect_line "it says why: permission denied" "$VM_DIR/info.txt" 'permission denied'
expect_line "it points to the udev rule" "$VM_DIR/info.txt" '70-fwupgrade\.rules'
expect "it exits 4 (device failure)" grep -qx 'status 4' "$VM_DIR/info.txt"
ctl gadget counters > "$VM_DIR/counters.txt"
expect_line "nothing reached the device" "$VM_DIR/counters.txt" ' requests=0 '
if [ -x "$VM_UDEVADM" ]; then
  # Without the rule the node gets no uaccess tag; with it (in /run/udev/rules.d, which udev
  # reads and which is the guest's own) it does, so the rule is what gives the seat's user access.
  sysfs=/sys/class/hidraw/${node#/dev/}
  "$VM_UDEVADM" test "$sysfs" > "$VM_DIR/udevadm-without.txt" 2>&1
  mkdir -p /run/udev/rules.d && cp "$rule" /run/udev/rules.d/
  "$VM_UDEVADM" test "$sysfs" > "$VM_DIR/udevadm.txt" 2>&1
  show "$VM_DIR/udevadm.txt"
  expect_no_line "udevadm test: without the project's rule the gadget's hidraw node gets no uaccess tag" \
    "$VM_DIR/udevadm-without.txt" '^TAGS=.*:uaccess:'
  expect_line "udevadm test: the project's rule is read" "$VM_DIR/udevadm.txt" 'rules file: /run/udev/rules.d/70-fwupgrade.rules$'
  expect_line "udevadm test: with it the gadget's hidraw node is tagged uaccess" "$VM_DIR/udevadm.txt" '^TAGS=.*:uaccess:'
else
  note "no udevadm (the harness could not fetch the udev package): the rule check is skipped"
fi
finish
