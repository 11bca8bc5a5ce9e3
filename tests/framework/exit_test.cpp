// Ways the framework ends the process, each run in a child process whose
// exit status and standard output are checked.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include "framework/app.h"
#include "tests/host/child.h"
#include "tests/support/test_host.h"

namespace {

// Closes standard input first, so a fatal error's debug prompt ends at once,
// and prints "returned" if body comes back instead of ending the process.
ChildResult RunApart(const std::function<void()>& body) {
  return RunInChild([&] {
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    body();
    std::printf("returned\n");
  });
}

// Starts a framework application on a test host, runs `script` to schedule
// events, and runs the loop for a second of fake time.
void RunApp(const std::function<void(VoTestHost&)>& script) {
  VoTestHost host;
  vo_framework_Init();
  gc_mark_roots_hook = vo_framework_MarkRoots;
  (new c_App)->m_new();
  vo_app_SetUpdateRate(60);
  script(host);
  host.Begin();
  host.RunUntil(1.0);
}

TEST(Exit, CloseKeyDownEndsWithStatusZero) {
  ChildResult r = RunApart([] { RunApp([](VoTestHost& host) { host.Key(0.5, VoGameEvent::KeyDown, KEY_CLOSE); }); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Exit, BackKeyDownEndsWithStatusZero) {
  ChildResult r = RunApart([] { RunApp([](VoTestHost& host) { host.Key(0.5, VoGameEvent::KeyDown, KEY_BACK); }); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Exit, WindowCloseButtonEndsWithStatusZero) {
  ChildResult r = RunApart([] { RunApp([](VoTestHost& host) { host.Close(0.5); }); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Exit, CloseKeyUpOrCharacterDoesNotEnd) {
  ChildResult r = RunApart([] {
    RunApp([](VoTestHost& host) {
      host.Key(0.2, VoGameEvent::KeyUp, KEY_CLOSE);
      host.Key(0.3, VoGameEvent::KeyChar, KEY_CLOSE);
      host.Key(0.4, VoGameEvent::KeyUp, KEY_BACK);
    });
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "returned\n");
}

TEST(Exit, SecondAppIsARuntimeError) {
  ChildResult r = RunApart([] {
    VoTestHost host;
    vo_framework_Init();
    (new c_App)->m_new();
    (new c_App)->m_new();
  });
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.rfind("Dovel Runtime Error : App has already been created\n", 0), 0u) << r.out;
}

}  // namespace
