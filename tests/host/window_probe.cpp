// Opens the real window through VoGlfwGame with a delegate that prints every
// call it receives, one line each, for the Xvfb window test to compare:
//   ready <framebuffer width> <height> <glfwGraphicsSeq>
//   desktop <width> <height> <red> <green> <blue> <number of video modes>
//   start | suspend | resume <renders> <updates> (counted while suspended)
//   key <event> <data> | mouse <event> <button> <x> <y>
//   reopened <glfwGraphicsSeq>
// F2 re-opens the window at the next update; F3 ends the program.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

#include "host/game.h"

namespace {

class PrintingDelegate : public VoGameDelegate {
 public:
  PrintingDelegate() {}

  void StartGame() override { Say("start"); }
  void SuspendGame() override {
    renders_ = updates_ = 0;
    Say("suspend");
  }
  void ResumeGame() override { std::printf("resume %d %d\n", renders_, updates_); }
  void UpdateGame() override {
    ++updates_;
    if (reopen_) {
      reopen_ = false;
      VoGlfwGame::_glfwGame->SetGlfwWindow(640, 480, 8, 8, 8, 0, 0, 0, false);
      std::printf("reopened %d\n", glfwGraphicsSeq);
    }
  }
  void RenderGame() override {
    ++renders_;
    VoGlfwGame::_glfwGame->SwapBuffers();
    if (!ready_) {
      ready_ = true;
      int w, h;
      VoGlfwGame::_glfwGame->GetWindowSize(&w, &h);
      std::printf("ready %d %d %d\n", w, h, glfwGraphicsSeq);
      VoGlfwVideoMode* m = VoGlfwGame::_glfwGame->GetGlfwDesktopMode();
      int modes = VoGlfwGame::_glfwGame->GetGlfwVideoModes().Length();
      std::printf("desktop %d %d %d %d %d %d\n", m->width, m->height, m->red, m->green, m->blue, modes);
    }
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
  static void Say(const char* line) { std::printf("%s\n", line); }
  int renders_ = 0;
  int updates_ = 0;
  bool reopen_ = false;
  bool ready_ = false;
};

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!glfwInit()) return 2;
  auto* game = new VoGlfwGame();
  game->SetDelegate(new PrintingDelegate());
  game->SetUpdateRate(60);
  game->Run();
  glfwTerminate();
  return 0;
}
