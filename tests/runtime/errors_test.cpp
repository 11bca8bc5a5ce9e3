// Log lines, fatal errors and signals, and the debug protocol, each in a forked child.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>

#include "host/game.h"
#include "runtime/databuffer.h"
#include "runtime/dovel.h"
#include "tests/support/process.h"

namespace {

// The protocol's greeting on standard error: the position (none is ever set) and an empty line.
const std::string kGreeting = "{{~~(null)~~}}\n\n";
const std::string kStop = "Dovel Runtime Error : stop\n\n";

class Probe : public Object {
 public:
  String debug() override { return String("+Probe\nm_value=42"); }
};

TEST(Errors, PrintAndFatalErrors) {
  ChildResult r = RunInChild([] {
    voPrint(String("caf") + String::FromChar(0xE9));
    voDebugLog(String::FromChar(0x20AC));
    voPrint(String());
    voError(String());
  });
  EXPECT_EQ(r.status, 0) << "an empty error quits quietly";
  EXPECT_EQ(r.out, "caf\xC3\xA9\n\xE2\x82\xAC\n\n");
  EXPECT_EQ(r.err, "");
  r = RunInChild([] { voError(String("x") + String::FromChar(0x141)); });
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : xA\n\n") << "the text is narrowed to its low bytes";
  r = RunInChild([] { VoGame().Die(new ThrowableObject()); }, "q\n");
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, "Dovel Runtime Error : Uncaught Dovel Exception\n");
  for (auto [sig, name] : {std::pair(SIGSEGV, "Memory access violation"), std::pair(SIGILL, "Illegal instruction"),
                           std::pair(SIGFPE, "Floating point exception"), std::pair(SIGUSR1, "Unknown signal")}) {
    r = RunInChild([sig = sig] {
      std::signal(sig, sighandler);
      std::raise(sig);
    });
    EXPECT_EQ(r.status, -1) << name;
    EXPECT_EQ(r.out, std::string("Dovel Runtime Error : ") + name + "\n\n");
  }
}

TEST(Errors, DebugProtocolCommands) {
  // Input, exit status, standard output and standard error.
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      // Resuming returns into the report, which cannot be resumed past and so asks again.
      {"?\ne\ns\n", -1, kStop + kStop + kStop, kGreeting + kGreeting + kGreeting},
      {"q\ne\n", 0, kStop, kGreeting},
      {"?\nxyzzy 1\ne\n", -1, kStop + "????? xyzzy 1 ?????\n", kGreeting},
      {"\n", -1, kStop + "?????  ?????\n", kGreeting},
      {"e", -1, kStop, kGreeting},
      {std::string(300, 'e') + "\n", -1, kStop, kGreeting},
  };
  for (const auto& [input, status, out, err] : cases) {
    ChildResult r = RunInChild([] { voError(String("stop")); }, input);
    EXPECT_EQ(std::tie(r.status, r.out, r.err), std::tie(status, out, err)) << input.substr(0, 20);
  }
  // Addresses: made before the fork, so the child has the objects at the same places.
  Object* plain = new Object();
  Object* probe = new Probe();
  int local = 0;
  char cmds[256];
  std::snprintf(cmds, sizeof cmds, "@%p\n@%p\n@0\n@0x10\n@%p\n@nonsense\n@%p\nq\n", static_cast<void*>(plain),
                static_cast<void*>(probe), static_cast<void*>(&local),
                static_cast<void*>(reinterpret_cast<char*>(probe) + 1));
  ChildResult r = RunInChild([] { voError(String("look")); }, cmds);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kGreeting + "+Object\n\n" + "+Probe\nm_value=42\n" + "\n\n\n\n\n");
}

// The sanitizers' reserved address space cannot live under a limit.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// With 64 MiB of address space left to the child, a byte buffer of 1 GiB fails
// quietly, while a collected array or a string that large is a fatal error.
TEST(Errors, OutOfMemoryIsAFatalError) {
  for (bool strings : {false, true}) {
    ChildResult r = RunInChild([strings] {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlim_t bytes = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (64u << 20);
      const rlimit limit{bytes, bytes};
      setrlimit(RLIMIT_AS, &limit);
      auto* buffer = new VoDataBuffer();
      if (buffer->_New(1 << 30) || buffer->_data || buffer->Length()) std::exit(1);
      String s("0123456789abcdef");
      for (int i = 0; strings && i < 30; ++i) s = s + s;
      Array<int>(1 << 28)[0] = 1;
      std::exit(0);
    });
    EXPECT_EQ(r.status, -1) << strings;
    EXPECT_EQ(r.out, "Dovel Runtime Error : Out of memory\n\n");
  }
}
#endif

}  // namespace
