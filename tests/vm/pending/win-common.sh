# win-common.sh: what the pending Windows scenarios share (sourced after lib.sh).
# PENDING (branch win): VM_WIN_PROGRAM (the dialog program, unmodified), VM_WIN_DRIVER (the
# driver of tests/wine), VM_WIN_SCRIPTS (its scenario scripts, tests/wine/scenarios).

# winpath PATH: the Windows name of a guest path, through Wine's Z: drive (winepath would cost a
# Wine start each).
winpath() { echo "Z:$1" | tr / '\\'; }

# win_dialog SCRIPT: runs the dialog program under the driver with one of the driver's scripts;
# the firmware file is offered in VM_DIR/data as good.hex. Leaves the driver's output in
# VM_DIR/driver/ and its status in VM_DIR/driver-status.
win_dialog() {
  [ -f "$VM_WIN_PROGRAM" ] && [ -f "$VM_WIN_DRIVER" ] || abort "no Windows program or driver (VM_WIN_PROGRAM, VM_WIN_DRIVER)"
  mkdir -p "$VM_DIR/data" "$VM_DIR/driver"
  cp "$VM_FILES/full-region.hex" "$VM_DIR/data/good.hex"
  wine_env || abort "no Wine prefix"
  xvfb_start || abort "no X display"
  note "driving the dialog program with $1"
  wine "$VM_WIN_DRIVER" --program "$(winpath "$VM_WIN_PROGRAM")" --script "$(winpath "$VM_WIN_SCRIPTS/$1")" \
    --out "$(winpath "$VM_DIR/driver")" --var "DATA=$(winpath "$VM_DIR/data")" \
    > "$VM_DIR/driver.crlf" 2>&1
  echo $? > "$VM_DIR/driver-status"
  tr -d '\r' < "$VM_DIR/driver.crlf" > "$VM_DIR/driver.txt"
  note "the driver ended with status $(cat "$VM_DIR/driver-status")"
  wine_stop
  xvfb_stop
  show "$VM_DIR/driver.txt"
}
