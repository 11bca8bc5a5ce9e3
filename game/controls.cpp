// Unified controls: numbered game controls folded together from the keyboard,
// the joysticks, and the virtual pad states fed by the on-screen pad and by an
// iCade cabinet; touch sampling in design units and touch-tested buttons.
#include <cmath>
#include <cstdlib>

#include "framework/input.h"
#include "game/myapp.h"

namespace {

// Joystick buttons in the order the input device numbers them.
enum JoyButton { JoyA = 0, JoyB, JoyX, JoyY, JoyLB, JoyRB, JoyBack, JoyStart, JoyLeft, JoyUp, JoyRight, JoyDown };

// Which way stick 0 of the unit must be pushed, past the strict 0.4 threshold.
enum StickTest { NoStick, StickUp, StickLeft, StickRight, StickDown };

// The inputs that hold one game control; unused entries are -1.
struct ControlRow {
  int control;
  int keys[4];
  int buttons[2];
  StickTest stick;
  int pads[3];
};

constexpr ControlRow kNormalControls[] = {
    {kControlUp, {38, 87, -1, -1}, {JoyUp, -1}, StickUp, {0, -1, -1}},
    {kControlLeft, {37, 65, -1, -1}, {JoyLeft, -1}, StickLeft, {3, -1, -1}},
    {kControlRight, {39, 68, -1, -1}, {JoyRight, -1}, StickRight, {5, -1, -1}},
    {kControlDown, {40, 83, -1, -1}, {JoyDown, -1}, StickDown, {8, -1, -1}},
    {kControlAction, {90, 74, 32, 13}, {JoyA, -1}, NoStick, {10, -1, -1}},
    {kControlAction2, {88, 75, 17, -1}, {JoyB, -1}, NoStick, {11, -1, -1}},
    {12, {67, 76, 16, -1}, {JoyX, -1}, NoStick, {12, -1, -1}},
    {13, {86, 73, -1, -1}, {JoyY, -1}, NoStick, {13, -1, -1}},
    {14, {66, 85, -1, -1}, {JoyLB, -1}, NoStick, {14, -1, -1}},
    {15, {78, 79, -1, -1}, {JoyRB, -1}, NoStick, {15, -1, -1}},
    {kControlBack, {27, 46, 8, -1}, {JoyBack, JoyStart}, NoStick, {16, 17, 19}},
};

// In iCade mode the cabinet types letters, so letter keys and the stick are out.
constexpr ControlRow kICadeControls[] = {
    {kControlUp, {38, -1, -1, -1}, {JoyUp, -1}, NoStick, {0, -1, -1}},
    {kControlLeft, {37, -1, -1, -1}, {JoyLeft, -1}, NoStick, {3, -1, -1}},
    {kControlRight, {39, -1, -1, -1}, {JoyRight, -1}, NoStick, {5, -1, -1}},
    {kControlDown, {40, -1, -1, -1}, {JoyDown, -1}, NoStick, {8, -1, -1}},
    {kControlAction, {32, 13, -1, -1}, {JoyA, -1}, NoStick, {10, -1, -1}},
    {kControlAction2, {17, -1, -1, -1}, {JoyB, -1}, NoStick, {11, -1, -1}},
    {12, {16, -1, -1, -1}, {JoyX, -1}, NoStick, {12, -1, -1}},
    {13, {-1, -1, -1, -1}, {JoyY, -1}, NoStick, {13, -1, -1}},
    {14, {-1, -1, -1, -1}, {JoyLB, -1}, NoStick, {14, -1, -1}},
    {15, {-1, -1, -1, -1}, {JoyRB, -1}, NoStick, {15, -1, -1}},
    {kControlBack, {27, 46, 8, -1}, {JoyStart, -1}, NoStick, {16, 17, 19}},
};

// The letters an iCade cabinet types: a press letter and a release letter per
// virtual pad entry.
struct ICadeLetters {
  char press;
  char release;
  int pad;
};

constexpr ICadeLetters kICadeTable[] = {
    {'w', 'e', 0},  {'x', 'z', 8},  {'a', 'q', 3},  {'d', 'c', 5},  {'y', 't', 13}, {'u', 'f', 14},
    {'i', 'm', 15}, {'o', 'g', 16}, {'h', 'r', 10}, {'j', 'n', 11}, {'k', 'p', 12}, {'l', 'v', 17},
};

// Number of virtual pad entries that the decay and iCade switch-off clear;
// entry 19 (the back key) is left to the update.
constexpr int kPadEntriesCleared = 19;

// The input device keeps axes for units 0 to 3 only; other units read 0.
bool validUnit(int joy) { return joy >= 0 && joy <= 3; }

float joyX(int stick, int joy) { return validUnit(joy) ? vo_input_JoyX(stick, joy) : 0.0f; }
float joyY(int stick, int joy) { return validUnit(joy) ? vo_input_JoyY(stick, joy) : 0.0f; }

bool stickHolds(StickTest test, int joy) {
  switch (test) {
    case StickUp:
      return joyY(0, joy) > 0.4f;
    case StickLeft:
      return joyX(0, joy) < -0.4f;
    case StickRight:
      return joyX(0, joy) > 0.4f;
    case StickDown:
      return joyY(0, joy) < -0.4f;
    case NoStick:
      break;
  }
  return false;
}

bool rowHolds(const c_MyApp& app, const ControlRow& row, int joy) {
  for (int key : row.keys) {
    if (key >= 0 && vo_input_KeyDown(key)) return true;
  }
  for (int button : row.buttons) {
    // The input device reads codes outside 1 to 511 as not down.
    if (button >= 0 && vo_input_KeyDown(256 + 32 * joy + button)) return true;
  }
  if (stickHolds(row.stick, joy)) return true;
  for (int pad : row.pads) {
    if (pad >= 0 && app.m_PadState[pad] != 0) return true;
  }
  return false;
}

template <size_t N>
bool tableHolds(const c_MyApp& app, const ControlRow (&table)[N], int control, int joy) {
  for (const ControlRow& row : table) {
    if (row.control == control) return rowHolds(app, row, joy);
  }
  return false;
}

// Device pixels to whole design units. Before the first render the scale is
// still 0; positions then pass through unscaled instead of dividing by zero,
// and results beyond the int range are clamped rather than overflowing.
int toDesign(float pixels, float scale) {
  float v = scale > 0.0f ? pixels / scale : pixels;
  if (!(v > -2147483520.0f)) return v != v ? 0 : -2147483647 - 1;
  if (v > 2147483520.0f) return 2147483647;
  return static_cast<int>(v);
}

// The frame size of an image slot scaled to design units, halved: the extent of
// a button around its centred handle along one axis.
float halfExtent(const c_MyApp& app, int image, int axis, float drawScale) {
  if (image < 0 || image * 3 + axis >= app.m_ImgInfo.Length()) return 0.0f;
  return app.m_ImgScale * static_cast<float>(app.m_ImgInfo[image * 3 + axis]) * drawScale * 0.5f;
}

// Strict box test of touch i against a button centred on (x, y).
bool touchInBox(const c_MyApp& app, int i, float x, float y, float hw, float hh) {
  const float tx = static_cast<float>(app.m_TouchX[i]);
  const float ty = static_cast<float>(app.m_TouchY[i]);
  return x - hw < tx && tx < x + hw && y - hh < ty && ty < y + hh && app.m_Touching > 0;
}

// Clamps v to at least lo, then to at most hi.
int clampSetting(int v, int lo, int hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return v;
}

// Eases the smoothed tilt toward the raw value and snaps when close.
float smoothTilt(float smooth, float raw) {
  smooth += 0.25f * (raw - smooth);
  return std::fabs(smooth - raw) < 0.005f ? raw : smooth;
}

// The first control of the table in force whose row passes `test`; -1 for
// none, and in an iCade mode other than 0 and 1, where nothing holds.
template <class Test>
int controlWhere(Test test) {
  const ControlRow* rows = vo_Game_iCadeControls == 0 ? kNormalControls : kICadeControls;
  if (vo_Game_iCadeControls != 0 && vo_Game_iCadeControls != 1) return -1;
  for (size_t i = 0; i < sizeof kNormalControls / sizeof kNormalControls[0]; ++i) {
    if (test(rows[i])) return rows[i].control;
  }
  return -1;
}

}  // namespace

static_assert(sizeof kNormalControls == sizeof kICadeControls, "both control tables have one row per control");

int c_MyApp::p_ControlOfJoyButton(int button) {
  return controlWhere([button](const ControlRow& row) { return row.buttons[0] == button || row.buttons[1] == button; });
}

int c_MyApp::p_ControlOfStick(bool vertical, bool positive) {
  const StickTest test = vertical ? (positive ? StickUp : StickDown) : (positive ? StickRight : StickLeft);
  return controlWhere([test](const ControlRow& row) { return row.stick == test; });
}

bool c_MyApp::p_PlayKey(int control, int joy) {
  if (vo_Game_iCadeControls == 0) return tableHolds(*this, kNormalControls, control, joy);
  if (vo_Game_iCadeControls == 1) return tableHolds(*this, kICadeControls, control, joy);
  return false;
}

float c_MyApp::p_StickX(int stick, int joy) { return joyX(stick, joy); }

// Stick 0 reads with up positive, the opposite of stick 1.
float c_MyApp::p_StickY(int stick, int joy) { return stick == 0 ? -joyY(stick, joy) : joyY(stick, joy); }

float c_MyApp::p_Trigger(int index, int joy) { return validUnit(joy) ? vo_input_JoyZ(index, joy) : 0.0f; }

// Draws an image button with its handle at the centre and reports whether any
// touch lies inside it; a level, true on every update while held.
int c_MyApp::p_Button(int image, float x, float y, int frame) {
  p_DrawImg(image, x, y, static_cast<float>(frame));
  m_ButtonHit = 0;
  const float hw = halfExtent(*this, image, 0, m_DrawScaleX);
  const float hh = halfExtent(*this, image, 1, m_DrawScaleY);
  for (int i = 0; i < 10; ++i) {
    if (touchInBox(*this, i, x, y, hw, hh)) m_ButtonHit = 1;
  }
  return m_ButtonHit;
}

// The same button tested against touch 0 alone; m_ButtonHit is left alone.
bool c_MyApp::p_Button0(int image, float x, float y, int frame) {
  p_DrawImg(image, x, y, static_cast<float>(frame));
  const float hw = halfExtent(*this, image, 0, m_DrawScaleX);
  const float hh = halfExtent(*this, image, 1, m_DrawScaleY);
  return touchInBox(*this, 0, x, y, hw, hh);
}

// Switches iCade letter controls on (typed characters delivered, queue drained)
// or off (characters off, virtual pad cleared).
int c_MyApp::p_iCade(int mode) {
  if (mode == 1) {
    vo_input_EnableKeyboard();
    vo_Game_iCadeControls = 1;
    do {
      m_LastChar = vo_input_GetChar();
    } while (m_LastChar != 0);
  } else if (mode == 0) {
    vo_input_DisableKeyboard();
    vo_Game_iCadeControls = 0;
    for (int i = 0; i < kPadEntriesCleared; ++i) m_PadState[i] = 0;
  }
  return 0;
}

// Samples mouse and touches into design units, once per update before the screen.
int c_MyApp::p_SampleTouch() {
  m_MousePrevX = m_MouseX;
  m_MousePrevY = m_MouseY;
  m_MouseX = toDesign(vo_input_MouseX(), m_ScaleX);
  m_MouseY = toDesign(vo_input_MouseY(), m_ScaleY);
  const bool down = vo_input_KeyDown(1);
  if (m_MouseWasDown == 0 && down) {
    m_MousePrevX = m_MouseX;
    m_MousePrevY = m_MouseY;
  }
  m_Touching = down ? 1 : 0;
  m_MouseHit = vo_input_KeyHit(1);
  for (int i = 0; i < 10; ++i) {
    m_TouchDown[i] = 0;
    m_TouchX[i] = -3717;
    m_TouchY[i] = -3717;
    if (vo_input_KeyDown(384 + i)) {
      m_TouchDown[i] = 1;
      m_TouchX[i] = toDesign(vo_input_TouchX(i), m_ScaleX);
      m_TouchY[i] = toDesign(vo_input_TouchY(i), m_ScaleY);
      m_Touching = 1;
    }
  }
  m_MouseWasDown = down ? 1 : 0;
  return 0;
}

// The control steps that follow the screen, in their fixed order.
int c_MyApp::p_UpdateControls() {
  p_ReadICade();
  p_DecayPad();
  p_OnScreenPad();
  p_TiltIndicator();
  return 0;
}

// Turns the letters an iCade cabinet types into held or released pad entries.
int c_MyApp::p_ReadICade() {
  if (vo_Game_iCadeControls != 1) return 0;
  for (;;) {
    m_LastChar = vo_input_GetChar();
    if (m_LastChar == 0) break;
    int c = m_LastChar;
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    for (const ICadeLetters& row : kICadeTable) {
      if (c == row.press) m_PadState[row.pad] = 2;
      if (c == row.release) m_PadState[row.pad] = 0;
    }
  }
  return 0;
}

// An on-screen press (1) lasts one update; iCade holds (2) stay.
int c_MyApp::p_DecayPad() {
  for (int i = 0; i < kPadEntriesCleared; ++i) {
    if (m_PadState[i] == 1) m_PadState[i] = 0;
  }
  return 0;
}

// The on-screen pad: four directions, a centre and two action buttons; while
// paused the pad can be dragged and pinched to a new place and size.
int c_MyApp::p_OnScreenPad() {
  if (vo_Game_OnScreenControls != 1 || m_State < kStatePlaying || vo_Game_iCadeControls != 0) return 0;
  m_Settings[kSettingPadX] = clampSetting(m_Settings[kSettingPadX], 32, static_cast<int>(vo_Game_jscrw - 32.0f));
  m_Settings[kSettingPadY] = clampSetting(m_Settings[kSettingPadY], 32, static_cast<int>(vo_Game_jscrh - 32.0f));
  m_Settings[kSettingPadSize] = clampSetting(m_Settings[kSettingPadSize], 8, 25);
  m_PadX = m_Settings[kSettingPadX];
  m_PadY = static_cast<int>(vo_Game_jscrh - static_cast<float>(m_Settings[kSettingPadY]));
  m_PadScale = static_cast<float>(m_Settings[kSettingPadSize]) / 10.0f;

  p_SetRot(0.0f);
  p_SetCol(255.0f, 255.0f, 255.0f, 0.6f);
  m_DrawBlend = 1;
  p_SetSize(m_PadScale);
  const float px = static_cast<float>(m_PadX);
  const float py = static_cast<float>(m_PadY);
  const float o = 32.0f * m_PadScale;
  struct Direction {
    float x, y;
    int frame, pad;
  };
  const Direction directions[] = {{px - o, py, 4, 3}, {px, py - o, 1, 0}, {px, py + o, 9, 8}, {px + o, py, 6, 5}};
  for (const Direction& d : directions) {
    if (p_Button(kImgDpad, d.x, d.y, d.frame) != 0 && m_Paused == 0) m_PadState[d.pad] = 1;
  }
  p_DrawImg(kImgDpad, px, py, 5.0f);

  if (m_Paused > 0) {
    p_SetSize(3.0f);
    if (p_Button0(kImgDpad, px, py, 0) && m_TouchDown[1] == 0) {
      m_Settings[kSettingPadX] = m_TouchX[0];
      m_Settings[kSettingPadY] = static_cast<int>(vo_Game_jscrh - static_cast<float>(m_TouchY[0]));
    }
    if (m_TouchDown[1] == 0) {
      m_PinchOn = 0;
      m_PinchLast = 0;
    }
    if (m_TouchDown[0] != 0 && m_TouchDown[1] != 0) {
      m_PinchNow = -std::abs(m_TouchX[0] - m_TouchX[1]) / 16;
      if (m_PinchOn == 1) m_Settings[kSettingPadSize] += m_PinchLast - m_PinchNow;
      m_PinchLast = m_PinchNow;
      m_PinchOn = 1;
    }
  }

  p_SetSize(1.5f * m_PadScale);
  const float d = 24.0f * m_PadScale;
  if (p_Button(kImgDpad, vo_Game_jscrw - (px - d), py - d, 0) != 0) m_PadState[kControlAction] = 1;
  if (p_Button(kImgDpad, vo_Game_jscrw - (px + d), py + d, 0) != 0) m_PadState[kControlAction2] = 1;
  return 0;
}

// Tilt control: a smoothed accelerometer dot and a calibration button. In iCade
// mode the tilt values are held at 0 instead.
int c_MyApp::p_TiltIndicator() {
  if (vo_Game_iCadeControls == 1) {
    m_TiltX = 0.0f;
    m_TiltY = 0.0f;
    m_TiltSmoothX = 0.0f;
    m_TiltSmoothY = 0.0f;
    return 0;
  }
  if (vo_Game_AccelerometerControls != 1 || vo_Game_iCadeControls != 0) return 0;
  p_SetRot(0.0f);
  p_SetCol(255.0f, 255.0f, 255.0f, 0.8f);
  m_DrawBlend = 1;
  p_SetSize(1.5f);
  m_TiltX = vo_input_AccelX() - m_TiltZeroX;
  m_TiltY = vo_input_AccelY() - m_TiltZeroY;
  m_TiltSmoothX = smoothTilt(m_TiltSmoothX, m_TiltX);
  m_TiltSmoothY = smoothTilt(m_TiltSmoothY, m_TiltY);
  if (p_Button(kImgIcons, 24.0f, vo_Game_jscrh - 24.0f, 7) != 0) {
    m_TiltZeroX = vo_input_AccelX();
    m_TiltZeroY = vo_input_AccelY();
  }
  p_SetCol(100.0f, 255.0f, 100.0f, 0.6f);
  p_SetSize(1.0f);
  p_Oval(24.0f + 20.0f * m_TiltSmoothX, vo_Game_jscrh - 24.0f + 20.0f * m_TiltSmoothY, 4.0f, 4.0f);
  return 0;
}
