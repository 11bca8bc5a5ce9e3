#!/usr/bin/env bash
# Starts the game from its build folder (which holds data/ and the state file).
# With no display it runs the game under Xvfb for a few seconds and saves a
# screenshot as <build>/screenshot.png.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
cd "$BUILD"
if [ -n "${DISPLAY:-}" ]; then
  exec ./quillet
fi

SECONDS_TO_RUN="${QUILLET_RUN_SECONDS:-6}"
SHOT="$BUILD/screenshot.png"
"$HERE/xvfb-run.sh" -s "-screen 0 1024x768x24" bash -c '
  ./quillet > run.log 2>&1 &
  pid=$!
  sleep "$1"
  win="$(xdotool search --name "^Quillet$" 2>/dev/null | head -n 1 || true)"
  import -window "${win:-root}" "$2" || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' _ "$SECONDS_TO_RUN" "$SHOT"
echo "No display: ran the game under Xvfb for ${SECONDS_TO_RUN} s."
echo "Screenshot: $SHOT"
echo "Log: $BUILD/run.log"
