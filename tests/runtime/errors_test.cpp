// Log lines, fatal errors and signals, and the debug protocol, each in a forked child.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "host/game.h"
#include "runtime/dovel.h"
#include "tests/runtime/address_limit.h"
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
  EXPECT_EQ(r.err, kGreeting);
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
      {"?\ne\n", -1, kStop + kStop, kGreeting + kGreeting},
      {"s\n", -1, kStop + kStop, kGreeting + kGreeting},
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

#ifdef QUILLET_CAN_LIMIT_ADDRESS_SPACE
TEST(Errors, OutOfMemoryIsAFatalError) {
  for (bool strings : {false, true}) {
    ChildResult r = RunInChild([strings] {
      limit_address_space();
      if (strings) {
        String s("0123456789abcdef");
        for (int i = 0; i < 30; ++i) s = s + s;
      } else {
        Array<int> huge(1 << 28);
        huge[0] = 1;
      }
      std::exit(0);
    });
    EXPECT_EQ(r.status, -1) << strings;
    EXPECT_EQ(r.out, "Dovel Runtime Error : Out of memory\n\n");
  }
}
#endif

}  // namespace
