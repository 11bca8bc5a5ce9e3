// VoGame: the platform-neutral host object. State flags, the fenced calls
// into the delegate and the collector step that follows each of them.
#include "host/game.h"

#include <cstdlib>

#include "runtime/databuffer.h"

namespace {

// Byte buffers read files through the game that is current when they load.
unsigned char* readGameFile(String path, int* length) { return VoGame::_game->LoadData(path, length); }

}  // namespace

VoGame* VoGame::_game = nullptr;

int argc = 0;
const char** argv = nullptr;

VoGame::VoGame() {
  _game = this;
  databuffer_read_file_hook = readGameFile;
}

VoGame::~VoGame() {
  if (_game != this) return;
  _game = nullptr;
  databuffer_read_file_hook = nullptr;
}

void VoGame::SetDelegate(VoGameDelegate* delegate) { _delegate = delegate; }
VoGameDelegate* VoGame::Delegate() { return _delegate; }
void VoGame::SetKeyboardEnabled(bool enabled) { _keyboardEnabled = enabled; }
bool VoGame::KeyboardEnabled() { return _keyboardEnabled; }
void VoGame::SetUpdateRate(int hertz) { _updateRate = hertz; }
int VoGame::UpdateRate() { return _updateRate; }
bool VoGame::Started() { return _started; }
bool VoGame::Suspended() { return _suspended; }
int VoGame::Millisecs() { return 0; }

int VoGame::WrapMillisecs(long long ms) {
  constexpr long long kCounterRange = 1LL << 32;
  constexpr long long kHalfRange = 1LL << 31;
  long long low = ms % kCounterRange;
  if (low < 0) low += kCounterRange;
  return static_cast<int>(low >= kHalfRange ? low - kCounterRange : low);
}

bool VoGame::PollJoystick(int, Array<float>, Array<float>, Array<float>, Array<bool>) { return false; }

void VoGame::OpenUrl(String) {}
void VoGame::SetMouseVisible(bool) {}
String VoGame::PathToFilePath(String path) { return path; }

void VoGame::Die(ThrowableObject*) {
  voPrint(String("Dovel Runtime Error : Uncaught Dovel Exception"));
  std::exit(-1);
}

// The host's own reference to the delegate is not a language global, so the
// root marking does not cover it: mark it here before every step.
void VoGame::gc_collect() {
  gc_mark(_delegate);
  ::gc_collect();
}

namespace {

// One fenced call: an uncaught language exception ends the program through
// Die, and a collector step follows whether or not the call threw. Nothing is
// called while no delegate is installed.
template <class Call>
void callFenced(VoGame* game, Call call) {
  if (game->_delegate) {
    try {
      call(game->_delegate);
    } catch (ThrowableObject* ex) {
      game->Die(ex);
    }
  }
  game->gc_collect();
}

}  // namespace

void VoGame::StartGame() {
  if (_started) return;
  _started = true;
  callFenced(this, [](VoGameDelegate* d) { d->StartGame(); });
}

void VoGame::SuspendGame() {
  if (!_started || _suspended) return;
  _suspended = true;
  callFenced(this, [](VoGameDelegate* d) { d->SuspendGame(); });
}

void VoGame::ResumeGame() {
  if (!_started || !_suspended) return;
  _suspended = false;
  callFenced(this, [](VoGameDelegate* d) { d->ResumeGame(); });
}

void VoGame::UpdateGame() {
  if (!_started || _suspended) return;
  callFenced(this, [](VoGameDelegate* d) { d->UpdateGame(); });
}

void VoGame::RenderGame() {
  if (!_started) return;
  callFenced(this, [](VoGameDelegate* d) { d->RenderGame(); });
}

void VoGame::KeyEvent(int event, int data) {
  if (!_started) return;
  callFenced(this, [=](VoGameDelegate* d) { d->KeyEvent(event, data); });
}

void VoGame::MouseEvent(int event, int data, float x, float y) {
  if (!_started) return;
  callFenced(this, [=](VoGameDelegate* d) { d->MouseEvent(event, data, x, y); });
}

void VoGame::TouchEvent(int event, int data, float x, float y) {
  if (!_started) return;
  callFenced(this, [=](VoGameDelegate* d) { d->TouchEvent(event, data, x, y); });
}

void VoGame::MotionEvent(int event, int data, float x, float y, float z) {
  if (!_started) return;
  callFenced(this, [=](VoGameDelegate* d) { d->MotionEvent(event, data, x, y, z); });
}

void VoGame::DiscardGraphics() {
  if (!_started) return;
  callFenced(this, [](VoGameDelegate* d) { d->DiscardGraphics(); });
}
