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

// A full collection runs at the first step after this many bytes were
// allocated (or counted with gc_count_external) since the last one; until
// then each step marks a share of the heap that grows with that count.
constexpr int gc_full_collection_bytes = 0x800000;
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

// Queues the module globals that hold objects; set by the framework (tests may
// install their own). gc_mark() calls it.
extern void (*gc_mark_roots_hook)();
// Stress switch for tests: every collector step becomes a full collection
// followed by the destruction of all garbage, so a missing barrier or mark()
// shows up at the next step instead of megabytes later; every store through
// gc_assign also checks the stored object (gc_checked_barrier).
extern bool gc_stress;

// The allocator writes the header of a block before its constructor runs and
// links free blocks through it after the destructor ran; the sanitizer's
// dynamic-type check must not treat those header accesses as errors.
#define GC_RAW_BLOCK __attribute__((no_sanitize("vptr")))

// ---- list and colour helpers ----------------------------------------------

namespace gc_detail {

// Starts fetching the header of p (its vtable pointer, links and flags). A
// block may start anywhere in a cache line, so the header can span two.
inline void fetch_header(const gc_object* p) {
  __builtin_prefetch(p, 1);
  __builtin_prefetch(reinterpret_cast<const char*>(p) + sizeof(gc_object) - 1, 1);
}

// A record of object addresses in the order a list received them, read a few
// places ahead of the collector's walk along that list. The lists are linked
// through objects scattered over the heap, so a walk that follows the links
// waits for memory at every object; the record lets it fetch the objects it
// will reach before it gets there. Only a hint: entries whose objects left
// the list are skipped, and a full record stops recording. Plain data with no
// constructor, so it is usable before any static constructor runs.
struct AddressTrail {
  // How many entries ahead of the walk the memory is fetched: enough to
  // cover the memory latency with the work done for as many objects.
  static constexpr size_t kDistance = 12;
  // How far ahead of the walk a reached object is looked for. Survivors of a
  // cycle that stay alive are passed over in runs of up to a few hundred
  // entries, and a walk that lost its place would fetch nothing more.
  static constexpr size_t kWindow = 512;
  // The most entries recorded; beyond that the rest go unrecorded.
  static constexpr size_t kMaxRecorded = size_t{1} << 19;

  gc_object** items;
  size_t size;
  size_t capacity;
  size_t next;     // the first entry the walk has not reached
  size_t fetched;  // the first entry whose object was not fetched yet

  void Push(gc_object* p) {
    if (size < capacity) {
      items[size++] = p;
    } else {
      Grow(p);
    }
  }
  // Makes room for p and records it, unless the record is full.
  void Grow(gc_object* p);
  // The walk reached p: finds it among the next entries and starts fetching
  // every object up to kDistance entries further on that was not fetched yet.
  void Reached(const gc_object* p);
  // Forgets the entries the walk has passed.
  void DropReached();
  void Clear() { size = next = fetched = 0; }
};

// The order of gc_queued_list: objects are greyed onto its tail and traced
// from its head.
extern AddressTrail grey_trail;
// The order of gc_marked_list, which the sweep turns into the head of
// gc_unmarked_list: the survivors of a cycle are recorded as they are marked,
// so that those of them that die in the next cycle are fetched early too when
// they are destroyed.
extern AddressTrail marked_trail;

}  // namespace gc_detail

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

// Flips the mark bit of a white object: from now on it is grey or black.
inline void gc_reach(gc_object* p) { p->flags ^= 1; }

// White to grey: reached, its children wait in gc_queued_list.
inline void gc_grey(gc_object* p) {
  gc_reach(p);
  gc_unlink(p);
  gc_link_tail(p, &gc_queued_list);
  gc_detail::grey_trail.Push(p);
}

// A reached object becomes black: it moves to gc_marked_list, counts as marked
// and reports its children.
inline void gc_blacken(gc_object* p) {
  gc_unlink(p);
  gc_link_tail(p, &gc_marked_list);
  gc_detail::marked_trail.Push(p);
  gc_marked_bytes += gc_block_size(p);
  p->mark();
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
// Bytes held by live and not yet swept objects (for memory logs).
int gc_held_bytes();
// The write barrier with the stress checks: the stored object must still be
// one the collector holds (a barrier on a destroyed block would link it back
// into a list), and after the barrier it must no longer be white, so a black
// holder never points at a white object. Fails loudly otherwise.
void gc_checked_barrier(gc_object* p);

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

// Starts fetching the fields of the list neighbours of a white object that
// marking it will write to. Blocks are not aligned to cache lines, so the
// field's own address is fetched, not the neighbour's start.
GC_RAW_BLOCK inline void fetch_neighbours(const gc_object* p) {
  if (p && gc_is_white(p)) {
    __builtin_prefetch(&p->succ->pred, 1);
    __builtin_prefetch(&p->pred->succ, 1);
  }
}

inline void queue(gc_object* p) {
  if (p && gc_is_white(p)) gc_grey(p);
}

// Children reported while the elements of an array are marked wait here for
// a few more reports before they are greyed. Each element's mark() reports a
// child lying anywhere in the heap, and greying it at once would wait for its
// memory and then for its list neighbours' memory, one child after the other.
// Held back, the child is fetched when reported and its neighbours halfway
// through its wait, so greying finds them at hand. Every held child is greyed
// before the outermost gc_mark_elements returns, inside the same collector
// step, so no sweep and no store ever sees a black object pointing at a white
// one that is not greyed.
struct DelayedGreys {
  static constexpr unsigned kDelay = 8;

  gc_object* slots[kDelay];
  unsigned oldest;  // slot of the longest-held child
  unsigned held;
  int depth;  // nesting of gc_mark_elements; children are held while above 0

  void Report(gc_object* p) {
    if (!p) return;
    fetch_header(p);
    if (held == kDelay) {
      gc_object* due = slots[oldest % kDelay];
      slots[oldest++ % kDelay] = p;
      queue(due);
    } else {
      slots[(oldest + held++) % kDelay] = p;
    }
    if (held > kDelay / 2) fetch_neighbours(slots[(oldest + held - 1 - kDelay / 2) % kDelay]);
  }

  void Drain() {
    for (; held > 0; --held) queue(slots[oldest++ % kDelay]);
  }
};

extern DelayedGreys delayed_greys;

inline void mark_now(gc_object* p) {
  if (p && gc_is_white(p)) {
    gc_reach(p);
    gc_blacken(p);
  }
}

}  // namespace gc_detail

// Queued marking: grey a white object; its children are traced later.
template <class T>
void gc_mark_q(T* p) {
  if (gc_detail::delayed_greys.depth > 0) {
    gc_detail::delayed_greys.Report(gc_detail::as_object(p));
  } else {
    gc_detail::queue(gc_detail::as_object(p));
  }
}

// Immediate marking: black at once, children reported now.
template <class T>
void gc_mark(T* p) {
  gc_detail::mark_now(gc_detail::as_object(p));
}

// Immediate marking of n references. The elements lie scattered over the heap
// and marking one moves it between lists, which writes to its neighbours too,
// so the memory of the elements a few places on is fetched while this one is
// marked: first the element itself, then, once it has arrived, its neighbours.
template <class T>
void gc_mark_elements(int n, T** p) {
  constexpr int kFetchElement = 16;
  constexpr int kFetchNeighbours = 8;
  gc_detail::DelayedGreys& delayed = gc_detail::delayed_greys;
  ++delayed.depth;
  for (int i = 0; i < n; ++i) {
    if constexpr (std::is_base_of_v<gc_object, T>) {
      if (i + kFetchElement < n && p[i + kFetchElement]) gc_detail::fetch_header(p[i + kFetchElement]);
      if (i + kFetchNeighbours < n) gc_detail::fetch_neighbours(p[i + kFetchNeighbours]);
    }
    gc_mark(p[i]);
  }
  if (--delayed.depth == 0) delayed.Drain();
}

// The write barrier: the one way to store a reference.
template <class T, class U>
void gc_assign(T*& lhs, U* rhs) {
  if (gc_stress) {
    gc_checked_barrier(gc_detail::as_object(rhs));
  } else {
    gc_detail::queue(gc_detail::as_object(rhs));
  }
  lhs = rhs;
}
