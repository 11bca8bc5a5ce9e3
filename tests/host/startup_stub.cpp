// Stand-ins for voInit and voMain linked with the real entry. QUILLET_STARTUP picks what voMain does: none (no
// delegate), throw, or window: a delegate printing each call as a line (resume counts renders and updates
// while suspended; ready prints the window and desktop mode). F2 re-opens the window, F3 ends.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/game.h"

namespace {

class Thrown : public ThrowableObject {};

class PrintingDelegate : public VoGameDelegate {
 public:
  void StartGame() override { std::puts("start"); }
  void SuspendGame() override {
    renders_ = updates_ = 0;
    std::puts("suspend");
  }
  void ResumeGame() override { std::printf("resume %d %d\n", renders_, updates_); }
  void UpdateGame() override {
    ++updates_;
    if (!reopen_) return;
    reopen_ = false;
    VoGlfwGame::_glfwGame->SetGlfwWindow(640, 480, 8, 8, 8, 0, 0, 0, false);
    std::printf("reopened %d\n", glfwGraphicsSeq);
  }
  void RenderGame() override {
    VoGlfwGame* host = VoGlfwGame::_glfwGame;
    host->SwapBuffers();
    ++renders_;
    if (ready_) return;
    ready_ = true;
    int w, h;
    host->GetWindowSize(&w, &h);
    VoGlfwVideoMode* m = host->GetGlfwDesktopMode();
    std::printf("ready %d %d %d %d %d %d %d %d\n", w, h, glfwGraphicsSeq, m->width, m->height, m->red, m->green,
                m->blue);
  }
  void KeyEvent(int event, int data) override {
    std::printf("key %d %d\n", event, data);
    if (event == VoGameEvent::KeyDown && data == 113) reopen_ = true;
    if (event == VoGameEvent::KeyDown && data == 114) std::exit(0);
  }
  void MouseEvent(int event, int data, float x, float y) override {
    std::printf("mouse %d %d %g %g\n", event, data, x, y);
  }

 private:
  int renders_ = 0, updates_ = 0;
  bool reopen_ = false, ready_ = false;
};

bool handlerAtInit = false;
Object* madeAtInit = nullptr;

// True when `p` is on the collector's list of unmarked objects.
bool onUnmarkedList(const gc_object* p) {
  for (const gc_object* o = gc_unmarked_list.succ; o != &gc_unmarked_list; o = o->succ) {
    if (o == p) return true;
  }
  return false;
}

}  // namespace

// Notes what start-up has done before the language globals are set, and makes an object as a module's start
// values would; voMain reports both, so a collector set up after voInit shows as a lost object.
int voInit() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  struct sigaction current;
  sigaction(SIGSEGV, nullptr, &current);
  handlerAtInit = current.sa_handler == sighandler;
  madeAtInit = new Object();
  return 0;
}

int voMain() {
  std::printf("init %d %s %d %d\n", argc, argv[argc - 1], handlerAtInit, onUnmarkedList(madeAtInit));
  const char* mode = std::getenv("QUILLET_STARTUP");
  const std::string startup = mode ? mode : "none";
  if (startup == "throw") throw new Thrown();
  if (startup == "window") {
    VoGame::_game->SetDelegate(new PrintingDelegate());
    VoGame::_game->SetUpdateRate(60);
  }
  return 0;
}
