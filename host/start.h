// The language start-up, the same on every platform: each program entry
// (main.cpp on the desktop, web_main.cpp in a browser) runs it once, and the
// game it links supplies voInit and voMain.
#pragma once

#include "host/game.h"

inline int vo_std_main(int argc, const char** argv) {
  ::argc = argc;
  ::argv = argv;
  voInstallSignalHandlers();
  gc_init1();
  voInit();
  gc_init2();
  voMain();
  return 0;
}
