// Polling of asynchronous event sources. Sources sit on a stack and are polled
// once per update by vo_asyncevent_UpdateAsyncEvents; a source may take itself
// off the stack from inside its own poll.
#pragma once

#include "runtime/dovel.h"

// Something that delivers results to the game when polled from the update.
class c_IAsyncEventSource : public virtual gc_interface {
 public:
  virtual int p_UpdateAsyncEvents() = 0;
};

// The language's stack, specialised for event sources. m_data is the capacity,
// m_length the number of slots in use; vacated slots hold m_NIL.
class c_Stack : public Object {
 public:
  Array<c_IAsyncEventSource*> m_data;
  int m_length = 0;

  static c_IAsyncEventSource* m_NIL;

  c_Stack* m_new();
  // A stack holding a copy of the array's elements.
  c_Stack* m_new2(Array<c_IAsyncEventSource*> data);
  int p_Length2();
  c_IAsyncEventSource* p_Get(int index);
  // Sets the number of slots in use, clearing vacated ones and growing the
  // capacity when needed.
  int p_Length(int length);
  void mark() override;
};

// The registered sources and the one being polled right now.
extern c_Stack* vo_asyncevent__sources;
extern c_IAsyncEventSource* vo_asyncevent__current;

// Polls every registered source once; does nothing when called from inside a
// poll.
int vo_asyncevent_UpdateAsyncEvents();
