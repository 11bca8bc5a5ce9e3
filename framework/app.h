// The application framework: c_App, the base class of the application, and
// c_GameDelegate, which turns the host's calls into driver creation, input
// bookkeeping and the application's On* methods. Also the vo_app_* module,
// the framework globals and the collector's roots.
#pragma once

#include "framework/async.h"
#include "framework/input.h"
#include "framework/numbers.h"
#include "host/game.h"
#include "runtime/dovel.h"

class gxtkGraphics;
class gxtkAudio;

// The game event codes that the host passes to the delegate's event calls.
using c_VoGameEvent = VoGameEvent;

// Base class of the application. Creating it (m_new) installs the delegate
// through which the host drives it; there may be only one.
class c_App : public Object {
 public:
  virtual int p_OnCreate();
  virtual int p_OnSuspend();
  virtual int p_OnResume();
  virtual int p_OnUpdate();
  virtual int p_OnRender();

  c_App* m_new();
  int p_OnLoading();
  // Both end the program (status 0).
  int p_OnClose();
  int p_OnBack();
};

// Receives every host call and routes it to the drivers, the input device and
// the application. The drivers are created by StartGame.
class c_GameDelegate : public VoGameDelegate {
 public:
  gxtkGraphics* _graphics = nullptr;
  gxtkAudio* _audio = nullptr;
  c_InputDevice* _input = nullptr;

  c_GameDelegate* m_new();
  void StartGame() override;
  void SuspendGame() override;
  void ResumeGame() override;
  void UpdateGame() override;
  void RenderGame() override;
  void KeyEvent(int event, int data) override;
  void MouseEvent(int event, int data, float x, float y) override;
  void TouchEvent(int event, int data, float x, float y) override;
  void MotionEvent(int event, int data, float x, float y, float z) override;
  void DiscardGraphics() override;
  void mark() override;
};

extern c_App* vo_app__app;
extern c_GameDelegate* vo_app__delegate;
extern VoGame* vo_app__game;
extern int vo_app__updateRate;

int vo_app_SetUpdateRate(int hertz);
int vo_app_Millisecs();
// Milliseconds from the reading `earlier` to the reading `later` of
// vo_app_Millisecs, right across the counter's wrap while the two are less
// than 2^31 ms apart; negative when `later` is in fact earlier.
int vo_app_MillisecsBetween(int earlier, int later);
// The reading `delta` milliseconds after the reading `ms`, wrapped as the
// counter wraps.
int vo_app_MillisecsAfter(int ms, int delta);
String vo_app_LoadState();
int vo_app_SaveState(String state);
// Ends the process with status 0; does not return.
[[noreturn]] int vo_app_EndApp();

// Gives every framework global its start value; the program's voInit calls it
// before anything else touches the framework.
void vo_framework_Init();

// Queues the framework's collector roots, in their fixed order: the app, the
// delegate, the graphics device and context, the audio and input devices, the
// render device, the async-event source being polled, the source stack and
// the stack's empty value. The program's root hook calls it and then queues
// roots of its own.
void vo_framework_MarkRoots();
