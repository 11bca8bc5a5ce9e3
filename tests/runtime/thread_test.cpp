// Worker threads: the running state as the main thread sees it, joining, and
// restarting. Built for ThreadSanitizer as well, which checks that what the
// worker writes is properly handed over to the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/databuffer.h"
#include "runtime/thread.h"

namespace {

// Fills its buffer with the squares 0, 1, 4, ... as ints and leaves the buffer
// as its result.
class SquaresThread : public VoThread {
 public:
  explicit SquaresThread(VoDataBuffer* buf) : buf_(buf) {}

  void Run__UNSAFE__() override {
    for (int i = 0; i < buf_->Length() / 4; ++i) buf_->PokeInt(i * 4, i * i);
    SetResult(buf_);
    runs.fetch_add(1);
  }

  std::atomic<int> runs{0};

 private:
  VoDataBuffer* buf_;
};

// Blocks inside its work until the test opens the gate.
class GatedThread : public VoThread {
 public:
  void Run__UNSAFE__() override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++entered_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }

  // Waits until the work has been entered `count` times in all.
  void WaitEntered(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return entered_ >= count; });
  }

  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

  int Entered() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entered_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int entered_ = 0;
  bool open_ = false;
};

// Polls IsRunning the way language code does until the work has ended.
void poll_until_finished(VoThread* t) {
  while (t->IsRunning()) std::this_thread::yield();
}

VoDataBuffer* make_buffer(int length) {
  auto* buf = new VoDataBuffer();
  EXPECT_TRUE(buf->_New(length));
  return buf;
}

void expect_squares(const VoDataBuffer* buf) {
  for (int i = 0; i < buf->Length() / 4; ++i) ASSERT_EQ(buf->PeekInt(i * 4), i * i) << i;
}

TEST(Thread, WorkerFillsBufferThenIsNoLongerRunning) {
  VoDataBuffer* buf = make_buffer(4096);
  auto* t = new SquaresThread(buf);
  EXPECT_FALSE(t->IsRunning());
  t->Start();
  poll_until_finished(t);
  // Once IsRunning reads false, everything the worker wrote is visible.
  expect_squares(buf);
  EXPECT_EQ(t->Result(), buf);
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
  EXPECT_EQ(t->runs.load(), 1);
}

TEST(Thread, WaitJoinsARunningWorker) {
  VoDataBuffer* buf = make_buffer(1 << 16);
  auto* t = new SquaresThread(buf);
  t->Start();
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
  expect_squares(buf);
  // Waiting again on the idle thread returns at once.
  t->Wait();
  EXPECT_EQ(t->runs.load(), 1);
}

TEST(Thread, StartWhileRunningIsIgnored) {
  auto* t = new GatedThread();
  t->Start();
  t->WaitEntered(1);
  t->Start();
  EXPECT_TRUE(t->IsRunning());
  t->Open();
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
  EXPECT_EQ(t->Entered(), 1);
}

TEST(Thread, StartAfterFinishingRunsTheWorkAgain) {
  VoDataBuffer* buf = make_buffer(256);
  auto* t = new SquaresThread(buf);
  t->Start();
  poll_until_finished(t);
  // Finished but not joined: Start releases the old worker and runs again.
  for (int i = 0; i < buf->Length(); ++i) buf->PokeByte(i, 0);
  t->Start();
  t->Wait();
  expect_squares(buf);
  EXPECT_EQ(t->runs.load(), 2);
  // And once more from the idle state.
  t->Start();
  t->Wait();
  EXPECT_EQ(t->runs.load(), 3);
}

TEST(Thread, WaitOnANeverStartedThreadReturnsAtOnce) {
  auto* t = new VoThread();
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
  EXPECT_EQ(t->Result(), nullptr);
  // The base work does nothing and the thread still goes through its states.
  t->Start();
  t->Wait();
  EXPECT_FALSE(t->IsRunning());
}

}  // namespace
