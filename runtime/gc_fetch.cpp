#include "runtime/gc_fetch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/mman.h>

namespace gc_fetch {

Trail queued_order;
Trail marked_order;
Trail unmarked_order;

namespace {

// The order of gc_free_list. After a sweep gc_unmarked_list holds the
// survivors in the order they were marked, then the new objects in allocation
// order; at the next sweep the ones still there move in that order to the
// tail of gc_free_list, so unmarked_order becomes this trail.
Trail dying_order;

constexpr size_t kFirstCapacity = 1024;

char* slab_next;
char* slab_end;

}  // namespace

void Trail::Grow(gc_object* p) {
  if (lost || capacity >= gc_fetch_trail_entries) return;
  const size_t grown = capacity ? capacity * 2 : kFirstCapacity;
  auto* bigger = static_cast<gc_object**>(std::realloc(items, grown * sizeof(gc_object*)));
  if (!bigger) return;  // the address goes unrecorded
  items = bigger;
  room = capacity = grown;
  items[size++] = p;
}

void Trail::Reached(const gc_object* p) {
  if (lost) return;
  const size_t end = std::min(size, next + gc_fetch_trail_window);
  size_t i = next;
  while (i < end && items[i] != p) ++i;
  if (i == end) {
    // Not recorded where the walk is: stop until the list starts afresh.
    lost = true;
    room = size = next = fetched = 0;
    return;
  }
  next = i + 1;
  // The walk may have passed over entries, so fetch from where the last call
  // stopped.
  const size_t ahead = std::min(size, next + gc_fetch_distance + 1);
  for (fetched = std::max(fetched, next); fetched < ahead; ++fetched) header(items[fetched]);
}

void Trail::DropReached() {
  std::memmove(items, items + next, (size - next) * sizeof(gc_object*));
  size -= next;
  fetched = fetched > next ? fetched - next : 0;
  next = 0;
}

void Trail::Clear() {
  size = next = fetched = 0;
  room = capacity;
  lost = false;
}

void swept(bool moved, bool was_empty) {
  if (moved) {
    if (was_empty || dying_order.lost || dying_order.next == dying_order.size) {
      // Nothing recorded is still waiting: the unmarked list's record becomes
      // the free list's. Entries left over belong to objects that were marked
      // after they were recorded. unmarked_order is only ever appended to,
      // so its walk has not started.
      std::swap(dying_order, unmarked_order);
    } else {
      // Garbage of earlier sweeps is still waiting: keep its unreached part
      // and append, as the sweep appends to gc_free_list.
      dying_order.DropReached();
      for (size_t i = 0; i < unmarked_order.size; ++i) dying_order.Push(unmarked_order.items[i]);
    }
  }
  // The marked objects are now the whole of gc_unmarked_list.
  unmarked_order.Clear();
  std::swap(unmarked_order, marked_order);
}

void destroying(const gc_object* p) { dying_order.Reached(p); }

void free_list_emptied() { dying_order.Clear(); }

void* carve(int size) {
  if (slab_end - slab_next < size) {
    void* slab = std::aligned_alloc(gc_fetch_slab_bytes, gc_fetch_slab_bytes);
    if (!slab) return nullptr;
    // Huge pages spare the scattered accesses of marking and destruction
    // most misses of the address translation cache.
    madvise(slab, gc_fetch_slab_bytes, MADV_HUGEPAGE);
    slab_next = static_cast<char*>(slab);
    slab_end = slab_next + gc_fetch_slab_bytes;
  }
  void* p = slab_next;
  slab_next += size;
  return p;
}

size_t held_bytes() {
  return (queued_order.capacity + marked_order.capacity + unmarked_order.capacity + dying_order.capacity) *
         sizeof(gc_object*);
}

}  // namespace gc_fetch
