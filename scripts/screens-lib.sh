# Shared by screens.sh and screens-music.sh; source it inside the X server, then
#   screens_start BUILD   starts BUILD/quillet in a scratch folder (so the
#                         build's own state file is left alone) and focuses its
#                         window; $WORK is the folder, $PID the program, $WIN
#                         its window. Both are cleaned up on exit.
screens_start() {
  WORK="$(mktemp -d)"
  ln -s "$1/data" "$WORK/data"
  cd "$WORK"
  ALSOFT_DRIVERS=null "$1/quillet" > run.log 2>&1 &
  PID=$!
  trap 'kill "$PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
  WIN="$(timeout 20 xdotool search --sync --onlyvisible --name '^Quillet$' | head -n 1)"
  xdotool windowfocus --sync "$WIN"
}

# Keys stay down long enough for an update to see them; the game latches every
# action, so a long hold still acts once.
key() { xdotool keydown "$1" sleep 0.3 keyup "$1" sleep 0.3; }
# The colour of one pixel of a picture as #RRGGBB.
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 | grep -o '#[0-9A-F]\{6\}'; }
