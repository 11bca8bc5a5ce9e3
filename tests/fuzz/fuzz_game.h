// The headless game for the fuzz targets that need one: the test host, the
// recording graphics and audio drivers of the game tests, a real input device
// and one c_MyApp, created once per fuzzing process.
#pragma once

#include <cstdlib>

#include "tests/game/game_fixture.h"

namespace fuzzgame {

// A graphics driver whose read-back pixels come from the fuzzer's input:
// pixel i of every read is 0xFF000000 | input[(reads + i) mod size], so the
// input's bytes land in the blue channel the tune decoder reads.
class InputPixels : public gametest::RecordingGraphics {
 public:
  InputPixels() {}
  const uint8_t* input = nullptr;
  size_t size = 0;
  size_t offset = 0;

  int ReadPixels(Array<int> pixels, int, int, int rw, int rh, int first, int pitch) override {
    for (int y = 0; y < rh; ++y)
      for (int x = 0; x < rw; ++x) {
        int blue = size == 0 ? 0 : input[offset++ % size];
        pixels[first + y * pitch + x] = static_cast<int>(0xFF000000u | static_cast<unsigned>(blue));
      }
    return 0;
  }
};

// The host with its state file replaced by a text in memory: LoadState hands
// out `state`, SaveState keeps what it is given there.
class StateHost : public VoTestHost {
 public:
  String state;
  String LoadState() override { return state; }
  int SaveState(String text) override {
    state = text;
    return 0;
  }
};

struct Game {
  StateHost host;
  InputPixels* gfx = nullptr;
  gametest::RecordingAudio* audio = nullptr;
  c_MyApp* app = nullptr;

  // Forgets what the drivers recorded and runs a collector step with the
  // framework's globals as roots, so a long fuzzing run stays small.
  void Tidy() {
    gfx->calls.clear();
    gfx->loaded.clear();
    audio->calls.clear();
    audio->loaded.clear();
    gc_collect();
  }
};

// The process's one game, set up like the game tests set up theirs. The
// drivers and the application stay reachable from the framework's globals,
// so the collector keeps them.
inline Game& TheGame() {
  static Game* game = [] {
    setenv("ALSOFT_DRIVERS", "null", 1);
    Game* g = new Game();
    vo_framework_Init();
    vo_app__game = &g->host;
    vo_Game_DebugMode = 0;
    vo_Game_HasMusic = 0;
    g->gfx = new InputPixels();
    vo_graphics_SetGraphicsDevice(g->gfx);
    g->audio = new gametest::RecordingAudio();
    vo_audio_SetAudioDevice(g->audio);
    vo_input_SetInputDevice((new c_InputDevice)->m_new());
    g->app = (new c_MyApp())->m_new();
    gc_mark_roots_hook = vo_framework_MarkRoots;
    // The game reports each section it loads; libFuzzer reports on stderr.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return g;
  }();
  return *game;
}

}  // namespace fuzzgame
