#!/bin/sh
# check-scenario.sh OUT SCENARIO: the CTest test of one scenario. Shows what the scenario printed
# in the guest and passes only on its "RESULT PASS".
out=$1
scenario=$2
if [ ! -f "$out/$scenario/result" ]; then
  echo "vm: $scenario did not run (no $out/$scenario/result): see the test vm.boot"
  exit 1
fi
cat "$out/$scenario/log"
[ "$(cat "$out/$scenario/result")" = "RESULT PASS" ]
