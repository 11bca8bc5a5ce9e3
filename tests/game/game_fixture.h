// Headless set-up for the game object: the test host (fake clock, window and
// joysticks), a graphics driver and an audio driver that record what reaches
// them instead of calling OpenGL or OpenAL, a real input device, and one
// c_MyApp created as the program creates it.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio.h"
#include "framework/app.h"
#include "game/myapp.h"
#include "graphics/graphics.h"
#include "tests/support/test_host.h"

namespace gametest {

// One call that reached the graphics driver: its name and its arguments.
struct GfxCall {
  std::string op;
  std::vector<float> args;
};

// A graphics driver that logs state changes and drawing. Its size is the test
// host's window size, read at creation and at every BeginRender.
class RecordingGraphics : public gxtkGraphics {
 public:
  // User-provided so that `new` does not zero the collector's header.
  RecordingGraphics() {}
  std::vector<GfxCall> calls;
  // The colour ReadPixels reports for every pixel.
  int readColor = 0;

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
  int ReadPixels(Array<int> pixels, int, int, int rw, int rh, int offset, int pitch) override {
    for (int y = 0; y < rh; ++y)
      for (int x = 0; x < rw; ++x) pixels[offset + y * pitch + x] = readColor;
    return log("ReadPixels", {float(rw), float(rh)});
  }
  // Files load as blank surfaces of the size the test registered for the
  // name; every path asked for is remembered.
  std::vector<std::string> loaded;
  std::vector<std::pair<std::string, std::pair<int, int>>> files;
  gxtkSurface* LoadSurface(String path) override {
    std::string p = path.ToUtf8();
    loaded.push_back(p);
    for (auto& f : files) {
      if (p.size() >= f.first.size() && p.compare(p.size() - f.first.size(), f.first.size(), f.first) == 0)
        return blankSurface(f.second.first, f.second.second);
    }
    return nullptr;
  }

  static gxtkSurface* blankSurface(int sw, int sh) {
    gxtkSurface* s = new gxtkSurface;
    s->SetData(static_cast<unsigned char*>(std::calloc(size_t(sw) * sh, 4)), sw, sh, 4);
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

// An audio driver that logs channel commands and sample loads.
class RecordingAudio : public gxtkAudio {
 public:
  RecordingAudio() {}
  std::vector<std::string> calls;
  std::vector<std::string> loaded;

  gxtkSample* LoadSample(String path) override {
    loaded.push_back(path.ToUtf8());
    return new gxtkSample();
  }
  int PlaySample(gxtkSample*, int channel, int flags) override {
    return log("play " + std::to_string(channel) + " " + std::to_string(flags));
  }
  int StopChannel(int channel) override { return log("stop " + std::to_string(channel)); }
  int SetRate(int channel, float v) override { return log("rate " + std::to_string(channel) + " " + num(v)); }
  int SetVolume(int channel, float v) override { return log("volume " + std::to_string(channel) + " " + num(v)); }
  int SetPan(int channel, float v) override { return log("pan " + std::to_string(channel) + " " + num(v)); }

 private:
  static std::string num(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
  }
  int log(std::string s) {
    calls.push_back(std::move(s));
    return 0;
  }
};

// Every test starts from a freshly created game object with fresh drivers.
class GameTest : public ::testing::Test {
 public:
  VoTestHost host;
  RecordingGraphics* gfx = nullptr;
  RecordingAudio* audio = nullptr;
  c_InputDevice* input = nullptr;
  c_MyApp* app = nullptr;

  void SetUp() override {
    vo_framework_Init();
    vo_app__game = &host;
    vo_Game_DebugMode = 0;
    vo_Game_HasMusic = 0;
    vo_Game_OnScreenControls = 0;
    vo_Game_iCadeControls = 0;
    vo_Game_AccelerometerControls = 0;
    vo_Game_rawscrw = vo_Game_jscrw = 640.0f;
    vo_Game_rawscrh = vo_Game_jscrh = 480.0f;
    gfx = new RecordingGraphics();
    vo_graphics_SetGraphicsDevice(gfx);
    audio = new RecordingAudio();
    vo_audio_SetAudioDevice(audio);
    input = (new c_InputDevice)->m_new();
    vo_input_SetInputDevice(input);
    app = (new c_MyApp())->m_new();
  }

  // One render as the delegate brackets it; the driver takes the window size.
  void render() {
    gfx->BeginRender();
    gfx->calls.clear();
    vo_graphics_BeginRender();
    app->p_OnRender();
    vo_graphics_EndRender();
  }
  void resize(int w, int h) {
    host.width = w;
    host.height = h;
    gfx->BeginRender();
  }
  // Plugs a joystick into unit 0 whose report gives these stick axes (up
  // positive), triggers and buttons, and polls it as the delegate does.
  void joystick(float lx, float ly, float rx, float ry, float lt, float rt, std::vector<int> pressed) {
    VoJoystickState s;
    s.axisCount = 6;
    const float axes[6] = {lx, -ly, lt, rx, -ry, rt};  // the window system's y runs down
    for (int i = 0; i < 6; ++i) s.axes[i] = axes[i];
    s.buttonCount = 32;
    for (int b : pressed) s.buttons[b] = true;
    host.SetJoystick(0, &s);
    input->p_BeginUpdate();
  }
  // A font of 7 x 10 design units in slot 90, the loader's font.
  void useFont() {
    app->m_Font = 90;
    app->m_ImgInfo[270] = 7;
    app->m_ImgInfo[271] = 10;
  }
  // The float at slot of entry n of the display list.
  float entry(int n, int slot) const { return app->m_DrawList[n * DrawEntrySize + slot]; }
  int entries() const { return app->m_DrawCount / DrawEntrySize; }
};

}  // namespace gametest
