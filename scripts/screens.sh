#!/usr/bin/env bash
# Plays the game under Xvfb with xdotool and writes a screenshot of each of
# its screens to <build>/screens/: the loading screen, the title menu, play at
# 50 and at 2,480 sprites, the pause menu in a landscape and in a portrait
# window, the game-over panel with a new high score, and the credits box.
# The game runs in a scratch folder, so the build's own state file is left
# alone and the first game always makes the high-score table.
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
BUILD="$(cd "${1:-build}" && pwd)"
rerun_in_xvfb "$BUILD"

OUT="$BUILD/screens"
mkdir -p "$OUT"
# shellcheck source=scripts/screens-lib.sh
. "$ROOT/scripts/screens-lib.sh"
screens_start "$BUILD"

shot() { import -window "$WIN" "$OUT/$1.png"; echo "$OUT/$1.png"; }
# Buttons stay down long enough for an update to see them, as keys do.
click() { xdotool mousemove --window "$WIN" "$1" "$2" mousedown 1 sleep 0.3 mouseup 1 sleep 0.3; }

# Loading screen: it shows for only 15 updates, so changing the window size
# (which reloads every image) is repeated until a shot catches it.
for attempt in $(seq 1 30); do
  xdotool windowsize "$WIN" $((640 + attempt % 2 * 2)) 480
  import -window "$WIN" "$WORK/loading.png"
  if [ "$(pixel "$WORK/loading.png" 5 5)" = "#282850" ]; then
    cp "$WORK/loading.png" "$OUT/loading.png"
    echo "$OUT/loading.png"
    break
  fi
  sleep 0.3
done
xdotool windowsize "$WIN" 640 480
sleep 1.5
shot title-menu

key Up                 # mode 1: its small sprites keep 2,480 of them quick to draw
key z
sleep 0.8
shot play-50

# The plus button adds ten per press up to 2,480; extra presses do nothing.
xdotool mousemove --window "$WIN" 512 240
clicks=()
for _ in $(seq 1 270); do clicks+=(mousedown 1 sleep 0.08 mouseup 1 sleep 0.08); done
xdotool "${clicks[@]}"
sleep 0.5
shot play-2480

key Escape
sleep 0.8
shot pause-landscape
xdotool windowsize "$WIN" 480 640
sleep 1.5
shot pause-portrait
xdotool windowsize "$WIN" 640 480
sleep 1.0

key Left               # select quit
key z                  # quit: the panel builds up over 90 updates
shot game-over
sleep 3.0              # the score is recorded and the title menu slides back in

click 570 440          # the credits button
sleep 1.2
shot credits

# The quit recorded the sprite count as mode 1's best score.
best="$(cut -d '|' -f 36 "$WORK/.dovelstate" 2>/dev/null || true)"
[ "$best" = "2480" ] || echo "warning: the play-2480 shot shows ${best:-an unknown number of} sprites" >&2
