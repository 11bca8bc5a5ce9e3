#!/usr/bin/env bash
# Opens the controller panel (F9) over the title menu of the real program
# under Xvfb and writes a screenshot to <build>/screens/controller-panel.png.
# No joystick exists under Xvfb, so the panel shows four ports without a
# device. A bad line in SDL_GAMECONTROLLERCONFIG is reported and the program
# carries on. Fails when the panel does not appear or does not close again.
#
# Then two pictures of the panel with a device: controller-wizard.png
# mid-wizard and controller-trace.png with the sticks' traces. With no
# joystick to be had, tests/game/panel_shots draws them in the program's own
# window through its OpenGL driver, with the test host's scripted joystick
# port (and clock and keys) standing in for a device; the device's name says
# so in the picture.
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

# shoot_scripted MODE PICTURE: runs panel_shots MODE until it says "ready",
# takes its window's picture, then closes its input, which ends it.
shoot_scripted() {
  local dir pid win
  dir="$(mktemp -d)"
  ln -s "$BUILD/data" "$dir/data"
  mkfifo "$dir/in"
  (cd "$dir" && ALSOFT_DRIVERS=null exec "$BUILD/tests/game/panel_shots" "$1" <"$dir/in" >"$dir/out" 2>&1) &
  pid=$!
  exec 4>"$dir/in"
  for _ in $(seq 300); do
    grep -q '^ready$' "$dir/out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^ready$' "$dir/out" && win="$(timeout 10 xdotool search --sync --pid "$pid" --name '^Quillet$' | head -n 1)" &&
    import -screen -window "$win" "$OUT/$2"; then
    echo "$OUT/$2"
  else
    echo "panel_shots $1 wrote no picture:" >&2
    cat "$dir/out" >&2
    status=1
  fi
  exec 4>&-
  wait "$pid" || true
  rm -rf "$dir"
}
shoot_scripted wizard controller-wizard.png
shoot_scripted trace controller-trace.png
exit $status
