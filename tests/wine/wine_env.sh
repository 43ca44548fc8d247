#!/bin/bash
# The shared surroundings of the wine tests: one Wine prefix in the build tree, a virtual X
# display and a persistent wineserver. "setup STATE" starts them and writes STATE/env;
# "teardown STATE" stops what setup started.
set -euo pipefail
action=$1
state=$2
mkdir -p "$state"
# Wine reads file names and arguments in the locale's character set: UTF-8, so that any name
# reaches the programs whole, whatever locale the tests were started in.
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8

case $action in
setup)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # Without it, closing each window stalled for about two seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # What wineboot started ran without a display; kept alive by the persistent wineserver below,
    # it left every later window without a driver.
    wineserver -k 2>/dev/null || true
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
  display=""
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
  done
  [ -n "$display" ] || { echo "no free X display"; exit 1; }
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
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
