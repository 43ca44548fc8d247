#!/bin/bash
# fwupgrade.exe with files whose names no ANSI code page holds whole: flash (simulated) reads the
# firmware file and writes the device's memory by those names, and check names a refused file
# as it was given, in UTF-8.
#
# cli_file_names.sh --state DIR --program EXE --data DIR --out DIR
set -uo pipefail
while [ $# -gt 0 ]; do
  case $1 in
  --state) state=$2 ;; --program) program=$2 ;; --data) data=$2 ;; --out) out=$2 ;;
  *) echo "cli_file_names: unknown option $1"; exit 2 ;;
  esac
  shift 2
done

# shellcheck disable=SC1091
source "$state/env"
folder="$out/файлы-文件"
rm -rf "$out" && mkdir -p "$folder"
cp "$data/прошивка-固件.hex" "$folder/"
cp "$data/bad-signature.hex" "$folder/подпись-签名.hex"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
win() { winepath -w "$1" 2>/dev/null; }

timeout 120 wine "$program" flash --simulate --sim-transfer-time 0 --sim-dump "$(win "$folder")\\память-内存.bin" \
  "$(win "$folder/прошивка-固件.hex")" >"$out/flash.out" 2>"$out/flash.err"
status=$?
cat "$out/flash.out" "$out/flash.err"
[ $status -eq 0 ] || fail "flash exited with $status"
cmp -s -i 4096:0 -n "$(stat -c %s "$data/good.bin")" "$folder/память-内存.bin" "$data/good.bin" ||
  fail "the memory dump is missing, or it does not hold the file"

refused=$(win "$folder/подпись-签名.hex")
timeout 60 wine "$program" check "$refused" >"$out/check.out" 2>"$out/check.err"
status=$?
cat "$out/check.out" "$out/check.err"
[ $status -eq 5 ] || fail "check exited with $status, not 5 (file refused)"
tr -d '\r' <"$out/check.out" | grep -qxF "File: $refused" || fail "check did not print the name as given"
grep -qF "'$refused' does not begin with the signature" "$out/check.err" ||
  fail "check did not read the file, or did not name it as given"

[ $failures -eq 0 ] && echo "file names outside the ANSI code page work"
exit $((failures > 0))
