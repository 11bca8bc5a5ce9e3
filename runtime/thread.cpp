#include "runtime/thread.h"

#include <system_error>

#include "runtime/error.h"

namespace {

// Values of VoThread::_running.
constexpr int kIdle = 0;
constexpr int kRunning = 1;
constexpr int kFinished = 2;

}  // namespace

VoThread::VoThread() : _running(kIdle), _result(nullptr) {}

VoThread::~VoThread() {
  if (_running.load() != kIdle) Wait();
}

void VoThread::Start() {
#ifdef __EMSCRIPTEN__
  // The browser build has no worker threads (they would need special
  // headers from every server that hosts the page): the program stops at
  // once and says why, rather than waiting for work that never runs.
  voError(String("Threads are not available in the browser"));
#endif
  if (_running.load() == kRunning) return;
  // A finished worker has returned from its work already; joining it only
  // releases the thread the system still keeps for it.
  if (_handle.joinable()) _handle.join();
  _running.store(kRunning);
  try {
    _handle = std::thread([this] {
      Run__UNSAFE__();
      _running.store(kFinished);
    });
  } catch (const std::system_error&) {
    // No thread could be made: the object stays idle instead of claiming to
    // run work that never started (Wait would otherwise have nothing to join).
    _running.store(kIdle);
  }
}

bool VoThread::IsRunning() { return _running.load() == kRunning; }

Object* VoThread::Result() { return _result.load(); }

void VoThread::SetResult(Object* result) { _result.store(result); }

void VoThread::Run__UNSAFE__() {}

void VoThread::Wait() {
  if (_running.load() == kIdle) return;
  if (_handle.joinable()) _handle.join();
  _running.store(kIdle);
}
