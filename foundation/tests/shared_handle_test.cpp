#include <gtest/gtest.h>
#include <functional>
#include <vector>

#include "foundation/shared_handle.h"
#include "handle_probe.h"
#include "test_threads.h"

namespace {

using ProbeHandle = ZEQSharedHandle<Probe>;

// Runs `body(index)` on `count` threads released together.
void RunThreads(int count, std::function<void(int)> body) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  volatile LONG started = 0;
  bool ended = RunOnThreads(count, [&](int index) {
    if (InterlockedIncrement(&started) == count) SetEvent(go);
    WaitForSingleObject(go, 10000);
    body(index);
  });
  CloseHandle(go);
  ASSERT_TRUE(ended);
}

// Holds every thread of a round until all have arrived (bounded).
void ArriveAndWait(volatile LONG* arrived, LONG count) {
  InterlockedIncrement(arrived);
  for (int i = 0; i < 30000 && *arrived < count; ++i) Sleep(1);
}

TEST(SharedHandle, LastOfCopiesAndAssignmentsRunsTheDeleterOnce) {
  DeleteRecord record;
  auto* holder = new ProbeHandle(NewPayload<Probe>(&record));
  EXPECT_TRUE(holder->IsSet());
  EXPECT_EQ(1, holder->ShareCount());
  ProbeHandle copy(*holder);
  ProbeHandle assigned;
  assigned = copy;
  EXPECT_EQ(holder->Get(), assigned.Get());
  EXPECT_EQ(3, assigned.ShareCount());

  // The holder that made the payload lets go first: the payload stays, the
  // holder is empty and destroying it changes nothing.
  holder->Release();
  EXPECT_TRUE(holder->IsEmpty());
  EXPECT_FALSE(holder->IsSet());
  delete holder;
  EXPECT_EQ(2, copy.ShareCount());
  EXPECT_EQ(0, record.deletions);

  copy.Release();
  EXPECT_EQ(0, record.deletions);
  assigned.Release();
  EXPECT_EQ(1, record.deletions);
  EXPECT_EQ(GetCurrentThreadId(), record.thread);
  assigned.Release();
  EXPECT_EQ(1, record.deletions);
}

TEST(SharedHandle, AssignmentEdgeCases) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  const auto& alias = holder;
  holder = alias;  // to itself
  EXPECT_TRUE(holder.IsSet());
  EXPECT_EQ(1, holder.ShareCount());

  ProbeHandle empty;
  holder = empty;  // from an empty holder: the reference is released
  EXPECT_TRUE(holder.IsEmpty());
  EXPECT_EQ(1, record.deletions);

  // An assignment replaces the target's payload, releasing the old one.
  DeleteRecord first, second;
  ProbeHandle a(NewPayload<Probe>(&first));
  ProbeHandle b(NewPayload<Probe>(&second));
  a = b;
  EXPECT_EQ(1, first.deletions);
  EXPECT_EQ(a.Get(), b.Get());
  EXPECT_EQ(2, b.ShareCount());
}

TEST(SharedHandle, ResetReleasesOnlyCopies) {
  DeleteRecord record;
  ProbeHandle maker(NewPayload<Probe>(&record));
  ProbeHandle copy(maker);
  copy.Reset();
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(1, maker.ShareCount());
  maker.Reset();  // made around its payload: keeps its reference
  EXPECT_TRUE(maker.IsSet());
  EXPECT_EQ(0, record.deletions);
}

TEST(SharedHandle, DeleterThatFreesThePayloadItself) {
  DeleteRecord record;
  {
    ZEQSharedHandle<SelfFreedProbe> holder(NewPayload<SelfFreedProbe>(&record));
    ZEQSharedHandle<SelfFreedProbe> copy(holder);
  }
  EXPECT_EQ(1, record.deletions);
}

TEST(SharedHandle, InPlaceHolderInAZeroedRecord) {
  struct Record {
    int before;
    alignas(ProbeHandle) unsigned char holder[sizeof(ProbeHandle)];
  };
  auto* record = static_cast<Record*>(HeapAllocZ(sizeof(Record)));
  ProbeHandle* holder = ProbeHandle::InitEmpty(record->holder);
  EXPECT_TRUE(holder->IsEmpty());
  DeleteRecord deletions;
  holder->AttachNewPayload(NewPayload<Probe>(&deletions));
  holder->~ProbeHandle();
  EXPECT_EQ(1, deletions.deletions);
  HeapFreeZ(record);
}

// A unknown object that counts its releases, to see a VARIANT cleared.
struct CountingUnknown : IUnknown {
  LONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
};

TEST(SharedHandle, VariantHolderClearsItsVariant) {
  CountingUnknown object;
  {
    ZEQSharedHandle<VARIANT> holder;
    holder.InitVariant();
    ASSERT_TRUE(holder.IsSet());
    EXPECT_EQ(VT_EMPTY, holder->vt);
    object.AddRef();
    holder->vt = VT_UNKNOWN;
    holder->punkVal = &object;
    ZEQSharedHandle<VARIANT> copy(holder);
    holder.Release();
    EXPECT_EQ(2, object.refs);
  }
  EXPECT_EQ(1, object.refs);
}

TEST(SharedHandle, CopiesReleasedConcurrentlyRunTheDeleterOnceOnTheLastThread) {
  constexpr int kThreads = 8;
  for (int round = 0; round < 50; ++round) {
    DeleteRecord record;
    auto* origin = new ProbeHandle(NewPayload<Probe>(&record));
    std::vector<ProbeHandle*> mine, pool;
    for (int i = 0; i < kThreads; ++i) {
      mine.push_back(new ProbeHandle(*origin));
      pool.push_back(new ProbeHandle(*origin));
    }
    // The maker lets go first, so one of the workers makes the last release.
    delete origin;
    DWORD workers[kThreads] = {};
    volatile LONG arrived = 0;
    RunThreads(kThreads, [&](int index) {
      workers[index] = GetCurrentThreadId();
      for (int i = 0; i < 20; ++i) {
        ProbeHandle local(*mine[index]);
        ProbeHandle other;
        other = *pool[(index + 1) % kThreads];  // a holder other threads copy too
        local = other;
        other.Release();
      }
      // The pool stays until every thread is done copying from it.
      ArriveAndWait(&arrived, kThreads);
      delete pool[index];
      delete mine[index];
    });
    ASSERT_EQ(1, record.deletions) << "round " << round;
    bool onAWorker = false;
    for (DWORD worker : workers) onAWorker |= worker == record.thread;
    ASSERT_TRUE(onAWorker) << "round " << round;
  }
}

TEST(SharedHandle, DeleterRunsOnTheThreadOfTheLastRelease) {
  DeleteRecord record;
  auto* first = new ProbeHandle(NewPayload<Probe>(&record));
  auto* second = new ProbeHandle(*first);
  auto* third = new ProbeHandle(*first);
  DWORD threads[2] = {};
  HANDLE turn = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  delete first;
  RunThreads(2, [&](int index) {
    threads[index] = GetCurrentThreadId();
    if (index == 0) {
      delete second;
      SetEvent(turn);
    } else {
      WaitForSingleObject(turn, 10000);
      delete third;
    }
  });
  CloseHandle(turn);
  EXPECT_EQ(1, record.deletions);
  EXPECT_EQ(threads[1], record.thread);
  EXPECT_NE(GetCurrentThreadId(), record.thread);
}

TEST(HandleIds, IdsAreSharedByCopiesAndResolveWhileThePayloadLives) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  ProbeHandle copy(holder);
  uint32_t id = holder.GetId();
  ASSERT_NE(0u, id);
  EXPECT_EQ(id, copy.GetId());
  EXPECT_TRUE(ZEQHandleRegistryContains(id));

  int found = -1;
  ProbeHandle resolved;
  resolved.AssignAndDeleteSource(ProbeHandle::NewFromId(id, &found));
  EXPECT_EQ(1, found);
  EXPECT_EQ(holder.Get(), resolved.Get());
  EXPECT_EQ(3, holder.ShareCount());

  // The id holds nothing alive by itself.
  holder.Release();
  copy.Release();
  EXPECT_EQ(0, record.deletions);
  resolved.Release();
  EXPECT_EQ(1, record.deletions);
  EXPECT_FALSE(ZEQHandleRegistryContains(id));

  resolved.AssignAndDeleteSource(ProbeHandle::NewFromId(id, &found));
  EXPECT_FALSE(resolved.IsSet());
  EXPECT_EQ(0, found);
}

TEST(HandleIds, LookUpEdgeCases) {
  int found = -1;
  ProbeHandle holder;
  holder.AssignAndDeleteSource(ProbeHandle::NewFromId(0, &found));
  EXPECT_FALSE(holder.IsSet());
  EXPECT_EQ(1, found);
  holder.AssignAndDeleteSource(ProbeHandle::NewFromId(0xFFFFFFF0u, &found));
  EXPECT_FALSE(holder.IsSet());
  EXPECT_EQ(0, found);
  EXPECT_EQ(0u, holder.GetId());  // nothing to name

  // Ids are unique across payload types, and an id of one type does not
  // resolve as another type.
  DeleteRecord a, b;
  ProbeHandle probe(NewPayload<Probe>(&a));
  ZEQSharedHandle<SelfFreedProbe> other(NewPayload<SelfFreedProbe>(&b));
  uint32_t probeId = probe.GetId();
  uint32_t otherId = other.GetId();
  EXPECT_NE(probeId, otherId);
  EXPECT_GT(otherId, probeId);
  ZEQSharedHandle<SelfFreedProbe> wrong;
  wrong.AssignAndDeleteSource(ZEQSharedHandle<SelfFreedProbe>::NewFromId(probeId, &found));
  EXPECT_FALSE(wrong.IsSet());
  EXPECT_EQ(0, found);
  EXPECT_EQ(1, probe.ShareCount());
}

TEST(HandleIds, LookUpsRacingTheLastReleaseNeverReviveThePayload) {
  for (int round = 0; round < 100; ++round) {
    DeleteRecord record;
    auto* holder = new ProbeHandle(NewPayload<Probe>(&record));
    uint32_t id = holder->GetId();
    RunThreads(4, [&](int index) {
      if (index == 0) {
        delete holder;
        return;
      }
      for (int i = 0; i < 200; ++i) {
        ProbeHandle found;
        found.AssignAndDeleteSource(ProbeHandle::NewFromId(id));
        if (found.IsSet()) {
          // A resolved holder keeps the payload alive while it is held.
          EXPECT_EQ(0, record.deletions);
          EXPECT_EQ(&record, found->record);
        }
      }
    });
    ASSERT_EQ(1, record.deletions) << "round " << round;
    ASSERT_FALSE(ZEQHandleRegistryContains(id));
  }
}

}  // namespace
