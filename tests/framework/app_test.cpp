// c_App and c_GameDelegate on the headless test host: what the host's calls
// turn into, in which order, and the collector roots the framework reports.
#include <algorithm>

#include "audio/audio.h"
#include "graphics/graphics.h"
#include "tests/framework/probe_app.h"

namespace {

using Log = std::vector<std::string>;

TEST_F(FrameworkTest, CreatingTheAppInstallsOneDelegate) {
  EXPECT_EQ(vo_app__app, app);
  ASSERT_NE(vo_app__delegate, nullptr);
  EXPECT_EQ(host.Delegate(), vo_app__delegate);
  EXPECT_EQ(vo_app__delegate->_graphics, nullptr);
  EXPECT_EQ(vo_app__game, &host);
  EXPECT_EQ(vo_app__updateRate, 60);
  EXPECT_EQ(host.UpdateRate(), 60);
}

// The drivers exist when the application is created, so it may load from
// p_OnCreate on.
TEST_F(FrameworkTest, StartCreatesTheDriversBeforeOnCreate) {
  app->onCreate = [] {
    c_GameDelegate* d = vo_app__delegate;
    ASSERT_NE(d->_graphics, nullptr);
    ASSERT_NE(d->_audio, nullptr);
    ASSERT_NE(d->_input, nullptr);
    EXPECT_EQ(vo_graphics_device, d->_graphics);
    EXPECT_EQ(vo_audio_device, d->_audio);
    EXPECT_EQ(vo_input_device, d->_input);
    EXPECT_EQ(vo_graphics_context->m_firstChar, 32);
  };
  host.Begin();
  EXPECT_EQ(app->log, (Log{"create", "render"}));
}

TEST_F(FrameworkTest, HostCallsReachTheAppInOrder) {
  host.At(0.1, [&] { host.iconified = true; });
  host.At(0.2, [&] { host.iconified = false; });
  host.Begin();
  host.RunUntil(0.25);
  // Start and a first render, then an update and a render per period.
  ASSERT_GE(app->log.size(), 6u);
  EXPECT_EQ(Log(app->log.begin(), app->log.begin() + 6),
            (Log{"create", "render", "update", "render", "update", "render"}));
  auto suspend = std::find(app->log.begin(), app->log.end(), "suspend");
  auto resume = std::find(app->log.begin(), app->log.end(), "resume");
  ASSERT_NE(suspend, app->log.end());
  ASSERT_NE(resume, app->log.end());
  // Nothing reaches the application while the window is iconified.
  EXPECT_EQ(resume, suspend + 1);
  EXPECT_EQ(std::count(app->log.begin(), app->log.end(), "suspend"), 1);
}

// Joysticks are polled into the snapshot before the update, and the update's
// hits and characters are forgotten after it.
TEST_F(FrameworkTest, UpdateIsBracketedByInputBookkeeping) {
  VoJoystickState pad;
  pad.buttonCount = 4;
  pad.buttons[2] = true;
  host.SetJoystick(0, &pad);
  std::vector<int> hitsA, hitsPad, chars;
  app->onUpdate = [&] {
    hitsA.push_back(vo_input_KeyHit(65));
    hitsPad.push_back(vo_input_KeyHit(258));
    chars.push_back(vo_input_GetChar());
  };
  host.Key(0.001, VoGameEvent::KeyDown, 65);
  host.Key(0.001, VoGameEvent::KeyChar, 97);
  host.Begin();
  RunUpdates(2);
  EXPECT_EQ(hitsA, (std::vector<int>{1, 0}));
  EXPECT_EQ(hitsPad, (std::vector<int>{1, 0}));
  EXPECT_EQ(chars, (std::vector<int>{97, 0}));
  EXPECT_TRUE(vo_input_KeyDown(65));
}

TEST_F(FrameworkTest, RenderRunsBetweenTheModuleFrameCalls) {
  gxtkGraphics* during = nullptr;
  app->onRender = [&] { during = vo_graphics_renderDevice; };
  host.Begin();
  EXPECT_EQ(during, vo_graphics_device);
  EXPECT_EQ(vo_graphics_renderDevice, nullptr);
  EXPECT_EQ(host.swaps, 1);
}

// A driver that reports a mode of its own choosing from BeginRender.
class ModeGraphics : public gxtkGraphics {
 public:
  explicit ModeGraphics(int mode) : mode(mode) {}
  int BeginRender() override {
    gxtkGraphics::BeginRender();
    return mode;
  }
  int mode;
};

TEST_F(FrameworkTest, LoadingModeSkipsOnRenderButEndsTheFrame) {
  host.Begin();
  gc_assign(vo_app__delegate->_graphics, static_cast<gxtkGraphics*>(new ModeGraphics(2)));
  int swaps = host.swaps;
  app->log.clear();
  host.RenderGame();
  EXPECT_EQ(app->log, Log{});
  EXPECT_EQ(host.swaps, swaps + 1);
  EXPECT_EQ(vo_graphics_renderDevice, nullptr);
}

// Mode 0 means the driver cannot draw now: the module frame is not begun, so
// the application's render would draw through a null device. It is skipped.
TEST_F(FrameworkTest, DriverThatCannotDrawSkipsOnRender) {
  host.Begin();
  gc_assign(vo_app__delegate->_graphics, static_cast<gxtkGraphics*>(new ModeGraphics(0)));
  app->onRender = [] { vo_graphics_DrawRect(0, 0, 1, 1); };
  int swaps = host.swaps;
  app->log.clear();
  host.RenderGame();
  EXPECT_EQ(app->log, Log{});
  EXPECT_EQ(host.swaps, swaps + 1);
}

TEST_F(FrameworkTest, EventsReachTheInputDevice) {
  host.Begin();
  host.MotionEvent(VoGameEvent::MotionAccel, 0, 0.25f, -0.5f, 1);
  host.TouchEvent(VoGameEvent::TouchDown, 3, 7, 8);
  host.MouseEvent(VoGameEvent::MouseMove, -1, 30, 40);
  EXPECT_EQ(vo_input_AccelX(), 0.25f);
  EXPECT_EQ(vo_input_AccelY(), -0.5f);
  EXPECT_EQ(vo_input_device->m_accelZ, 1.0f);
  EXPECT_TRUE(vo_input_TouchDown(3));
  EXPECT_EQ(vo_input_TouchX(3), 7.0f);
  EXPECT_EQ(vo_input_MouseX(), 30.0f);
  EXPECT_EQ(vo_input_MouseY(), 40.0f);
}

// A source object whose identity is all the root test needs.
class Source : public Object, public virtual c_IAsyncEventSource {
 public:
  int p_UpdateAsyncEvents() override { return 0; }
};

TEST_F(FrameworkTest, RootsAreQueuedInTheirFixedOrder) {
  host.Begin();
  auto* current = new Source;
  auto* nil = new Source;
  auto* render = new gxtkGraphics();
  gc_assign(vo_asyncevent__current, static_cast<c_IAsyncEventSource*>(current));
  gc_assign(c_Stack::m_NIL, static_cast<c_IAsyncEventSource*>(nil));
  gc_assign(vo_graphics_renderDevice, render);
  // A full collection ends with the roots queued afresh, in hook order.
  gc_collect_all();
  std::vector<gc_object*> queued;
  for (gc_object* p = gc_queued_list.succ; p != &gc_queued_list; p = p->succ) queued.push_back(p);
  std::vector<gc_object*> expected = {vo_app__app,
                                      vo_app__delegate,
                                      vo_graphics_device,
                                      vo_graphics_context,
                                      vo_audio_device,
                                      vo_input_device,
                                      render,
                                      current,
                                      vo_asyncevent__sources,
                                      nil};
  EXPECT_EQ(queued, expected);
  vo_asyncevent__current = nullptr;
  c_Stack::m_NIL = nullptr;
  vo_graphics_renderDevice = nullptr;
}

// Everything the framework holds survives collections, which run after every
// host call; under stress each is a full collection that destroys garbage.
TEST_F(FrameworkTest, FrameworkObjectsSurviveCollections) {
  gc_stress = true;
  std::vector<int> hits;
  app->onUpdate = [&] { hits.push_back(vo_input_KeyHit(1)); };
  host.Mouse(0.001, VoGameEvent::MouseDown, 0, 5, 5);
  host.Begin();
  RunUpdates(3);
  gc_stress = false;
  EXPECT_EQ(hits, (std::vector<int>{1, 0, 0}));
  EXPECT_TRUE(vo_input_MouseDown(0));
  EXPECT_EQ(vo_input_device->m_joyStates[3]->m_buttons.Length(), 32);
}

}  // namespace
