#!/usr/bin/env bash
# run-fuzzer.sh TARGET SEEDS WORKDIR SECONDS: runs one fuzz target over a copy of its seeds for a
# bounded time and prints how many executions it reached.
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
cp -r "$seeds/." "$work/corpus/"
"$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  -max_len=4096 "$work/corpus" 2>"$work/log" || { tail -n 60 "$work/log"; exit 1; }
grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$work/log" | tail -n 2
