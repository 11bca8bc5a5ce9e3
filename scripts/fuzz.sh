#!/usr/bin/env bash
# fuzz.sh [SECONDS] [BUILD]: builds the libFuzzer targets in a clang build
# folder (default build-fuzz) and runs each for SECONDS (default 300), two at
# a time: first over its kept crash inputs, then fuzzing from seeds made of our
# own files. Prints each target's executions and coverage. A new crash fails
# the run and leaves its input in BUILD/fuzz/<target>/crashes; copy it to the
# target's regressions folder to keep it as a test.
set -euo pipefail
SECONDS_EACH=${1:-300}
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
BUILD="$(mkdir -p "${2:-$ROOT/build-fuzz}" && cd "${2:-$ROOT/build-fuzz}" && pwd)"

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLET_FUZZ=ON -DQUILLET_BENCH=OFF -DQUILLET_WERROR=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target assets string_fuzzer state_fuzzer tune_fuzzer \
  png_fuzzer audio_fuzz_wav audio_fuzz_ogg

DATA="$BUILD/data"
WORK="$BUILD/fuzz"
rm -rf "$WORK"

# target binary regressions extra-libFuzzer-flags
TARGETS=(
  "state  $BUILD/tests/fuzz/state_fuzzer     $ROOT/tests/fuzz/regressions/state      -detect_leaks=0"
  "string $BUILD/tests/fuzz/string_fuzzer    $ROOT/tests/fuzz/regressions/string     -max_len=4096"
  "tune   $BUILD/tests/fuzz/tune_fuzzer      $ROOT/tests/fuzz/regressions/tune       -detect_leaks=0"
  "png    $BUILD/tests/fuzz/png_fuzzer       $ROOT/tests/graphics/fuzz_regressions   -max_len=16384"
  "wav    $BUILD/tests/audio/fuzz_wav        $ROOT/tests/audio/fuzz_regressions/wav  -max_len=65536"
  "ogg    $BUILD/tests/audio/fuzz_ogg        $ROOT/tests/audio/fuzz_regressions/ogg  -max_len=65536"
)

# Seeds: saved states as the game writes them, in the encodings a state file
# may come in; tune sheets' frames as the decoder reads them back (the blue
# channel); the generated pictures and sounds.
seed() {
  local name=$1 dir="$WORK/$1/seeds"
  mkdir -p "$dir"
  case $name in
    state|string)
      cp "$ROOT"/tests/fuzz/seeds/state/* "$dir/"
      for f in "$ROOT"/tests/fuzz/seeds/state/*.txt; do
        b=$(basename "$f" .txt)
        { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$f"; } >"$dir/$b.utf16le"
        { printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE "$f"; } >"$dir/$b.utf16be"
        { printf '\xef\xbb\xbf'; cat "$f"; } >"$dir/$b.bom8"
      done ;;
    tune)
      local n=0
      find "$DATA/tunes" -name '*.png' -print0 | while IFS= read -r -d '' sheet; do
        n=$((n + 1))
        for frame in 0 1 9 18; do
          convert "$sheet" -crop "64x64+$(( frame % 8 * 64 ))+$(( frame / 8 * 64 ))" +repage \
            -channel B -separate -depth 8 gray:- >"$dir/sheet$n-frame$frame"
        done
      done ;;
    png) find "$DATA" -name '*.png' -size -64k -exec cp {} "$dir/" \; ;;
    wav) cp "$DATA"/sfx/*.wav "$dir/" ;;
    ogg)
      for wav in "$DATA"/sfx/*.wav; do
        oggenc -Q --serial 7 -o "$dir/$(basename "$wav" .wav).ogg" "$wav"
      done ;;
  esac
}

# Replays the kept inputs, then fuzzes; the log goes to WORK/NAME/log. The PNG
# findings are replayed under a memory limit far below the gigabyte such a
# file asks for when the decoder's chunk check lets it through, so a lost
# check fails on every run.
run_one() {
  local name=$1 fuzzer=$2 regressions=$3 extra=$4 dir="$WORK/$1" limits=
  if [ "$name" = png ]; then limits="-malloc_limit_mb=64 -rss_limit_mb=256"; fi
  mkdir -p "$dir/corpus" "$dir/crashes"
  export ASAN_OPTIONS=quarantine_size_mb=64
  shopt -s nullglob
  local kept=("$regressions"/*)
  if [ ${#kept[@]} -gt 0 ] && ! "$fuzzer" $extra $limits "${kept[@]}" >"$dir/replay.log" 2>&1; then
    echo "$name: a kept regression input fails again, see $dir/replay.log"
    return 1
  fi
  if ! "$fuzzer" $extra -max_total_time="$SECONDS_EACH" -rss_limit_mb=4096 -timeout=30 \
      -print_final_stats=1 -artifact_prefix="$dir/crashes/" "$dir/corpus" "$dir/seeds" >"$dir/log" 2>&1; then
    echo "$name: CRASH, input kept in $dir/crashes (log $dir/log)"
    tail -n 40 "$dir/log"
    return 1
  fi
}
export -f run_one
export WORK SECONDS_EACH

for t in "${TARGETS[@]}"; do
  read -r name _ <<<"$t"
  seed "$name"
done

status=0
printf '%s\n' "${TARGETS[@]}" |
  xargs -P 2 -L 1 bash -c 'run_one "$0" "$1" "$2" "${3:-}"' || status=1

printf '\n%-8s %12s %10s %10s %8s\n' target executions coverage features corpus
for t in "${TARGETS[@]}"; do
  read -r name _ <<<"$t"
  log="$WORK/$name/log"
  [ -f "$log" ] || continue
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}' | tail -n 1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.*corp: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-8s %12s %10s %10s %8s\n' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}"
done
exit $status
