#!/usr/bin/env bash
# The program's options and its choice of working folder, on the real binary
# (CTest runs this inside xvfb-run).
# Usage: command_line_test.sh <quillet> <version> <data folder> <x_window_state>
set -u
program=$1 version=$2 data=$3 wm=$4
. "$(dirname "$0")/../../scripts/session-lib.sh"
session_scratch
failures=0
fail() { echo "FAIL: $*" "(output: $(joined out), errors: $(joined err))"; failures=$((failures + 1)); }
joined() { tr '\n' '~' <"$work/$1" | sed 's/~$//'; }

# Each row: arguments | exit status | pattern (grep -E) for standard output |
# for standard error, each joined into one line with "~"; "" means empty.
cases=(
  "--help|0|^usage: quillet .*~Controls.*F10.*~In the controller panel.*F5 skips.*F6 goes back.*circularity.*~Files.*data/.*\.dovelstate.*wizard writes.*zeroed|"
  "-h|0|^usage: quillet |"
  "--version|0|^quillet ${version//./\\.}$|"
  "-V|0|^quillet ${version//./\\.}$|"
  "--bogus|2||^quillet: unknown option '--bogus'~usage: quillet [^~]*$"
  "plain --help|0|^usage: quillet |"
  "--bogus --help|2||unknown option '--bogus'"
)
for row in "${cases[@]}"; do
  IFS='|' read -r args want_status want_out want_err <<<"$row"
  status=0
  # shellcheck disable=SC2086
  "$program" $args </dev/null >"$work/out" 2>"$work/err" || status=$?
  for stream in out err; do
    want=want_$stream text=$(joined $stream)
    if [ -z "${!want}" ]; then [ -z "$text" ]; else printf '%s' "$text" | grep -Eq -- "${!want}"; fi ||
      fail "$args: standard $stream does not match '${!want}'"
  done
  [ "$status" = "$want_status" ] || fail "$args: status $status, want $want_status"
done

# No data/ in the working folder nor beside the program: one line on standard
# error names both folders, then the start goes on (here into the missing
# display). Plain arguments are the game's, not options.
mkdir -p "$work/lone" "$work/elsewhere" "$work/game"
cp "$program" "$work/lone/quillet"
cd "$work/elsewhere"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$work/lone/quillet" one two </dev/null >"$work/out" 2>"$work/err" || status=$?
[ "$(grep -c '^quillet:' "$work/err")" = 1 ] && grep -q "no data folder in $work/elsewhere or $work/lone" "$work/err" &&
  [ "$(joined out)" = "glfwInit failed" ] && [ "$status" = 255 ] || fail "no data anywhere: status $status"

# Started from another folder, the program runs in its own folder, which holds
# data/, says nothing about it and ends normally when its window is closed.
cp "$program" "$work/game/quillet"
ln -s "$data" "$work/game/data"
session_start 30 env ALSOFT_DRIVERS=null "$work/game/quillet"
[ -n "$wid" ] || fail "started from elsewhere: no window"
[ "$(readlink "/proc/$pid/cwd")" = "$work/game" ] || fail "started from elsewhere: runs in $(readlink "/proc/$pid/cwd")"
session_close
[ "$status" = 0 ] && ! grep -q '^quillet:' "$work/err" || fail "started from elsewhere: status $status"

[ "$failures" = 0 ] && echo "command line: all cases pass"
exit $((failures > 0))
