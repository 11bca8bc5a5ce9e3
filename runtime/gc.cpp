#include "runtime/gc.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/mman.h>

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

// Where the lazy destruction is going next. gc_free_list is linked through
// the dead objects themselves, which lie scattered over the heap, so walking
// it one link at a time waits for memory at every object. After a sweep
// gc_unmarked_list holds the survivors in the order they were marked, and new
// objects join its tail in allocation order; at the next sweep the ones still
// there move in that order to the tail of gc_free_list. Recording that order
// lets the destruction fetch the objects it will reach a few steps on.
// Recorded objects that were marked meanwhile are skipped.
class DeathOrder {
 public:
  // A new object joined gc_unmarked_list.
  void Joined(gc_object* p) { unmarked_.Push(p); }

  // A sweep moved gc_unmarked_list to gc_free_list (or found nothing dead);
  // `was_empty` tells whether gc_free_list was empty before.
  void Swept(bool moved, bool was_empty) {
    if (moved) {
      // Entries left over when the list was empty belong to objects that were
      // marked after they were recorded: forget them.
      if (was_empty || dying_.next == dying_.size) {
        // unmarked_ is only ever appended to, so its walk has not started.
        std::swap(dying_, unmarked_);
      } else {
        // Garbage of earlier sweeps is still waiting: keep its unreached
        // part and append, as the sweep appends to gc_free_list.
        dying_.DropReached();
        for (size_t i = 0; i < unmarked_.size; ++i) dying_.Push(unmarked_.items[i]);
      }
    }
    // The marked objects are now the whole of gc_unmarked_list.
    unmarked_.Clear();
    std::swap(unmarked_, gc_detail::marked_trail);
  }

  // p is about to be destroyed.
  void Destroying(const gc_object* p) { dying_.Reached(p); }

  // gc_free_list ran empty.
  void Emptied() { dying_.Clear(); }

 private:
  gc_detail::AddressTrail unmarked_;
  gc_detail::AddressTrail dying_;
};

DeathOrder death_order;

}  // namespace

namespace gc_detail {

AddressTrail grey_trail;
AddressTrail marked_trail;
DelayedGreys delayed_greys;

void AddressTrail::Grow(gc_object* p) {
  if (capacity >= kMaxRecorded) return;
  size_t grown = capacity ? capacity * 2 : 1024;
  auto* bigger = static_cast<gc_object**>(std::realloc(items, grown * sizeof(gc_object*)));
  if (!bigger) return;  // the address goes unrecorded
  items = bigger;
  capacity = grown;
  items[size++] = p;
}

void AddressTrail::Reached(const gc_object* p) {
  size_t end = std::min(size, next + kWindow);
  for (size_t i = next; i < end; ++i) {
    if (items[i] == p) {
      next = i + 1;
      break;
    }
  }
  // The walk may have passed over entries (objects marked since they were
  // recorded), so fetch everything from where the last call stopped.
  const size_t ahead = std::min(size, next + kDistance + 1);
  for (fetched = std::max(fetched, next); fetched < ahead; ++fetched) fetch_header(items[fetched]);
}

void AddressTrail::DropReached() {
  std::memmove(items, items + next, (size - next) * sizeof(gc_object*));
  size -= next;
  fetched = fetched > next ? fetched - next : 0;
  next = 0;
}

}  // namespace gc_detail

gc_object::gc_object() {
  if (pending_count == 0) dbg_error("Collected object not made by the collector");
  gc_whiten(this, pending_sizes[--pending_count]);
  gc_link_tail(this, &gc_unmarked_list);
  death_order.Joined(this);
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

// New small blocks are carved one after another from large slabs instead of
// being taken one by one from the general-purpose heap: objects made together
// lie together (and so die and are destroyed together), and the whole small
// heap sits on few pages, which the system may back with huge pages so that
// the scattered accesses of marking and destruction miss the address
// translation cache less often. Slabs are never given back; their blocks are
// recycled through gc_cache like any small block.
class SlabCarver {
 public:
  // A new block of `size` bytes, or null when no slab can be had.
  void* Carve(int size) {
    if (end_ - next_ < size && !NewSlab()) return nullptr;
    void* p = next_;
    next_ += size;
    return p;
  }

 private:
  static constexpr size_t kSlabBytes = size_t{2} << 20;

  bool NewSlab() {
    void* slab = std::aligned_alloc(kSlabBytes, kSlabBytes);
    if (!slab) return false;
    madvise(slab, kSlabBytes, MADV_HUGEPAGE);
    next_ = static_cast<char*>(slab);
    end_ = next_ + kSlabBytes;
    return true;
  }

  char* next_;
  char* end_;
};

SlabCarver slabs;

}  // namespace

GC_RAW_BLOCK void* gc_object_alloc(int size) {
  size = (size + gc_block_granule - 1) & ~(gc_block_granule - 1);
  gc_new_bytes += size;
  gc_flush_free(size);

  gc_object* p = nullptr;
  if (size < gc_small_block_limit && gc_cache[size / gc_block_granule]) {
    p = gc_cache[size / gc_block_granule];
    gc_cache[size / gc_block_granule] = p->succ;
    // The next block of this class may have waited long enough to leave the
    // cache: start fetching it now rather than when it is handed out.
    if (p->succ) gc_detail::fetch_header(p->succ);
  } else {
    if (size < gc_small_block_limit) p = static_cast<gc_object*>(slabs.Carve(size));
    if (!p) p = static_cast<gc_object*>(std::malloc(static_cast<size_t>(size)));
    if (!p) dbg_error("Out of memory");
  }
  gc_alloced_bytes += size;
  if (pending_count == kMaxPending) dbg_error("Collected objects nested too deeply");
  pending_sizes[pending_count++] = size;
  return p;
}

GC_RAW_BLOCK void gc_object_free(gc_object* p) {
  int size = gc_block_size(p);
  gc_free_bytes -= size;
  if (size < gc_small_block_limit) {
    p->succ = gc_cache[size / gc_block_granule];
    gc_cache[size / gc_block_granule] = p;
  } else {
    std::free(p);
  }
}

void gc_flush_free(int size) {
  int limit = gc_free_bytes - size;
  if (limit < 0) limit = 0;
  if (gc_free_bytes <= limit) return;
  while (!list_empty(&gc_free_list)) {
    gc_object* p = gc_free_list.succ;
    death_order.Destroying(p);
    gc_unlink(p);
    delete p;
    if (gc_free_bytes <= limit) return;
  }
  gc_free_bytes = 0;
  death_order.Emptied();
}

void gc_mark_queued(int target) {
  while (gc_marked_bytes < target && !list_empty(&gc_queued_list)) {
    gc_object* p = gc_queued_list.succ;
    gc_detail::grey_trail.Reached(p);
    gc_blacken(p);
  }
  if (list_empty(&gc_queued_list)) gc_detail::grey_trail.Clear();
}

void gc_sweep() {
  const bool dead = gc_alloced_bytes != gc_marked_bytes;
  const bool was_empty = list_empty(&gc_free_list);
  if (dead) {
    list_append(&gc_free_list, &gc_unmarked_list);
    gc_free_bytes += gc_alloced_bytes - gc_marked_bytes;
  }
  death_order.Swept(dead, was_empty);
  list_append(&gc_unmarked_list, &gc_marked_list);
  gc_alloced_bytes = gc_marked_bytes;
  gc_marked_bytes = 0;
  // Every survivor becomes white at once: white is whatever gc_markbit is.
  gc_markbit ^= 1;
}

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

void gc_collect_all() {
  gc_mark_queued(gc_unlimited);
  gc_sweep();
  gc_mark();
}

void gc_collect() {
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
  // Mark in step with allocation: all of the heap once 8 MiB were allocated.
  int64_t share = (static_cast<int64_t>(gc_alloced_bytes) - gc_new_bytes) * gc_new_bytes / gc_full_collection_bytes;
  gc_mark_queued(static_cast<int>(gc_new_bytes + share));
}

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

int gc_held_bytes() { return gc_alloced_bytes; }

GC_RAW_BLOCK void gc_checked_barrier(gc_object* p) {
  if (!p) return;
  bool linked = p->succ && p->pred && p->succ->pred == p && p->pred->succ == p;
  if (!linked) dbg_error("Stored a reference to an object the collector no longer holds");
  gc_detail::queue(p);
  if (gc_is_white(p)) dbg_error("Stored a white object past the write barrier");
}
