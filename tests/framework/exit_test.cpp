// Ways the framework ends the process, each run in a child process whose
// exit status and standard output are checked.
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "framework/app.h"
#include "tests/support/test_host.h"

namespace {

struct ChildResult {
  int status;  // exit status; 1000 + signal when killed; 99 when body returned
  std::string out;
};

// Runs body in a forked child with standard output captured and standard
// input closed (so a fatal error's debug prompt ends at once).
ChildResult RunChild(const std::function<void()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, ""};
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    body();
    fflush(stdout);
    _exit(99);
  }
  close(fds[1]);
  ChildResult result{-1, ""};
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  return result;
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
  ChildResult r = RunChild([] {
    RunApp([](VoTestHost& host) { host.Key(0.5, VoGameEvent::KeyDown, KEY_CLOSE); });
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(Exit, BackKeyDownEndsWithStatusZero) {
  ChildResult r = RunChild([] {
    RunApp([](VoTestHost& host) { host.Key(0.5, VoGameEvent::KeyDown, KEY_BACK); });
  });
  EXPECT_EQ(r.status, 0);
}

TEST(Exit, WindowCloseButtonEndsWithStatusZero) {
  ChildResult r = RunChild([] { RunApp([](VoTestHost& host) { host.Close(0.5); }); });
  EXPECT_EQ(r.status, 0);
}

TEST(Exit, CloseKeyUpOrCharacterDoesNotEnd) {
  ChildResult r = RunChild([] {
    RunApp([](VoTestHost& host) {
      host.Key(0.2, VoGameEvent::KeyUp, KEY_CLOSE);
      host.Key(0.3, VoGameEvent::KeyChar, KEY_CLOSE);
      host.Key(0.4, VoGameEvent::KeyUp, KEY_BACK);
    });
  });
  EXPECT_EQ(r.status, 99);
}

TEST(Exit, SecondAppIsARuntimeError) {
  ChildResult r = RunChild([] {
    VoTestHost host;
    vo_framework_Init();
    (new c_App)->m_new();
    (new c_App)->m_new();
  });
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.rfind("Dovel Runtime Error : App has already been created\n", 0), 0u) << r.out;
}

}  // namespace
