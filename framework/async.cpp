#include "framework/async.h"

c_IAsyncEventSource* c_Stack::m_NIL = nullptr;

c_Stack* vo_asyncevent__sources = nullptr;
c_IAsyncEventSource* vo_asyncevent__current = nullptr;

c_Stack* c_Stack::m_new() { return this; }

c_Stack* c_Stack::m_new2(Array<c_IAsyncEventSource*> data) {
  gc_assign(m_data, Array<c_IAsyncEventSource*>(data.Data(), data.Length()));
  m_length = data.Length();
  return this;
}

int c_Stack::p_Length2() { return m_length; }

// Slots outside the ones in use read as the empty value instead of reaching
// past the storage.
c_IAsyncEventSource* c_Stack::p_Get(int index) { return index >= 0 && index < m_length ? m_data[index] : m_NIL; }

int c_Stack::p_Length(int length) {
  // A negative length would clear slots below zero; it means an empty stack.
  if (length < 0) length = 0;
  for (int i = length; i < m_length; ++i) gc_assign(m_data[i], m_NIL);
  if (length > m_data.Length()) {
    int capacity = length > 2 * m_length + 10 ? length : 2 * m_length + 10;
    gc_assign(m_data, m_data.Resize(capacity));
  }
  m_length = length;
  return 0;
}

void c_Stack::mark() { gc_mark_q(m_data); }

int vo_asyncevent_UpdateAsyncEvents() {
  if (vo_asyncevent__current) return 0;
  int i = 0;
  while (i < vo_asyncevent__sources->p_Length2()) {
    gc_assign(vo_asyncevent__current, vo_asyncevent__sources->p_Get(i));
    vo_asyncevent__current->p_UpdateAsyncEvents();
    // A source that took itself off the stack cleared the current source; the
    // element that moved into its slot is polled next.
    if (vo_asyncevent__current) ++i;
  }
  vo_asyncevent__current = nullptr;
  return 0;
}
