#!/usr/bin/env bash
# The install and the Debian package of a built tree (CTest runs this inside
# xvfb-run): installs into a temporary DESTDIR, starts the installed launcher
# for a player with a fresh HOME, plays and quits a game and closes the window;
# then builds the package and looks inside it.
# Usage: install_test.sh <build folder> <x_window_state>
set -u
build=$1 wm=$2
. "$(dirname "$0")/../../scripts/session-lib.sh"
session_scratch
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

root=$work/root prefix=$work/root/usr/local
DESTDIR=$root cmake --install "$build" >"$work/install.log" || fail "install: $(tail -n 3 "$work/install.log")"
desktop-file-validate "$prefix/share/applications/quillet.desktop" || fail "the desktop entry does not validate"
[ "$(identify -format '%m %wx%h' "$prefix/share/icons/hicolor/256x256/apps/quillet.png" 2>&1)" = "PNG 256x256" ] ||
  fail "no 256 x 256 PNG icon in the hicolor theme"

# A player's first start: the launcher makes the player's folder with a link
# to the installed data and runs the game there; quitting a game saves.
export HOME=$work/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
mine=$HOME/.local/share/quillet
session_start 30 env ALSOFT_DRIVERS=null "$prefix/bin/quillet"
[ -n "$wid" ] || fail "the launcher shows no window: $(cat "$work/out" "$work/err")"
[ "$(readlink -f "$mine/data")" = "$(readlink -f "$prefix/share/quillet/data")" ] ||
  fail "the player's folder has no link to the installed data"
"$wm" focus "$wid"
sleep 2 # loading screen, then the title menu
# Start a game, pause, select quit and quit: the game-over panel records the game.
for key in z Escape Left z; do
  xdotool keydown $key
  sleep 0.4
  xdotool keyup $key
  sleep 0.6
done
for _ in $(seq 150); do [ -s "$mine/.dovelstate" ] && break; sleep 0.2; done
[ -s "$mine/.dovelstate" ] || fail "no state file in the player's folder"
session_close
[ "$status" = 0 ] || fail "the game ended with status $status: $(cat "$work/err")"
[ -z "$(find "$root" -name .dovelstate)" ] || fail "a state file was written into the installed tree"

# The package: its dependencies come from the binary, and it holds the
# launcher and the data.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -n 5 "$work/cpack.log")"
deb=$(ls "$work"/package/*.deb | head -n 1)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libglfw3 libopenal1; do
  [[ ",$depends," =~ [,\ ]$library[\ ,] ]] || fail "the package does not depend on $library: $depends"
done
dpkg -x "$deb" "$work/unpacked"
[ -x "$work/unpacked/usr/bin/quillet" ] || fail "the package holds no launcher"
diff -r -x .stamp "$build/data" "$work/unpacked/usr/share/quillet/data" >/dev/null ||
  fail "the package's data differs from the built data"

[ "$failures" = 0 ] && echo "install and package: all checks pass"
exit $((failures > 0))
