#!/usr/bin/env bash
# The browser stage of `make test`: installs playwright-core from the
# lockfile, then runs tests/web/ in headless chromium against the web build,
# with the native build for the title menu's reference shot.
#   test-web.sh NATIVE_BUILD WEB_BUILD
set -euo pipefail
# shellcheck source=scripts/start.sh
. "$(dirname "$0")/start.sh"
NATIVE="$(cd "${1:-build}" && pwd)"
WEB="$(cd "${2:-build-web}" && pwd)"
for file in index.html quillet.js quillet.wasm quillet.data; do
  [ -f "$WEB/$file" ] || { echo "test-web: no $WEB/$file; make web builds it" >&2; exit 1; }
done
[ -x "$NATIVE/quillet" ] || { echo "test-web: no $NATIVE/quillet" >&2; exit 1; }
npm ci --prefix "$ROOT/tests/web" --no-audit --no-fund --loglevel=error
QUILLET_NATIVE_BUILD="$NATIVE" QUILLET_WEB_BUILD="$WEB" node --test "$ROOT/tests/web/web_test.js"
