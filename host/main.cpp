// Program entry: starts GLFW, creates the host, runs the language start-up
// and then the loop. The game supplies voInit and voMain.
#include <GLFW/glfw3.h>
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "host/game.h"

int argc = 0;
const char** argv = nullptr;

namespace {

// Extra gamepad mappings (SDL's gamecontrollerdb format) from the working
// folder, so a pad GLFW does not know yet can be taught without a rebuild.
void loadGamepadMappings() {
  String db = VoGame::_game->LoadString(String("./gamecontrollerdb.txt"));
  if (db.Length() > 0) glfwUpdateGamepadMappings(db.ToUtf8().c_str());
}

}  // namespace

int vo_std_main(int argc, const char** argv) {
  ::argc = argc;
  ::argv = argv;
  std::signal(SIGSEGV, sighandler);
  std::signal(SIGILL, sighandler);
  std::signal(SIGFPE, sighandler);
  gc_init1();
  voInit();
  gc_init2();
  voMain();
  return 0;
}

int VoDovelGame::Main(int argc, const char** argv) {
  if (!glfwInit()) {
    std::puts("glfwInit failed");
    std::fflush(stdout);
    std::exit(-1);
  }
  VoDovelGame* game = new VoDovelGame();
  loadGamepadMappings();
  try {
    vo_std_main(argc, argv);
  } catch (ThrowableObject* ex) {
    glfwTerminate();
    game->Die(ex);
  }
  if (game->Delegate()) game->Run();
  glfwTerminate();
  return 0;
}

int main(int argc, const char* argv[]) {
  // Blocks of 128 KiB and more (picture pixels, textures) get pages of their
  // own, which go back to the system when freed. Left to itself, the C library
  // raises that limit to the size of the largest block freed so far, so after
  // one visit to a large window every later picture would come from the heap,
  // whose freed pages it keeps: the program would stay near its largest size.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  VoDovelGame::Main(argc, argv);
  return 0;
}
