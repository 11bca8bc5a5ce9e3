// The browser program's entry: creates the host on the page's platform, runs
// the language start-up, opens the canvas and hands the loop to the browser,
// which runs one pass of it every animation frame. The game supplies voInit
// and voMain.
#include <emscripten.h>

#include "host/game.h"
#include "host/start.h"

namespace {

// Half a frame of a 60 Hz display: see VoGlfwGame::_earlyUpdate.
constexpr double kEarlyUpdate = 1.0 / 120;

// One animation frame. A pass never blocks, and what it asks to wait for
// is the next frame anyway.
void runFrame(void* game) {
  if (static_cast<VoDovelGame*>(game)->RunPass().kind == VoNextPass::Stop) emscripten_cancel_main_loop();
}

}  // namespace

// Gamepad mappings do not apply in a browser, which maps devices itself.
int VoDovelGame::Main(int argc, const char** argv) {
  VoDovelGame* game = new VoDovelGame();
  try {
    vo_std_main(argc, argv);
  } catch (ThrowableObject* ex) {
    game->Die(ex);
  }
  if (!game->Delegate()) return 0;
  game->_earlyUpdate = kEarlyUpdate;
  game->BeginRun();
  // Never returns: the browser calls runFrame from now on (the frame rate is
  // the page's, 0 meaning every animation frame).
  emscripten_set_main_loop_arg(runFrame, game, 0, true);
  return 0;
}

// Raises a runtime error with `message` through the normal path, as the
// language's own code would, so that a page test can force a fatal error.
extern "C" EMSCRIPTEN_KEEPALIVE void quillet_error(const char* message) { voError(String(message)); }

int main(int argc, char* argv[]) {
  VoDovelGame::Main(argc, const_cast<const char**>(argv));
  return 0;
}
