// The small language modules: random numbers, math, the event-source stack and
// the polling of asynchronous event sources.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/app.h"

namespace {

TEST(Random, SeedSequenceFromStartValue) {
  vo_framework_Init();
  EXPECT_EQ(vo_random_Seed, 1234);
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.7143076658248901);
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 3067928073u);
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.2070130705833435);
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 889114580u);
  EXPECT_DOUBLE_EQ(vo_random_Rnd(), 0.7495418190956116);
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 3219257635u);
}

TEST(Random, ReplayingASeedRepeatsTheSequence) {
  vo_random_Seed = -5;
  std::vector<float> first;
  for (int i = 0; i < 5; ++i) first.push_back(vo_random_Rnd());
  vo_random_Seed = -5;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(vo_random_Rnd(), first[i]);
}

// Seeds whose top 24 bits after the step are all ones give the largest
// result, which must still be below 1.
TEST(Random, StaysBelowOne) {
  // (0xFFFFFFFF - 1013904223) / 1664525 is not whole; solve the step backwards
  // with the multiplier's inverse modulo 2^32 instead.
  uint32_t inverse = 4276115653u;  // 1664525 * 4276115653 == 1 (mod 2^32)
  ASSERT_EQ(1664525u * inverse, 1u);
  vo_random_Seed = static_cast<int>((0xFFFFFFFFu - 1013904223u) * inverse);
  float top = vo_random_Rnd();
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 0xFFFFFFFFu);
  EXPECT_LT(top, 1.0f);
  EXPECT_FLOAT_EQ(top, 16777215.0f / 16777216.0f);
}

TEST(Random, RangesAdvanceTheSeedOnce) {
  vo_random_Seed = 1234;
  EXPECT_EQ(vo_random_Rnd2(5, 5), 5.0f);
  EXPECT_EQ(static_cast<uint32_t>(vo_random_Seed), 3067928073u);
  EXPECT_FLOAT_EQ(vo_random_Rnd3(10), 2.070130705833435f);
  vo_random_Seed = 1234;
  EXPECT_FLOAT_EQ(vo_random_Rnd2(-1, 1), -1 + 2 * 0.7143076658248901f);
}

TEST(Math, AbsAndMax) {
  EXPECT_EQ(vo_math_Abs(-7), 7);
  EXPECT_EQ(vo_math_Abs(INT_MIN), INT_MIN);
  EXPECT_EQ(vo_math_Abs2(-2.5f), 2.5f);
  EXPECT_EQ(vo_math_Max(3, 4), 4);
  EXPECT_EQ(vo_math_Max(-3, -4), -3);
  EXPECT_EQ(vo_math_Max2(1.5f, 0.5f), 1.5f);
  // On a tie the second argument is the result, which tells -0 from +0.
  EXPECT_TRUE(std::signbit(vo_math_Max2(0.0f, -0.0f)));
  EXPECT_TRUE(std::isnan(vo_math_Max2(1.0f, NAN)));
  EXPECT_EQ(vo_math_Max2(NAN, 1.0f), 1.0f);
}

// An event source that logs its polls and can take itself off the stack.
class LogSource : public Object, public virtual c_IAsyncEventSource {
 public:
  LogSource(std::string name, std::vector<std::string>* log) : name(name), log(log) {}
  int p_UpdateAsyncEvents() override {
    log->push_back(name);
    // A nested poll must return at once.
    vo_asyncevent_UpdateAsyncEvents();
    if (removeSelf) Unregister();
    return 0;
  }
  // What an unregistering source does: leave the stack and clear the current
  // source so the poll does not skip the element that moves into its slot.
  void Unregister() {
    c_Stack* stack = vo_asyncevent__sources;
    int n = stack->p_Length2();
    int at = 0;
    while (at < n && stack->p_Get(at) != this) ++at;
    for (int i = at; i + 1 < n; ++i) gc_assign(stack->m_data[i], stack->m_data[i + 1]);
    stack->p_Length(n - 1);
    vo_asyncevent__current = nullptr;
  }
  std::string name;
  std::vector<std::string>* log;
  bool removeSelf = false;
};

class AsyncEvents : public ::testing::Test {
 protected:
  void SetUp() override { vo_framework_Init(); }

  LogSource* Add(const char* name) {
    auto* source = new LogSource(name, &log);
    c_Stack* stack = vo_asyncevent__sources;
    stack->p_Length(stack->p_Length2() + 1);
    gc_assign(stack->m_data[stack->p_Length2() - 1], static_cast<c_IAsyncEventSource*>(source));
    return source;
  }

  std::vector<std::string> log;
};

TEST_F(AsyncEvents, NoSourcesDoesNothing) {
  EXPECT_EQ(vo_asyncevent_UpdateAsyncEvents(), 0);
  EXPECT_EQ(vo_asyncevent__current, nullptr);
}

TEST_F(AsyncEvents, PollsEachSourceOnceInOrder) {
  Add("a");
  Add("b");
  Add("c");
  vo_asyncevent_UpdateAsyncEvents();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(vo_asyncevent__current, nullptr);
}

TEST_F(AsyncEvents, SourceLeavingDuringItsPollDoesNotSkipTheNext) {
  Add("a");
  Add("b")->removeSelf = true;
  Add("c");
  vo_asyncevent_UpdateAsyncEvents();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(vo_asyncevent__sources->p_Length2(), 2);
  log.clear();
  vo_asyncevent_UpdateAsyncEvents();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));
}

TEST(Stack, LengthGrowsCapacityAndClearsVacatedSlots) {
  vo_framework_Init();
  auto* stack = (new c_Stack)->m_new();
  EXPECT_EQ(stack->p_Length2(), 0);
  stack->p_Length(3);
  EXPECT_EQ(stack->m_data.Length(), 10);  // max(3, 2 * 0 + 10)
  std::vector<std::string> log;
  auto* source = new LogSource("s", &log);
  gc_assign(stack->m_data[2], static_cast<c_IAsyncEventSource*>(source));
  stack->p_Length(12);
  EXPECT_EQ(stack->m_data.Length(), 16);  // max(12, 2 * 3 + 10)
  EXPECT_EQ(stack->p_Get(2), source);
  stack->p_Length(2);
  EXPECT_EQ(stack->m_data[2], nullptr);
  EXPECT_EQ(stack->m_data.Length(), 16);
  stack->p_Length(40);
  EXPECT_EQ(stack->m_data.Length(), 40);
}

TEST(Stack, CopiesTheArrayItIsMadeFrom) {
  std::vector<std::string> log;
  Array<c_IAsyncEventSource*> items(2);
  items[0] = new LogSource("x", &log);
  auto* stack = (new c_Stack)->m_new2(items);
  items[0] = nullptr;
  EXPECT_EQ(stack->p_Length2(), 2);
  ASSERT_NE(stack->p_Get(0), nullptr);
  EXPECT_EQ(dynamic_cast<LogSource*>(stack->p_Get(0))->name, "x");
}

TEST(Stack, ReadsOutsideTheUsedSlotsGiveTheEmptyValue) {
  auto* stack = (new c_Stack)->m_new();
  stack->p_Length(1);
  EXPECT_EQ(stack->p_Get(-1), nullptr);
  EXPECT_EQ(stack->p_Get(1000), nullptr);
  stack->p_Length(-4);
  EXPECT_EQ(stack->p_Length2(), 0);
}

}  // namespace
