// Log lines, fatal runtime errors, fatal signals and the debug protocol, each
// run in a forked child whose standard input, output, error and exit status the
// test controls and inspects.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>

#include "host/game.h"
#include "runtime/dovel.h"
#include "tests/runtime/address_limit.h"

namespace {

struct Outcome {
  int status = -2;  // exit status as a signed byte; -2 when killed by a signal
  std::string out;
  std::string err;
};

void read_all(int fd, std::string* into) {
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) into->append(chunk, static_cast<size_t>(n));
  close(fd);
}

// Runs body in a forked child that reads `input` on standard input (closed
// after it), and collects its output streams and exit status. The outputs
// stay far below a pipe's capacity, so they are read one after the other.
Outcome run_child(const std::string& input, const std::function<void()>& body) {
  std::fflush(nullptr);
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    body();
    std::fflush(nullptr);
    _exit(100);  // the body was expected to end the process itself
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // A child that ends before reading its input closes the pipe under the
  // write: that must fail the write, not raise SIGPIPE in the test.
  void (*old_handler)(int) = std::signal(SIGPIPE, SIG_IGN);
  if (write(in[1], input.data(), input.size()) < 0) {
    EXPECT_EQ(errno, EPIPE);
  }
  std::signal(SIGPIPE, old_handler);
  close(in[1]);
  Outcome result;
  read_all(out[0], &result.out);
  read_all(err[0], &result.err);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = static_cast<signed char>(WEXITSTATUS(status));
  return result;
}

// The protocol's greeting on standard error: the position (none is ever set)
// and an empty line.
const char kGreeting[] = "{{~~(null)~~}}\n\n";

// A collected object with its own debug text.
class Probe : public Object {
 public:
  String debug() override { return String("+Probe\nm_value=42"); }
};

TEST(Errors, PrintWritesUtf8Lines) {
  Outcome r = run_child("", [] {
    voPrint(String("caf") + String::FromChar(0xE9));
    voDebugLog(String::FromChar(0x20AC));
    voPrint(String());
    std::exit(0);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "caf\xC3\xA9\n\xE2\x82\xAC\n\n");
  EXPECT_EQ(r.err, "");
}

TEST(Errors, EmptyErrorQuitsQuietly) {
  Outcome r = run_child("", [] { voError(String()); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(Errors, ErrorWithNoDebuggerEndsWithMinusOne) {
  Outcome r = run_child("", [] { voError(String("Image frame outside surface")); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Image frame outside surface\n\n");
  EXPECT_EQ(r.err, kGreeting);
}

TEST(Errors, ErrorTextIsNarrowedToItsLowBytes) {
  Outcome r = run_child("", [] { voError(String("x") + String::FromChar(0x141) + String::FromChar(0x1E9)); });
  // 0x141 narrows to 0x41, which prints as "A"; 0x1E9 narrows to 0xE9, which
  // prints as UTF-8 like every line on standard output.
  EXPECT_EQ(r.out, "Dovel Runtime Error : xA\xC3\xA9\n\n");
  EXPECT_EQ(r.status, -1);
}

TEST(Errors, FatalSignalsReportTheirNames) {
  const std::pair<int, const char*> cases[] = {
      {SIGSEGV, "Memory access violation"},
      {SIGILL, "Illegal instruction"},
      {SIGFPE, "Floating point exception"},
  };
  for (const auto& [sig, name] : cases) {
    Outcome r = run_child("", [sig = sig] {
      std::signal(sig, sighandler);
      std::raise(sig);
    });
    EXPECT_EQ(r.status, -1) << name;
    EXPECT_EQ(r.out, std::string("Dovel Runtime Error : ") + name + "\n\n");
    EXPECT_EQ(r.err, kGreeting);
  }
  Outcome r = run_child("", [] { sighandler(SIGUSR1); });
  EXPECT_EQ(r.out, "Dovel Runtime Error : Unknown signal\n\n");
  EXPECT_EQ(r.status, -1);
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer build reports the null write itself before the signal.
TEST(Errors, RealNullPointerWriteIsReported) {
  Outcome r = run_child("", [] {
    std::signal(SIGSEGV, sighandler);
    volatile int* volatile p = nullptr;
    *p = 1;
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Memory access violation\n\n");
}
#endif

TEST(Errors, ResumeCommandsReportTheErrorAgain) {
  for (const char* cmd : {"e", "l", "r", "s"}) {
    Outcome r = run_child(std::string("?\n") + cmd + "\n", [] { dbg_error("boom"); });
    // "?" is ignored; the resume command returns into the report, which
    // cannot be resumed past and so prints again and asks again.
    EXPECT_EQ(r.out, "Dovel Runtime Error : boom\n\nDovel Runtime Error : boom\n\n") << cmd;
    EXPECT_EQ(r.err, std::string(kGreeting) + kGreeting) << cmd;
    EXPECT_EQ(r.status, -1) << cmd;
  }
}

TEST(Errors, QuitCommandEndsWithZero) {
  Outcome r = run_child("q\ne\n", [] { voError(String("stop")); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Dovel Runtime Error : stop\n\n");
  EXPECT_EQ(r.err, kGreeting);
}

TEST(Errors, UnknownCommandIsEchoedAndEndsWithMinusOne) {
  Outcome r = run_child("?\nxyzzy 1\ne\n", [] { voError(String("stop")); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : stop\n\n????? xyzzy 1 ?????\n");
  // An empty line is no command either.
  r = run_child("\n", [] { voError(String("stop")); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : stop\n\n?????  ?????\n");
}

TEST(Errors, LineWithoutNewlineEndsTheProcess) {
  Outcome r = run_child("e", [] { voError(String("stop")); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : stop\n\n");
  // A line longer than the protocol reads is cut and so has no newline.
  r = run_child(std::string(300, 'e') + "\n", [] { voError(String("stop")); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : stop\n\n");
}

TEST(Errors, AddressCommandPrintsTheObjectsDebugText) {
  // Made before the fork, so the child has the object at the same address.
  Object* plain = new Object();
  Object* probe = new Probe();
  char cmds[128];
  std::snprintf(cmds, sizeof cmds, "@%p\n@%p\n@0\nq\n", static_cast<void*>(plain), static_cast<void*>(probe));
  Outcome r = run_child(cmds, [] { voError(String("look")); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, std::string(kGreeting) + "+Object\n\n" + "+Probe\nm_value=42\n" + "\n");
}

TEST(Errors, AddressCommandWithoutALiveObjectPrintsAnEmptyText) {
  // Addresses that hold no collected object (garbage, a stack address, an
  // unaligned one) answer with an empty text instead of being dereferenced.
  int local = 0;
  char cmds[160];
  std::snprintf(cmds, sizeof cmds, "@0x10\n@%p\n@nonsense\n@%p\nq\n", static_cast<void*>(&local),
                static_cast<void*>(reinterpret_cast<char*>(new Probe()) + 1));
  Outcome r = run_child(cmds, [] { voError(String("look")); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, std::string(kGreeting) + "\n\n\n\n");
}

TEST(Errors, UncaughtExceptionDiesWithMinusOne) {
  Outcome r = run_child("q\n", [] {
    VoGame game;
    game.Die(new ThrowableObject());
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Uncaught Dovel Exception\n");
  EXPECT_EQ(r.err, "");
}

#ifdef QUILLET_CAN_LIMIT_ADDRESS_SPACE
TEST(Errors, CollectorOutOfMemoryIsAFatalError) {
  Outcome r = run_child("", [] {
    limit_address_space();
    Array<int> huge(1 << 28);
    std::printf("allocated %d\n", huge.Length());
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Out of memory\n\n");
}

TEST(Errors, StringOutOfMemoryIsAFatalError) {
  Outcome r = run_child("", [] {
    limit_address_space();
    String s("0123456789abcdef");
    for (int i = 0; i < 30; ++i) s = s + s;
    std::printf("length %d\n", s.Length());
  });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Out of memory\n\n");
}
#endif

}  // namespace
