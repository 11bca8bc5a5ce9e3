// VoThread: a worker thread that runs one overridable operation.
//
// A thread object goes idle (0) -> running (1, Start) -> finished (2, the work
// returned) -> idle (Wait). The worker writes the state when its work ends and
// the main thread reads it, so the state is atomic: a finished worker's writes
// (its result, the bytes it filled) are visible to the main thread as soon as
// IsRunning reads false.
//
// The work runs on another thread while the collector and strings belong to the
// main thread: Run__UNSAFE__ must not allocate collected objects nor touch
// language objects that the main thread uses. The result is not traced by the
// collector (a worker cannot run the write barrier), so whoever hands an object
// to SetResult keeps it alive through a traced reference of its own.
//
// A subclass whose work reads its own fields must call Wait() in its own
// destructor: the base destructor joins only after the subclass part is gone.
#pragma once

#include <atomic>
#include <thread>

#include "runtime/gc.h"

class VoThread : public Object {
 public:
  VoThread();
  ~VoThread() override;

  // Starts the work on a new thread; nothing while the work is still running.
  virtual void Start();
  virtual bool IsRunning();
  virtual Object* Result();
  virtual void SetResult(Object* result);
  // The work; does nothing here, subclasses override it.
  virtual void Run__UNSAFE__();
  // Joins the worker (no time limit) and makes the thread idle again.
  virtual void Wait();

  std::atomic<int> _running;
  std::atomic<Object*> _result;
  // The operating-system thread: it carries both the thread's id and handle.
  std::thread _handle;
};
