// Stand-ins for the game's voInit and voMain, linked with the real program
// entry (host/main.cpp) to check the start-up order. QUILLET_STARTUP picks
// what voMain does:
//   none   installs no delegate (the program ends without opening a window)
//   throw  throws a language exception
//   segv   raises SIGSEGV (the fatal-signal path)
//   run    installs a delegate that ends the program at its first update
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/game.h"

namespace {

class Thrown : public ThrowableObject {
 public:
  Thrown() {}
};

class EndingDelegate : public VoGameDelegate {
 public:
  EndingDelegate() {}
  void StartGame() override { voPrint(String("start")); }
  void RenderGame() override {
    if (!rendered_) voPrint(String("render"));
    rendered_ = true;
  }
  void UpdateGame() override {
    voPrint(String("update"));
    voError(String());
  }

 private:
  bool rendered_ = false;
};

const char* Mode() {
  const char* mode = std::getenv("QUILLET_STARTUP");
  return mode ? mode : "none";
}

}  // namespace

// Reports what start-up has done before the language globals are set.
int voInit() {
  struct sigaction current;
  sigaction(SIGSEGV, nullptr, &current);
  bool handler = current.sa_handler == sighandler;
  bool emptyLists = gc_unmarked_list.succ == &gc_unmarked_list && gc_queued_list.succ == &gc_queued_list;
  std::printf("init %d %s %d %d\n", argc, argv[argc - 1], handler, emptyLists);
  // A fatal report writes past stdio and so would not flush this line.
  std::fflush(stdout);
  return 0;
}

int voMain() {
  const char* mode = Mode();
  if (!std::strcmp(mode, "throw")) throw new Thrown();
  if (!std::strcmp(mode, "segv")) std::raise(SIGSEGV);
  if (!std::strcmp(mode, "run")) {
    VoGame::_game->SetDelegate(new EndingDelegate());
    VoGame::_game->SetUpdateRate(60);
  }
  return 0;
}
