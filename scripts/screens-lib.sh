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
