#!/bin/busybox sh
# run-scenarios.sh ENV_FILE: runs inside the guest (busybox sh), chrooted into the host's root. Starts the
# standing devices, runs each scenario of VM_SCENARIOS with a time bound, and leaves for each
# one, in VM_OUT/<scenario>/, its log and a result file with its RESULT line.
set -a
. "$1"
set +a
. "$VM_SRC/guest/lib.sh"
echo "vm-guest: runner started at $(uptime_s) s, kernel $(uname -r)"

# The standing devices: one uhid device and one USB gadget. Each scenario picks the one it
# drives (use_device) and the other is unplugged meanwhile.
mkdir -p "$VM_OUT/devices"
start_device uhid uhid SIMU0001 || echo "vm-guest: the uhid device did not start"
start_device gadget gadget SIMG0001 || echo "vm-guest: the gadget did not start"
echo "vm-guest: devices up at $(uptime_s) s"

for scenario in $VM_SCENARIOS; do
  dir=$VM_OUT/$scenario
  mkdir -p "$dir"
  started=$(uptime_s)
  VM_DIR=$dir taskset -c "$VM_CPU" timeout -k 5 "${VM_SCENARIO_TIMEOUT:-90}" /bin/busybox sh "$VM_SRC/scenarios/$scenario.sh" \
    > "$dir/log" 2>&1
  status=$?
  result=$(grep '^RESULT ' "$dir/log" | tail -n 1)
  if [ -z "$result" ]; then
    result="RESULT FAIL the scenario ended (status $status) without a result"
  elif [ "$status" -ne 0 ] && [ "$result" = "RESULT PASS" ]; then
    result="RESULT FAIL the scenario said PASS but ended with status $status"
  fi
  seconds=$(awk -v a="$started" -v b="$(uptime_s)" 'BEGIN { printf "%.1f", b - a }')
  echo "$result" > "$dir/result"
  echo "vm-guest: $scenario: $result ($seconds s)"
done

note "stopping the devices"
stop_device uhid
stop_device gadget
note "devices stopped"
dmesg > "$VM_OUT/dmesg.txt"
echo "finished at $(uptime_s) s" > "$VM_OUT/runner.done"
echo "vm-guest: runner finished at $(uptime_s) s"
