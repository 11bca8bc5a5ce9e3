// Fetching ahead for the collector: memory hints that let it wait less.
//
// The collector's lists are linked through the objects themselves, which lie
// scattered over the heap, so a walk along a list waits for memory at every
// object. The helpers here start that memory on its way early:
// - the header of an object (its vtable pointer, links and flags), and the
//   link fields of its list neighbours that moving it will write;
// - the objects a list walk will reach a dozen places on, read from a trail:
//   a record of the addresses in the order the list received them. There is
//   one trail for the grey queue, one for the marked list, one for the
//   unmarked list and one for the free list, whose order the sweep hands over
//   from the unmarked list;
// - the next free block of a size class when one is handed out.
// Small blocks are also carved one after another from large slabs, so that
// objects made together lie together and the small heap sits on few pages.
//
// What they never change: no helper decides what is marked, moved, swept or
// destroyed, or in which order. They only record addresses and issue
// prefetches, which cannot fault, so a trail that no longer matches its list
// costs time, never correctness.
//
// Memory: each trail holds at most gc_fetch_trail_entries addresses, so the
// four hold at most gc_fetch_max_bytes (8 MiB); gc_held_bytes counts what they
// hold. Slabs are the small heap itself: they are never given back, and
// beyond the blocks that are in use, dead or cached they hold at most the
// uncarved rest of one slab (gc_fetch_slab_bytes).
//
// A walk that does not find the object it reached among the next
// gc_fetch_trail_window entries has lost its place: the trail then stops,
// recording and fetching nothing until its list starts afresh, so a lost walk
// costs one search, never one on every later step.
#pragma once

#include <cstddef>

class gc_object;

// The most addresses one trail records; later ones go unrecorded.
constexpr size_t gc_fetch_trail_entries = size_t{1} << 18;
// Upper bound of the memory all four trails hold together.
constexpr size_t gc_fetch_max_bytes = 4 * gc_fetch_trail_entries * sizeof(gc_object*);
// How many entries ahead of the walk the memory is fetched: enough to cover
// the memory latency with the work done for as many objects.
constexpr size_t gc_fetch_distance = 12;
// How far ahead of its place a walk looks for the object it reached. Objects
// that left the list since they were recorded (survivors marked again) are
// passed over in runs of up to a few hundred entries.
constexpr size_t gc_fetch_trail_window = 512;
// While element i of an array is marked, the header of element i + this is
// fetched ...
constexpr int gc_fetch_element_ahead = 16;
// ... and, once that has arrived, the neighbours of element i + this.
constexpr int gc_fetch_neighbours_ahead = 8;
// Small blocks are carved from slabs of this many bytes.
constexpr size_t gc_fetch_slab_bytes = size_t{2} << 20;

namespace gc_fetch {

// Starts fetching the header of p. A block may start anywhere in a cache
// line, so the header can span two.
inline void header(const gc_object* p) {
  __builtin_prefetch(p, 1);
  __builtin_prefetch(reinterpret_cast<const char*>(p) + 3 * sizeof(void*) + sizeof(unsigned) - 1, 1);
}

// A record of object addresses in the order a list received them. Plain data
// with no constructor, so it is usable before any static constructor runs.
struct Trail {
  gc_object** items;
  size_t size;
  size_t room;  // entries Push may record without Grow: the capacity, or 0 once lost
  size_t capacity;
  size_t next;     // the first entry the walk has not reached
  size_t fetched;  // the first entry whose object was not fetched yet
  bool lost;

  void Push(gc_object* p) {
    if (size < room) {
      items[size++] = p;
    } else {
      Grow(p);
    }
  }
  // Makes room for p and records it, unless the trail is full or lost.
  void Grow(gc_object* p);
  // The walk reached p: finds it among the next entries and fetches every
  // object up to gc_fetch_distance entries further on that was not fetched
  // yet. Each entry is passed once by the searches that find their object,
  // and a search that fails loses the trail.
  void Reached(const gc_object* p);
  // Forgets the entries the walk has passed.
  void DropReached();
  // The list starts afresh: an empty trail that records again.
  void Clear();
};

// The order of gc_queued_list, gc_marked_list and of the part of
// gc_unmarked_list that joined it since the last sweep.
extern Trail queued_order;
extern Trail marked_order;
extern Trail unmarked_order;

// p was greyed: it joined the tail of gc_queued_list.
inline void greyed(gc_object* p) { queued_order.Push(p); }
// p is about to be traced from the head of gc_queued_list.
inline void tracing(const gc_object* p) { queued_order.Reached(p); }
// gc_queued_list ran empty.
inline void queue_emptied() { queued_order.Clear(); }
// p was blackened: it joined the tail of gc_marked_list.
inline void blackened(gc_object* p) { marked_order.Push(p); }
// A new object joined the tail of gc_unmarked_list.
inline void joined(gc_object* p) { unmarked_order.Push(p); }

// A sweep ran: `moved` tells whether it moved gc_unmarked_list to the tail of
// gc_free_list, `was_empty` whether gc_free_list was empty before. The marked
// list became the new unmarked list.
void swept(bool moved, bool was_empty);
// p, the head of gc_free_list, is about to be destroyed.
void destroying(const gc_object* p);
// gc_free_list ran empty.
void free_list_emptied();

// p was popped from a size-class list; `next` is the block behind it.
inline void cached_block_taken(const gc_object* next) {
  if (next) header(next);
}

// A new small block of `size` bytes carved from a slab, or null when no slab
// can be had.
void* carve(int size);

// Bytes the trails hold (at most gc_fetch_max_bytes).
size_t held_bytes();

}  // namespace gc_fetch
