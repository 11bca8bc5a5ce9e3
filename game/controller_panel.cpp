// The controller panel: F9 lays it over whatever screen is showing. For each
// of the four joystick ports it shows what controller-testing tools show --
// connected or not, the device's name and GUID, its gamepad mapping and where
// the line came from (or that the raw layout is read), every axis as a bar
// with its value, every button and hat as a lit or unlit mark -- and which
// numbered game control each input holds. Each stick gets a square view with
// a trace of its last two seconds, its drift at rest and its circularity, and
// the triggers show as bars from 0 to 1. F1 to F4 start the mapping wizard on
// that port. A device coming or going is printed and noticed on screen for
// two seconds, panel open or not.
//
// The panel reads the host through DescribeJoystick before the game reads its
// input, and draws into the display list after everything else of the update.
// It changes no game state and nothing that is saved; the draw state it uses
// is put back afterwards. While the wizard runs, the device it maps and the
// panel's keys read as released to the game.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "game/myapp.h"

namespace {

constexpr int kPorts = 4;
// Keys in the runtime's key codes; the game uses none of them. F1 to F4
// start the wizard on ports 1 to 4.
constexpr int kKeyF1 = 112;
constexpr int kKeySkip = 116;   // F5
constexpr int kKeyBack = 117;   // F6
constexpr int kKeyReset = 118;  // F7: circularity measured afresh
constexpr int kKeyF9 = 120;
constexpr int kNoticeMs = 2000;
const char kNoLines[] = "GUIDs and mapping lines do not apply: the browser maps the device itself";

// Layout in design units.
constexpr float kMargin = 6;
constexpr float kLineGap = 2;
constexpr float kBarWidth = 48;
constexpr float kMark = 9;
constexpr float kMarkStep = 19;
constexpr int kMarksPerRow = 16;
constexpr float kStickView = 40;
constexpr float kTraceDot = 2;
constexpr float kDot = 4;

// Names of the gamepad layout's axes and buttons (GLFW gamepad order).
constexpr int kPadAxes = 6;
constexpr int kPadButtons = 15;
const char* const kPadAxisNames[kPadAxes] = {"LX", "LY", "RX", "RY", "LT", "RT"};
const char* const kPadButtonNames[kPadButtons] = {"A",  "B",  "X",  "Y",  "LB", "RB", "Bk", "St",
                                                  "Gd", "LS", "RS", "Up", "Rt", "Dn", "Lf"};
const char* const kHatDirections[4] = {"U", "R", "D", "L"};

// Runtime text from UTF-8: device names may hold any characters.
String Utf8(const std::string& text) {
  return String::Load(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

// One number in printf's `format`.
std::string Number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A control number as the panel prints it: "-" for none.
std::string ControlText(int control) { return control < 0 ? "-" : std::to_string(control); }

// The control that game joystick button `button` holds from this port; only
// unit 0 drives the game.
int ButtonControl(int port, int button) {
  return port == 0 && button >= 0 ? c_MyApp::p_ControlOfJoyButton(button) : -1;
}

// "neg/pos": the controls that pushing an axis down to -1 and up to 1 holds.
// The window system reports down as positive on the y axes.
std::string AxisControls(int port, bool stick0x, bool stick0y) {
  if (port != 0 || !(stick0x || stick0y)) return "-";
  int negative = c_MyApp::p_ControlOfStick(stick0y, stick0y);
  int positive = c_MyApp::p_ControlOfStick(stick0y, !stick0y);
  return ControlText(negative) + "/" + ControlText(positive);
}

// Draws into the game's display list with a saved and restored draw state.
class Painter {
 public:
  explicit Painter(c_MyApp& app)
      : app_(app),
        sx_(app.m_DrawScaleX),
        sy_(app.m_DrawScaleY),
        rot_(app.m_DrawRot),
        r_(app.m_DrawR),
        g_(app.m_DrawG),
        b_(app.m_DrawB),
        alpha_(app.m_DrawAlpha),
        blend_(app.m_DrawBlend) {
    app.p_ResetDraw();
    const int font = app.m_Font * 3;
    charW_ = static_cast<float>(app.m_ImgInfo[font]);
    lineH_ = static_cast<float>(app.m_ImgInfo[font + 1]) + kLineGap;
  }
  ~Painter() {
    app_.m_DrawScaleX = sx_;
    app_.m_DrawScaleY = sy_;
    app_.m_DrawRot = rot_;
    app_.p_SetCol(r_, g_, b_, alpha_);
    app_.m_DrawBlend = blend_;
  }

  float LineHeight() const { return lineH_; }
  float CharWidth() const { return charW_; }

  void Colour(float r, float g, float b, float a = 1) { app_.p_SetCol(r, g, b, a); }
  void Box(float x, float y, float w, float h) { app_.p_Rect(x, y, w, h); }
  // Text whose first cell's left edge is at x and whose top is at y, cut to
  // `cells` characters (all when negative).
  void Text(float x, float y, const std::string& text, int cells = -1) {
    String s = Utf8(text);
    if (cells >= 0 && s.Length() > cells) s = s.Slice(0, cells);
    app_.p_Text(x + charW_ * 0.5f, y, s, 0, 0);
  }
  // Text broken at spaces into rows of at most `cells` characters; returns
  // the number of rows.
  int Wrapped(float x, float y, const std::string& text, int cells) {
    int rows = 0;
    for (size_t from = 0; from < text.size(); ++rows) {
      size_t to = from + static_cast<size_t>(std::max(cells, 1));
      if (to < text.size()) {
        size_t space = text.rfind(' ', to);
        if (space != std::string::npos && space > from) to = space;
      }
      Text(x, y + lineH_ * static_cast<float>(rows), text.substr(from, to - from), cells);
      from = text.find_first_not_of(' ', to);
    }
    return rows;
  }
  // A mark lit or unlit, with its top-left at (x, y).
  void Mark(float x, float y, bool lit) {
    if (lit)
      Colour(255, 220, 0);
    else
      Colour(70, 70, 90);
    Box(x, y, kMark, kMark);
  }
  // A bar filled from the left for a value from 0 to 1.
  void Level(float x, float y, float value) {
    float h = lineH_ - kLineGap * 2;
    Colour(60, 60, 80);
    Box(x, y, kBarWidth, h);
    Colour(255, 160, 60);
    Box(x, y, kBarWidth * std::min(std::max(value, 0.0f), 1.0f), h);
  }
  // A bar centred on zero for a value from -1 to 1.
  void Bar(float x, float y, float value) {
    float h = lineH_ - kLineGap * 2;
    Colour(60, 60, 80);
    Box(x, y, kBarWidth, h);
    if (value > 1) value = 1;
    if (value < -1) value = -1;
    float half = kBarWidth * 0.5f;
    Colour(90, 200, 255);
    if (value >= 0)
      Box(x + half, y, half * value, h);
    else
      Box(x + half * (1 + value), y, -half * value, h);
  }

 private:
  c_MyApp& app_;
  float sx_, sy_, rot_, r_, g_, b_, alpha_;
  int blend_;
  float charW_ = 0;
  float lineH_ = 0;
};

// One input of a port as the panel lists it.
struct AxisRow {
  std::string label;
  float value;
  std::string controls;
};
struct ButtonMark {
  std::string label;
  bool lit;
  std::string control;
};

// The axes and buttons through which the game reads the device: the gamepad
// layout when a mapping was found, else the raw report.
void GameInputs(int port, const VoJoystickInfo& info, std::vector<AxisRow>* axes, std::vector<ButtonMark>* buttons) {
  const VoJoystickState& state = info.state;
  if (state.gamepad) {
    for (int a = 0; a < kPadAxes; ++a)
      axes->push_back({kPadAxisNames[a], state.padAxes[a], AxisControls(port, a == 0, a == 1)});
    for (int b = 0; b < kPadButtons; ++b)
      buttons->push_back(
          {kPadButtonNames[b], state.padButtons[b], ControlText(ButtonControl(port, VoGamepadButtonToGame(b)))});
    return;
  }
  // Without a mapping raw axis 0 and 1 are stick 0; the rest feed sticks and
  // triggers the screens do not read.
  for (int a = 0; a < info.axisCount; ++a)
    axes->push_back({"A" + std::to_string(a), info.axes[a], AxisControls(port, a == 0, a == 1)});
  for (int b = 0; b < info.buttonCount; ++b)
    buttons->push_back({std::to_string(b), info.buttons[b], ControlText(ButtonControl(port, b))});
}

// One port's block with its top-left at (x, y), `w` wide.
void DrawPort(Painter& paint, int port, const VoJoystickInfo* info, float x, float y, float w) {
  const float lh = paint.LineHeight();
  const int cells = static_cast<int>((w - 2 * kMargin) / (paint.CharWidth() > 0 ? paint.CharWidth() : 1));
  x += kMargin;
  std::string title = "Port " + std::to_string(port + 1) + (port == 0 ? " (drives the game)" : "");
  if (!info) {
    paint.Colour(150, 150, 150);
    paint.Text(x, y, title + ": not connected", cells);
    return;
  }
  paint.Colour(120, 255, 120);
  paint.Text(x, y, title + ": connected", cells);
  paint.Colour(255, 255, 255);
  paint.Text(x, y += lh, info->name, cells);
  y += lh;
  int idRows;
  if (!info->mappingLinesApply) {
    idRows = paint.Wrapped(x, y, kNoLines, cells);
  } else {
    paint.Text(x, y, "GUID " + info->guid, cells);
    idRows = 1 + paint.Wrapped(x, y + lh,
                               info->mapping.empty() ? "no mapping: raw layout"
                                                     : "mapping: " + info->mapping + " (" + info->mappingOrigin + ")",
                               cells);
  }
  y += lh * static_cast<float>(idRows - 1);

  std::vector<AxisRow> axes;
  std::vector<ButtonMark> buttons;
  GameInputs(port, *info, &axes, &buttons);
  // Axes in two columns: label, bar, value, the controls of its two ends.
  const float column = (w - 2 * kMargin) * 0.5f;
  const int rows = (static_cast<int>(axes.size()) + 1) / 2;
  y += lh;
  for (size_t i = 0; i < axes.size(); ++i) {
    float ax = x + column * static_cast<float>(i % 2 ? 1 : 0);
    float ay = y + lh * static_cast<float>(i / 2);
    paint.Colour(200, 200, 200);
    paint.Text(ax, ay, axes[i].label);
    paint.Bar(ax + 3 * paint.CharWidth(), ay, axes[i].value);
    paint.Colour(255, 255, 255);
    paint.Text(ax + 4 * paint.CharWidth() + kBarWidth, ay, Number("%+.2f", axes[i].value) + " " + axes[i].controls);
  }
  y += lh * static_cast<float>(rows);

  // Marks in rows: the input's name above, its control below.
  auto marks = [&](const std::vector<ButtonMark>& list, bool withControls) {
    for (size_t i = 0; i < list.size(); ++i) {
      float mx = x + kMarkStep * static_cast<float>(i % kMarksPerRow);
      float my = y + (withControls ? 3 : 2) * lh * static_cast<float>(i / kMarksPerRow);
      paint.Colour(200, 200, 200);
      paint.Text(mx, my, list[i].label, 2);
      paint.Mark(mx, my + lh, list[i].lit);
      paint.Colour(255, 200, 120);
      if (withControls) paint.Text(mx, my + 2 * lh, list[i].control, 2);
    }
    int markRows = (static_cast<int>(list.size()) + kMarksPerRow - 1) / kMarksPerRow;
    y += (withControls ? 3 : 2) * lh * static_cast<float>(markRows);
  };
  marks(buttons, true);

  // With a mapping the raw buttons hold nothing themselves; they are shown lit
  // or unlit so a binding can be checked against them.
  if (info->state.gamepad) {
    std::vector<ButtonMark> raw;
    for (int b = 0; b < info->buttonCount; ++b) raw.push_back({std::to_string(b), info->buttons[b], ""});
    marks(raw, false);
  }
  // Hats: one mark per direction. The window system also reports them as
  // buttons after the device's own, which is how an unmapped hat holds controls.
  std::vector<ButtonMark> hats;
  for (int h = 0; h < info->hatCount; ++h) {
    for (int d = 0; d < 4; ++d) {
      int button = info->state.gamepad ? -1 : info->buttonCount + 4 * h + d;
      hats.push_back({kHatDirections[d] + std::to_string(h), (info->hats[h] & VoHatBits[d]) != 0,
                      ControlText(ButtonControl(port, button))});
    }
  }
  marks(hats, true);
}

// The sticks' square views (trace fading over two seconds, the position as a
// dot), the drift and circularity lines beside them and the trigger bars, in
// a strip whose bottom-left corner is (x, bottom).
void DrawTester(Painter& paint, const padtest::PortTester& tester, int nowMs, float x, float bottom) {
  const float lh = paint.LineHeight();
  const float top = bottom - kStickView;
  const padtest::PadView& view = tester.view;
  std::string drift = "drift", circularity = "circularity";
  for (int s = 0; s < view.sticks; ++s) {
    const float sx = x + kMargin + (kStickView + kMargin) * static_cast<float>(s);
    const float half = kStickView * 0.5f;
    paint.Colour(20, 20, 30);
    paint.Box(sx, top, kStickView, kStickView);
    for (const padtest::StickTester::Point& p : tester.sticks[s].Trace()) {
      const float age = static_cast<float>(vo_app_MillisecsBetween(p.ms, nowMs)) / padtest::StickTester::kTraceMs;
      paint.Colour(90, 200, 255, 1 - age);
      paint.Box(sx + half * (1 + p.x) - kTraceDot * 0.5f, top + half * (1 + p.y) - kTraceDot * 0.5f, kTraceDot,
                kTraceDot);
    }
    paint.Colour(255, 255, 255);
    paint.Box(sx + half * (1 + view.stick[s][0]) - kDot * 0.5f, top + half * (1 + view.stick[s][1]) - kDot * 0.5f, kDot,
              kDot);
    const float circle = tester.sticks[s].Circularity();
    drift += tester.atRest ? Number(" %.3f", std::hypot(view.stick[s][0], view.stick[s][1])) : " -";
    circularity += circle < 0 ? " -" : Number(" %.1f%%", circle * 100);
  }
  const float tx = x + kMargin + (kStickView + kMargin) * static_cast<float>(view.sticks);
  paint.Colour(255, 255, 255);
  if (view.sticks > 0) {
    paint.Text(tx, top, tester.atRest ? drift : "drift: leave the device alone");
    paint.Text(tx, top + lh,
               circularity.find('-') == std::string::npos ? circularity : "circularity: turn the sticks round");
  }
  // The triggers side by side on the third row.
  const float triggerW = 9 * paint.CharWidth() + kBarWidth;
  for (int t = 0; t < view.triggers; ++t) {
    const float ty = top + 2 * lh, bx = tx + triggerW * static_cast<float>(t);
    paint.Colour(200, 200, 200);
    paint.Text(bx, ty, t == 0 ? "LT" : "RT");
    paint.Level(bx + 3 * paint.CharWidth(), ty, view.trigger[t]);
    paint.Colour(255, 255, 255);
    paint.Text(bx + 4 * paint.CharWidth() + kBarWidth, ty, Number("%.2f", view.trigger[t]));
  }
}

// The wizard's box across the panel: what to press, what was taken.
void DrawWizard(Painter& paint, const padtest::MappingWizard& wizard, const std::string& name, float w, float h) {
  // Over the other row of ports, so that the mapped device stays in sight.
  const float lh = paint.LineHeight();
  const float top = wizard.Port() < 2 ? h * 0.75f - 2.5f * lh : h * 0.25f - 2.5f * lh;
  const int cells = static_cast<int>((w - 2 * kMargin) / (paint.CharWidth() > 0 ? paint.CharWidth() : 1));
  paint.Colour(10, 30, 60, 0.95f);
  paint.Box(0, top, w, 5 * lh);
  const int element = wizard.Element();
  paint.Colour(120, 255, 120);
  paint.Text(kMargin, top + kLineGap,
             "Mapping wizard, port " + std::to_string(wizard.Port() + 1) + " (" + name + "): element " +
                 std::to_string(element + 1) + " of " + std::to_string(padtest::MappingWizard::kElements),
             cells);
  paint.Colour(255, 255, 120);
  paint.Text(kMargin, top + kLineGap + lh,
             std::string("Press or move: ") + padtest::MappingWizard::ElementPrompt(element) + "  [" +
                 padtest::MappingWizard::ElementKey(element) + "]",
             cells);
  paint.Colour(255, 255, 255);
  paint.Text(kMargin, top + kLineGap + 2 * lh, "So far: " + wizard.Answers(), cells);
  paint.Text(kMargin, top + kLineGap + 3 * lh, "F5 skips, F6 goes back one, F9 leaves without writing", cells);
}

// Ends the wizard with a line on standard output and on screen.
void Tell(c_MyApp::ControllerWatch& watch, const std::string& line) {
  voPrint(Utf8(line));
  watch.notice = line;
  watch.noticeMs = vo_app_Millisecs();
}

// The wizard has its answers: the line is written, applied, printed and put
// on the clipboard.
void FinishWizard(c_MyApp::ControllerWatch& watch) {
  const std::string line = watch.wizard.Line();
  watch.wizard.Stop();
  const bool written = vo_app__game->SaveGamepadMapping(line);
  voPrint(Utf8(line));
  Tell(watch, written ? "Mapping written to ./gamecontrollerdb.txt, applied and copied to the clipboard"
                      : "Could not write ./gamecontrollerdb.txt; the mapping is applied and on the clipboard");
}

// One update of a running wizard on its device's report.
void RunWizard(c_MyApp::ControllerWatch& watch) {
  padtest::MappingWizard& wizard = watch.wizard;
  const int port = wizard.Port();
  if (!watch.connected[port] || watch.infos[port].guid != wizard.Guid()) {
    wizard.Stop();
    Tell(watch, "Mapping wizard ended: the device on port " + std::to_string(port + 1) + " went; nothing written");
    return;
  }
  bool done;
  if (vo_input_KeyHit(kKeySkip) > 0) {
    wizard.Skip();
    done = wizard.Element() == padtest::MappingWizard::kElements;
  } else if (vo_input_KeyHit(kKeyBack) > 0) {
    wizard.Back();
    done = false;
  } else {
    done = wizard.Feed(watch.infos[port]);
  }
  if (done) FinishWizard(watch);
}

}  // namespace

int c_MyApp::p_ControllerInput() {
  ControllerWatch& watch = m_Controllers;
  // The device stays withheld in the update that ends the wizard.
  const int mapped = watch.wizard.Running() ? watch.wizard.Port() : -1;
  if (vo_input_KeyHit(kKeyF9) > 0) {
    watch.open = !watch.open;
    if (!watch.open && watch.wizard.Running()) {
      watch.wizard.Stop();
      Tell(watch, "Mapping wizard left; nothing written");
    }
  }
  const int now = vo_app_Millisecs();
  for (int port = 0; port < kPorts; ++port) {
    VoJoystickInfo& info = watch.infos[port];
    info = VoJoystickInfo();
    const bool present = vo_app__game->DescribeJoystick(port, &info);
    if (present != watch.connected[port]) {
      watch.connected[port] = present;
      watch.testers[port] = padtest::PortTester();
      // A browser gives no GUID, so its line names the device alone.
      const std::string guid = info.guid.empty() ? "" : " (" + info.guid + ")";
      Tell(watch,
           "Joystick " + std::to_string(port + 1) + (present ? " connected: " + info.name + guid : " disconnected"));
    }
    if (present && watch.open) watch.testers[port].Add(now, info);
  }
  if (mapped >= 0) vo_input_WithholdJoystick(mapped);
  if (!watch.open) return 0;
  if (watch.wizard.Running()) {
    RunWizard(watch);
  } else {
    for (int port = 0; port < kPorts; ++port)
      if (vo_input_KeyHit(kKeyF1 + port) > 0 && watch.connected[port] && watch.infos[port].mappingLinesApply)
        watch.wizard.Start(port, watch.infos[port]);
  }
  if (vo_input_KeyHit(kKeyReset) > 0)
    for (padtest::PortTester& tester : watch.testers)
      for (padtest::StickTester& stick : tester.sticks) stick.ResetCircularity();
  for (int key = kKeyF1; key <= kKeyReset; ++key) vo_input_Withhold(key);
  return 0;
}

int c_MyApp::p_ControllerPanel() {
  ControllerWatch& watch = m_Controllers;
  const int now = vo_app_Millisecs();
  const bool notice = !watch.notice.empty() && vo_app_MillisecsBetween(watch.noticeMs, now) < kNoticeMs;
  if (!watch.open && !notice) return 0;
  Painter paint(*this);
  const float w = vo_Game_jscrw;
  const float h = vo_Game_jscrh;
  const float lh = paint.LineHeight();
  if (watch.open) {
    paint.Colour(0, 0, 0, 0.85f);
    paint.Box(0, 0, w, h);
    paint.Colour(255, 255, 255);
    paint.Text(kMargin, kLineGap, "Controllers - F9 closes, F1-F4 map the device on port 1-4, F7 resets circularity");
    const float top = lh + 2 * kLineGap;
    const float blockH = (h - top) * 0.5f;
    for (int port = 0; port < kPorts; ++port) {
      float bx = w * 0.5f * static_cast<float>(port % 2);
      float by = top + blockH * static_cast<float>(port / 2);
      paint.Colour(40, 40, 60);
      paint.Box(bx + 1, by + 1, w * 0.5f - 2, blockH - 2);
      const bool present = watch.connected[port];
      DrawPort(paint, port, present ? &watch.infos[port] : nullptr, bx, by + kLineGap, w * 0.5f);
      if (present) DrawTester(paint, watch.testers[port], now, bx, by + blockH - kMargin);
    }
    if (watch.wizard.Running()) DrawWizard(paint, watch.wizard, watch.infos[watch.wizard.Port()].name, w, h);
  }
  if (notice) {
    paint.Colour(0, 0, 0, 0.8f);
    paint.Box(0, h - 2 * lh, w, 2 * lh);
    paint.Colour(255, 255, 120);
    paint.Text(kMargin, h - 1.5f * lh, watch.notice);
  }
  return 0;
}
