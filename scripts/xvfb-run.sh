#!/usr/bin/env bash
# Runs a command on its own virtual X display:
#   xvfb-run.sh [-s "SERVER ARGS"] COMMAND [ARGS...]
# Xvfb picks a free display number itself (-displayfd), so any number of these
# can start at the same moment without two of them claiming one display, which
# `xvfb-run -a` cannot promise.
set -euo pipefail

SERVER_ARGS="-screen 0 1024x768x24"
if [ "${1:-}" = "-s" ]; then
  SERVER_ARGS="$2"
  shift 2
fi

fifo_dir="$(mktemp -d)"
trap 'rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"

# shellcheck disable=SC2086
Xvfb -displayfd 3 -nolisten tcp $SERVER_ARGS 3>"$fifo_dir/display" 2>"$fifo_dir/xvfb.log" &
xvfb_pid=$!
read -r display_number <"$fifo_dir/display" || {
  echo "xvfb-run.sh: Xvfb did not start" >&2
  cat "$fifo_dir/xvfb.log" >&2
  exit 1
}
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$fifo_dir"' EXIT

status=0
DISPLAY=":$display_number" "$@" || status=$?
exit "$status"
