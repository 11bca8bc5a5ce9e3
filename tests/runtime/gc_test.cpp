// The collector: a randomized mutator checked against a model after every
// step, then headers, sizes, lazy destruction, pacing and the stress check.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
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

using KidsRep = Array<Node*>::Rep;

constexpr int kRoots = 16;
Array<Node*> g_roots;
Object* g_single_root;

// Two full cycles and the lazy destruction of all garbage.
void collect_everything() {
  gc_collect_all();
  gc_collect_all();
  gc_flush_free(INT_MAX);
}

bool is_black(const gc_object* p) {  // neither white nor queued
  if (gc_is_white(p)) return false;
  for (const gc_object* q = gc_queued_list.succ; q != &gc_queued_list; q = q->succ)
    if (q == p) return false;
  return true;
}

// An element of a model array (0: the roots).
struct Slot {
  int array, index;
};

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : rng_(seed) {
    gc_assign(g_roots, Array<Node*>(kRoots));
    arrays_.push_back(std::vector<int>(kRoots, -1));
    reps_.push_back(g_roots.GetRep());
  }

  void Step() {
    const int kind = pick(10);
    if (kind <= 1) Store(RandomSlot(), NewNode());
    if (kind == 2) Store(RandomSlot(), NewTree(pick(4)));
    if (kind == 3) Store(RandomSlot(), NewCycle(2 + pick(5)));
    if (kind == 4) Store(RandomSlot(), nullptr);
    if (kind == 5) Move();
    if (kind == 6) Store(RandomSlot(), Ref(RandomSlot()));
    if (kind == 7) NewKids();
    if (kind == 8) ShareKids();
    for (int i = kind == 9 ? pick(6) : 0; i > 0; --i) NewNode();  // garbage at once
  }

  // Compares the graph reachable from the roots with the model; fills reachable_.
  void Check() {
    std::unordered_set<const gc_object*> live;
    ASSERT_NO_FATAL_FAILURE(CheckLists(&live));
    reachable_.clear();
    std::unordered_set<int> seen;
    std::vector<std::pair<const Node*, int>> todo;
    ASSERT_EQ(g_roots.GetRep(), reps_[0]);
    for (int i = 0; i < kRoots; ++i) todo.push_back({g_roots[i], arrays_[0][i]});
    while (!todo.empty()) {
      auto [p, id] = todo.back();
      todo.pop_back();
      if (id < 0) {
        ASSERT_EQ(p, nullptr);
        continue;
      }
      ASSERT_EQ(g_live.count(id) ? g_live[id] : nullptr, p) << "reachable object " << id << " destroyed or replaced";
      ASSERT_TRUE(live.count(p)) << id << " is not in the collector's live lists";
      if (!seen.insert(id).second) continue;
      reachable_.push_back(id);
      const int k = kids_[id];
      ASSERT_EQ(p->m_kids.GetRep(), k < 0 ? Array<Node*>().GetRep() : reps_[k]) << "array " << k << " lost its storage";
      if (k < 0) continue;
      ASSERT_TRUE(live.count(reps_[k])) << "array " << k << " is not in the live lists";
      for (int i = 0; i < p->m_kids.Length(); ++i) todo.push_back({p->m_kids[i], arrays_[k][i]});
    }
  }

  void CheckGarbageGone() {
    collect_everything();
    ASSERT_NO_FATAL_FAILURE(Check());
    EXPECT_EQ(g_live.size(), reachable_.size());
    EXPECT_EQ(gc_free_bytes, 0);
  }

  void DropEverything() {
    for (int i = 0; i < kRoots; ++i) Store({0, i}, nullptr);
  }

  int stores_into_black_ = 0;

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  Node* NewNode() {
    kids_[next_id_] = -1;
    return new Node(next_id_++);
  }

  // A tree built bottom-up: children are stored into the new (white) parent.
  Node* NewTree(int depth) {
    Node* n = NewNode();
    if (depth == 0) return n;
    const int k = NewKidsFor(n, 1 + pick(3));
    for (int i = 0; i < n->m_kids.Length(); ++i) Store({k, i}, NewTree(depth - 1));
    return n;
  }

  Node* NewCycle(int length) {
    Node *first = NewNode(), *last = first;
    for (int i = 1; i <= length; ++i) {
      Node* next = i < length ? NewNode() : first;
      Store({NewKidsFor(last, 1), 0}, last = next);
    }
    return first;
  }

  Node* RandomNode() {
    return reachable_.empty() ? nullptr : g_live[reachable_[pick(static_cast<int>(reachable_.size()))]];
  }

  // An element of a reachable node's array, or a root.
  Slot RandomSlot() {
    Node* n = pick(4) ? RandomNode() : nullptr;
    const int k = n ? kids_[n->m_id] : -1;
    if (k < 0) return {0, pick(kRoots)};
    return {k, pick(static_cast<int>(arrays_[k].size()))};
  }

  Node*& Ref(const Slot& s) { return reps_[s.array]->data()[s.index]; }

  void Store(const Slot& s, Node* value) {
    stores_into_black_ += is_black(reps_[s.array]);
    gc_assign(Ref(s), value);
    arrays_[s.array][s.index] = value ? value->m_id : -1;
  }

  // Loses objects when a barrier is missing: the new holder may be black while the old one is untraced.
  void Move() {
    Slot from = RandomSlot(), to = RandomSlot();
    Store(to, Ref(from));
    if (from.array != to.array || from.index != to.index) Store(from, nullptr);
  }

  // A new array for a node, stored at once and filled afterwards.
  int NewKidsFor(Node* n, int length) {
    gc_assign(n->m_kids, Array<Node*>(length));
    arrays_.push_back(std::vector<int>(static_cast<size_t>(length), -1));
    reps_.push_back(n->m_kids.GetRep());
    return kids_[n->m_id] = length ? static_cast<int>(arrays_.size()) - 1 : -1;
  }

  void NewKids() {
    if (Node* n = RandomNode()) {
      const int k = NewKidsFor(n, pick(6));
      for (int i = 0; i < n->m_kids.Length(); ++i) Store({k, i}, pick(2) ? NewNode() : Ref(RandomSlot()));
    }
  }

  // Two nodes share one array storage: a store through one shows in both.
  void ShareKids() {
    Node *a = RandomNode(), *b = RandomNode();
    if (!a || !b) return;
    gc_assign(a->m_kids, b->m_kids);
    kids_[a->m_id] = kids_[b->m_id];
  }

  // Only white objects are in the unmarked list; a black one never points at a white one.
  static void CheckLists(std::unordered_set<const gc_object*>* live) {
    for (gc_object* list : {&gc_unmarked_list, &gc_queued_list, &gc_marked_list}) {
      for (const gc_object* p = list->succ; p != list; p = p->succ) {
        ASSERT_EQ(gc_is_white(p), list == &gc_unmarked_list);
        live->insert(p);
        if (list != &gc_marked_list) continue;
        std::vector<const gc_object*> children;
        if (const auto* n = dynamic_cast<const Node*>(p)) children = {n->m_kids.GetRep()};
        if (auto* rep = const_cast<KidsRep*>(dynamic_cast<const KidsRep*>(p)))
          children.assign(rep->data(), rep->data() + rep->length);
        for (const gc_object* child : children) ASSERT_TRUE(!child || !gc_is_white(child)) << "black points at white";
      }
    }
  }

  std::mt19937 rng_;
  int next_id_ = 0;
  std::unordered_map<int, int> kids_;  // node id -> model array (-1: the empty array)
  std::vector<std::vector<int>> arrays_;
  std::vector<KidsRep*> reps_;
  std::vector<int> reachable_;
};

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    gc_mark_roots_hook = [] {
      gc_mark_q(g_roots);
      gc_mark_q(g_single_root);
    };
    collect_everything();
    g_destroyed = 0;
  }
  void TearDown() override {
    gc_stress = false;
    gc_assign(g_single_root, static_cast<Object*>(nullptr));
    collect_everything();
    gc_mark_roots_hook = nullptr;
  }

  // Random changes, each followed by a collector step or cycle and a full check.
  void Run(uint32_t seed, int steps) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Mutator m(seed);
    std::mt19937 rng(seed * 7u + 1u);
    for (int step = 0; step < steps; ++step) {
      m.Step();
      const uint32_t r = rng() % 100;
      if (r < 70) gc_collect();
      if (r == 70) gc_collect_all();
      ASSERT_NO_FATAL_FAILURE(step % 400 == 399 ? m.CheckGarbageGone() : m.Check()) << "step " << step;
    }
    // Under stress every object is white between steps; otherwise stores must hit traced objects.
    EXPECT_TRUE(gc_stress || m.stores_into_black_ > 0) << "no store hit an already traced object";
    m.DropEverything();
    m.CheckGarbageGone();
    EXPECT_TRUE(g_live.empty());
  }

  static Node* Holding(int id, Node* child) {
    Node* n = new Node(id);
    gc_assign(n->m_kids, Array<Node*>(1));
    gc_assign(n->m_kids[0], child);
    return n;
  }

  // `n` unreachable nodes that two full collections found dead but did not destroy yet.
  static void MakeSweptGarbage(int n) {
    for (int i = 0; i < n; ++i) new Node(-100 - i);
    gc_collect_all();
    gc_collect_all();
  }
};

TEST_F(Collector, RandomGraphsSurviveIncrementalCollection) {
  for (uint32_t seed : {1u, 2u}) ASSERT_NO_FATAL_FAILURE(Run(seed, 2000));
}

TEST_F(Collector, RandomGraphsSurviveUnderStress) {
  gc_stress = true;
  ASSERT_NO_FATAL_FAILURE(Run(11, 1200));
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

// Sizes round up to 8 bytes; a later allocation destroys swept garbage; one
// marked in the running cycle before it was dropped dies one cycle late.
TEST_F(Collector, HeadersSizesAndLazyDestruction) {
  Plain* p = new Plain();
  EXPECT_EQ(p->m_value, 0);
  EXPECT_EQ(gc_block_size(p), rounded_size(sizeof(Plain)));
  Holder* holder = new Holder(new Node(-6));
  EXPECT_EQ(gc_block_size(holder), rounded_size(sizeof(Holder)));
  EXPECT_EQ(gc_block_size(holder->m_inner), rounded_size(sizeof(Node)));
  gc_assign(g_single_root, static_cast<Object*>(holder));
  MakeSweptGarbage(1);
  EXPECT_EQ(g_destroyed, 0) << "the sweep only moves garbage to the free list";
  EXPECT_GT(gc_free_bytes, 0);
  new Node(-2);
  EXPECT_EQ(g_destroyed, 1) << "a later allocation destroys it";
  gc_mark_queued(INT_MAX);
  gc_assign(g_single_root, static_cast<Object*>(nullptr));
  for (size_t alive : {1u, 0u}) {
    gc_collect_all();
    gc_flush_free(INT_MAX);
    EXPECT_EQ(g_live.count(-6), alive) << "already marked: survives one sweep";
  }
}

// Outside memory destroys garbage worth its size and counts towards the full
// collection above 8 MiB; absurd sizes neither overflow nor destroy when negative.
TEST_F(Collector, OutsideMemoryCountsAsAllocation) {
  MakeSweptGarbage(10);
  const int node = gc_free_bytes / 10;
  gc_new_bytes = 0;
  gc_count_external(-5);
  gc_count_external(2 * node);
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(gc_new_bytes, 2 * node) << "a negative size counts nothing";
  gc_new_bytes = 0;
  const int markbit = gc_markbit;
  gc_count_external(8 << 20);
  gc_collect();
  EXPECT_EQ(gc_markbit, markbit) << "exactly 8 MiB: still an incremental step";
  gc_count_external(1LL << 40);
  gc_count_external(1LL << 40);
  EXPECT_GT(gc_new_bytes, 8 << 20);
  gc_collect();
  EXPECT_NE(gc_markbit, markbit) << "above 8 MiB: a full collection";
  EXPECT_EQ(gc_new_bytes, 0);
}

// Releasing garbage destroys even already marked objects, keeps the extra root's, and restarts pacing.
TEST_F(Collector, ReleasingGarbageDestroysEverythingUnreachable) {
  Node* dropped = Holding(-1, new Node(-2));
  gc_assign(g_single_root, static_cast<Object*>(dropped));
  Node* extra = Holding(-3, new Node(-4));
  gc_mark(extra);  // the host marks its own root before every step
  gc_collect_all();
  gc_mark_queued(gc_unlimited);  // the cycle has marked both rooted nodes
  gc_assign(g_single_root, static_cast<Object*>(nullptr));
  gc_new_bytes = 1000;
  gc_release_garbage(extra);
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(g_live.count(-4), 1u);
  EXPECT_EQ(gc_free_bytes, 0);
  EXPECT_EQ(gc_new_bytes, 0);
}

TEST_F(Collector, StringArraysReleaseElementsStressStopsAtDanglingStores) {
  String text("held by an array");
  const int base = text.GetRep()->refs;
  {
    Array<String> a(5);
    for (int i = 0; i < 5; ++i) a[i] = text;
    EXPECT_EQ(text.GetRep()->refs, base + 5);
  }
  collect_everything();
  EXPECT_EQ(text.GetRep()->refs, base);
  const gc_object* empty = Array<Node*>().GetRep();
  Node* root = new Node(-10);
  gc_assign(g_single_root, static_cast<Object*>(root));
  gc_mark(root);
  gc_collect_all();
  EXPECT_EQ(empty->succ, empty) << "the shared empty array is never linked into a list";
  // Under stress, storing a reference to a destroyed object stops the program at the store.
  Object* dangling = new Plain();  // small blocks are kept for reuse, not given back
  gc_release_garbage(nullptr);
  gc_stress = true;
  gc_assign(g_single_root, static_cast<Object*>(root));  // a live object passes the check
  EXPECT_DEATH(  // runtime errors go to standard output, the death test reads errors
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        gc_assign(g_single_root, dangling);
      },
      "no longer holds");
}

}  // namespace
