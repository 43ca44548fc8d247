# win-common.sh: running the Windows programs in the guest (sourced after lib.sh). One Wine
# session serves every run: a cold Wine start costs half a minute under emulation.
# Settings: VM_WIN_PROGRAM (the dialog program, unmodified), VM_WIN_DRIVER (the driver of the
# Windows tests), VM_WIN_SCRIPTS (its scripts), VM_FWUPGRADE_EXE (the command line for Windows).

# How long the driver waits for what a user would see: a whole upgrade through Wine's HID stack
# on an emulated CPU takes far longer than on the host.
WIN_PATIENCE_MS=120000

# winpath PATH: the Windows name of a guest path, through Wine's Z: drive (winepath would cost a
# Wine start each).
winpath() { echo "Z:$1" | tr / '\\'; }

# win_session_start: a virtual display and a Wine server that stays up between the runs.
win_session_start() {
  [ -f "$VM_WIN_PROGRAM" ] && [ -f "$VM_WIN_DRIVER" ] && [ -d "$VM_WIN_SCRIPTS" ] ||
    abort "no Windows program, driver or scripts (VM_WIN_PROGRAM, VM_WIN_DRIVER, VM_WIN_SCRIPTS)"
  wine_env || abort "no Wine prefix"
  xvfb_start || abort "no X display"
  wineserver -p || abort "the Wine server did not start"
  mkdir -p "$VM_DIR/data"
  cp "$VM_FILES/full-region.hex" "$VM_DIR/data/good.hex"
}

win_session_stop() {
  wine_stop
  xvfb_stop
}

# win_dialog RUN SCRIPT: runs the dialog program under the driver with one of its scripts (the
# firmware file offered as DATA\good.hex; screenshots are the host tests' business). The program
# runs as a plain child, not as the driver's debuggee: under emulation each debug event (each
# trace line, each DLL loaded) costs tens of milliseconds, and the host tests check the trace.
# Leaves the driver's output in VM_DIR/RUN/ and its exit status in VM_DIR/RUN/status.
win_dialog() {
  run=$VM_DIR/$1
  mkdir -p "$run"
  grep -v '^screenshot$' "$VM_WIN_SCRIPTS/$2" > "$run/script.txt"
  note "$1: driving the dialog program with $2"
  # From the data folder: the file chooser opens in the current folder, and one that holds a
  # single file is listed at once where a build folder over 9p would take many seconds.
  (cd "$VM_DIR/data" && wine "$VM_WIN_DRIVER" --program "$(winpath "$VM_WIN_PROGRAM")" --script "$(winpath "$run/script.txt")" \
    --out "$(winpath "$run")" --var "DATA=$(winpath "$VM_DIR/data")" --patience "$WIN_PATIENCE_MS" --untraced \
    > "$run/driver.crlf" 2>&1)
  echo $? > "$run/status"
  tr -d '\r' < "$run/driver.crlf" > "$run/driver.txt"
  note "$1: the driver ended with status $(cat "$run/status")"
  show "$run/driver.txt"
}

# driver_passed RUN: every step of the driver's script passed.
driver_passed() { grep -qx 0 "$VM_DIR/$1/status"; }
