#!/usr/bin/env bash
# Starts the native program of BUILD under its own Xvfb in a scratch folder,
# waits SECONDS after its window shows (the first frame), and writes a
# screenshot of the window to OUT, for the browser tests to compare with:
#   native-shot.sh BUILD SECONDS OUT
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
if [ -z "${QUILLET_SHOT_IN_XVFB:-}" ]; then
  QUILLET_SHOT_IN_XVFB=1 exec bash "$ROOT/scripts/xvfb-run.sh" -s "-screen 0 1024x768x24" bash "$0" "$BUILD" "$2" "$3"
fi
OUT="$(realpath -m "$3")"
mkdir -p "$(dirname "$OUT")"
# shellcheck source=scripts/screens-lib.sh
. "$ROOT/scripts/screens-lib.sh"
screens_start "$BUILD"
sleep "$2"
import -window "$WIN" "$OUT"
