// The collector under a randomized mutator: object graphs with trees, cycles,
// shared object arrays and strings are built, rewired and dropped between
// incremental steps and full cycles. After every step the real graph is
// compared with a model of what the program stored, every reachable object
// must be intact and still in the collector's live lists, and no black object
// may point at a white one. Unreachable objects must all be destroyed once two
// full cycles and the lazy destruction have run.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/dovel.h"

namespace {

class Item;

// Test objects that were constructed and not yet destroyed, by id.
std::unordered_map<int, Item*> g_live;
int g_destroyed = 0;

uint32_t checksum(int id, const String& label) {
  uint32_t h = 2166136261u ^ static_cast<uint32_t>(id);
  for (int i = 0; i < label.Length(); ++i) h = (h ^ label[i]) * 16777619u;
  return h;
}

// Every test object carries an id, a label and a checksum over both.
class Item : public Object {
 public:
  Item(int id, const String& label) : m_id(id), m_label(label), m_check(checksum(id, label)) { g_live[id] = this; }
  ~Item() override {
    g_live.erase(m_id);
    ++g_destroyed;
    m_check = ~m_check;
  }
  bool Intact() const { return m_check == checksum(m_id, m_label); }

  int m_id;
  String m_label;
  uint32_t m_check;
};

// A leaf holds no references; it is small enough for a size-class block.
class Leaf : public Item {
 public:
  using Item::Item;
};

// An inner node: two reference fields and an object array.
class Node : public Item {
 public:
  Node(int id, const String& label) : Item(id, label), m_left(nullptr), m_right(nullptr) {}
  void mark() override {
    gc_mark_q(m_left);
    gc_mark_q(m_right);
    gc_mark_q(m_kids);
  }

  Item* m_left;
  Item* m_right;
  Array<Item*> m_kids;
};

using KidsRep = Array<Item*>::Rep;

constexpr int kRoots = 16;
Item* g_roots[kRoots];

void mark_test_roots() {
  for (Item* r : g_roots) gc_mark_q(r);
}

// Two full cycles and the lazy destruction of all garbage: afterwards exactly
// the objects reachable from the roots are left.
void collect_everything() {
  gc_collect_all();
  gc_collect_all();
  gc_flush_free(INT_MAX);
}

// What the program stored, by id: which item each field and array element
// holds (-1 for null) and which array (by model id) each node's field holds.
struct ModelItem {
  bool node = false;
  std::string label;
  int left = -1;
  int right = -1;
  int kids = -1;  // -1: the empty array
};

// A place that holds a reference: a root, a node's field or an array element.
struct Slot {
  enum Kind { kRoot, kLeft, kRight, kElement } kind;
  int owner;  // root index, node id or array model id
  int index;  // element index
};

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : rng_(seed) {
    for (int i = 0; i < 8; ++i) labels_.push_back(String(("label-" + std::to_string(i)).c_str()));
  }

  // One random change of the graph.
  void Step() {
    const int kind = pick(11);
    if (kind <= 1) Store(RandomSlot(), NewItem());
    if (kind == 2) Store(RandomSlot(), NewTree(pick(4)));
    if (kind == 3) Store(RandomSlot(), NewCycle(2 + pick(5)));
    if (kind == 4) Store(RandomSlot(), nullptr);
    if (kind == 5) Move();
    if (kind == 6) Store(RandomSlot(), Load(RandomSlot()));
    if (kind == 7) NewKids();
    if (kind == 8) ResizeKids();
    if (kind == 9) ShareKids();
    for (int i = kind == 10 ? pick(6) : 0; i > 0; --i) NewItem();  // garbage at once
  }

  // Compares the reachable real graph with the model; fills reachable_.
  void Check() {
    std::unordered_set<const gc_object*> live_blocks;
    ASSERT_NO_FATAL_FAILURE(CheckLists(&live_blocks));
    reachable_.clear();
    std::unordered_set<int> seen;
    std::vector<std::pair<const Item*, int>> todo;
    for (int i = 0; i < kRoots; ++i) todo.push_back({g_roots[i], roots_[i]});
    while (!todo.empty()) {
      auto [p, id] = todo.back();
      todo.pop_back();
      if (id < 0) {
        ASSERT_EQ(p, nullptr);
        continue;
      }
      auto live = g_live.find(id);
      ASSERT_TRUE(live != g_live.end()) << "reachable object " << id << " was destroyed";
      ASSERT_EQ(live->second, p) << "field holds the wrong object instead of " << id;
      ASSERT_TRUE(p->Intact()) << id;
      ASSERT_EQ(p->m_label.ToUtf8(), model_[id].label) << id;
      ASSERT_TRUE(live_blocks.count(p)) << id << " is not in the collector's live lists";
      if (!seen.insert(id).second) continue;
      reachable_.push_back(id);
      const ModelItem& m = model_[id];
      const auto* node = dynamic_cast<const Node*>(p);
      ASSERT_EQ(node != nullptr, m.node);
      if (!node) continue;
      todo.push_back({node->m_left, m.left});
      todo.push_back({node->m_right, m.right});
      ASSERT_NO_FATAL_FAILURE(CheckKids(node->m_kids, m.kids, live_blocks, &todo));
    }
  }

  // Two full cycles and the lazy destruction leave exactly the reachable objects.
  void CheckGarbageGone() {
    collect_everything();
    Check();
    EXPECT_EQ(g_live.size(), reachable_.size());
    EXPECT_EQ(gc_free_bytes, 0);
  }

  void DropEverything() {
    for (int i = 0; i < kRoots; ++i) {
      gc_assign(g_roots[i], static_cast<Item*>(nullptr));
      roots_[i] = -1;
    }
  }

  // Label strings made by the test and shared by many objects.
  const std::vector<String>& labels() const { return labels_; }
  int stores_into_black() const { return stores_into_black_; }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  // Label: one of the shared strings, or a fresh one.
  String NewLabel() {
    if (pick(3)) return labels_[pick(static_cast<int>(labels_.size()))];
    return String(("own-" + std::to_string(next_id_)).c_str());
  }

  // A new leaf or node (two in three are nodes).
  Item* NewItem() { return pick(3) ? static_cast<Item*>(NewNode()) : NewLeaf(); }

  Node* NewNode() { return Register<Node>(true); }
  Leaf* NewLeaf() { return Register<Leaf>(false); }

  template <class T>
  T* Register(bool node) {
    String label = NewLabel();
    T* item = new T(next_id_, label);
    ModelItem& m = model_[next_id_++];
    m.node = node;
    m.label = label.ToUtf8();
    return item;
  }

  // A tree built bottom-up: children are stored into the new (white) parent.
  Item* NewTree(int depth) {
    if (depth == 0) return NewItem();
    Node* n = NewNode();
    SetField(n, Slot::kLeft, NewTree(depth - 1));
    SetField(n, Slot::kRight, NewTree(depth - 1));
    if (pick(2)) {
      int k = NewKidsFor(n, 1 + pick(4));
      for (int i = 0; i < static_cast<int>(arrays_[k].size()); ++i) Store({Slot::kElement, k, i}, NewTree(depth - 1));
    }
    return n;
  }

  Item* NewCycle(int length) {
    Node* first = NewNode();
    Node* prev = first;
    for (int i = 1; i < length; ++i) {
      Node* n = NewNode();
      SetField(prev, Slot::kRight, n);
      prev = n;
    }
    SetField(prev, Slot::kRight, first);
    return first;
  }

  void SetField(Node* n, Slot::Kind kind, Item* value) { Store({kind, n->m_id, 0}, value); }

  Node* RandomNode() {
    for (int tries = 0; tries < 8 && !reachable_.empty(); ++tries) {
      Item* p = g_live[reachable_[pick(static_cast<int>(reachable_.size()))]];
      if (auto* n = dynamic_cast<Node*>(p)) return n;
    }
    return nullptr;
  }

  // A root, a field of a reachable node or an element of its array.
  Slot RandomSlot() {
    Node* n = pick(4) ? RandomNode() : nullptr;
    if (!n) return {Slot::kRoot, pick(kRoots), 0};
    const ModelItem& m = model_[n->m_id];
    int which = pick(3);
    if (which == 2 && m.kids >= 0) return {Slot::kElement, m.kids, pick(static_cast<int>(arrays_[m.kids].size()))};
    return {which == 0 ? Slot::kLeft : Slot::kRight, n->m_id, 0};
  }

  Item*& Ref(const Slot& s) {
    if (s.kind == Slot::kRoot) return g_roots[s.owner];
    if (s.kind == Slot::kElement) return array_rep(s.owner)->data()[s.index];
    Node* n = static_cast<Node*>(g_live[s.owner]);
    return s.kind == Slot::kLeft ? n->m_left : n->m_right;
  }

  int& ModelRef(const Slot& s) {
    if (s.kind == Slot::kRoot) return roots_[s.owner];
    if (s.kind == Slot::kElement) return arrays_[s.owner][s.index];
    return s.kind == Slot::kLeft ? model_[s.owner].left : model_[s.owner].right;
  }

  Item* Load(const Slot& s) { return Ref(s); }

  // Every reference store goes through the write barrier.
  void Store(const Slot& s, Item* value) {
    if (s.kind == Slot::kElement) {
      if (IsBlack(array_rep(s.owner))) ++stores_into_black_;
    } else if (s.kind != Slot::kRoot && IsBlack(g_live[s.owner])) {
      ++stores_into_black_;
    }
    gc_assign(Ref(s), value);
    ModelRef(s) = value ? value->m_id : -1;
  }

  // Takes a reference out of one place and puts it into another, the case
  // that loses objects when a barrier is missing: the new holder may be
  // black already while the old one is not traced yet.
  void Move() {
    Slot from = RandomSlot();
    Slot to = RandomSlot();
    Item* value = Load(from);
    Store(to, value);
    if (from.kind != to.kind || from.owner != to.owner || from.index != to.index) Store(from, nullptr);
  }

  // A new array for a node, stored at once and filled afterwards.
  int NewKidsFor(Node* n, int length) {
    int k = static_cast<int>(arrays_.size());
    arrays_.push_back(std::vector<int>(static_cast<size_t>(length), -1));
    gc_assign(n->m_kids, Array<Item*>(length));
    array_reps_[k] = n->m_kids.GetRep();
    model_[n->m_id].kids = k;
    return k;
  }

  void NewKids() {
    Node* n = RandomNode();
    if (!n) return;
    int k = NewKidsFor(n, pick(6));
    if (arrays_[k].empty()) {
      model_[n->m_id].kids = -1;
      return;
    }
    for (int i = 0; i < static_cast<int>(arrays_[k].size()); ++i) {
      Item* value = pick(2) ? NewItem() : Load(RandomSlot());
      Store({Slot::kElement, k, i}, value);
    }
  }

  void ResizeKids() {
    Node* n = RandomNode();
    if (!n) return;
    ModelItem& m = model_[n->m_id];
    int length = pick(7);
    std::vector<int> old = m.kids >= 0 ? arrays_[m.kids] : std::vector<int>();
    gc_assign(n->m_kids, n->m_kids.Resize(length));
    if (length == 0) {
      m.kids = -1;
      return;
    }
    old.resize(static_cast<size_t>(length), -1);
    m.kids = static_cast<int>(arrays_.size());
    arrays_.push_back(old);
    array_reps_[m.kids] = n->m_kids.GetRep();
  }

  // Two nodes share one array storage: a store through one shows in both.
  void ShareKids() {
    Node* a = RandomNode();
    Node* b = RandomNode();
    if (!a || !b) return;
    gc_assign(a->m_kids, b->m_kids);
    model_[a->m_id].kids = model_[b->m_id].kids;
  }

  KidsRep* array_rep(int k) { return array_reps_[k]; }

  static bool IsBlack(const gc_object* p) {
    if (gc_is_white(p)) return false;
    for (const gc_object* q = gc_queued_list.succ; q != &gc_queued_list; q = q->succ)
      if (q == p) return false;
    return true;
  }

  void CheckKids(const Array<Item*>& kids, int k, const std::unordered_set<const gc_object*>& live_blocks,
                 std::vector<std::pair<const Item*, int>>* todo) {
    if (k < 0) {
      ASSERT_EQ(kids.GetRep(), Array<Item*>().GetRep());
      return;
    }
    ASSERT_EQ(kids.GetRep(), array_reps_[k]) << "array " << k << " lost its storage";
    ASSERT_TRUE(live_blocks.count(kids.GetRep())) << "array " << k << " is not in the live lists";
    ASSERT_EQ(kids.Length(), static_cast<int>(arrays_[k].size()));
    for (int i = 0; i < kids.Length(); ++i) todo->push_back({kids[i], arrays_[k][i]});
  }

  // Walks the collector's lists: white objects sit in the unmarked list, grey
  // and black ones in the queued and marked lists, and a black test object
  // never points at a white one.
  static void CheckLists(std::unordered_set<const gc_object*>* live_blocks) {
    for (const gc_object* p = gc_unmarked_list.succ; p != &gc_unmarked_list; p = p->succ) {
      ASSERT_TRUE(gc_is_white(p));
      live_blocks->insert(p);
    }
    for (const gc_object* p = gc_queued_list.succ; p != &gc_queued_list; p = p->succ) {
      ASSERT_FALSE(gc_is_white(p));
      live_blocks->insert(p);
    }
    for (const gc_object* p = gc_marked_list.succ; p != &gc_marked_list; p = p->succ) {
      ASSERT_FALSE(gc_is_white(p));
      live_blocks->insert(p);
      if (const auto* n = dynamic_cast<const Node*>(p)) {
        for (const gc_object* child :
             {static_cast<const gc_object*>(n->m_left), static_cast<const gc_object*>(n->m_right),
              static_cast<const gc_object*>(n->m_kids.GetRep())}) {
          ASSERT_TRUE(!child || !gc_is_white(child)) << "black node " << n->m_id << " points at a white object";
        }
      } else if (const auto* rep = dynamic_cast<const KidsRep*>(p)) {
        for (int i = 0; i < rep->length; ++i) {
          const gc_object* child = const_cast<KidsRep*>(rep)->data()[i];
          ASSERT_TRUE(!child || !gc_is_white(child)) << "black array points at a white object";
        }
      }
    }
  }

  std::mt19937 rng_;
  int next_id_ = 0;
  std::unordered_map<int, ModelItem> model_;
  std::vector<std::vector<int>> arrays_;
  std::unordered_map<int, KidsRep*> array_reps_;
  std::vector<int> roots_ = std::vector<int>(kRoots, -1);
  std::vector<int> reachable_;
  std::vector<String> labels_;
  int stores_into_black_ = 0;
};

// Runs each test from a clean heap (earlier tests may have left garbage) with
// the test's own roots, and switches the stress mode off afterwards.
class CleanHeap : public ::testing::Test {
 protected:
  explicit CleanHeap(void (*roots)()) : roots_(roots) {}
  void SetUp() override {
    gc_mark_roots_hook = roots_;
    collect_everything();
    g_destroyed = 0;
  }
  void TearDown() override {
    gc_stress = false;
    gc_mark_roots_hook = nullptr;
  }

 private:
  void (*roots_)();
};

class Collector : public CleanHeap {
 protected:
  Collector() : CleanHeap(mark_test_roots) {}

  // Runs `steps` random changes, each followed by a collector step or cycle
  // and a full check; ends by dropping everything, which must all die.
  void Run(uint32_t seed, int steps) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Mutator m(seed);
    std::vector<int> label_refs;
    for (const String& s : m.labels()) label_refs.push_back(s.GetRep()->refs);
    std::mt19937 rng(seed * 7u + 1u);
    for (int step = 0; step < steps; ++step) {
      m.Step();
      uint32_t r = rng() % 100;
      if (r < 70) {
        gc_collect();
      } else if (r < 72) {
        gc_collect_all();
      }
      ASSERT_NO_FATAL_FAILURE(m.Check()) << "step " << step;
      if (step % 400 == 399) {
        ASSERT_NO_FATAL_FAILURE(m.CheckGarbageGone()) << "step " << step;
      }
    }
    // Between stress steps every object is white again; otherwise the run
    // must have stored into objects the current cycle had traced already.
    if (!gc_stress) {
      EXPECT_GT(m.stores_into_black(), 0) << "no store hit an already traced object";
    }
    m.DropEverything();
    m.CheckGarbageGone();
    EXPECT_TRUE(g_live.empty());
    EXPECT_GT(g_destroyed, 0);
    // Destroyed objects released their labels: counts are back where they were.
    for (size_t i = 0; i < label_refs.size(); ++i) EXPECT_EQ(m.labels()[i].GetRep()->refs, label_refs[i]);
  }
};

TEST_F(Collector, RandomGraphsSurviveIncrementalCollection) {
  for (uint32_t seed : {1u, 2u, 3u}) ASSERT_NO_FATAL_FAILURE(Run(seed, 2500));
}

TEST_F(Collector, RandomGraphsSurviveUnderStress) {
  gc_stress = true;
  for (uint32_t seed : {11u, 12u}) ASSERT_NO_FATAL_FAILURE(Run(seed, 1200));
}

// No user-provided constructor: `new Plain()` value-initialises (zero-fills)
// the object before any constructor runs.
class Plain : public Object {
 public:
  int m_value;
};

class Holder : public Object {
 public:
  explicit Holder(Object* inner) : m_inner(inner) {}
  void mark() override { gc_mark_q(m_inner); }
  Object* m_inner;
};

Object* g_single_root;

// Single objects through the collector's fixed rules, with one root.
class CollectorCase : public CleanHeap {
 protected:
  CollectorCase() : CleanHeap([] { gc_mark_q(g_single_root); }) {}
  void TearDown() override {
    gc_assign(g_single_root, static_cast<Object*>(nullptr));
    CleanHeap::TearDown();
  }
};

TEST_F(CollectorCase, HeadersSizesAndLazyDestruction) {
  // Zero-filled objects and objects made inside another's constructor
  // arguments keep their own header and size (rounded up to 8 bytes).
  Plain* p = new Plain();
  EXPECT_EQ(p->m_value, 0);
  EXPECT_EQ(gc_block_size(p), static_cast<int>((sizeof(Plain) + 7) & ~size_t{7}));
  Holder* h = new Holder(new Leaf(-5, String("inner")));
  EXPECT_EQ(gc_block_size(h), static_cast<int>((sizeof(Holder) + 7) & ~size_t{7}));
  EXPECT_EQ(gc_block_size(h->m_inner), static_cast<int>((sizeof(Leaf) + 7) & ~size_t{7}));
  gc_assign(g_single_root, static_cast<Object*>(h));
  new Leaf(-1, String("garbage"));
  gc_collect_all();
  gc_collect_all();
  EXPECT_EQ(g_destroyed, 0) << "the sweep only moves garbage to the free list";
  EXPECT_GT(gc_free_bytes, 0);
  new Leaf(-2, String("trigger"));
  EXPECT_EQ(g_destroyed, 1) << "a later allocation destroys it";
  EXPECT_EQ(g_live.count(-1), 0u);
  EXPECT_EQ(g_live.count(-5), 1u);
  g_live.erase(-2);
  g_live.erase(-5);
}

TEST_F(CollectorCase, MarkedObjectDiesOneCycleLate) {
  Leaf* leaf = new Leaf(-3, String("x"));
  gc_assign(g_single_root, static_cast<Object*>(leaf));
  gc_collect_all();
  gc_mark_queued(INT_MAX);
  gc_assign(g_single_root, static_cast<Object*>(nullptr));
  gc_collect_all();
  gc_flush_free(INT_MAX);
  EXPECT_EQ(g_live.count(-3), 1u) << "already marked: survives this sweep";
  gc_collect_all();
  gc_flush_free(INT_MAX);
  EXPECT_EQ(g_live.count(-3), 0u);
}

TEST_F(CollectorCase, FullCollectionStartsAboveEightMebibytes) {
  int markbit = gc_markbit;
  int saved = gc_new_bytes;
  gc_new_bytes = 0x800000;
  gc_collect();
  EXPECT_EQ(gc_markbit, markbit) << "exactly 8 MiB: an incremental step";
  gc_new_bytes = 0x800001;
  gc_collect();
  EXPECT_NE(gc_markbit, markbit);
  EXPECT_EQ(gc_new_bytes, 0);
  gc_new_bytes = saved;
}

TEST_F(CollectorCase, StringArraysReleaseTheirElementsAndEmptyArraysStayPut) {
  String text("held by an array");
  int base = text.GetRep()->refs;
  {
    Array<String> a(5);
    for (int i = 0; i < 5; ++i) a[i] = text;
    EXPECT_EQ(text.GetRep()->refs, base + 5);
  }
  collect_everything();
  EXPECT_EQ(text.GetRep()->refs, base);
  const gc_object* empty = Array<Item*>().GetRep();
  Node* n = new Node(-10, String());
  gc_assign(g_single_root, static_cast<Object*>(n));
  gc_mark(n);
  gc_collect_all();
  EXPECT_EQ(empty->flags & 3, 3u);
  EXPECT_EQ(empty->succ, empty) << "the shared empty array is never linked into a list";
  g_live.erase(-10);
}

}  // namespace
