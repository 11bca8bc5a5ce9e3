# Shared by the scripts that run the program for a session under Xvfb
# (soak.sh, valgrind.sh, the install and command-line tests); source it, then:
#   session_scratch             an empty temporary folder $work, removed (and
#                               the program killed) on exit.
#   session_copy BUILD          a temporary copy of the program and its data
#                               in $work (as above), entered. $wm is the
#                               window-manager stand-in of the host tests.
#   session_start SECONDS CMD.. runs CMD (ending in ./quillet) there with
#                               stdin closed and output in $work/out and
#                               $work/err; $pid is the program, $wid its
#                               window once mapped within SECONDS, else empty.
#   session_close               presses the close button of window $wid
#                               through $wm and waits (at most 10 s) for the
#                               program to end; $status is its exit status.

session_scratch() {
  work=$(mktemp -d)
  pid=
  trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
}

session_copy() {
  session_scratch
  cp "$1/quillet" "$work/"
  cp -r "$1/data" "$work/"
  wm="$1/tests/host/host_x_window_state"
  cd "$work"
}

session_start() {
  local tries=$(($1 * 5))
  shift
  "$@" </dev/null >"$work/out" 2>"$work/err" &
  pid=$!
  wid=
  for _ in $(seq "$tries"); do
    # Only a mapped window takes the focus; one found before it is shown would not.
    wid=$(xdotool search --onlyvisible --pid "$pid" --name '^Quillet$' 2>/dev/null | head -1) && [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
}

session_close() {
  "$wm" close "$wid"
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  status=0
  wait "$pid" || status=$?
  pid=
}
