#!/usr/bin/env bash
# run_fuzzer.sh FUZZER KIND DATA_DIR WORK_DIR REGRESSIONS SECONDS
# Replays the kept regression inputs, then fuzzes for a few seconds starting
# from seeds made of our own sound files. A crash fails the test and leaves its
# input in WORK_DIR/crashes; copy it to REGRESSIONS to keep it as a test.
set -euo pipefail
fuzzer=$1 kind=$2 data=$3 work=$4 regressions=$5 seconds=$6

rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus" "$work/crashes"
if [ "$kind" = wav ]; then
  cp "$data"/sfx/*.wav "$work/seeds/"
else
  for wav in "$data"/sfx/*.wav; do
    oggenc -Q --serial 7 -o "$work/seeds/$(basename "$wav" .wav).ogg" "$wav"
  done
fi

shopt -s nullglob
kept=("$regressions"/*)
if [ ${#kept[@]} -gt 0 ]; then
  "$fuzzer" "${kept[@]}"
fi
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/crashes/" "$work/corpus" "$work/seeds"
