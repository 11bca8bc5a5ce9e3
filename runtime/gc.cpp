#include "runtime/gc.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/error.h"

gc_object gc_unmarked_list(gc_static_flags);
gc_object gc_queued_list(gc_static_flags);
gc_object gc_marked_list(gc_static_flags);
gc_object gc_free_list(gc_static_flags);
gc_object* gc_cache[gc_small_block_limit / gc_block_granule];
int gc_new_bytes;
int gc_alloced_bytes;
int gc_marked_bytes;
int gc_free_bytes;
int gc_markbit = 1;
void (*gc_mark_roots_hook)();
bool gc_stress;

namespace {

// Sizes of the blocks handed out by gc_object_alloc whose gc_object
// constructor has not run yet. A new-expression allocates before it evaluates
// its constructor arguments, so `new A(new B())` allocates A, then allocates
// and constructs B, and only then constructs A: the constructors take the
// sizes back in last-in, first-out order.
constexpr int kMaxPending = 64;
int pending_sizes[kMaxPending];
int pending_count;

}  // namespace

gc_object::gc_object() {
  if (pending_count == 0) dbg_error("Collected object not made by the collector");
  gc_whiten(this, pending_sizes[--pending_count]);
  gc_link_tail(this, &gc_unmarked_list);
  gc_fetch::joined(this);
}

gc_object::~gc_object() {}

void gc_object::mark() {}

void* gc_object::operator new(std::size_t size) { return gc_object_alloc(static_cast<int>(size)); }

void gc_object::operator delete(void* p) { gc_object_free(static_cast<gc_object*>(p)); }

bool Object::Equals(Object* obj) { return obj == this; }

int Object::Compare(Object* obj) {
  // The address difference, wrapped to 32 bits like the language's int.
  uintptr_t d = reinterpret_cast<uintptr_t>(this) - reinterpret_cast<uintptr_t>(obj);
  return static_cast<int>(static_cast<uint32_t>(d));
}

String Object::debug() { return String("+Object\n"); }

gc_interface::~gc_interface() {}

namespace {

bool list_empty(const gc_object* list) { return list->succ == list; }

void list_clear(gc_object* list) { list->succ = list->pred = list; }

// Moves every object of `from` to the tail of `to`, leaving `from` empty.
void list_append(gc_object* to, gc_object* from) {
  if (list_empty(from)) return;
  gc_object* first = from->succ;
  gc_object* last = from->pred;
  first->pred = to->pred;
  to->pred->succ = first;
  last->succ = to;
  to->pred = last;
  list_clear(from);
}

// ---- gc_stress: poisoned blocks --------------------------------------------

// Blocks destroyed under gc_stress, filled with gc_poison_byte and held back
// from reuse until the next collector step checks that they are untouched.
// They are at most the garbage of one stress step.
struct PoisonedBlock {
  gc_object* block;
  int size;
};
std::vector<PoisonedBlock> poisoned_blocks;

// A block that no object owns any more goes back for reuse.
GC_RAW_BLOCK void reuse_block(gc_object* p, int size) {
  if (size < gc_small_block_limit) {
    p->succ = gc_cache[size / gc_block_granule];
    gc_cache[size / gc_block_granule] = p;
  } else {
    std::free(p);
  }
}

void poison_block(gc_object* p, int size) {
  std::memset(static_cast<void*>(p), gc_poison_byte, static_cast<size_t>(size));
  // The sanitizer then reports any access at once.
  ASAN_POISON_MEMORY_REGION(p, static_cast<size_t>(size));
  poisoned_blocks.push_back({p, size});
}

bool is_poisoned(const gc_object* p) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer would report the read below.
  if (__asan_address_is_poisoned(p)) return true;
#endif
  uint32_t poison;
  std::memset(&poison, gc_poison_byte, sizeof poison);
  return p->flags == poison;
}

// A write into a destroyed block means that something still used an object
// the collector had found unreachable: a mark() forgot a field.
void reuse_poisoned_blocks() {
  for (const PoisonedBlock& b : poisoned_blocks) {
    ASAN_UNPOISON_MEMORY_REGION(b.block, static_cast<size_t>(b.size));
    const auto* bytes = reinterpret_cast<const unsigned char*>(b.block);
    if (std::any_of(bytes, bytes + b.size, [](unsigned char c) { return c != gc_poison_byte; }))
      dbg_error("A destroyed object was written to: a mark() misses a field that still refers to it");
    reuse_block(b.block, b.size);
  }
  poisoned_blocks.clear();
}

}  // namespace

// ---- the write barrier ------------------------------------------------------

GC_RAW_BLOCK void gc_checked_barrier(gc_object* p) {
  if (!p) return;
  // A barrier on a destroyed block would link it back into a list.
  bool linked = !is_poisoned(p) && p->succ && p->pred && p->succ->pred == p && p->pred->succ == p;
  if (!linked) dbg_error("Stored a reference to an object the collector no longer holds");
  if (gc_is_white(p)) gc_grey(p);
}

// ---- phase 1: roots ---------------------------------------------------------

void gc_mark() {
  if (gc_mark_roots_hook) gc_mark_roots_hook();
}

void gc_init1() {
  list_clear(&gc_unmarked_list);
  list_clear(&gc_queued_list);
  list_clear(&gc_marked_list);
  list_clear(&gc_free_list);
}

void gc_init2() { gc_mark(); }

// ---- phase 2: propagation ---------------------------------------------------

void gc_mark_queued(int target) {
  while (gc_marked_bytes < target && !list_empty(&gc_queued_list)) {
    gc_object* p = gc_queued_list.succ;
    gc_fetch::tracing(p);
    gc_blacken(p);
  }
  if (list_empty(&gc_queued_list)) gc_fetch::queue_emptied();
}

// ---- phase 3: sweep ---------------------------------------------------------

void gc_sweep() {
  const bool dead = gc_alloced_bytes != gc_marked_bytes;
  const bool was_empty = list_empty(&gc_free_list);
  if (dead) {
    list_append(&gc_free_list, &gc_unmarked_list);
    gc_free_bytes += gc_alloced_bytes - gc_marked_bytes;
  }
  list_append(&gc_unmarked_list, &gc_marked_list);
  gc_fetch::swept(dead, was_empty);
  gc_alloced_bytes = gc_marked_bytes;
  gc_marked_bytes = 0;
  // Every survivor becomes white at once: white is whatever gc_markbit is.
  gc_markbit ^= 1;
}

// ---- phase 4: lazy destruction ----------------------------------------------

GC_RAW_BLOCK void* gc_object_alloc(int size) {
  size = (size + gc_block_granule - 1) & ~(gc_block_granule - 1);
  gc_new_bytes += size;
  gc_flush_free(size);

  gc_object* p = nullptr;
  if (size < gc_small_block_limit && gc_cache[size / gc_block_granule]) {
    p = gc_cache[size / gc_block_granule];
    gc_cache[size / gc_block_granule] = p->succ;
    gc_fetch::cached_block_taken(p->succ);
  } else {
    if (size < gc_small_block_limit) p = static_cast<gc_object*>(gc_fetch::carve(size));
    if (!p) p = static_cast<gc_object*>(std::malloc(static_cast<size_t>(size)));
    if (!p) dbg_error("Out of memory");
  }
  gc_alloced_bytes += size;
  if (pending_count == kMaxPending) dbg_error("Collected objects nested too deeply");
  pending_sizes[pending_count++] = size;
  return p;
}

GC_RAW_BLOCK void gc_object_free(gc_object* p) {
  const int size = gc_block_size(p);
  gc_free_bytes -= size;
  if (gc_stress) {
    poison_block(p, size);
  } else {
    reuse_block(p, size);
  }
}

void gc_flush_free(int size) {
  int limit = gc_free_bytes - size;
  if (limit < 0) limit = 0;
  if (gc_free_bytes <= limit) return;
  while (!list_empty(&gc_free_list)) {
    gc_object* p = gc_free_list.succ;
    gc_fetch::destroying(p);
    gc_unlink(p);
    delete p;
    if (gc_free_bytes <= limit) return;
  }
  gc_free_bytes = 0;
  gc_fetch::free_list_emptied();
}

// ---- pacing -----------------------------------------------------------------

void gc_collect_all() {
  gc_mark_queued(gc_unlimited);
  gc_sweep();
  gc_mark();
}

void gc_collect() {
  reuse_poisoned_blocks();
  if (gc_stress) {
    gc_collect_all();
    gc_new_bytes = 0;
    gc_flush_free(gc_unlimited);
    return;
  }
  if (gc_new_bytes > gc_full_collection_bytes) {
    gc_collect_all();
    gc_new_bytes = 0;
    return;
  }
  int64_t share = (static_cast<int64_t>(gc_alloced_bytes) - gc_new_bytes) * gc_new_bytes / gc_full_collection_bytes;
  gc_mark_queued(static_cast<int>(gc_new_bytes + share));
}

// ---- policy for the host ----------------------------------------------------

void gc_count_external(long long bytes) {
  // Capped so that the count can neither overflow gc_new_bytes nor turn the
  // destruction limit negative.
  int counted = static_cast<int>(std::clamp<long long>(bytes, 0, INT_MAX / 4));
  gc_flush_free(counted);
  gc_new_bytes = static_cast<int>(std::min<long long>(static_cast<long long>(gc_new_bytes) + counted, INT_MAX / 2));
}

void gc_release_garbage(gc_object* extra_root) {
  for (int i = 0; i < 2; ++i) {
    gc_mark(extra_root);
    gc_collect_all();
  }
  gc_new_bytes = 0;
  gc_flush_free(gc_unlimited);
}

int gc_held_bytes() { return gc_alloced_bytes + static_cast<int>(gc_fetch::held_bytes()); }
