// The collector: incremental, non-moving mark and sweep with a write barrier.
//
// Invariant: every collected object is white (not reached yet in this cycle:
// in gc_unmarked_list), grey (reached, its children not yet traced: in
// gc_queued_list) or black (reached and traced: in gc_marked_list), and a
// black object never points at a white one. Every store of a reference goes
// through gc_assign, which greys a white value before storing it, and tracing
// an object greys its white children. Stated exceptions, each of which keeps
// the invariant by marking more, never less:
// - Immediate marking (gc_mark) blackens an object at once and traces it
//   there and then. The barrier for arrays uses it: storing an array
//   blackens the array and, through its mark(), its elements at once.
// - A constructor stores its first field values into its own new object
//   without the barrier; the object is white, so no black object points at
//   anything new.
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
//
// Reading order: the object model, the collector's state, the colour and list
// helpers, the write barrier, then the phases of a cycle in their order
// (roots, propagation, sweep, lazy destruction) and the pacing rule. The
// memory hints that speed the walks up are in gc_fetch.h; they change no
// order and no colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "runtime/gc_fetch.h"
#include "runtime/string.h"

// ---- the object model -----------------------------------------------------

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

// Blocks are handed out in multiples of this many bytes.
constexpr int gc_block_granule = 8;
// Blocks smaller than this are recycled through the size-class lists of
// gc_cache instead of going back to the general-purpose heap.
constexpr int gc_small_block_limit = 64;
// The flags value of static objects: no colour bits that gc_markbit can equal.
constexpr uint32_t gc_static_flags = 3;
// A byte target meaning "no limit" for gc_mark_queued and gc_flush_free.
constexpr int gc_unlimited = 0x7fffffff;

extern gc_object gc_unmarked_list;
extern gc_object gc_queued_list;
extern gc_object gc_marked_list;
extern gc_object gc_free_list;
extern gc_object* gc_cache[gc_small_block_limit / gc_block_granule];
extern int gc_new_bytes;
extern int gc_alloced_bytes;
extern int gc_marked_bytes;
extern int gc_free_bytes;
extern int gc_markbit;

// Stress switch for tests: every collector step becomes a full collection
// followed by the destruction of all garbage, so a missing barrier or mark()
// shows up at the next step instead of megabytes later. Every store through
// gc_assign also checks the stored object, and every destroyed block is
// filled with gc_poison_byte and held back until the next step, which fails
// loudly if anything wrote to it meanwhile; a read of a field that a mark()
// forgot finds the poison.
extern bool gc_stress;
constexpr unsigned char gc_poison_byte = 0xDE;

// The collector reads and writes the header of a block that holds no live
// object of its type: while its constructors run (gc_object() sets its size
// and colour) and after its destructor ran (the size-class link, the poison);
// the sanitizer's dynamic-type check must not treat those accesses as errors.
#define GC_RAW_BLOCK __attribute__((no_sanitize("vptr")))

// ---- colours and lists ----------------------------------------------------

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

// A block of `size` bytes becomes a white object of this cycle.
GC_RAW_BLOCK inline void gc_whiten(gc_object* p, int size) {
  p->flags = static_cast<uint32_t>(gc_markbit) | static_cast<uint32_t>(size);
}

// White to grey: the mark bit flips and the object joins the tail of
// gc_queued_list, to be traced later.
inline void gc_grey(gc_object* p) {
  p->flags ^= 1;
  gc_unlink(p);
  gc_link_tail(p, &gc_queued_list);
  gc_fetch::greyed(p);
}

// Grey to black: the object joins the tail of gc_marked_list, counts as
// marked and reports its children.
inline void gc_blacken(gc_object* p) {
  gc_unlink(p);
  gc_link_tail(p, &gc_marked_list);
  gc_fetch::blackened(p);
  gc_marked_bytes += gc_block_size(p);
  p->mark();
}

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

}  // namespace gc_detail

// ---- the write barrier ----------------------------------------------------

// The barrier's slow path under gc_stress, out of line: checks that p (may be
// null) is still an object the collector holds, failing loudly otherwise,
// then greys it when white.
void gc_checked_barrier(gc_object* p);

// The one way to store a reference: a white value is greyed before the store,
// so no black holder ever points at it.
template <class T, class U>
void gc_assign(T*& lhs, U* rhs) {
  gc_object* p = gc_detail::as_object(rhs);
  if (gc_stress) {
    gc_checked_barrier(p);
  } else if (p && gc_is_white(p)) {
    gc_grey(p);
  }
  lhs = rhs;
}

// ---- phase 1: roots -------------------------------------------------------

// Queues the module globals that hold objects; set by the framework (tests may
// install their own). gc_mark() calls it.
extern void (*gc_mark_roots_hook)();
// Queues the roots: a cycle starts with them grey.
void gc_mark();
void gc_init1();
void gc_init2();

// ---- phase 2: propagation -------------------------------------------------

// Queued marking: a white object turns grey at once and nothing else happens.
template <class T>
void gc_mark_q(T* p) {
  gc_object* o = gc_detail::as_object(p);
  if (o && gc_is_white(o)) gc_grey(o);
}

// Immediate marking: a white object turns black at once and reports its
// children now.
template <class T>
void gc_mark(T* p) {
  gc_object* o = gc_detail::as_object(p);
  if (o && gc_is_white(o)) {
    o->flags ^= 1;
    gc_blacken(o);
  }
}

namespace gc_fetch {

// Starts fetching the link fields of the list neighbours of a white object,
// which marking it will write. Blocks are not aligned to cache lines, so the
// field's own address is fetched, not the neighbour's start. Defined here
// because it reads the colour.
GC_RAW_BLOCK inline void neighbours(const gc_object* p) {
  if (p && gc_is_white(p)) {
    __builtin_prefetch(&p->succ->pred, 1);
    __builtin_prefetch(&p->pred->succ, 1);
  }
}

}  // namespace gc_fetch

// Immediate marking of n references, one after another in their order. The
// elements lie scattered over the heap and marking one moves it between
// lists, which writes to its neighbours too, so the memory of the elements a
// few places on is fetched while this one is marked.
template <class T>
void gc_mark_elements(int n, T** p) {
  for (int i = 0; i < n; ++i) {
    if constexpr (std::is_base_of_v<gc_object, T>) {
      const int ahead = i + gc_fetch_element_ahead;
      if (ahead < n && p[ahead]) gc_fetch::header(p[ahead]);
      if (i + gc_fetch_neighbours_ahead < n) gc_fetch::neighbours(p[i + gc_fetch_neighbours_ahead]);
    }
    gc_mark(p[i]);
  }
}

// Traces queued objects from the head of gc_queued_list until `target` bytes
// are marked in this cycle or the queue is empty.
void gc_mark_queued(int target);

// ---- phase 3: sweep -------------------------------------------------------

// Ends a cycle (the queue is empty): the white objects are dead and move to
// gc_free_list, the black ones become the new white ones.
void gc_sweep();

// ---- phase 4: lazy destruction --------------------------------------------

// Allocation: destroys garbage worth the size first, then takes a block.
void* gc_object_alloc(int size);
// The release of a destroyed object's block, from its deleting destructor.
void gc_object_free(gc_object* p);
// Destroys dead objects from the head of gc_free_list until `size` bytes were
// released.
void gc_flush_free(int size);

// ---- pacing ---------------------------------------------------------------

// A full collection runs at the first step after more than this many bytes
// were allocated (or counted with gc_count_external) since the last one. Until
// then each step marks gc_new_bytes plus the share
// (gc_alloced_bytes - gc_new_bytes) * gc_new_bytes / gc_full_collection_bytes,
// so the share of the heap marked grows in step with allocation and reaches
// all of it when a full collection is due.
constexpr int gc_full_collection_bytes = 0x800000;

// Drains the queue, sweeps and queues the roots again.
void gc_collect_all();
// One incremental step, paced as above.
void gc_collect();

// ---- policy for the host ---------------------------------------------------

// Counts `bytes` of memory outside the collector's heap that collected objects
// own (decoded pictures) as an allocation: garbage worth that much is
// destroyed first, and the bytes count towards the next full collection.
void gc_count_external(long long bytes);
// Destroys all garbage now: two full collections (the first frees what was
// unreached when its marking began, the second what that marking reached
// before the program dropped it), then the destruction of everything found
// dead. `extra_root` is an object the root hook does not know about (may be
// null); it is kept alive. Allocation pacing starts afresh.
void gc_release_garbage(gc_object* extra_root);
// Bytes held by live and not yet swept objects and by the trails of
// gc_fetch.h (for memory logs).
int gc_held_bytes();
