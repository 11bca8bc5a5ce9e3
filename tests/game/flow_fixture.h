// A game session for the flow, persistence and screen tests: the headless game
// fixture run in a private working folder (which holds the state file), a
// ticking clock, and helpers that press keys, touch the screen and read back
// what was saved, printed and drawn.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "game/myapp.h"
#include "tests/game/game_fixture.h"

namespace gametest {

class SessionTest : public GameTest {
 protected:
  // Each test gets its own folder, so tests running side by side never share
  // a state file.
  void SetUp() override {
    char dir[] = "/tmp/quillet-session-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    folder_ = dir;
    ASSERT_EQ(chdir(dir), 0);
    voInit();  // the game module's globals, the credit lines among them
    GameTest::SetUp();
  }
  void TearDown() override {
    std::remove((folder_ + "/.dovelstate").c_str());
    ASSERT_EQ(chdir("/"), 0);
    rmdir(folder_.c_str());
  }

  // The state file's text ("" when there is none) and writing one.
  String saved() { return host.LoadState(); }
  void writeState(const String& s) { ASSERT_EQ(host.SaveState(s), 0); }
  void forgetState() { std::remove(".dovelstate"); }
  bool stateSaved() { return access(".dovelstate", F_OK) == 0; }

  // Creation as the delegate runs it, followed by the first render.
  void create() {
    app->p_OnCreate();
    render();
  }

  // One update as the delegate brackets it; the clock then moves 1/64 s.
  void update() {
    input->p_BeginUpdate();
    app->p_OnUpdate();
    input->p_EndUpdate();
    host.Advance(1.0 / 64);
  }

  void updates(int n) {
    for (int i = 0; i < n; ++i) update();
  }

  // Creates the game and runs the loader until the title menu is up.
  void toMenu() {
    create();
    updates(15);
    ASSERT_EQ(app->m_LoadStep, 0);
  }

  void keyDown(int code) { input->p_KeyEvent(VoGameEvent::KeyDown, code); }
  void keyUp(int code) { input->p_KeyEvent(VoGameEvent::KeyUp, code); }
  // A key pressed for one update and released.
  void tap(int code) {
    keyDown(code);
    update();
    keyUp(code);
    update();
  }

  // Left mouse button at a design position (the window is 640 x 480, scale 1).
  void mouseDown(float x, float y) { input->p_MouseEvent(VoGameEvent::MouseDown, 0, x, y); }
  void mouseUp() { input->p_MouseEvent(VoGameEvent::MouseUp, 0, 0, 0); }

  // The text of the font entries of the display list, in order (glyph frame
  // f is character f + 32), so a test can read what a screen wrote.
  std::string drawnText() const {
    std::string out;
    for (int n = 0; n < entries(); ++n)
      if (entry(n, 0) == static_cast<float>(app->m_Font)) out += static_cast<char>(entry(n, 6) + 32);
    return out;
  }

  // Splits a state text at every "|".
  static std::vector<std::string> fields(const String& s) {
    std::vector<std::string> out(1);
    for (char c : s.ToUtf8()) {
      if (c == '|')
        out.emplace_back();
      else
        out.back() += c;
    }
    return out;
  }

  static String join(const std::vector<std::string>& f) {
    std::string s;
    for (size_t i = 0; i < f.size(); ++i) s += (i ? "|" : "") + f[i];
    return String(s.c_str());
  }

 private:
  std::string folder_;
};

}  // namespace gametest
