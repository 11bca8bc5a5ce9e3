// What the controller panel works out from a device's raw report, apart from
// drawing it: the sticks' traces, their drift at rest and circularity, the
// triggers as analog values, and the wizard that makes a gamepad mapping line
// from the controls the user presses in turn. Times are vo_app_Millisecs
// readings, compared only by their wrap-safe difference.
#pragma once

#include <deque>
#include <string>

#include "host/game.h"

namespace padtest {

// The sticks and triggers of a device as a tester shows them: sticks -1..1
// with y positive down, triggers 0..1.
struct PadView {
  int sticks = 0;
  float stick[2][2] = {};
  int triggers = 0;
  float trigger[2] = {};
};
// With a gamepad mapping the standard layout's sticks and triggers; in a
// browser the standard layout's axes and analog trigger buttons; else raw
// axes 0 and 1 as the one stick, and no triggers.
PadView ViewOf(const VoJoystickInfo& info);

// One stick: its trace over the last two seconds and the largest radius seen
// in each of 36 sectors of 10 degrees.
class StickTester {
 public:
  static constexpr int kSectors = 36;
  static constexpr int kTraceMs = 2000;
  struct Point {
    int ms;
    float x, y;
  };
  void Add(int nowMs, float x, float y);
  void ResetCircularity();
  // The mean of |r - 1| over the 36 sectors, r the largest radius seen in the
  // sector: 0 for a stick that reaches a perfect circle. Negative until the
  // stick has been beyond half its travel in every sector.
  float Circularity() const;
  // Trace points, oldest first, none older than two seconds.
  const std::deque<Point>& Trace() const { return trace_; }

 private:
  std::deque<Point> trace_;
  float maxRadius_[kSectors] = {};
};

// Whether a device rests: no button or hat changed and no axis moved by more
// than a jitter for half a second.
class RestWatch {
 public:
  static constexpr int kRestMs = 500;
  bool Add(int nowMs, const VoJoystickInfo& info);

 private:
  bool watching_ = false;
  int sinceMs_ = 0;
  VoJoystickInfo last_;
};

// Everything the panel measures on one port; reset when its device goes.
struct PortTester {
  StickTester sticks[2];
  RestWatch rest;
  bool atRest = false;
  PadView view;
  void Add(int nowMs, const VoJoystickInfo& info);
};

// The mapping wizard: asks for each gamepad element in turn and takes the
// first input of the raw report that changes clearly from its value when the
// wizard started and has not answered an earlier element.
class MappingWizard {
 public:
  static constexpr int kElements = 21;
  bool Running() const { return port_ >= 0; }
  int Port() const { return port_; }
  int Element() const { return element_; }
  const std::string& Guid() const { return guid_; }
  // The element's name in mapping lines and as the user is asked for it.
  static const char* ElementKey(int element);
  static const char* ElementPrompt(int element);
  // "a:b0 b:b1 ..." of the elements answered so far.
  std::string Answers() const;

  void Start(int port, const VoJoystickInfo& rest);
  void Stop() { port_ = -1; }
  // Takes this report's answer to the element asked, if any; true once every
  // element has been answered or skipped.
  bool Feed(const VoJoystickInfo& now);
  void Skip();
  void Back();
  // The SDL mapping line of the answers, for this system.
  std::string Line() const;

 private:
  int port_ = -1;
  int element_ = 0;
  std::string guid_;
  std::string name_;
  VoJoystickInfo rest_;
  // Per element its binding ("b0", "h0.1", "+a2", "a0~") and the input that
  // gave it ("b0", "h0.1", "a2+", "a0"), empty when skipped.
  std::string bindings_[kElements];
  std::string inputs_[kElements];
  bool Taken(const std::string& input) const;
  bool Answer(const std::string& binding, const std::string& input);
};

}  // namespace padtest
