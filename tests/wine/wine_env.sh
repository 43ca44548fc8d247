#!/bin/bash
# The shared surroundings of the wine tests: one Wine prefix in the build tree, a virtual X
# display and a persistent wineserver. "setup STATE" starts them and writes STATE/env;
# "teardown STATE" stops what setup started.
set -euo pipefail
action=$1
state=$2
mkdir -p "$state"
state=$(cd "$state" && pwd)
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

case $action in
setup)
  # A prefix counts only once all of it is made: one cut short (a time-out, an interrupted run)
  # is made again instead of being used half made.
  if [ ! -f "$state/prefix.made" ]; then
    rm -rf "$WINEPREFIX"
    {
      wineboot -i &&
        # Without it, closing each window stalled for about two seconds.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    } >"$state/prefix.log" 2>&1 || { echo "making the Wine prefix failed:"; cat "$state/prefix.log"; exit 1; }
    # What wineboot started ran without a display; kept alive by the persistent wineserver below,
    # it left every later window without a driver. -k waits for the server to end, which writes
    # the registry out as it ends.
    wineserver -k 2>/dev/null || true
    grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" || { echo "the Wine prefix lacks its settings"; exit 1; }
    touch "$state/prefix.made"
  fi
  # A server left persistent by a run that never reached its teardown still keeps what that run
  # started for its own display, not the one set up below: it is ended first.
  wineserver -k 2>/dev/null || true
  # Xvfb picks a free display itself, taking the display's lock file atomically, and writes the
  # number on fd 3 once it takes connections. A number picked here from the free ones could be
  # taken by another build's tests in between: both runs then drew on one screen, and the first
  # teardown took it from the other.
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" </dev/null >"$state/xvfb.log" 2>&1 &
  xvfb=$!
  echo $xvfb >"$state/xvfb.pid"
  for _ in $(seq 300); do
    grep -qx '[0-9][0-9]*' "$state/display" && break
    kill -0 $xvfb 2>/dev/null || break
    sleep 0.1
  done
  display=$(cat "$state/display")
  [ -n "$display" ] || { echo "Xvfb did not start:"; cat "$state/xvfb.log"; exit 1; }
  wineserver -p </dev/null >/dev/null 2>&1
  printf 'export WINEPREFIX=%q WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=:%s\n' \
    "$WINEPREFIX" "$display" >"$state/env"
  echo "wine prefix $WINEPREFIX, display :$display"
  ;;
teardown)
  wineserver -k 2>/dev/null || true
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
  ;;
esac
