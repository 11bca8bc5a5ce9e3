#!/usr/bin/env bash
# valgrind.sh [BUILD]: one short session of the program (default build/)
# under Valgrind's memcheck in Xvfb: the loading screen, the title menu, a
# few keys and clicks, a suspend and resume, then the window's close button.
# Fails on any invalid read or write, use of uninitialised memory or bad free
# that memcheck reports; scripts/valgrind.supp suppresses the one known
# report that comes from the system's dynamic loader.
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
BUILD="$(cd "${1:-$ROOT/build}" && pwd)"

# QUILLET_BUILT: make has built the folder already (and may be testing in it).
[ -n "${QUILLET_IN_XVFB:-}" ] || [ -n "${QUILLET_BUILT:-}" ] || cmake --build "$BUILD" -j "$JOBS" --target quillet assets host_x_window_state
XVFB_ARGS="-screen 0 1024x768x24 -noreset" rerun_in_xvfb "$BUILD"

. "$ROOT/scripts/session-lib.sh"
session_copy "$BUILD"
session_start 120 env ALSOFT_DRIVERS=null valgrind --tool=memcheck --error-exitcode=99 \
  --leak-check=no --suppressions="$ROOT/scripts/valgrind.supp" --log-file="$work/valgrind.log" \
  ./quillet
status=0
if [ -n "$wid" ]; then
  set +e  # a focus request on a window not yet shown just fails
  sleep 15  # the loader, slowed down by memcheck
  "$wm" focus "$wid"
  for key in Down Down Up Return Right Left Return space; do
    xdotool key --window "$wid" "$key"
    sleep 1
  done
  xdotool mousemove --window "$wid" 320 240 click 1
  sleep 1
  "$wm" unfocus; sleep 2; "$wm" focus "$wid"; sleep 2
  "$wm" close "$wid"
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  wait "$pid"
  status=$?
  set -e
else
  echo "valgrind: no window"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" || true
  status=1
fi
pid=
grep -E 'ERROR SUMMARY|Invalid|uninitialised|definitely' "$work/valgrind.log" | head -n 20 || true
if [ "$status" != 0 ]; then
  echo "valgrind: status $status"
  sed -n '/^==[0-9]*== [A-Z]/,+25p' "$work/valgrind.log" | head -n 120
  exit 1
fi
echo "valgrind: clean session"
