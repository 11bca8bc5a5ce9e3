// The desktop program's entry: starts GLFW, creates the host, runs the
// language start-up and then the loop. The game supplies voInit and voMain.
#include <GLFW/glfw3.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>

#include "host/command_line.h"
#include "host/game.h"
#include "host/start.h"

int VoDovelGame::Main(int argc, const char** argv) {
  if (!glfwInit()) {
    std::puts("glfwInit failed");
    std::fflush(stdout);
    std::exit(-1);
  }
  VoDovelGame* game = new VoDovelGame();
  try {
    vo_std_main(argc, argv);
  } catch (ThrowableObject* ex) {
    glfwTerminate();
    game->Die(ex);
  }
  // Read after the start-up, whose first step installs the fatal-signal
  // handlers, so that no file is read before a fault can be reported.
  game->LoadGamepadMappings();
  if (game->Delegate()) game->Run();
  glfwTerminate();
  return 0;
}

int main(int argc, const char* argv[]) {
  int status = VoCommandLine(argc, argv);
  if (status != kVoKeepRunning) return status;
  // Blocks of 128 KiB and more (picture pixels, textures) get pages of their
  // own, which go back to the system when freed. Left to itself, the C library
  // raises that limit to the size of the largest block freed so far, so after
  // one visit to a large window every later picture would come from the heap,
  // whose freed pages it keeps: the program would stay near its largest size.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  VoDovelGame::Main(argc, argv);
  return 0;
}
