# flash --watch on a bench of one USB port: the gadget plugged in and flashed, taken out, plugged
# in again and flashed again; the board log has a line for each, with the same location. Between
# the two, the board that matched is never flashed again while it stays.
# timeout: 120
. "$VM_SRC/guest/lib.sh"
. "$VM_SRC/guest/upgrade-checks.sh"
[ -x "$VM_FWUPGRADE" ] || abort "no fwupgrade (VM_FWUPGRADE)"
serial=$(serial_of gadget)
use_only_device gadget > /dev/null || abort "the gadget did not come up"
note "flash --watch --count 2"
"$VM_FWUPGRADE" flash --watch --count 2 --log "$VM_DIR/boards.log" "$FILE" > "$VM_DIR/watch.txt" 2>&1 &
watch=$!
i=0
until [ -s "$VM_DIR/boards.log" ] || [ $i -ge 600 ]; do sleep 0.1; i=$((i + 1)); done
note "first board logged"
sleep 1  # the matched board stays plugged in: it must not be flashed again
ctl gadget counters > "$VM_DIR/first-counters.txt"
ctl gadget detach > /dev/null && wait_gone "$serial" || abort "the gadget did not go away"
sleep 0.5
ctl gadget reset-state > /dev/null || abort "the gadget did not reset"
ctl gadget attach > /dev/null && wait_node "$serial" > /dev/null || abort "the gadget did not come back"
note "plugged in again"
i=0
while kill -0 $watch 2> /dev/null && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
kill $watch 2> /dev/null
wait $watch
echo "status $?" >> "$VM_DIR/watch.txt"
note "watch ended"
show "$VM_DIR/watch.txt" "$VM_DIR/boards.log" "$VM_DIR/first-counters.txt"
device_evidence gadget

expect "the first board was flashed once, and not again while it stayed" \
  grep -q ' erases=1 .* resets=1 ' "$VM_DIR/first-counters.txt"
expect "watch exits 0 after two boards" grep -qx 'status 0' "$VM_DIR/watch.txt"
expect "two boards ended with CRC Matched" grep -qx '2 of 2 boards ended with CRC Matched.' "$VM_DIR/watch.txt"
expect "the log has a line for each board" sh -c '[ "$(wc -l < "$1")" = 2 ]' sh "$VM_DIR/boards.log"
expect "both lines say the match" sh -c '[ "$(grep -c "\"verdict\":\"match\"" "$1")" = 2 ]' sh "$VM_DIR/boards.log"
location=$(sed -n 's/.*"location":"\([^"]*\)".*/\1/p' "$VM_DIR/boards.log" | sort -u)
expect "both boards sat at one USB port ($location)" sh -c 'echo "$1" | grep -Eqx "[0-9]+-[0-9.]+"' sh "$location"
expect "the second board's memory equals the file over the region" memory_holds_image 0 "$REGION_SIZE"
finish
