#include "framework/input.h"

#include "framework/app.h"

c_InputDevice* vo_input_device = nullptr;

namespace {

// Whether code names an entry of the key tables; code 0 is no key.
bool isKeyCode(int code) { return code >= 1 && code < c_InputDevice::KEY_CODES; }

bool isTouch(int index) { return index >= 0 && index < c_InputDevice::TOUCHES; }

// The key code of mouse button b (b + 1), or 0, which is no key, for a button
// outside the code space; computed without overflowing for any b.
int mouseCode(int button) {
  return button >= 0 && button < c_InputDevice::KEY_CODES - 1 ? c_InputDevice::MOUSE_BUTTON_0 + button : 0;
}

// The code linked to this one (mouse button 0 and touch 0), or 0.
int linkedCode(int code) {
  if (code == c_InputDevice::MOUSE_BUTTON_0) return c_InputDevice::TOUCH_0;
  if (code == c_InputDevice::TOUCH_0) return c_InputDevice::MOUSE_BUTTON_0;
  return 0;
}

}  // namespace

c_JoyState* c_JoyState::m_new() {
  gc_assign(m_joyx, Array<float>(2));
  gc_assign(m_joyy, Array<float>(2));
  gc_assign(m_joyz, Array<float>(2));
  gc_assign(m_buttons, Array<bool>(c_InputDevice::JOY_BUTTONS));
  return this;
}

void c_JoyState::mark() {
  gc_mark_q(m_joyx);
  gc_mark_q(m_joyy);
  gc_mark_q(m_joyz);
  gc_mark_q(m_buttons);
}

c_InputDevice* c_InputDevice::m_new() {
  gc_assign(m_joyStates, Array<c_JoyState*>(JOY_UNITS));
  for (int unit = 0; unit < JOY_UNITS; ++unit) {
    gc_assign(m_joyStates[unit], (new c_JoyState)->m_new());
  }
  gc_assign(m_keyDown, Array<bool>(KEY_CODES));
  gc_assign(m_keyHitQueue, Array<int>(MAX_HITS));
  gc_assign(m_keyHit, Array<int>(KEY_CODES));
  gc_assign(m_charQueue, Array<int>(MAX_CHARS));
  gc_assign(m_touchX, Array<float>(TOUCHES));
  gc_assign(m_touchY, Array<float>(TOUCHES));
  return this;
}

// A press counts a hit only on the transition to down, so keys held and
// repeated by the system count once. Out-of-range codes are ignored.
void c_InputDevice::PressKey(int code) {
  if (!isKeyCode(code) || m_keyDown[code]) return;
  m_keyDown[code] = true;
  p_PutKeyHit(code);
  if (int linked = linkedCode(code)) {
    m_keyDown[linked] = true;
    p_PutKeyHit(linked);
  }
}

void c_InputDevice::ReleaseKey(int code) {
  if (!isKeyCode(code) || !m_keyDown[code]) return;
  m_keyDown[code] = false;
  if (int linked = linkedCode(code)) m_keyDown[linked] = false;
}

// Moves one touch point; touch 0 is also the pointer.
void c_InputDevice::MoveTouch(int touch, float x, float y) {
  if (!isTouch(touch)) return;
  m_touchX[touch] = x;
  m_touchY[touch] = y;
  if (touch == 0) {
    m_mouseX = x;
    m_mouseY = y;
  }
}

int c_InputDevice::p_KeyEvent(int event, int data) {
  switch (event) {
    case c_VoGameEvent::KeyDown:
      PressKey(data);
      break;
    case c_VoGameEvent::KeyUp:
      ReleaseKey(data);
      break;
    case c_VoGameEvent::KeyChar:
      if (m_charPut < MAX_CHARS) m_charQueue[m_charPut++] = data;
      break;
  }
  return 0;
}

int c_InputDevice::p_MouseEvent(int event, int data, float x, float y) {
  switch (event) {
    case c_VoGameEvent::MouseDown:
      PressKey(mouseCode(data));
      MoveTouch(0, x, y);
      break;
    case c_VoGameEvent::MouseUp:
      ReleaseKey(mouseCode(data));
      break;
    case c_VoGameEvent::MouseMove:
      MoveTouch(0, x, y);
      break;
  }
  return 0;
}

int c_InputDevice::p_TouchEvent(int event, int data, float x, float y) {
  // Only touch points that have a code and a position slot exist.
  if (!isTouch(data)) return 0;
  switch (event) {
    case c_VoGameEvent::TouchDown:
      PressKey(TOUCH_0 + data);
      MoveTouch(data, x, y);
      break;
    case c_VoGameEvent::TouchUp:
      ReleaseKey(TOUCH_0 + data);
      break;
    case c_VoGameEvent::TouchMove:
      MoveTouch(data, x, y);
      break;
  }
  return 0;
}

int c_InputDevice::p_MotionEvent(int event, int, float x, float y, float z) {
  if (event == c_VoGameEvent::MotionAccel) {
    m_accelX = x;
    m_accelY = y;
    m_accelZ = z;
  }
  return 0;
}

int c_InputDevice::p_BeginUpdate() {
  for (int unit = 0; unit < JOY_UNITS; ++unit) {
    c_JoyState* joy = m_joyStates[unit];
    if (!vo_app__game->PollJoystick(unit, joy->m_joyx, joy->m_joyy, joy->m_joyz, joy->m_buttons)) {
      // A device pulled out with a button pressed must not leave its game
      // control held for good: the missing unit's buttons read as released.
      for (int button = 0; button < JOY_BUTTONS; ++button) {
        joy->m_buttons[button] = false;
        m_keyDown[JOY_BUTTON_0 + JOY_BUTTONS * unit + button] = false;
      }
      break;
    }
    for (int button = 0; button < JOY_BUTTONS; ++button) {
      int code = JOY_BUTTON_0 + JOY_BUTTONS * unit + button;
      if (!joy->m_buttons[button]) {
        m_keyDown[code] = false;
      } else if (!m_keyDown[code]) {
        m_keyDown[code] = true;
        p_PutKeyHit(code);
      }
    }
  }
  return 0;
}

int c_InputDevice::p_EndUpdate() {
  for (int i = 0; i < m_keyHitPut; ++i) m_keyHit[m_keyHitQueue[i]] = 0;
  m_keyHitPut = 0;
  m_charGet = 0;
  m_charPut = 0;
  return 0;
}

int c_InputDevice::p_PutKeyHit(int code) {
  if (m_keyHitPut == MAX_HITS || !isKeyCode(code)) return 0;
  m_keyHit[code] += 1;
  m_keyHitQueue[m_keyHitPut++] = code;
  return 0;
}

int c_InputDevice::p_SetKeyboardEnabled(bool on) {
  vo_app__game->SetKeyboardEnabled(on);
  return 1;
}

bool c_InputDevice::p_KeyDown(int code) { return isKeyCode(code) && m_keyDown[code]; }

int c_InputDevice::p_KeyHit(int code) { return isKeyCode(code) ? m_keyHit[code] : 0; }

int c_InputDevice::p_GetChar() { return m_charGet < m_charPut ? m_charQueue[m_charGet++] : 0; }

float c_InputDevice::p_MouseX() { return m_mouseX; }

float c_InputDevice::p_MouseY() { return m_mouseY; }

float c_InputDevice::p_TouchX(int index) { return isTouch(index) ? m_touchX[index] : 0; }

float c_InputDevice::p_TouchY(int index) { return isTouch(index) ? m_touchY[index] : 0; }

// The state of a joystick unit when index names one of its two axes, else
// null: reading outside the arrays would read foreign memory.
c_JoyState* c_InputDevice::JoyStateFor(int index, int unit) {
  if (index < 0 || index > 1 || unit < 0 || unit >= JOY_UNITS) return nullptr;
  return m_joyStates[unit];
}

float c_InputDevice::p_JoyX(int index, int unit) {
  c_JoyState* joy = JoyStateFor(index, unit);
  return joy ? joy->m_joyx[index] : 0;
}

float c_InputDevice::p_JoyY(int index, int unit) {
  c_JoyState* joy = JoyStateFor(index, unit);
  return joy ? joy->m_joyy[index] : 0;
}

float c_InputDevice::p_JoyZ(int index, int unit) {
  c_JoyState* joy = JoyStateFor(index, unit);
  return joy ? joy->m_joyz[index] : 0;
}

float c_InputDevice::p_AccelX() { return m_accelX; }

float c_InputDevice::p_AccelY() { return m_accelY; }

void c_InputDevice::mark() {
  gc_mark_q(m_joyStates);
  gc_mark_q(m_keyDown);
  gc_mark_q(m_keyHitQueue);
  gc_mark_q(m_keyHit);
  gc_mark_q(m_charQueue);
  gc_mark_q(m_touchX);
  gc_mark_q(m_touchY);
}

int vo_input_SetInputDevice(c_InputDevice* device) {
  gc_assign(vo_input_device, device);
  return 0;
}

int vo_input_EnableKeyboard() {
  vo_app__game->SetKeyboardEnabled(true);
  return 1;
}

int vo_input_DisableKeyboard() {
  vo_app__game->SetKeyboardEnabled(false);
  return 1;
}

bool vo_input_KeyDown(int code) { return vo_input_device->p_KeyDown(code); }

int vo_input_KeyHit(int code) { return vo_input_device->p_KeyHit(code); }

int vo_input_Withhold(int code) {
  if (!isKeyCode(code)) return 0;
  vo_input_device->m_keyDown[code] = false;
  vo_input_device->m_keyHit[code] = 0;
  return 0;
}

int vo_input_WithholdJoystick(int unit) {
  if (unit < 0 || unit >= c_InputDevice::JOY_UNITS) return 0;
  c_JoyState* joy = vo_input_device->m_joyStates[unit];
  for (int i = 0; i < 2; ++i) joy->m_joyx[i] = joy->m_joyy[i] = joy->m_joyz[i] = 0;
  for (int button = 0; button < c_InputDevice::JOY_BUTTONS; ++button) {
    joy->m_buttons[button] = false;
    vo_input_Withhold(c_InputDevice::JOY_BUTTON_0 + c_InputDevice::JOY_BUTTONS * unit + button);
  }
  return 0;
}

int vo_input_GetChar() { return vo_input_device->p_GetChar(); }

float vo_input_MouseX() { return vo_input_device->p_MouseX(); }

float vo_input_MouseY() { return vo_input_device->p_MouseY(); }

bool vo_input_MouseDown(int button) { return vo_input_device->p_KeyDown(mouseCode(button)); }

int vo_input_MouseHit(int button) { return vo_input_device->p_KeyHit(mouseCode(button)); }

// Only touch points 0 to 31 exist; other indices would read foreign codes.
bool vo_input_TouchDown(int index) {
  return isTouch(index) && vo_input_device->p_KeyDown(c_InputDevice::TOUCH_0 + index);
}

float vo_input_TouchX(int index) { return vo_input_device->p_TouchX(index); }

float vo_input_TouchY(int index) { return vo_input_device->p_TouchY(index); }

// The code is formed with OR, as the language does; the shift is done on an
// unsigned value so a huge unit cannot overflow.
bool vo_input_JoyDown(int button, int unit) {
  int code = static_cast<int>(static_cast<uint32_t>(button) | 256u | (static_cast<uint32_t>(unit) << 5));
  return vo_input_device->p_KeyDown(code);
}

float vo_input_JoyX(int index, int unit) { return vo_input_device->p_JoyX(index, unit); }

float vo_input_JoyY(int index, int unit) { return vo_input_device->p_JoyY(index, unit); }

float vo_input_JoyZ(int index, int unit) { return vo_input_device->p_JoyZ(index, unit); }

float vo_input_AccelX() { return vo_input_device->p_AccelX(); }

float vo_input_AccelY() { return vo_input_device->p_AccelY(); }
