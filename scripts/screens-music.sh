#!/usr/bin/env bash
# Screenshots of the music build (QUILLET_MUSIC=ON) under Xvfb: the title menu
# with the sound-mode mark, a game of mode 1 while its tune plays, and the
# pause menu with its sound button. Usage: screens-music.sh MUSIC_BUILD OUT_DIR
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
BUILD="$(cd "$1" && pwd)"
mkdir -p "$2"
OUT="$(cd "$2" && pwd)"
rerun_in_xvfb "$BUILD" "$OUT"

# shellcheck source=scripts/screens-lib.sh
. "$ROOT/scripts/screens-lib.sh"
screens_start "$BUILD"
sleep 1.5

# Each key is held long enough for an update to see it; the game latches it.
for step in "title-menu-music" "Up" "z" "play-music" "Escape" "pause-music"; do
  case "$step" in
    *-music) sleep 1.0; import -window "$WIN" "$OUT/$step.png"; echo "$OUT/$step.png" ;;
    *) xdotool keydown "$step" sleep 0.3 keyup "$step" sleep 0.3 ;;
  esac
done
