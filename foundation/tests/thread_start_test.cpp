// Thread start blocks: the new thread finds its own handle in the block and
// frees the block at its end, and nothing writes into the block after that.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "foundation/heap.h"
#include "foundation/thread_start.h"

namespace {

constexpr unsigned char kPattern = 0xAB;

struct StartRun {
  bool sawOwnHandle = false;
  bool sawBlock = false;
  unsigned char* reused = nullptr;  // allocated right after the block was freed
  HANDLE done = nullptr;
};

// Frees its block at once and takes a block of the same size, which the heap
// tends to hand out at the same address: a late write by the starter would
// show in it.
unsigned __stdcall FinishAtOnce(void* argument) {
  ZEQBeginThreadParam* block = ZEQBeginThreadParam::FromArgument(argument);
  StartRun* run = reinterpret_cast<StartRun*>(block ? block->context : 0);
  if (!run) return 1;
  run->sawBlock = true;
  run->sawOwnHandle = block->thread && GetThreadId(block->thread) == GetCurrentThreadId();
  HANDLE done = run->done;
  block->Finish();
  run->reused = static_cast<unsigned char*>(HeapAllocZ(sizeof(ZEQBeginThreadParam)));
  std::memset(run->reused, kPattern, sizeof(ZEQBeginThreadParam));
  SetEvent(done);
  return 0;
}

TEST(ThreadStart, TheThreadOwnsTheBlockFromItsFirstInstruction) {
  constexpr int kRuns = 200;
  std::vector<StartRun> runs(kRuns);
  for (auto& run : runs) {
    run.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ZEQBeginThreadParam* block = ZEQBeginThreadParam::Create(reinterpret_cast<uintptr_t>(&run), nullptr);
    ASSERT_NE(nullptr, block->Start(FinishAtOnce));
  }
  for (auto& run : runs) {
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.done, 10000));
    CloseHandle(run.done);
    EXPECT_TRUE(run.sawBlock);
    EXPECT_TRUE(run.sawOwnHandle);
    ASSERT_NE(nullptr, run.reused);
    for (size_t i = 0; i < sizeof(ZEQBeginThreadParam); ++i) ASSERT_EQ(kPattern, run.reused[i]) << i;
    HeapFreeZ(run.reused);
  }
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

struct Observed {
  uintptr_t context = 0;
  KESTOMarshalPacket* packet = nullptr;
  HANDLE go = nullptr;
};

unsigned __stdcall FinishWhenTold(void* argument) {
  ZEQBeginThreadParam* block = ZEQBeginThreadParam::FromArgument(argument);
  auto* observed = reinterpret_cast<Observed*>(block->context);
  observed->context = block->context;
  observed->packet = block->packet;
  WaitForSingleObject(observed->go, 10000);
  block->Finish();
  return 0;
}

TEST(ThreadStart, TheEndEventIsSignalledAsTheThreadEnds) {
  Observed observed;
  observed.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* packet = reinterpret_cast<KESTOMarshalPacket*>(&observed.go);  // only carried
  ZEQBeginThreadParam* block = ZEQBeginThreadParam::Create(reinterpret_cast<uintptr_t>(&observed), packet);
  EXPECT_STREQ(kZEQBeginThreadParamTag, block->header.tag);
  EXPECT_EQ(0, block->header.serial);
  ASSERT_NE(nullptr, block->endEvent);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(block->endEvent, 0));
  // The block closes its own copy of the event; the starter keeps one.
  HANDLE end = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), block->endEvent, GetCurrentProcess(), &end, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  HANDLE thread = block->Start(FinishWhenTold);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(end, 50));
  SetEvent(observed.go);
  EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(end, 10000));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&observed), observed.context);
  EXPECT_EQ(packet, observed.packet);
  CloseHandle(end);
  CloseHandle(observed.go);
}

TEST(ThreadStart, OnlyStartBlocksPassAsArguments) {
  ZEQBeginThreadParam* block = ZEQBeginThreadParam::Create(7, nullptr);
  EXPECT_EQ(block, ZEQBeginThreadParam::FromArgument(block));
  char other[sizeof(ZEQBeginThreadParam)] = "+BEGINTHREAD";
  EXPECT_EQ(nullptr, ZEQBeginThreadParam::FromArgument(other));
  EXPECT_EQ(nullptr, ZEQBeginThreadParam::FromArgument(nullptr));
  block->Free();  // never started
}

}  // namespace
