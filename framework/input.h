// The input device: one per-update snapshot of keys, mouse, touches,
// accelerometer and joysticks, fed by the host's events through the app
// delegate and read by game code through vo_input_*.
//
// Every kind of button lives in one space of 512 key codes:
//   host key codes            keyboard keys
//   1, 2, 3                   mouse buttons 0, 1, 2
//   256 + 32*unit + button    joystick buttons (4 units of 32)
//   384 + index               touch points 0 to 31
// Codes outside 1..511 are never down and never hit. Codes 1 and 384 are
// linked: mouse button 0 and touch 0 press and release together.
#pragma once

#include "runtime/dovel.h"

// The polled state of one joystick unit: two sticks/triggers per axis array
// and 32 buttons.
class c_JoyState : public Object {
 public:
  Array<float> m_joyx;
  Array<float> m_joyy;
  Array<float> m_joyz;
  Array<bool> m_buttons;

  c_JoyState() {}
  // Creates the arrays, all zero.
  c_JoyState* m_new();
  void mark() override;
};

class c_InputDevice : public Object {
 public:
  // The key-code space and the fixed limits of one update.
  static const int KEY_CODES = 512;
  static const int MAX_HITS = 33;
  static const int MAX_CHARS = 32;
  static const int JOY_UNITS = 4;
  static const int JOY_BUTTONS = 32;
  static const int TOUCHES = 32;
  static const int MOUSE_BUTTON_0 = 1;
  static const int JOY_BUTTON_0 = 256;
  static const int TOUCH_0 = 384;

  Array<c_JoyState*> m_joyStates;
  Array<bool> m_keyDown;
  int m_keyHitPut = 0;
  Array<int> m_keyHitQueue;
  Array<int> m_keyHit;
  int m_charGet = 0;
  int m_charPut = 0;
  Array<int> m_charQueue;
  float m_mouseX = 0;
  float m_mouseY = 0;
  Array<float> m_touchX;
  Array<float> m_touchY;
  float m_accelX = 0;
  float m_accelY = 0;
  float m_accelZ = 0;

  c_InputDevice() {}
  // Creates the tables and the four joystick states.
  c_InputDevice* m_new();

  // Event entry points, called with the host's game event codes.
  int p_KeyEvent(int event, int data);
  int p_MouseEvent(int event, int data, float x, float y);
  int p_TouchEvent(int event, int data, float x, float y);
  int p_MotionEvent(int event, int data, float x, float y, float z);

  // Polls the joysticks, in unit order, up to the first missing unit.
  int p_BeginUpdate();
  // Forgets this update's hits and typed characters.
  int p_EndUpdate();
  // Counts one hit of code while fewer than MAX_HITS were counted this update.
  int p_PutKeyHit(int code);
  int p_SetKeyboardEnabled(bool on);

  bool p_KeyDown(int code);
  int p_KeyHit(int code);
  int p_GetChar();
  float p_MouseX();
  float p_MouseY();
  float p_TouchX(int index);
  float p_TouchY(int index);
  float p_JoyX(int index, int unit);
  float p_JoyY(int index, int unit);
  float p_JoyZ(int index, int unit);
  float p_AccelX();
  float p_AccelY();

  void mark() override;

 private:
  void PressKey(int code);
  void ReleaseKey(int code);
  void MoveTouch(int touch, float x, float y);
  c_JoyState* JoyStateFor(int index, int unit);
};

// The device the vo_input_* functions read; set by the app delegate at start.
extern c_InputDevice* vo_input_device;

int vo_input_SetInputDevice(c_InputDevice* device);
int vo_input_EnableKeyboard();
int vo_input_DisableKeyboard();
bool vo_input_KeyDown(int code);
// Makes `code` read as released and not hit for the rest of this update, for
// input that an overlay takes before the game reads it.
int vo_input_Withhold(int code);
// Makes joystick unit `unit` read centred, with every button released and
// none hit, for the rest of this update.
int vo_input_WithholdJoystick(int unit);
int vo_input_KeyHit(int code);
int vo_input_GetChar();
float vo_input_MouseX();
float vo_input_MouseY();
bool vo_input_MouseDown(int button);
int vo_input_MouseHit(int button);
bool vo_input_TouchDown(int index);
float vo_input_TouchX(int index);
float vo_input_TouchY(int index);
bool vo_input_JoyDown(int button, int unit);
float vo_input_JoyX(int index, int unit);
float vo_input_JoyY(int index, int unit);
float vo_input_JoyZ(int index, int unit);
float vo_input_AccelX();
float vo_input_AccelY();
