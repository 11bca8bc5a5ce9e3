# Shared by the scripts that run the program for a session under Xvfb
# (soak.sh, valgrind.sh); source it, then:
#   session_copy BUILD          a temporary copy of the program and its data
#                               in $work, entered; removed (and the program
#                               killed) on exit. $wm is the window-manager
#                               stand-in of the host tests.
#   session_start SECONDS CMD.. runs CMD (ending in ./quillet) there with
#                               stdin closed and output in $work/out and
#                               $work/err; $pid is the program, $wid its
#                               window once shown within SECONDS, else empty.

session_copy() {
  work=$(mktemp -d)
  cp "$1/quillet" "$work/"
  cp -r "$1/data" "$work/"
  wm="$1/tests/host/host_x_window_state"
  pid=
  trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
  cd "$work"
}

session_start() {
  local tries=$(($1 * 5))
  shift
  "$@" </dev/null >"$work/out" 2>"$work/err" &
  pid=$!
  wid=
  for _ in $(seq "$tries"); do
    wid=$(xdotool search --pid "$pid" --name '^Quillet$' 2>/dev/null | head -1) && [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
}
