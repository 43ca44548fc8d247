#!/bin/busybox sh
# run-scenarios.sh ENV_FILE: runs inside the guest (busybox sh), chrooted into the root init made
# (the host's system with the project's trees mounted at their host paths). Starts the
# standing devices, runs each scenario of VM_SCENARIOS with a time bound, and leaves for each
# one, in VM_OUT/<scenario>/, its log and a result file with its RESULT line.
set -a
. "$1"
set +a
. "$VM_SRC/guest/lib.sh"
echo "vm-guest: runner started at $(uptime_s) s, kernel $(uname -r)"

# The standing devices: one uhid device and one USB gadget. Each scenario resets the one it
# drives (use_device), or unplugs the other as well (use_only_device).
mkdir -p "$VM_OUT/devices"
start_device uhid uhid SIMU0001 || echo "vm-guest: the uhid device did not start"
start_device gadget gadget SIMG0001 || echo "vm-guest: the gadget did not start"
echo "vm-guest: devices up at $(uptime_s) s"

for scenario in $VM_SCENARIOS; do
  dir=$VM_OUT/$scenario
  mkdir -p "$dir"
  started=$(uptime_s)
  # In a session of its own, so that whatever it leaves running (wineserver, a device server)
  # ends with it. On the device servers' CPU (see device-server --realtime), except under Wine,
  # whose several processes need both CPUs; Wine scenarios send their bulk traffic to the gadget,
  # whose USB path holds the host off instead of dropping reports.
  cpus=$VM_CPU
  grep -q '^# needs: wine' "$VM_SRC/scenarios/$scenario.sh" && cpus=0-1
  VM_DIR=$dir setsid taskset -c "$cpus" timeout -k 5 "$(scenario_timeout "$scenario")" \
    /bin/busybox sh "$VM_SRC/scenarios/$scenario.sh" > "$dir/log" 2>&1 &
  session=$!
  wait $session
  status=$?
  kill_session $session
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
