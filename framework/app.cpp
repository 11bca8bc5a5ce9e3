#include "framework/app.h"

#include "audio/audio.h"
#include "graphics/graphics.h"

c_App* vo_app__app = nullptr;
c_GameDelegate* vo_app__delegate = nullptr;
VoGame* vo_app__game = nullptr;
int vo_app__updateRate = 0;
int vo_random_Seed = 1234;

int c_App::p_OnCreate() { return 0; }

int c_App::p_OnSuspend() { return 0; }

int c_App::p_OnResume() { return 0; }

int c_App::p_OnUpdate() { return 0; }

int c_App::p_OnRender() { return 0; }

c_App* c_App::m_new() {
  if (vo_app__app) voError(String("App has already been created"));
  gc_assign(vo_app__app, this);
  gc_assign(vo_app__delegate, (new c_GameDelegate)->m_new());
  vo_app__game->SetDelegate(vo_app__delegate);
  return this;
}

int c_App::p_OnLoading() { return 0; }

int c_App::p_OnClose() { vo_app_EndApp(); }

int c_App::p_OnBack() { vo_app_EndApp(); }

c_GameDelegate* c_GameDelegate::m_new() { return this; }

// Drivers exist only from here on, so p_OnCreate is the first point at which
// the application may load images, sounds and fonts.
void c_GameDelegate::StartGame() {
  gc_assign(_graphics, new gxtkGraphics());
  vo_graphics_SetGraphicsDevice(_graphics);
  vo_graphics_SetFont(nullptr, 32);
  gc_assign(_audio, new gxtkAudio());
  vo_audio_SetAudioDevice(_audio);
  gc_assign(_input, (new c_InputDevice)->m_new());
  vo_input_SetInputDevice(_input);
  vo_app__app->p_OnCreate();
}

void c_GameDelegate::SuspendGame() {
  vo_app__app->p_OnSuspend();
  _audio->Suspend();
}

void c_GameDelegate::ResumeGame() {
  _audio->Resume();
  vo_app__app->p_OnResume();
}

// The application's update sees the joysticks polled just before it and this
// update's hits and characters, which are forgotten right after it.
void c_GameDelegate::UpdateGame() {
  _input->p_BeginUpdate();
  vo_app__app->p_OnUpdate();
  _input->p_EndUpdate();
}

// Mode 0 means the driver cannot draw now, 2 that it is still loading; this
// driver always answers 1. With mode 0 the module's frame is not begun, so the
// application's render, which would draw through a null render device, is
// skipped. The driver's frame is ended in every case.
void c_GameDelegate::RenderGame() {
  int mode = _graphics->BeginRender();
  if (mode) {
    vo_graphics_BeginRender();
    if (mode == 2) {
      vo_app__app->p_OnLoading();
    } else {
      vo_app__app->p_OnRender();
    }
    vo_graphics_EndRender();
  }
  _graphics->EndRender();
}

// The close and back keys end the program once the key-down is recorded.
void c_GameDelegate::KeyEvent(int event, int data) {
  _input->p_KeyEvent(event, data);
  if (event != c_VoGameEvent::KeyDown) return;
  if (data == KEY_CLOSE) vo_app__app->p_OnClose();
  if (data == KEY_BACK) vo_app__app->p_OnBack();
}

void c_GameDelegate::MouseEvent(int event, int data, float x, float y) { _input->p_MouseEvent(event, data, x, y); }

void c_GameDelegate::TouchEvent(int event, int data, float x, float y) { _input->p_TouchEvent(event, data, x, y); }

void c_GameDelegate::MotionEvent(int event, int data, float x, float y, float z) {
  _input->p_MotionEvent(event, data, x, y, z);
}

void c_GameDelegate::DiscardGraphics() { _graphics->DiscardGraphics(); }

void c_GameDelegate::mark() {
  gc_mark_q(_graphics);
  gc_mark_q(_audio);
  gc_mark_q(_input);
}

int vo_app_SetUpdateRate(int hertz) {
  vo_app__updateRate = hertz;
  vo_app__game->SetUpdateRate(hertz);
  return 0;
}

int vo_app_Millisecs() { return vo_app__game->Millisecs(); }

int vo_app_MillisecsBetween(int earlier, int later) {
  return VoGame::WrapMillisecs(static_cast<long long>(later) - earlier);
}

int vo_app_MillisecsAfter(int ms, int delta) { return VoGame::WrapMillisecs(static_cast<long long>(ms) + delta); }

String vo_app_LoadState() { return vo_app__game->LoadState(); }

int vo_app_SaveState(String state) { return vo_app__game->SaveState(state); }

int vo_app_EndApp() { voError(String()); }

void vo_framework_Init() {
  vo_app__app = nullptr;
  vo_app__delegate = nullptr;
  vo_app__game = VoGame::_game;
  vo_app__updateRate = 0;
  vo_graphics_device = nullptr;
  gc_assign(vo_graphics_context, (new c_GraphicsContext)->m_new());
  vo_graphics_renderDevice = nullptr;
  vo_audio_device = nullptr;
  vo_input_device = nullptr;
  gc_assign(vo_asyncevent__sources, (new c_Stack)->m_new());
  vo_asyncevent__current = nullptr;
  c_Stack::m_NIL = nullptr;
  vo_random_Seed = 1234;
}

void vo_framework_MarkRoots() {
  gc_mark_q(vo_app__app);
  gc_mark_q(vo_app__delegate);
  gc_mark_q(vo_graphics_device);
  gc_mark_q(vo_graphics_context);
  gc_mark_q(vo_audio_device);
  gc_mark_q(vo_input_device);
  gc_mark_q(vo_graphics_renderDevice);
  gc_mark_q(vo_asyncevent__current);
  gc_mark_q(vo_asyncevent__sources);
  gc_mark_q(c_Stack::m_NIL);
}
