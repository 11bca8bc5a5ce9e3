#!/usr/bin/env bash
# Opens the controller panel (F9) over the title menu of the real program
# under Xvfb and writes a screenshot to <build>/screens/controller-panel.png.
# No joystick exists under Xvfb, so the panel shows four ports without a
# device. A bad line in SDL_GAMECONTROLLERCONFIG is reported and the program
# carries on. Fails when the panel does not appear or does not close again.
set -euo pipefail
BUILD="$(cd "${1:-build}" && pwd)"

if [ -z "${QUILLET_SCREENS_IN_XVFB:-}" ]; then
  QUILLET_SCREENS_IN_XVFB=1 exec "$(dirname "$0")/xvfb-run.sh" -s "-screen 0 1024x768x24" bash "$0" "$BUILD"
fi

export SDL_GAMECONTROLLERCONFIG=$'03000000de280000ff11000001000000,Panel Pad,a:b0,platform:Linux,\nnot a mapping'
# shellcheck source=scripts/screens-lib.sh
. "$(dirname "$0")/screens-lib.sh"
screens_start "$BUILD"
OUT="$BUILD/screens"
mkdir -p "$OUT"

# A spot of the first port's block that no text covers: the block's colour.
PANEL_X=300
PANEL_Y=200
PANEL_COLOUR="#28283C"

sleep 2                # loading
key F9
import -window "$WIN" "$OUT/controller-panel.png"
key F9
import -window "$WIN" "$WORK/closed.png"

status=0
if [ "$(pixel "$OUT/controller-panel.png" $PANEL_X $PANEL_Y)" != "$PANEL_COLOUR" ]; then
  echo "the panel is not in the screenshot" >&2
  status=1
fi
if [ "$(pixel "$WORK/closed.png" $PANEL_X $PANEL_Y)" = "$PANEL_COLOUR" ]; then
  echo "a second F9 did not close the panel" >&2
  status=1
fi
if ! grep -q '^SDL_GAMECONTROLLERCONFIG line 2: gamepad mapping skipped: ' "$WORK/run.log"; then
  echo "the bad mapping line was not reported:" >&2
  cat "$WORK/run.log" >&2
  status=1
fi
kill -0 "$PID" || { echo "the program stopped" >&2; status=1; }
echo "$OUT/controller-panel.png"
exit $status
