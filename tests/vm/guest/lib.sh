# lib.sh: what the scenario scripts share, sourced in the guest by busybox sh. Busybox runs its
# own grep, sed, cmp, ... without loading a program: under emulation, starting a program that
# loads shared libraries costs up to a second, so the scripts use the busybox forms of the tools.
# Settings from the environment: VM_BIN (device-server, device-ctl, vm-upgrade), VM_SRC
# (tests/vm), VM_FILES (firmware files), VM_OUT (results), VM_DIR (this scenario's folder).
case "$(readlink /proc/$$/exe)" in
  */busybox) ;;
  *) echo "RESULT FAIL lib.sh needs busybox sh" && exit 1 ;;
esac

RUN=/run/fwup-vm
# The CPU that the scenarios and the device servers share (see device-server --realtime).
VM_CPU=0

uptime_s() { cut -d' ' -f1 /proc/uptime; }

# note TEXT: a line of the scenario's log with the guest's uptime.
note() { echo "[$(uptime_s) s] $*"; }

# ctl NAME COMMAND...: one control command to a device server; prints the reply.
ctl() {
  name=$1
  shift
  "$VM_BIN/device-ctl" "$RUN/$name.sock" "$@"
}

# hidraw_of SERIAL: the hidraw node of the HID device with that serial number, if present.
hidraw_of() {
  for class in /sys/class/hidraw/hidraw*; do
    [ -e "$class/device/uevent" ] || continue
    if grep -qx "HID_UNIQ=$1" "$class/device/uevent"; then
      echo "/dev/${class##*/}"
      return 0
    fi
  done
  return 1
}

# wait_node SERIAL: waits (10 s at most) until the device's hidraw node exists; prints it.
wait_node() {
  i=0
  while [ $i -lt 100 ]; do
    node=$(hidraw_of "$1") && [ -c "$node" ] && { echo "$node"; return 0; }
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# wait_gone SERIAL: waits (10 s at most) until no hidraw node has that serial.
wait_gone() {
  i=0
  while [ $i -lt 100 ]; do
    hidraw_of "$1" > /dev/null || return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# start_device NAME TRANSPORT SERIAL [--absent]: a device server in the background, its log in
# VM_OUT/devices/NAME.log; waits for its control socket and, unless absent, its hidraw node.
start_device() {
  mkdir -p "$RUN" "$VM_OUT/devices"
  echo "$3" > "$RUN/$1.serial"
  "$VM_BIN/device-server" --transport "$2" --serial "$3" --control "$RUN/$1.sock" --realtime "$VM_CPU" $4 \
    >> "$VM_OUT/devices/$1.log" 2>&1 &
  echo $! > "$RUN/$1.pid"
  i=0
  until ctl "$1" status > /dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 100 ] || return 1
    sleep 0.1
  done
  [ "$4" = --absent ] || wait_node "$3" > /dev/null
}

stop_device() {
  [ -f "$RUN/$1.pid" ] || return 0
  ctl "$1" quit > /dev/null 2>&1
  pid=$(cat "$RUN/$1.pid")
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  kill "$pid" 2>/dev/null
  rm -f "$RUN/$1.pid"
}

# kill_session SID: ends every process of that session.
kill_session() {
  for process in /proc/[0-9]*; do
    [ "$(sed 's/.*) //' "$process/stat" 2> /dev/null | cut -d' ' -f4)" = "$1" ] && kill -9 "${process#/proc/}" 2> /dev/null
  done
  return 0
}

# scenario_timeout NAME: the scenario's time bound in seconds, from its "# timeout: N" line.
scenario_timeout() {
  bound=$(sed -n 's/^# timeout: \([0-9]*\)$/\1/p' "$VM_SRC/scenarios/$1.sh")
  echo "${bound:-60}"
}

serial_of() { cat "$RUN/$1.serial"; }

# use_device NAME: a fresh state for that device, plugged in; prints its hidraw node. The other
# standing device stays as it is (the scenarios name their device's path).
use_device() {
  ctl "$1" reset-state > /dev/null || return 1
  wait_node "$(serial_of "$1")"
}

# use_only_device NAME: as use_device, with the other standing device unplugged, so that NAME is
# the only match for a program that takes the first one (the dialog program, say).
use_only_device() {
  for other in uhid gadget; do
    [ "$other" = "$1" ] && continue
    [ -f "$RUN/$other.pid" ] || continue
    ctl "$other" detach > /dev/null && wait_gone "$(serial_of "$other")" || return 1
  done
  use_device "$1"
}

# wine_env: the environment for Wine in the guest. The prefix was made on the host, in the cache;
# init lays an overlay over the cache's read-only export, so Wine uses the prefix where it lies
# and what it writes stays in the guest's memory. Without the overlay (init's fallback) it gets a
# symlink farm with its own copies of the files Wine writes. No udevd runs here: the prefix has
# winebus watch /dev itself, so devices plugged in or removed while Wine runs are seen.
wine_env() {
  [ -n "$VM_WINEPREFIX" ] || return 1
  export HOME=/root WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$VM_ROOT" = overlay ]; then
    export WINEPREFIX=$VM_WINEPREFIX
    return 0
  fi
  export WINEPREFIX=/root/wineprefix
  if [ ! -d "$WINEPREFIX" ]; then
    cp -as "$VM_WINEPREFIX" "$WINEPREFIX" || return 1
    for file in system.reg user.reg userdef.reg .update-timestamp; do
      rm -f "$WINEPREFIX/$file"
      cp -p "$VM_WINEPREFIX/$file" "$WINEPREFIX/$file" || return 1
    done
    rm -f "$WINEPREFIX/dosdevices/c:"
    ln -s ../drive_c "$WINEPREFIX/dosdevices/c:"
  fi
}

# wine_stop: ends the Wine session so that the next one walks the devices afresh.
wine_stop() { wineserver -k 2> /dev/null; }

# xvfb_start: a virtual X display (DISPLAY=:99) for the Windows dialog; xvfb_stop ends it.
xvfb_start() {
  Xvfb :99 -nolisten tcp -screen 0 1024x768x24 > "$VM_DIR/xvfb.log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=:99
  i=0
  until [ -S /tmp/.X11-unix/X99 ] || [ $i -ge 200 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  [ -S /tmp/.X11-unix/X99 ]
}
xvfb_stop() { [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2> /dev/null; }

# A scenario is a list of checks; each prints "ok: WHAT" or "FAIL: WHAT", and finish prints the
# one RESULT line the runner reads. A scenario that checked nothing fails.
checks=0
failures=0
first_failure=
expect() {
  what=$1
  shift
  checks=$((checks + 1))
  if "$@" > /dev/null 2>&1; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    failures=$((failures + 1))
    [ -n "$first_failure" ] || first_failure=$what
  fi
}

# expect_line WHAT FILE REGEX: FILE has a line matching the extended REGEX.
expect_line() { expect "$1" grep -Eq -- "$3" "$2"; }
expect_no_line() { expect "$1" sh -c '! grep -Eq -- "$1" "$2"' sh "$3" "$2"; }

# abort WHY: the scenario cannot go on.
abort() {
  echo "RESULT FAIL $*"
  exit 1
}

# The kernel's messages since the scenario began (lib.sh marks the start in the kernel log).
KERNEL_MARK="fwup-vm: scenario begins in ${VM_DIR:-?} at $(cut -d' ' -f1 /proc/uptime)"
echo "$KERNEL_MARK" > /dev/kmsg 2>/dev/null
kernel_log() { dmesg | sed -n "\|$KERNEL_MARK|,\$p"; }

# no_report_dropped: the kernel log since the scenario's mark (which must still be there: a flood
# of messages can push it out) has no uhid drop.
no_report_dropped() {
  grep -qF "$KERNEL_MARK" "$VM_DIR/kernel.txt" && ! grep -q 'Output queue is full' "$VM_DIR/kernel.txt"
}

finish() {
  # uhid drops what its device does not take in time, and only the kernel log says so.
  kernel_log > "$VM_DIR/kernel.txt"
  expect "the kernel dropped no output report on the way to the device" no_report_dropped
  # That check alone does not make a scenario.
  if [ $checks -eq 1 ]; then
    echo "RESULT FAIL no check ran"
    exit 1
  elif [ $failures -eq 0 ]; then
    echo "RESULT PASS"
    exit 0
  fi
  echo "RESULT FAIL $failures of $checks checks, first: $first_failure"
  exit 1
}

# field NAME FILE: the value of NAME=... on the last line of FILE that has it.
field() { grep -Eo "(^| )$1=[^ ]*" "$2" | tail -n 1 | sed "s/^ *$1=//"; }

# show FILE...: puts a file into the scenario's log as evidence.
show() {
  for file in "$@"; do
    echo "--- $file"
    cat "$file"
  done
}
