#!/usr/bin/env bash
# Runs every benchmark of a build folder and prints their figures. The
# graphics benchmark draws into a real window: with no display it runs under
# Xvfb. It runs from the build folder, which holds data/.
set -euo pipefail
BUILD="$(cd "${1:-build}" && pwd)"
cd "$BUILD"

if [ -x bench/gc_bench ]; then
  echo "== collector: allocation with one incremental step per frame"
  bench/gc_bench
fi

if [ -x bench/graphics_replay_bench ]; then
  echo "== graphics: display-list replay"
  if [ -n "${DISPLAY:-}" ]; then
    bench/graphics_replay_bench
  else
    xvfb-run -a -s "-screen 0 1024x768x24" bench/graphics_replay_bench
  fi
fi
