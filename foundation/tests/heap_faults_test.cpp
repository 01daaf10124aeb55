#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/heap_faults.h"

namespace {

// Disarms whatever a test left armed, so one failing test cannot fail the
// allocations of the next.
struct HeapFaultsTest : ::testing::Test {
  void TearDown() override { HeapFailNthAllocation(0); }
};

TEST_F(HeapFaultsTest, TheArmedAllocationFailsAndNoOther) {
  HeapFailNthAllocation(3);
  void* first = HeapAllocZ(8);
  void* second = HeapAllocZ(8);
  EXPECT_TRUE(HeapFailurePending());
  EXPECT_THROW(HeapAllocZ(8), ZEQOutOfMemory);
  EXPECT_FALSE(HeapFailurePending());
  void* fourth = HeapAllocZ(8);
  EXPECT_NE(nullptr, fourth);
  for (void* block : {first, second, fourth}) HeapFreeZ(block);
}

TEST_F(HeapFaultsTest, AResizeCountsAsAnAllocationAndKeepsTheBlock) {
  auto* text = static_cast<char*>(HeapAllocZ(8));
  strcpy(text, "intact");
  HeapFailNthAllocation(1);
  EXPECT_THROW(HeapReAllocZ(text, 4096), ZEQOutOfMemory);
  EXPECT_STREQ("intact", text);
  HeapFreeZ(text);
}

TEST_F(HeapFaultsTest, NewAndStandardContainersFailThroughTheSameHook) {
  HeapFailNthAllocation(1);
  EXPECT_THROW(std::string(100, 'x'), std::bad_alloc);
  HeapFailNthAllocation(1);
  EXPECT_EQ(nullptr, new (std::nothrow) char[10]);
}

TEST_F(HeapFaultsTest, DisarmingCancelsAPendingFailure) {
  HeapFailNthAllocation(1);
  HeapFailNthAllocation(0);
  EXPECT_FALSE(HeapFailurePending());
  HeapFreeZ(HeapAllocZ(1));
}

// A thread started before a test counts or arms anything (starting one
// allocates here a record that the new thread frees), which then runs one
// piece of work at a time on request.
class OtherThread {
 public:
  OtherThread() : thread_([this] { Serve(); }) {}
  ~OtherThread() {
    Run(nullptr);
    thread_.join();
  }
  // Runs work on the other thread and waits until it is done; null ends it.
  void Run(std::function<void()>* work) {
    std::unique_lock<std::mutex> hold(m_);
    work_ = work;
    pending_ = true;
    changed_.notify_all();
    changed_.wait(hold, [this] { return !pending_; });
  }

 private:
  void Serve() {
    for (;;) {
      std::unique_lock<std::mutex> hold(m_);
      changed_.wait(hold, [this] { return pending_; });
      std::function<void()>* work = work_;
      if (work) (*work)();
      pending_ = false;
      changed_.notify_all();
      if (!work) return;
    }
  }
  std::mutex m_;
  std::condition_variable changed_;
  std::function<void()>* work_ = nullptr;
  bool pending_ = false;
  std::thread thread_;
};

TEST_F(HeapFaultsTest, OtherThreadsAllocateFreelyWhileOneIsArmed) {
  OtherThread other;
  bool allocated = false;
  std::function<void()> work = [&] {
    HeapFreeZ(HeapAllocZ(16));
    allocated = true;
  };
  HeapFailNthAllocation(1);
  other.Run(&work);
  EXPECT_TRUE(allocated);
  EXPECT_TRUE(HeapFailurePending());
}

TEST_F(HeapFaultsTest, CountersFollowEveryBlockAndEachThreadHasItsOwnBalance) {
  OtherThread other;
  void* given = nullptr;
  void* made = nullptr;
  std::function<void()> work = [&] {
    HeapFreeZ(given);
    made = HeapAllocZ(4);
  };
  const long long balance = HeapThreadBlockBalance();
  void* a = HeapAllocZ(4);
  given = HeapAllocZ(4);
  given = HeapReAllocZ(given, 400);
  EXPECT_EQ(balance + 2, HeapThreadBlockBalance());
  // The process-wide count moves with other threads too (under the
  // emulator the runtime's own threads allocate): it holds at least ours.
  EXPECT_GE(HeapLiveBlocks(), 2);
  other.Run(&work);
  // What the other thread freed and made leaves this thread's balance alone.
  EXPECT_EQ(balance + 2, HeapThreadBlockBalance());
  HeapFreeZ(made);
  HeapFreeSecure(a, 4, true);
  EXPECT_EQ(balance, HeapThreadBlockBalance());
  EXPECT_EQ(0, HeapFreeZ(nullptr));
  EXPECT_EQ(balance, HeapThreadBlockBalance());
}

// The sweep the layers' tests make: every allocation of a call fails in
// turn; the call gives its own out-of-memory result and leaves nothing.
TEST_F(HeapFaultsTest, ACountedTextEditLeavesNothingWhenAnyAllocationFails) {
  size_t failures = 0;
  for (size_t n = 1; n < 100; ++n) {
    char* text = static_cast<char*>(HeapAllocZ(6));
    memcpy(text, "a-b-c", 5);
    size_t length = 5;
    const long long balance = HeapThreadBlockBalance();
    HeapFailNthAllocation(n);
    bool threw = false;
    try {
      ReplaceAllBytes(&text, &length, "-", "<long replacement>", true);
    } catch (const ZEQOutOfMemory&) {
      threw = true;
    }
    const bool reached = !HeapFailurePending();
    HeapFailNthAllocation(0);
    EXPECT_EQ(balance, HeapThreadBlockBalance()) << "allocation " << n;
    // Whether or not it failed, the caller's text is whole.
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(strlen(text), length);
    HeapFreeZ(text);
    if (!reached) {
      EXPECT_FALSE(threw);
      break;
    }
    EXPECT_TRUE(threw) << "allocation " << n;
    ++failures;
  }
  EXPECT_GT(failures, 0u);
}

}  // namespace
