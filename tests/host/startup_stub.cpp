// Stand-ins for the game's voInit and voMain, linked with the real program
// entry (host/main.cpp). QUILLET_STARTUP picks what voMain does:
//   none    installs no delegate (the program ends without opening a window)
//   throw   throws a language exception
//   segv    raises SIGSEGV (the fatal-signal path)
//   window  installs a delegate that prints every call it receives, one line each:
//     start | suspend | resume <renders> <updates> (counted while suspended)
//     ready <framebuffer width> <height> <glfwGraphicsSeq> <desktop width> <height> <bits r g b> <modes>
//     key <event> <data> | mouse <event> <button> <x> <y> | reopened <glfwGraphicsSeq>
//   F2 re-opens the window at the next update; F3 ends the program.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/game.h"

namespace {

class Thrown : public ThrowableObject {
 public:
  Thrown() {}
};

class PrintingDelegate : public VoGameDelegate {
 public:
  PrintingDelegate() {}
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
    std::printf("ready %d %d %d %d %d %d %d %d %d\n", w, h, glfwGraphicsSeq, m->width, m->height, m->red, m->green,
                m->blue, host->GetGlfwVideoModes().Length());
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
  int renders_ = 0;
  int updates_ = 0;
  bool reopen_ = false;
  bool ready_ = false;
};

}  // namespace

// Reports what start-up has done before the language globals are set.
int voInit() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  struct sigaction current;
  sigaction(SIGSEGV, nullptr, &current);
  bool handler = current.sa_handler == sighandler;
  bool emptyLists = gc_unmarked_list.succ == &gc_unmarked_list && gc_queued_list.succ == &gc_queued_list;
  std::printf("init %d %s %d %d\n", argc, argv[argc - 1], handler, emptyLists);
  return 0;
}

int voMain() {
  const char* mode = std::getenv("QUILLET_STARTUP");
  const std::string startup = mode ? mode : "none";
  if (startup == "throw") throw new Thrown();
  if (startup == "segv") std::raise(SIGSEGV);
  if (startup == "window") {
    VoGame::_game->SetDelegate(new PrintingDelegate());
    VoGame::_game->SetUpdateRate(60);
  }
  return 0;
}
