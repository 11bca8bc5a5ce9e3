// The game object headless: the test host (fake clock, window and joysticks),
// graphics and audio drivers that record what reaches them instead of calling
// OpenGL or OpenAL, a real input device, and one c_MyApp created as the
// program creates it. GameTest runs each test in a private working folder,
// which holds the state file. The fuzz targets share the drivers and set-up.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "game/myapp.h"
#include "tests/support/recording_audio.h"
#include "tests/support/test_host.h"

namespace gametest {

using Floats = std::vector<float>;

// One call that reached the graphics driver: its name and its arguments.
struct GfxCall {
  std::string op;
  std::vector<float> args;
};

// A graphics driver that logs state changes and drawing. Files load as blank
// surfaces of the size registered for the end of their name; ReadPixels
// reports readColor, or the bytes of `input` in the blue channel when set.
class RecordingGraphics : public gxtkGraphics {
 public:
  // User-provided so that `new` does not zero the collector's header.
  RecordingGraphics() {}
  std::vector<GfxCall> calls;
  std::vector<std::string> loaded;
  std::vector<std::pair<std::string, std::pair<int, int>>> files;
  int readColor = 0;
  const uint8_t* input = nullptr;
  size_t size = 0;
  size_t offset = 0;

  int Cls(float r, float g, float b) override { return log("Cls", {r, g, b}); }
  int SetAlpha(float a) override { return log("SetAlpha", {a}); }
  int SetColor(float r, float g, float b) override { return log("SetColor", {r, g, b}); }
  int SetBlend(int blend) override { return log("SetBlend", {float(blend)}); }
  int SetMatrix(float ix, float iy, float jx, float jy, float tx, float ty) override {
    return log("SetMatrix", {ix, iy, jx, jy, tx, ty});
  }
  int DrawRect(float x, float y, float rw, float rh) override { return log("DrawRect", {x, y, rw, rh}); }
  int DrawLine(float x1, float y1, float x2, float y2) override { return log("DrawLine", {x1, y1, x2, y2}); }
  int DrawOval(float x, float y, float ow, float oh) override { return log("DrawOval", {x, y, ow, oh}); }
  int DrawSurface(gxtkSurface*, float x, float y) override { return log("DrawSurface", {x, y}); }
  int DrawSurface2(gxtkSurface*, float x, float y, int sx, int sy, int sw, int sh) override {
    return log("DrawSurface2", {x, y, float(sx), float(sy), float(sw), float(sh)});
  }
  int ReadPixels(Array<int> pixels, int, int, int rw, int rh, int first, int pitch) override {
    for (int y = 0; y < rh; ++y)
      for (int x = 0; x < rw; ++x)
        pixels[first + y * pitch + x] =
            input ? static_cast<int>(0xFF000000u | (size ? input[offset++ % size] : 0u)) : readColor;
    return log("ReadPixels", {float(rw), float(rh)});
  }
  gxtkSurface* LoadSurface(String path) override {
    std::string p = path.ToUtf8();
    loaded.push_back(p);
    for (auto& f : files)
      if (p.size() >= f.first.size() && p.compare(p.size() - f.first.size(), f.first.size(), f.first) == 0)
        return blankSurface(f.second.first, f.second.second);
    return nullptr;
  }
  static gxtkSurface* blankSurface(int sw, int sh) {
    gxtkSurface* s = new gxtkSurface;
    s->SetData(static_cast<unsigned char*>(calloc(size_t(sw) * sh, 4)), sw, sh, 4);
    return s;
  }
  // The calls of one kind, in order.
  std::vector<GfxCall> only(const std::string& op) const {
    std::vector<GfxCall> out;
    for (const GfxCall& c : calls)
      if (c.op == op) out.push_back(c);
    return out;
  }

 private:
  int log(const char* op, std::vector<float> args) {
    calls.push_back({op, std::move(args)});
    return 0;
  }
};

// The process's game as the program sets it up, without music, on a test
// host: the game module's globals, the recording drivers, a real input device
// and a new c_MyApp.
struct HeadlessGame : VoTestHost {
  RecordingGraphics* gfx = new RecordingGraphics();
  RecordingAudio* audio = new RecordingAudio();
  c_InputDevice* input = (new c_InputDevice)->m_new();
  c_MyApp* app = nullptr;

  HeadlessGame() {
    voInit();
    vo_Game_HasMusic = 0;
    vo_graphics_SetGraphicsDevice(gfx);
    vo_audio_SetAudioDevice(audio);
    vo_input_SetInputDevice(input);
    app = (new c_MyApp())->m_new();
  }
};

// The fuzz targets' one game per process, with the state file replaced by a
// text in memory; Tidy forgets what the drivers recorded and runs a collector
// step, so a long fuzzing run stays small.
struct FuzzGame : HeadlessGame {
  String state;

  String LoadState() override { return state; }
  int SaveState(String text) override {
    state = text;
    return 0;
  }
  void Tidy() {
    gfx->calls.clear();
    gfx->loaded.clear();
    audio->calls.clear();
    audio->loaded.clear();
    gc_collect();
  }
  static FuzzGame& Get() {
    static FuzzGame* game = [] {
      setenv("ALSOFT_DRIVERS", "null", 1);
      FuzzGame* g = new FuzzGame();
      // The game reports each section it loads; libFuzzer reports on stderr.
      if (!std::freopen("/dev/null", "w", stdout)) abort();
      return g;
    }();
    return *game;
  }
};

// Runs every test with gc_stress on, and follows every update and render with
// the collector step that the host runs after each call into the game. Each
// such step destroys all garbage and poisons its memory. Two steps before the
// test already destroy every object that a mark() forgets, and a step after
// it checks the poison once more, so such an object is read as poison, or
// found written to, wherever the test uses it.
class GameTest : public ::testing::Test {
 public:
  HeadlessGame host;
  RecordingGraphics* gfx = host.gfx;
  RecordingAudio* audio = host.audio;
  c_InputDevice* input = host.input;
  c_MyApp* app = host.app;

  void SetUp() override {
    char dir[] = "/tmp/quillet-game-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    folder_ = dir;
    ASSERT_EQ(chdir(dir), 0);
    gc_stress = true;
    host.gc_collect();
    host.gc_collect();
  }
  void TearDown() override {
    host.gc_collect();
    gc_stress = false;
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_EQ(system(("rm -rf " + folder_).c_str()), 0);
  }

  // One render as the delegate brackets it, and the host's collector step;
  // the driver takes the window size.
  void render() {
    gfx->BeginRender();
    gfx->calls.clear();
    vo_graphics_BeginRender();
    app->p_OnRender();
    vo_graphics_EndRender();
    host.gc_collect();
  }
  // One update as the delegate brackets it, and the host's collector step;
  // the clock then moves 1/64 s.
  void update(int n = 1) {
    for (int i = 0; i < n; ++i) {
      input->p_BeginUpdate();
      app->p_OnUpdate();
      input->p_EndUpdate();
      host.gc_collect();
      host.Advance(1.0 / 64);
    }
  }
  // Creates the game and runs the loader until the title menu is up.
  void toMenu() {
    app->p_OnCreate();
    render();
    update(15);
    ASSERT_EQ(app->m_LoadStep, 0);
  }
  void key(int code, bool down) { input->p_KeyEvent(down ? VoGameEvent::KeyDown : VoGameEvent::KeyUp, code); }
  // A key pressed for one update and released.
  void tap(int code) {
    key(code, true);
    update();
    key(code, false);
    update();
  }
  // A touch held for one update at a design position (640 x 480 window), then released.
  void touch(float x, float y) {
    input->p_MouseEvent(VoGameEvent::MouseDown, 0, x, y);
    update();
    input->p_MouseEvent(VoGameEvent::MouseUp, 0, 0, 0);
    update();
  }
  float entry(int n, int slot) const { return app->m_DrawList[n * DrawEntrySize + slot]; }
  int entries() const { return app->m_DrawCount / DrawEntrySize; }
  // Where the entries of the given kind and colour from entry `from` on lie:
  // x, y and size or scale of each.
  std::vector<Floats> drawn(float kind, Floats rgb, int from = 0) const {
    std::vector<Floats> out;
    for (int n = from; n < entries(); ++n)
      if (entry(n, 0) == kind && Floats({entry(n, 10), entry(n, 11), entry(n, 12)}) == rgb)
        out.push_back({entry(n, 1), entry(n, 2), entry(n, 4), entry(n, 5)});
    return out;
  }
  // The text of the font's entries from entry `from` on: a line per row of
  // glyphs from the top, a gap of whole glyph advances read as spaces.
  std::string drawnText(int from = 0) const {
    std::map<std::pair<long, float>, std::pair<char, float>> glyphs;
    for (int n = from; n < entries(); ++n)
      if (entry(n, 0) == app->m_Font)
        glyphs[{std::lround(entry(n, 2)), entry(n, 1)}] = {char(entry(n, 6) + 32),
                                                           app->m_ImgInfo[app->m_Font * 3] * entry(n, 4)};
    std::string out;
    long row = LONG_MIN;
    float x = 0;
    for (const auto& [at, glyph] : glyphs) {
      if (at.first != row) {
        out += '\n';
        row = at.first;
        x = at.second - glyph.second;
      }
      out.append(static_cast<size_t>(std::lround((at.second - x) / glyph.second)) - 1, ' ') += glyph.first;
      x = at.second;
    }
    return out;
  }
  // The state file's text and its fields split at "|".
  std::string saved() { return host.LoadState().ToUtf8(); }
  static std::vector<std::string> fields(const std::string& s) {
    std::vector<std::string> out(1);
    for (char c : s) c == '|' ? out.emplace_back() : out.back() += c;
    return out;
  }
  // Loads the state file into a new game object; what the load printed.
  std::string loadInto(c_MyApp** other) {
    *other = new c_MyApp();
    testing::internal::CaptureStdout();
    (*other)->p_Load();
    return testing::internal::GetCapturedStdout();
  }

 private:
  std::string folder_;
};

}  // namespace gametest
