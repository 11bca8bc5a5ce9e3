#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Idempotent: apt-get runs only when at least one package is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ make pkg-config
  libglfw3-dev libgl-dev libgl1-mesa-dri mesa-utils
  libopenal-dev libopenal1 vorbis-tools
  libstb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick libx11-dev libxtst-dev
  fonts-dejavu-core
  clang libclang-rt-14-dev clang-format
  valgrind
  dpkg-dev desktop-file-utils
  emscripten node-acorn chromium nodejs
)
if [ "${QUILLET_BENCH_DEPS:-0}" = 1 ]; then
  PACKAGES+=(libsdl2-tests linux-perf)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Debian's nodejs comes without npm, which is a package of its own there.
if ! command -v npm >/dev/null; then
  missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser tests' driver, playwright-core, at the version of the lockfile.
# It drives Debian's chromium and downloads no browser of its own.
WEB_TESTS="$(cd "$(dirname "$0")/../tests/web" && pwd)"
if ! npm ls --prefix "$WEB_TESTS" --depth=0 >/dev/null 2>&1; then
  echo "install-deps: npm ci in $WEB_TESTS"
  npm ci --prefix "$WEB_TESTS" --no-audit --no-fund --loglevel=error
fi
