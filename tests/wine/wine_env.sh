#!/bin/bash
# The shared surroundings of the wine tests: one Wine prefix in the build tree, a virtual X
# display and a persistent wineserver. "setup STATE" starts them and writes STATE/env;
# "teardown STATE" stops what setup started.
set -euo pipefail
action=$1
state=$2
mkdir -p "$state"
state=$(cd "$state" && pwd)
# Wine reads file names and arguments in the locale's character set: UTF-8, so that any name
# reaches the programs whole, whatever locale the tests were started in.
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8

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
  # Marlett (Debian's fonts-wine) draws the caption buttons; without it they show its letters
  # "0 1 r". Wine 8 as Debian builds it misses the font in its data folder (WINEDEBUG=+file shows
  # it looking for Z:\usr\share\wine\../fonts), but finds it in the prefix's Fonts folder. Only
  # Marlett: the other fonts of the package would change every window's layout.
  marlett=/usr/share/wine/fonts/marlett.ttf
  if [ -f $marlett ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" && cp -u $marlett "$WINEPREFIX/drive_c/windows/Fonts/"
  else
    echo "no Marlett font (package fonts-wine): caption buttons are drawn as letters"
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
  printf 'export WINEPREFIX=%q WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8 DISPLAY=:%s\n' \
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
