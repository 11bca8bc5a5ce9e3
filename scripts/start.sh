# shellcheck shell=bash
# Start-up shared by the scripts; source it first. It gives
#   ROOT                 the repository
#   JOBS                 build jobs: the caller's JOBS, else the machine's
#                        core count (as the Makefile does)
#   rerun_in_xvfb ARGS.. unless this script already runs inside it, runs the
#                        script again with ARGS under its own Xvfb server
#                        (server arguments in XVFB_ARGS, default one
#                        1024x768 screen) and ends with its status.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

rerun_in_xvfb() {
  [ -z "${QUILLET_IN_XVFB:-}" ] || return 0
  QUILLET_IN_XVFB=1 exec bash "$ROOT/scripts/xvfb-run.sh" -s "${XVFB_ARGS:--screen 0 1024x768x24}" bash "$0" "$@"
}
