// The collector: incremental, non-moving mark and sweep with a write barrier.
//
// Invariant: every collected object is white (not reached yet in this cycle),
// grey (reached, children not yet traced: in gc_queued_list) or black (reached
// and traced: in gc_marked_list). A black object never points at a white one
// that nothing else would find: every store of a reference goes through
// gc_assign, which greys a white value before storing it.
//
// Collection steps run only between calls into the application, so native code
// never holds a collected object only in a local variable while a step runs.
// Dead objects are not destroyed by the sweep; they wait in gc_free_list and
// their destructors run inside later allocations that need the memory.
//
// Colours live in the low two bits of `flags`: equal to gc_markbit means white;
// marking flips bit 0. Each sweep flips gc_markbit, which makes every survivor
// white again without touching it. Static objects carry 3, which never equals
// gc_markbit, so the collector never marks, moves or frees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "runtime/string.h"

class gc_object {
 public:
  gc_object* succ;
  gc_object* pred;
  uint32_t flags;

  // Takes the block that gc_object_alloc just handed out: sets its size and
  // colour and links it. Doing this here rather than in the allocator keeps
  // the header intact when `new T()` zero-fills the object before the
  // constructors run.
  gc_object();
  // For static objects the collector must never touch (list heads, empty arrays).
  explicit gc_object(uint32_t staticFlags) : succ(this), pred(this), flags(staticFlags) {}
  gc_object(const gc_object&) = delete;
  gc_object& operator=(const gc_object&) = delete;
  virtual ~gc_object();
  virtual void mark();

  static void* operator new(std::size_t size);
  static void* operator new(std::size_t, void* p) { return p; }
  static void operator delete(void* p);
};

class Object : public gc_object {
 public:
  virtual bool Equals(Object* obj);
  virtual int Compare(Object* obj);
  virtual String debug();
};

class ThrowableObject : public Object {};

class gc_interface {
 public:
  virtual ~gc_interface();
};

// ---- collector state ------------------------------------------------------

extern gc_object gc_unmarked_list;
extern gc_object gc_queued_list;
extern gc_object gc_marked_list;
extern gc_object gc_free_list;
extern gc_object* gc_cache[8];
extern int gc_new_bytes;
extern int gc_alloced_bytes;
extern int gc_marked_bytes;
extern int gc_free_bytes;
extern int gc_markbit;

// Queues the module globals that hold objects; set by the framework (tests may
// install their own). gc_mark() calls it.
extern void (*gc_mark_roots_hook)();
// Stress switch for tests: every collector step becomes a full collection
// followed by the destruction of all garbage, so a missing barrier or mark()
// shows up at the next step instead of megabytes later.
extern bool gc_stress;

// The allocator writes the header of a block before its constructor runs and
// links free blocks through it after the destructor ran; the sanitizer's
// dynamic-type check must not treat those header accesses as errors.
#define GC_RAW_BLOCK __attribute__((no_sanitize("vptr")))

// ---- colour helpers -------------------------------------------------------

GC_RAW_BLOCK inline bool gc_is_white(const gc_object* p) { return (p->flags & 3) == static_cast<uint32_t>(gc_markbit); }
GC_RAW_BLOCK inline int gc_block_size(const gc_object* p) { return static_cast<int>(p->flags & ~7u); }

GC_RAW_BLOCK inline void gc_unlink(gc_object* p) {
  p->pred->succ = p->succ;
  p->succ->pred = p->pred;
}

GC_RAW_BLOCK inline void gc_link_tail(gc_object* p, gc_object* list) {
  p->succ = list;
  p->pred = list->pred;
  list->pred->succ = p;
  list->pred = p;
}

// ---- operations -----------------------------------------------------------

void* gc_object_alloc(int size);
void gc_object_free(gc_object* p);
void gc_flush_free(int size);
void gc_mark_queued(int target);
void gc_sweep();
void gc_mark();
void gc_init1();
void gc_init2();
void gc_collect_all();
void gc_collect();

namespace gc_detail {

// The collected object behind a reference, converting interface references.
template <class T>
gc_object* as_object(T* p) {
  if constexpr (std::is_base_of_v<gc_object, T>) {
    return p;
  } else {
    return p ? dynamic_cast<gc_object*>(p) : nullptr;
  }
}

inline void queue(gc_object* p) {
  if (p && gc_is_white(p)) {
    p->flags ^= 1;
    gc_unlink(p);
    gc_link_tail(p, &gc_queued_list);
  }
}

inline void mark_now(gc_object* p) {
  if (p && gc_is_white(p)) {
    p->flags ^= 1;
    gc_unlink(p);
    gc_link_tail(p, &gc_marked_list);
    gc_marked_bytes += gc_block_size(p);
    p->mark();
  }
}

}  // namespace gc_detail

// Queued marking: grey a white object; its children are traced later.
template <class T>
void gc_mark_q(T* p) {
  gc_detail::queue(gc_detail::as_object(p));
}

// Immediate marking: black at once, children reported now.
template <class T>
void gc_mark(T* p) {
  gc_detail::mark_now(gc_detail::as_object(p));
}

template <class T>
void gc_mark_elements(int n, T** p) {
  for (int i = 0; i < n; ++i) gc_mark(p[i]);
}

// The write barrier: the one way to store a reference.
template <class T, class U>
void gc_assign(T*& lhs, U* rhs) {
  gc_mark_q(rhs);
  lhs = rhs;
}
