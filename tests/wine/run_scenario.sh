#!/bin/bash
# One end-to-end scenario: the driver runs the Windows program (and the pipe server for the
# simulated device) under Wine from SCRIPT; then what the device went through is compared with
# the core's own run of the same scenario, and with what the scenario requires.
#
# run_scenario.sh --state DIR --name NAME --script FILE --program EXE --driver EXE --out DIR
#   [--server EXE --expected EXE] [--image FILE] [--fault FAULT]... [--no-device] [--connect-only]
#   [--stdout TEXT] [--region FILE] [--last-sent CODE] [--shot PNG] [--resources FILE] [--var N=V]...
set -uo pipefail

faults=() vars=() raw_vars=() server="" expected="" image="" no_device=0 stdout_text="" region="" last_sent=""
shot="" resources="" connect_only=0
while [ $# -gt 0 ]; do
  case $1 in
  --state) state=$2 ;; --name) name=$2 ;; --script) script=$2 ;; --program) program=$2 ;;
  --driver) driver=$2 ;; --out) out=$2 ;; --server) server=$2 ;; --expected) expected=$2 ;;
  --image) image=$2 ;; --fault) faults+=("$2") ;; --no-device) no_device=1; shift; continue ;;
  --connect-only) connect_only=1; shift; continue ;;
  --stdout) stdout_text=$2 ;; --region) region=$2 ;; --last-sent) last_sent=$2 ;; --shot) shot=$2 ;;
  --resources) resources=$2 ;; --var) raw_vars+=("$2") ;;
  *) echo "run_scenario: unknown option $1"; exit 2 ;;
  esac
  shift 2
done

# shellcheck disable=SC1091
source "$state/env"
run="$out/$name"
rm -rf "$run" && mkdir -p "$run/expected"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
win() { winepath -w "$1" 2>/dev/null; }
# Paths given to the driver are the Windows names of the files. A folder of data files is
# copied first: the program's file probe wants the file to itself, and scenarios run in parallel.
for v in "${raw_vars[@]}"; do
  value=${v#*=}
  if [ -d "$value" ]; then
    mkdir -p "$run/data" && cp "$value"/* "$run/data/"
    [ -n "$image" ] && [ "$(dirname "$image")" = "$value" ] && image="$run/data/$(basename "$image")"
    value="$run/data"
  fi
  vars+=(--var "${v%%=*}=$(win "$value")")
done

args=(--program "$(win "$program")" --script "$(win "$script")" --out "$(win "$run")" "${vars[@]}")
if [ -n "$server" ]; then
  pipe="fwup-$name-$$"
  command="\"$(win "$server")\" --pipe $pipe --wire \"$(win "$run")\\wire.txt\" --memory \"$(win "$run")\\memory.bin\""
  for f in "${faults[@]}"; do command+=" --fault $f"; done
  args+=(--server "$command" --pipe "$pipe")
fi

# Screenshots on request: the driver says where the dialog is and waits.
(
  for _ in $(seq 1200); do
    if [ -f "$run/shot.request" ]; then
      import -window root -crop "$(cat "$run/shot.request")" +repage "$run/shot.png" 2>"$run/import.log"
      touch "$run/shot.done"
      break
    fi
    sleep 0.1
  done
) &
watcher=$!

timeout 180 wine "$driver" "${args[@]}" >"$run/driver.log" 2>&1
driver_status=$?
kill "$watcher" 2>/dev/null
cat "$run/driver.log"
[ $driver_status -eq 0 ] || fail "driver exited with $driver_status"

if [ -n "$resources" ]; then
  diff -u "$resources" "$run/resources.txt" || fail "resources differ from the template table"
fi

if [ -n "$expected" ]; then
  exp_args=(--trace "$run/expected/trace.txt" --wire "$run/expected/wire.txt" --memory "$run/expected/memory.bin")
  [ -n "$image" ] && exp_args+=(--image "$image")
  [ $no_device -eq 1 ] && exp_args+=(--no-device)
  [ $connect_only -eq 1 ] && exp_args+=(--connect-only)
  for f in "${faults[@]}"; do exp_args+=(--fault "$f"); done
  "$expected" "${exp_args[@]}" || fail "the core's own run failed"
  diff -u --label expected-trace --label collected-trace "$run/expected/trace.txt" "$run/trace.txt" >"$run/trace.diff" ||
    { head -40 "$run/trace.diff"; fail "trace lines differ from the core's"; }
  if [ -n "$server" ]; then
    diff -u "$run/expected/wire.txt" "$run/wire.txt" >"$run/wire.diff" ||
      { head -20 "$run/wire.diff"; fail "the device saw other reports than with the core alone"; }
    cmp -s "$run/expected/memory.bin" "$run/memory.bin" || fail "device memory differs from the core's run"
  fi
fi

if [ -n "$region" ]; then
  size=$(stat -c %s "$region")
  cmp -s -i 4096:0 -n "$size" "$run/memory.bin" "$region" || fail "device memory over the region is not the file"
fi

if [ -n "$last_sent" ]; then
  sent=$(grep '^>' "$run/wire.txt" | tail -1 | cut -d' ' -f3)
  [ "$sent" = "$last_sent" ] || fail "last request sent was $sent, expected $last_sent (nothing after the failure)"
fi

if [ -n "$stdout_text" ]; then
  shown=$(tr -d '\r' <"$run/stdout.txt")
  [ "$shown" = "$stdout_text" ] || fail "standard output was \"$shown\""
fi

if [ -n "$shot" ]; then
  if [ -s "$run/shot.png" ]; then cp "$run/shot.png" "$shot"; else fail "no screenshot"; fi
fi

[ $failures -eq 0 ] && echo "scenario $name passed"
exit $((failures > 0))
