#!/usr/bin/env bash
# soak.sh [SECONDS] [ASAN_BUILD]: plays the sanitizer build of the program
# (default build-asan, as `make test-asan` configures it) with random input
# for SECONDS (default 600) under Xvfb: keys including the iCade letters,
# mouse clicks and drags, window resizes, iconify and restore, focus changes.
# Passes when the program neither crashes nor reports a sanitizer error and
# its memory levels off: the collector's heap and the resident size of the
# last stretch stay within 10% of an equal stretch early in the run.
set -euo pipefail
DURATION=${1:-600}
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
BUILD="$(cd "${2:-$ROOT/build-asan}" && pwd)"

# QUILLET_BUILT: make has built the folder already (and may be testing in it).
if [ -z "${QUILLET_IN_XVFB:-}" ] && [ -z "${QUILLET_BUILT:-}" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DQUILLET_SANITIZE=ON -DQUILLET_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$BUILD" -j "$JOBS" --target quillet assets host_x_window_state
fi
XVFB_ARGS="-screen 0 1280x1024x24 -noreset" rerun_in_xvfb "$DURATION" "$BUILD"

. "$ROOT/scripts/session-lib.sh"
session_copy "$BUILD"
# A small quarantine still catches a use of recently freed memory, and lets
# the resident size settle within the first minute instead of growing until
# ASan's default 256 MB of freed blocks are held.
session_start 60 env QUILLET_MEMLOG=1 ALSOFT_DRIVERS=null \
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=0:quarantine_size_mb=16 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ./quillet
[ -n "$wid" ] || { echo "soak: no window"; cat "$work/out" "$work/err"; exit 1; }
"$wm" focus "$wid"

# Warm-up: every picture resolution once, so that the measured stretches
# compare steady states rather than the first visit of a size (the libraries'
# own caches fill on it).
set +e
for size in "1600 1200" "1 1" "1000 800" "320 240" "640 480"; do
  xdotool windowsize "$wid" $size
  sleep 1.5
done
"$wm" iconify "$wid"; sleep 0.5; "$wm" restore "$wid"; "$wm" focus "$wid"

# The moves are random; one that fails (a window mid-resize) is just skipped.
# Letters (the iCade cabinet types letters), digits, the keys the game reads.
KEYS=(a b c d e f g h i j k l m n o p q r s t u v w x y z 1 2 3 0 Up Down Left Right
      Return space BackSpace Tab plus minus Escape)
r() { echo $((RANDOM % $1)); }

# Checkpoints: every 10 seconds (every 5 in runs shorter than 5 minutes, so
# each compared stretch has several) the window goes back to 640 x 480 with the
# focus and, once it has settled, the latest memory line is noted with the
# run's second (counted in memory lines). The resident size depends on the window (its framebuffer and
# the resolution of the pictures loaded for it), so only checkpoints taken in
# the same state are compared.
gap=8
[ "$DURATION" -ge 300 ] || gap=3
checkpoints="$work/checkpoints"
: >"$checkpoints"
start=$SECONDS
base=$(grep -c '^mem: ' "$work/out")
end=$((start + DURATION))
next_checkpoint=$((start + 10))
actions=0
while [ $SECONDS -lt $end ] && kill -0 "$pid" 2>/dev/null; do
  if [ $SECONDS -ge $next_checkpoint ]; then
    xdotool windowsize "$wid" 640 480
    "$wm" restore "$wid"; "$wm" focus "$wid"
    sleep 2
    echo "$(($(grep -c '^mem: ' "$work/out") - base)) $(grep '^mem: ' "$work/out" | tail -n 1)" >>"$checkpoints"
    next_checkpoint=$((SECONDS + gap))
  fi
  geometry=$(xdotool getwindowgeometry "$wid" 2>/dev/null | awk '/Geometry/ {print $2}')
  w=${geometry%x*} h=${geometry#*x}
  [ "${w:-0}" -ge 1 ] 2>/dev/null || w=640
  [ "${h:-0}" -ge 1 ] 2>/dev/null || h=480
  case $(r 20) in
    0|1|2|3|4|5|6) xdotool key --window "$wid" "${KEYS[$(r ${#KEYS[@]})]}" ;;
    7) xdotool keydown --window "$wid" "${KEYS[$(r ${#KEYS[@]})]}" sleep 0.3 keyup --window "$wid" "${KEYS[$(r ${#KEYS[@]})]}" ;;
    8|9|10|11) xdotool mousemove --window "$wid" "$(r "$w")" "$(r "$h")" click 1 ;;
    12|13) xdotool mousemove --window "$wid" "$(r "$w")" "$(r "$h")" mousedown 1 \
             mousemove --window "$wid" "$(r "$w")" "$(r "$h")" sleep 0.1 \
             mousemove --window "$wid" "$(r "$w")" "$(r "$h")" mouseup 1 ;;
    14) xdotool windowsize "$wid" $((1 + $(r 1600))) $((1 + $(r 1200))) ;;
    15) xdotool windowsize "$wid" 640 480 ;;
    16) xdotool windowminimize "$wid" 2>/dev/null || true
        "$wm" iconify "$wid"; sleep 0.$(r 10); "$wm" restore "$wid"; "$wm" focus "$wid" ;;
    17) "$wm" unfocus; sleep 0.$(r 10); "$wm" focus "$wid" ;;
    *) sleep 0.2 ;;
  esac
  actions=$((actions + 1))
  sleep 0.0$(r 10)
done

status=0
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid" || true
  echo "soak: the program ended during the run"
  status=1
fi
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=
if grep -qE 'ERROR: AddressSanitizer|runtime error:|Dovel Runtime Error' "$work/out" "$work/err"; then
  echo "soak: error report"
  status=1
fi
grep -vE '^mem: ' "$work/out" | tail -n 20
grep -v 'XGetInputFocus' "$work/err" | tail -n 40

# Memory, compared between an early stretch of the run and its end: the
# second minute against the last for runs of 5 minutes and more, seconds
# 15-35 against 40-60 of a one-minute run. The collector's heap also holds
# the garbage not yet swept, so the lowest per-second sample of a stretch
# stands for its live bytes. The resident size is the lowest checkpoint of
# the stretch: a passing spike (a resize caught half-way) lifts one
# checkpoint, while memory that is never freed lifts them all.
mapfile -t samples < <(sed -n 's/^mem: gc=\([0-9]*\) rss=\([0-9]*\)$/\1 \2/p' "$work/out")
n=${#samples[@]}
echo "soak: $DURATION s, $actions random actions, $n memory samples"
sed -n 's/^\([0-9]*\) mem: gc=\([0-9]*\) rss=\([0-9]*\)$/soak: checkpoint at second \1: heap \2 bytes, resident \3 kB/p' "$checkpoints"
if [ "$n" -lt 12 ]; then
  echo "soak: too few memory samples"
  exit 1
fi
{
  printf 's %s\n' "${samples[@]}"
  sed -n 's/^\([0-9]*\) mem: gc=[0-9]* rss=\([0-9]*\)$/c \1 \2/p' "$checkpoints"
} | awk -v d="$DURATION" -v base="$base" -v status="$status" '
  $1 == "s" { n++; gc[n] = $2; t[n] = n - base }
  $1 == "c" { m++; ct[m] = $2; crss[m] = $3 }
  function lowest(from, to,   v, i) { v = -1; for (i = 1; i <= n; i++) if (t[i] >= from && t[i] <= to && (v < 0 || gc[i] < v)) v = gc[i]; return v }
  function rsslowest(from, to,   v, i) { v = -1; for (i = 1; i <= m; i++) if (ct[i] >= from && ct[i] <= to && (v < 0 || crss[i] < v)) v = crss[i]; return v }
  END {
    if (d >= 300) { w = 60; e1 = 60 } else { w = int(d / 3); e1 = int(d / 4) }
    e2 = e1 + w; l2 = d + 5; l1 = d - w
    egc = lowest(e1, e2); lgc = lowest(l1, l2)
    erss = rsslowest(e1, e2); lrss = rsslowest(l1, l2)
    if (egc <= 0 || lgc <= 0 || erss <= 0 || lrss <= 0) { print "soak: a stretch has no samples"; exit 1 }
    printf "soak: collector live  seconds %d-%d: %.0f bytes, last %d s: %.0f bytes (%+.1f%%)\n", e1, e2, egc, w, lgc, 100 * (lgc - egc) / egc
    printf "soak: resident memory seconds %d-%d: %.0f kB, last %d s: %.0f kB (%+.1f%%)\n", e1, e2, erss, w, lrss, 100 * (lrss - erss) / erss
    if (lgc > 1.1 * egc || lrss > 1.1 * erss) { print "soak: memory grows"; status = 1 }
    exit status
  }'
