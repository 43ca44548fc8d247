#!/bin/bash
# The manifest and version resource of one Windows program, read back under Wine by
# fwup_program_resources and compared with the expected text (made by CMake from the project's
# version).
#
# check_program_resources.sh --state DIR --checker EXE --program EXE --expected FILE --out DIR
set -uo pipefail
while [ $# -gt 0 ]; do
  case $1 in
  --state) state=$2 ;; --checker) checker=$2 ;; --program) program=$2 ;; --expected) expected=$2 ;;
  --out) out=$2 ;;
  *) echo "check_program_resources: unknown option $1"; exit 2 ;;
  esac
  shift 2
done

# shellcheck disable=SC1091
source "$state/env"
mkdir -p "$out"
[ -f "$program" ] || { echo "FAILED: no program $program"; exit 1; }
timeout 120 wine "$checker" "$(winepath -w "$program" 2>/dev/null)" 2>"$out/stderr.txt" | tr -d '\r' >"$out/resources.txt"
status=${PIPESTATUS[0]}
cat "$out/resources.txt"
failures=0
[ "$status" -eq 0 ] || { echo "FAILED: the checker exited with $status"; cat "$out/stderr.txt"; failures=1; }
diff -u --label expected --label read-back "$expected" "$out/resources.txt" || {
  echo "FAILED: the program's manifest or version resource is not the expected one"
  failures=1
}
[ $failures -eq 0 ] && echo "resources of $(basename "$program") as expected"
exit $failures
