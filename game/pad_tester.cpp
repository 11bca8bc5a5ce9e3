#include "game/pad_tester.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "framework/app.h"

namespace padtest {
namespace {

// Mapping lines carry this platform; the window system's names stop at 127
// bytes.
const char kPlatformField[] = "platform:Linux,";
constexpr size_t kMaxNameLength = 127;
// How far an axis must move from rest to answer the wizard, and how far it
// may wander while the device still counts as resting.
constexpr float kClearChange = 0.5f;
constexpr float kRestJitter = 0.1f;
// An axis resting beyond this is read whole (a trigger from -1 to 1);
// nearer the centre only the half it moves into is.
constexpr float kRestsAtEnd = 0.5f;
// Circularity waits until the stick has gone this far out in every sector.
constexpr float kEdgeReach = 0.5f;
constexpr float kPi = 3.14159265358979f;
// The standard gamepad's analog trigger buttons in a browser.
constexpr int kStandardLeftTrigger = 6;
constexpr int kStandardRightTrigger = 7;

struct Element {
  const char* key;
  const char* prompt;
};
// In the order the wizard asks: the axis elements last, each asked for in
// its positive direction (right, down).
constexpr Element kElementList[MappingWizard::kElements] = {
    {"a", "A (bottom face button)"},
    {"b", "B (right face button)"},
    {"x", "X (left face button)"},
    {"y", "Y (top face button)"},
    {"back", "Back"},
    {"guide", "Guide"},
    {"start", "Start"},
    {"leftstick", "left stick press"},
    {"rightstick", "right stick press"},
    {"leftshoulder", "left shoulder"},
    {"rightshoulder", "right shoulder"},
    {"dpup", "d-pad up"},
    {"dpright", "d-pad right"},
    {"dpdown", "d-pad down"},
    {"dpleft", "d-pad left"},
    {"lefttrigger", "left trigger"},
    {"righttrigger", "right trigger"},
    {"leftx", "left stick to the right"},
    {"lefty", "left stick down"},
    {"rightx", "right stick to the right"},
    {"righty", "right stick down"},
};
constexpr int kFirstTrigger = 15;
constexpr int kFirstStickAxis = 17;

// An axis input without its sign: "a2+" -> "a2".
std::string Unsigned(const std::string& input) {
  char last = input.back();
  return last == '+' || last == '-' ? input.substr(0, input.size() - 1) : input;
}

}  // namespace

PadView ViewOf(const VoJoystickInfo& info) {
  PadView view;
  if (info.mappingLinesApply && info.state.gamepad) {
    view.sticks = view.triggers = 2;
    for (int s = 0; s < 2; ++s) {
      view.stick[s][0] = info.state.padAxes[2 * s];
      view.stick[s][1] = info.state.padAxes[2 * s + 1];
      // The standard layout's triggers rest at -1.
      view.trigger[s] = (info.state.padAxes[4 + s] + 1) * 0.5f;
    }
    return view;
  }
  // Only the standard layout says where a second stick is; any joystick
  // reports its main stick as axes 0 and 1.
  const bool standard = !info.mappingLinesApply && info.mapping == "standard";
  view.sticks = std::min(info.axisCount / 2, standard ? 2 : 1);
  for (int s = 0; s < view.sticks; ++s) {
    view.stick[s][0] = info.axes[2 * s];
    view.stick[s][1] = info.axes[2 * s + 1];
  }
  if (standard && info.buttonCount > kStandardRightTrigger) {
    view.triggers = 2;
    view.trigger[0] = info.buttonValues[kStandardLeftTrigger];
    view.trigger[1] = info.buttonValues[kStandardRightTrigger];
  }
  return view;
}

void StickTester::Add(int nowMs, float x, float y) {
  trace_.push_back({nowMs, x, y});
  while (vo_app_MillisecsBetween(trace_.front().ms, nowMs) > kTraceMs) trace_.pop_front();
  const float r = std::hypot(x, y);
  if (r == 0) return;
  float turn = std::atan2(y, x) / (2 * kPi);
  if (turn < 0) turn += 1;
  const int sector = std::min(static_cast<int>(turn * kSectors), kSectors - 1);
  maxRadius_[sector] = std::max(maxRadius_[sector], r);
}

void StickTester::ResetCircularity() { std::fill(maxRadius_, maxRadius_ + kSectors, 0.0f); }

float StickTester::Circularity() const {
  float sum = 0;
  for (float r : maxRadius_) {
    if (r < kEdgeReach) return -1;
    sum += std::fabs(r - 1);
  }
  return sum / kSectors;
}

bool RestWatch::Add(int nowMs, const VoJoystickInfo& info) {
  bool changed = !watching_ || info.axisCount != last_.axisCount || info.buttonCount != last_.buttonCount ||
                 info.hatCount != last_.hatCount;
  // The raw report and, under a mapping, the standard layout read from it.
  auto moved = [](float now, float then) { return std::fabs(now - then) > kRestJitter; };
  for (int a = 0; !changed && a < info.axisCount; ++a) changed = moved(info.axes[a], last_.axes[a]);
  for (size_t a = 0; !changed && a < std::size(info.state.padAxes); ++a)
    changed = moved(info.state.padAxes[a], last_.state.padAxes[a]);
  for (int b = 0; !changed && b < info.buttonCount; ++b) changed = info.buttons[b] != last_.buttons[b];
  for (int h = 0; !changed && h < info.hatCount; ++h) changed = info.hats[h] != last_.hats[h];
  if (changed) {
    watching_ = true;
    last_ = info;
    sinceMs_ = nowMs;
    return false;
  }
  return vo_app_MillisecsBetween(sinceMs_, nowMs) >= kRestMs;
}

void PortTester::Add(int nowMs, const VoJoystickInfo& info) {
  view = ViewOf(info);
  for (int s = 0; s < view.sticks; ++s) sticks[s].Add(nowMs, view.stick[s][0], view.stick[s][1]);
  atRest = rest.Add(nowMs, info);
}

const char* MappingWizard::ElementKey(int element) { return kElementList[element].key; }

const char* MappingWizard::ElementPrompt(int element) { return kElementList[element].prompt; }

std::string MappingWizard::Answers() const {
  std::string text;
  for (int e = 0; e < element_; ++e)
    if (!bindings_[e].empty()) text += std::string(text.empty() ? "" : " ") + ElementKey(e) + ":" + bindings_[e];
  return text;
}

void MappingWizard::Start(int port, const VoJoystickInfo& rest) {
  port_ = port;
  element_ = 0;
  guid_ = rest.guid;
  name_ = rest.name;
  rest_ = rest;
  for (int e = 0; e < kElements; ++e) bindings_[e].clear(), inputs_[e].clear();
}

// Half axes of one axis are two inputs; the whole axis takes both.
bool MappingWizard::Taken(const std::string& input) const {
  for (int e = 0; e < element_; ++e) {
    const std::string& other = inputs_[e];
    if (other.empty()) continue;
    if (other == input) return true;
    const bool whole = Unsigned(other) == other || Unsigned(input) == input;
    if (whole && Unsigned(other) == Unsigned(input)) return true;
  }
  return false;
}

bool MappingWizard::Answer(const std::string& binding, const std::string& input) {
  if (Taken(input)) return false;
  bindings_[element_] = binding;
  inputs_[element_] = input;
  ++element_;
  return true;
}

// Triggers and sticks look at the axes first: many triggers also press a
// button on the way, which would be the poorer binding.
bool MappingWizard::Feed(const VoJoystickInfo& now) {
  if (element_ >= kElements) return true;
  auto buttons = [&] {
    for (int b = 0; b < now.buttonCount && b < rest_.buttonCount; ++b) {
      const std::string button = "b" + std::to_string(b);
      if (now.buttons[b] && !rest_.buttons[b] && Answer(button, button)) return true;
    }
    for (int h = 0; h < now.hatCount && h < rest_.hatCount; ++h) {
      for (int bit : VoHatBits) {
        const std::string hat = "h" + std::to_string(h) + "." + std::to_string(bit);
        if ((now.hats[h] & bit) && !(rest_.hats[h] & bit) && Answer(hat, hat)) return true;
      }
    }
    return false;
  };
  auto axes = [&] {
    for (int a = 0; a < now.axisCount && a < rest_.axisCount; ++a) {
      const float change = now.axes[a] - rest_.axes[a];
      if (std::fabs(change) <= kClearChange) continue;
      const std::string axis = "a" + std::to_string(a);
      const std::string sign = change < 0 ? "-" : "+";
      const bool whole =
          element_ >= kFirstStickAxis || (element_ >= kFirstTrigger && std::fabs(rest_.axes[a]) > kRestsAtEnd);
      if (whole ? Answer(axis + (change < 0 ? "~" : ""), axis) : Answer(sign + axis, axis + sign)) return true;
    }
    return false;
  };
  if (element_ >= kFirstTrigger ? axes() || buttons() : buttons() || axes()) return element_ >= kElements;
  return false;
}

void MappingWizard::Skip() {
  if (element_ < kElements) ++element_;
}

void MappingWizard::Back() {
  if (element_ == 0) return;
  --element_;
  bindings_[element_].clear();
  inputs_[element_].clear();
}

std::string MappingWizard::Line() const {
  std::string name;
  for (char c : name_) name += c == ',' ? ' ' : c;
  // A mapping line needs a name; a device may report none.
  if (name.empty()) name = "Gamepad";
  if (name.size() > kMaxNameLength) {
    size_t cut = kMaxNameLength;
    // Cut before a character, not inside one.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  std::string line = guid_ + "," + name + ",";
  for (int e = 0; e < kElements; ++e)
    if (!bindings_[e].empty()) line += std::string(ElementKey(e)) + ":" + bindings_[e] + ",";
  return line + kPlatformField;
}

}  // namespace padtest
