#!/usr/bin/env bash
# make-wine-prefix.sh CACHE: prints the Wine prefix the guest uses, making it first when needed.
# Made on the host (wineboot takes seconds here, minutes under emulation) and used read-only in
# the guest through a symlink farm. Wine 8's winebus starts its hidraw bus only with SDL off
# ("Enable SDL"=0), and DisableInput=1 keeps evdev devices such as /dev/input/mice off the walk;
# the guest runs no udevd, so DisableUdevd=1 makes winebus watch /dev itself (inotify) and see
# devices plugged in or removed while it runs; unmanaged X windows (Managed=N) close without the
# stall managed ones have under Xvfb.
set -euo pipefail
cache=$1
mkdir -p "$cache"
exec 9>"$cache/.wine-lock"
flock 9
version=$(wine --version | tr -c 'A-Za-z0-9.\n-' '_')
prefix=$cache/wineprefix-$version
# Made again whenever this script (and so the settings) changed.
recipe=$(sha1sum "$0" | cut -d' ' -f1)
if [ "$(cat "$prefix/.fwup-vm-recipe" 2>/dev/null)" != "$recipe" ]; then
  rm -rf "$prefix"
  (
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    wineboot -i
    key='HKLM\System\CurrentControlSet\Services\winebus'
    wine reg add "$key" /v "Enable SDL" /t REG_DWORD /d 0 /f
    wine reg add "$key" /v DisableInput /t REG_DWORD /d 1 /f
    wine reg add "$key" /v DisableUdevd /t REG_DWORD /d 1 /f
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    wineserver -w
  ) > "$cache/wineprefix.log" 2>&1 || { echo "vm: making the Wine prefix failed, see $cache/wineprefix.log" >&2; exit 1; }
  grep -q '"DisableUdevd"=dword:00000001' "$prefix/system.reg" || { echo "vm: the Wine prefix lacks the winebus settings" >&2; exit 1; }
  echo "$recipe" > "$prefix/.fwup-vm-recipe"
fi
echo "$prefix"
