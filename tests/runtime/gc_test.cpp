// The collector: a randomized mutator checked against a model after every
// step, then headers, sizes, the marking order, a lost fetch trail, lazy
// destruction, pacing and the stress checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/dovel.h"

namespace {

class Node;

std::unordered_map<int, Node*> g_live;  // constructed and not yet destroyed, by id
int g_destroyed = 0;

class Node : public Object {
 public:
  explicit Node(int id) : m_id(id) { g_live[id] = this; }
  ~Node() override {
    g_live.erase(m_id);
    ++g_destroyed;
  }
  void mark() override { gc_mark_q(m_kids); }
  int m_id;
  Array<Node*> m_kids;
};

constexpr int kRoots = 16;
Object* g_single_root;  // the collector's one root

// Two full cycles and the lazy destruction of all garbage.
void collect_everything() {
  gc_collect_all();
  gc_collect_all();
  gc_flush_free(INT_MAX);
}

// A reference the mutator stores into: an element of a node's array.
struct Slot {
  int owner, index;
};

class Mutator {
 public:
  // The model's roots are the elements of node 0, which the collector's root holds.
  explicit Mutator(uint32_t seed) : rng_(seed) {
    gc_assign(g_single_root, static_cast<Object*>(NewNode()));
    NewKids(g_live[0], kRoots);
  }

  // Random changes, each followed by a collector step or cycle and a full check.
  void Run(int steps) {
    for (int step = 0; step < steps; ++step) {
      Step();
      const int r = pick(100);
      if (r < 70) gc_collect();
      if (r == 70) gc_collect_all();
      ASSERT_NO_FATAL_FAILURE(step % 400 == 399 ? CheckGarbageGone() : Check()) << "step " << step;
    }
    gc_assign(g_single_root, static_cast<Object*>(nullptr));
    collect_everything();
    EXPECT_TRUE(g_live.empty());
  }

 private:
  void Step() {
    const int kind = pick(7);
    if (kind <= 1) Store(RandomSlot(), NewNode());
    if (kind == 2) Store(RandomSlot(), NewTree(pick(4)));
    if (kind == 3) Store(RandomSlot(), nullptr);
    if (kind == 4) Move();
    if (const int id = kind == 5 ? RandomId() : 0) NewKids(g_live.at(id), pick(6));  // the roots stay
    for (int i = kind == 6 ? pick(6) : 0; i > 0; --i) NewNode();                     // garbage at once
  }

  // Compares the graph reachable from the roots with the model; fills reachable_.
  void Check() {
    reachable_.clear();
    std::unordered_set<int> seen;
    std::vector<std::pair<const Node*, int>> todo = {{static_cast<const Node*>(g_single_root), 0}};
    while (!todo.empty()) {
      auto [p, id] = todo.back();
      todo.pop_back();
      ASSERT_EQ(id >= 0 && g_live.count(id) ? g_live[id] : nullptr, p) << "object " << id << " destroyed or replaced";
      if (id < 0 || !seen.insert(id).second) continue;
      reachable_.push_back(id);
      const std::vector<int>& kids = kids_[id];
      ASSERT_EQ(p->m_kids.Length(), static_cast<int>(kids.size())) << "object " << id << " lost its array";
      for (int i = 0; i < p->m_kids.Length(); ++i) todo.push_back({p->m_kids[i], kids[i]});
    }
    for (gc_object* q = gc_free_list.succ; q != &gc_free_list; q = q->succ)
      ASSERT_FALSE(dynamic_cast<Node*>(q) && seen.count(static_cast<Node*>(q)->m_id)) << "a reachable object was swept";
  }

  void CheckGarbageGone() {
    collect_everything();
    ASSERT_NO_FATAL_FAILURE(Check());
    EXPECT_EQ(g_live.size(), reachable_.size());
    EXPECT_EQ(gc_free_bytes, 0);
  }

  int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  Node* NewNode() { return new Node(next_id_++); }

  // A tree built bottom-up: children are stored into the new (white) parent.
  Node* NewTree(int depth) {
    Node* n = NewNode();
    if (depth > 0) NewKids(n, 1 + pick(3), depth - 1);
    return n;
  }

  // A new array for n, stored at once and filled afterwards: with trees of
  // `depth`, or (depth -1) with new nodes and references held already.
  void NewKids(Node* n, int length, int depth = -1) {
    gc_assign(n->m_kids, Array<Node*>(length));
    kids_[n->m_id].assign(static_cast<size_t>(length), -1);
    for (int i = 0; i < length; ++i)
      Store({n->m_id, i}, depth >= 0 ? NewTree(depth) : pick(2) ? NewNode() : Ref(RandomSlot()));
  }

  // A reachable node (the roots' node before the first check).
  int RandomId() { return reachable_.empty() ? 0 : reachable_[pick(static_cast<int>(reachable_.size()))]; }

  // A root, or an element of a reachable node's array.
  Slot RandomSlot() {
    const int id = pick(4) ? RandomId() : 0;
    return kids_[id].empty() ? Slot{0, pick(kRoots)} : Slot{id, pick(static_cast<int>(kids_[id].size()))};
  }

  Node*& Ref(const Slot& s) { return g_live.at(s.owner)->m_kids[s.index]; }

  void Store(const Slot& s, Node* value) {
    gc_assign(Ref(s), value);
    kids_[s.owner][static_cast<size_t>(s.index)] = value ? value->m_id : -1;
  }

  // Copies a reference and half the time clears the source; without a barrier a move loses objects.
  void Move() {
    const Slot from = RandomSlot(), to = RandomSlot();
    Store(to, Ref(from));
    if (pick(2) && (from.owner != to.owner || from.index != to.index)) Store(from, nullptr);
  }

  std::mt19937 rng_;
  std::unordered_map<int, std::vector<int>> kids_;  // the model: the ids each node's array holds (-1: null)
  std::vector<int> reachable_;
  int next_id_ = 0;
};

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    gc_mark_roots_hook = [] { gc_mark_q(g_single_root); };
    collect_everything();
    g_destroyed = 0;
  }
  void TearDown() override {
    gc_stress = false;
    gc_assign(g_single_root, static_cast<Object*>(nullptr));
    collect_everything();
    gc_mark_roots_hook = nullptr;
  }
};

TEST_F(Collector, RandomGraphsSurviveIncrementalAndStressCollection) {
  for (uint32_t seed : {1u, 2u}) ASSERT_NO_FATAL_FAILURE(Mutator(seed).Run(2000)) << "seed " << seed;
  gc_stress = true;
  ASSERT_NO_FATAL_FAILURE(Mutator(11).Run(1200));
}

// No user-provided constructor: `new Plain()` zero-fills the object.
class Plain : public Object {
 public:
  int m_value;
};

// Its inner object is allocated between the outer allocation and constructor.
class Holder : public Object {
 public:
  explicit Holder(Object* inner) : m_inner(inner) {}
  void mark() override { gc_mark_q(m_inner); }
  Object* m_inner;
};

int rounded_size(size_t size) { return static_cast<int>((size + 7) & ~size_t{7}); }

// Each block keeps its own size, rounded up to 8 bytes, even when another
// allocation comes between its allocation and its constructor, or when
// `new Plain()` zero-fills it before the constructors run.
TEST_F(Collector, HeadersKeepSizesAndSurviveZeroFilling) {
  auto* holder = new Holder(new Plain());
  EXPECT_EQ(gc_block_size(holder), rounded_size(sizeof(Holder)));
  EXPECT_EQ(gc_block_size(holder->m_inner), rounded_size(sizeof(Plain)));
}

// An object that holds a row of references.
class Row : public Object {
 public:
  void mark() override { gc_mark_q(m_items); }
  Array<Object*> m_items;
};

std::vector<gc_object*> members(const gc_object& list) {
  std::vector<gc_object*> out;
  for (gc_object* p = list.succ; p != &list; p = p->succ) out.push_back(p);
  return out;
}

// Queued marking greys at once, even while an array's elements are marked: in
// the row [X, Y, Z] where X points at Y, X's mark() greys Y, so the element Y
// is no longer white when its turn comes and waits in the queue. A store into
// the still grey Y then replaces C before Y is traced, and C dies this cycle.
TEST_F(Collector, QueuedMarkingGreysAtOnceSoAStoreIntoAQueuedObjectCounts) {
  auto* c = new Node(-1);
  auto* y = new Holder(c);
  auto* x = new Holder(y);
  auto* z = new Holder(nullptr);
  auto* root = new Row();
  gc_assign(root->m_items, Array<Object*>(3));
  gc_assign(root->m_items[0], static_cast<Object*>(x));
  gc_assign(root->m_items[1], static_cast<Object*>(y));
  gc_assign(root->m_items[2], static_cast<Object*>(z));
  gc_assign(g_single_root, static_cast<Object*>(root));
  gc_collect_all();  // everything white again, the root queued
  gc_object* array = root->m_items.GetRep();
  ASSERT_EQ(members(gc_queued_list), std::vector<gc_object*>{root});

  // Tracing stops once the root and the array are traced: the bytes of the
  // root, the array and the two elements blackened with it, X and Z.
  const int sizes = gc_block_size(root) + gc_block_size(array) + 2 * gc_block_size(x);
  gc_mark_queued(gc_block_size(root) + gc_block_size(array));
  EXPECT_EQ(members(gc_marked_list), (std::vector<gc_object*>{root, array, x, z}));
  EXPECT_EQ(members(gc_queued_list), std::vector<gc_object*>{y});
  EXPECT_EQ(gc_marked_bytes, sizes);

  auto* d = new Node(-2);
  gc_assign(y->m_inner, static_cast<Object*>(d));
  gc_collect_all();
  gc_flush_free(gc_unlimited);
  EXPECT_EQ(g_live.count(-1), 0u) << "C was reachable only through Y's old value";
  EXPECT_EQ(g_live.count(-2), 1u);
}

// A trail's walk may pass over entries whose objects left the list, but one
// that reaches an object the trail did not record has lost its place: the
// trail records nothing more until its list starts afresh, so no later step
// searches it again.
TEST(FetchTrail, ALostWalkStopsItsTrailUntilItsListStartsAfresh) {
  gc_object* objects[5];
  for (gc_object*& p : objects) p = new Plain();
  gc_fetch::Trail trail{};
  for (int i = 0; i < 4; ++i) trail.Push(objects[i]);
  trail.Reached(objects[0]);
  trail.Reached(objects[2]);
  EXPECT_EQ(trail.next, 3u);
  trail.Reached(objects[4]);
  trail.Push(objects[4]);
  EXPECT_TRUE(trail.lost);
  EXPECT_EQ(trail.size, 0u);
  trail.Clear();
  trail.Push(objects[4]);
  EXPECT_EQ(trail.size, 1u);
  std::free(trail.items);
}

// Swept garbage dies later, as much as an allocation or outside memory needs.
// Outside memory also counts towards the full collection above 8 MiB; absurd
// sizes neither overflow nor destroy when negative.
TEST_F(Collector, LazyDestructionAndPacing) {
  for (int i = 0; i < 10; ++i) new Node(-100 - i);
  gc_collect_all();
  gc_collect_all();
  EXPECT_EQ(g_destroyed, 0) << "the sweep only moves garbage to the free list";
  new Node(-2);
  EXPECT_EQ(g_destroyed, 1) << "an allocation destroys garbage worth its size";
  const int node = gc_free_bytes / 9;
  gc_new_bytes = 0;
  gc_count_external(-5);
  gc_count_external(2 * node);
  EXPECT_EQ(g_destroyed, 3);
  EXPECT_EQ(gc_new_bytes, 2 * node) << "a negative size counts nothing";
  gc_new_bytes = 0;
  const int markbit = gc_markbit;
  gc_count_external(8 << 20);
  gc_collect();
  EXPECT_EQ(gc_markbit, markbit) << "exactly 8 MiB: still an incremental step";
  for (int i = 0; i < 4; ++i) gc_count_external(1LL << 40);
  gc_collect();
  EXPECT_NE(gc_markbit, markbit) << "above 8 MiB: a full collection";
  EXPECT_EQ(gc_new_bytes, 0);
}

// Releasing garbage destroys even already marked objects, keeps what the extra root holds, and restarts pacing.
TEST_F(Collector, ReleasingGarbageDestroysEverythingUnreachable) {
  auto* dropped = new Holder(new Node(-1));
  gc_assign(g_single_root, static_cast<Object*>(dropped));
  auto* extra = new Holder(new Node(-2));
  gc_mark(extra);  // the host marks its own root before every step
  gc_collect_all();
  gc_mark_queued(gc_unlimited);  // the cycle has marked both rooted holders
  gc_assign(g_single_root, static_cast<Object*>(nullptr));
  gc_new_bytes = 1000;
  gc_release_garbage(extra);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(g_live.count(-2), 1u);
  EXPECT_EQ(gc_new_bytes, 0);
}

// A string array releases its strings; a stress step destroys all garbage and
// poisons it: storing a destroyed object then stops the program, and so does
// the next step after a write into one (the sanitizer reports the write itself).
TEST_F(Collector, StringArraysAndStressChecks) {
  String text("held by an array");
  const int base = text.GetRep()->refs;
  {
    Array<String> a(5);
    for (int i = 0; i < 5; ++i) a[i] = text;
  }
  collect_everything();
  EXPECT_EQ(text.GetRep()->refs, base);
  gc_stress = true;
  gc_assign(g_single_root, static_cast<Object*>(new Node(-10)));  // a live object passes the check
  Object* dangling = new Node(-11);                               // small blocks are kept for reuse, not given back
  gc_collect();
  EXPECT_EQ(g_live.count(-11), 0u) << "a stress step destroys all garbage";
  EXPECT_DEATH(  // runtime errors go to standard output, the death test reads errors
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        gc_assign(g_single_root, dangling);
      },
      "no longer holds");
  EXPECT_DEATH(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        static_cast<Node*>(dangling)->m_id = 7;
        gc_collect();
      },
      "was written to|use-after-poison");
}

}  // namespace
