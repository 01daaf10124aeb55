#include <gtest/gtest.h>
#include <process.h>

#include <cstdio>
#include <cstring>

#include "foundation/marshal_packet.h"
#include "foundation/records.h"
#include "handle_probe.h"

namespace {

using ProbeHandle = ZEQSharedHandle<Probe>;

constexpr DWORD kWait = 10000;

TEST(MarshalPacket, CarriesOneReferenceUntilItIsFreed) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* packet = holder.Marshal(true);
  ASSERT_TRUE(KESTOMarshal::IsLocal(packet));
  char expected[32];
  snprintf(expected, sizeof(expected), "+KESTOMARSHAL%08X", static_cast<unsigned>(GetCurrentProcessId()));
  EXPECT_STREQ(expected, packet->tag);
  EXPECT_EQ(1u, packet->autoFree);
  EXPECT_EQ(2, holder.ShareCount());

  // The sender's own holder may go at once: the packet keeps the payload.
  holder.Release();
  EXPECT_EQ(0, record.deletions);
  FreeMarshalPacket(packet);
  EXPECT_EQ(1, record.deletions);
}

TEST(MarshalPacket, MarshalThenFreeLeavesTheCountUnchanged) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  FreeMarshalPacket(holder.Marshal(false));
  EXPECT_EQ(1, holder.ShareCount());
  EXPECT_EQ(0, record.deletions);
}

TEST(MarshalPacket, AutoFreeFollowsThePayloadTypesRule) {
  DeleteRecord record;
  struct Case {
    KESTOMarshalPacket* packet;
    uint32_t expected;
  };
  ProbeHandle asked(NewPayload<Probe>(&record));
  ZEQSharedHandle<SelfFreedProbe> borrowed(NewPayload<SelfFreedProbe>(&record));
  ZEQSharedHandle<ConsumedProbe> consumed(NewPayload<ConsumedProbe>(&record));
  const Case cases[] = {
      {asked.Marshal(true), 1},     {asked.Marshal(false), 0},    {borrowed.Marshal(true), 0},
      {borrowed.Marshal(false), 0}, {consumed.Marshal(true), 1}, {consumed.Marshal(false), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, c.packet->autoFree);
    FreeMarshalPacket(c.packet);
  }
}

TEST(MarshalPacket, ConsumedOnReceipt) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* packet = holder.Marshal(true);
  ProbeHandle received(packet);
  EXPECT_EQ(holder.Get(), received.Get());
  EXPECT_EQ(nullptr, received.RememberedPacket());
  // The packet's reference went with the packet; the receiver has its own.
  EXPECT_EQ(2, holder.ShareCount());

  // The same value delivered again (a duplicated message) is refused: the
  // consumed packet was retired before its memory was freed.
  ProbeHandle again(packet);
  EXPECT_FALSE(again.IsSet());
  FreeMarshalPacket(packet);
  EXPECT_EQ(2, holder.ShareCount());
}

TEST(MarshalPacket, BorrowedPacketIsRememberedAndDroppedOnce) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* packet = holder.Marshal(false);
  ProbeHandle first(packet);
  ProbeHandle second;
  second.AssignFromMarshal(packet);  // a packet kept as a property is read many times
  EXPECT_TRUE(KESTOMarshal::IsLocal(packet));
  EXPECT_EQ(packet, first.RememberedPacket());
  EXPECT_EQ(packet, second.RememberedPacket());
  EXPECT_EQ(holder.Get(), second.Get());
  EXPECT_EQ(4, holder.ShareCount());

  first.DropPacket();
  EXPECT_EQ(nullptr, first.RememberedPacket());
  EXPECT_TRUE(first.IsSet());
  EXPECT_EQ(3, holder.ShareCount());

  // Reset forgets the remembered packet without freeing it again.
  second.Reset();
  EXPECT_EQ(nullptr, second.RememberedPacket());
  second.DropPacket();
  EXPECT_EQ(2, holder.ShareCount());
}

TEST(MarshalPacket, RetiredPacketIsRejectedAndIgnored) {
  DeleteRecord record, previous;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* packet = holder.Marshal(true);
  ZEQRetireRecord(packet);
  EXPECT_FALSE(KESTOMarshal::IsLocal(packet));

  ProbeHandle constructed(packet);
  EXPECT_TRUE(constructed.IsEmpty());
  ProbeHandle kept(NewPayload<Probe>(&previous));
  kept.AssignFromMarshal(packet);
  EXPECT_EQ(&previous, kept->record);
  EXPECT_EQ(packet, FreeMarshalPacket(packet));
  EXPECT_EQ(2, holder.ShareCount());

  packet->tag[0] = '+';  // only to give the test's reference back
  FreeMarshalPacket(packet);
  EXPECT_EQ(1, holder.ShareCount());
}

TEST(MarshalPacket, ValuesThatAreNoPacketOfThisProcess) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* live = holder.Marshal(true);

  // The same bytes with another process's id in the tag.
  auto* foreign = static_cast<KESTOMarshalPacket*>(HeapAllocZ(sizeof(KESTOMarshalPacket)));
  memcpy(foreign, live, sizeof(*foreign));
  snprintf(foreign->tag, sizeof(foreign->tag), "+KESTOMARSHAL%08X",
           static_cast<unsigned>(GetCurrentProcessId() + 4));
  // A longer text that starts with the local tag is no packet either.
  auto* longer = static_cast<KESTOMarshalPacket*>(HeapAllocZ(sizeof(KESTOMarshalPacket)));
  memcpy(longer, live, sizeof(*longer));
  longer->tag[21] = 'X';
  static const char readOnly[64] = "+KESTOMARSHAL";

  const void* values[] = {nullptr, reinterpret_cast<void*>(0x1234), foreign, longer, readOnly,
                          reinterpret_cast<void*>(&ProbeDelete)};
  for (const void* value : values) {
    auto* packet = static_cast<KESTOMarshalPacket*>(const_cast<void*>(value));
    EXPECT_FALSE(KESTOMarshal::IsLocal(packet)) << value;
    ProbeHandle received(packet);
    EXPECT_TRUE(received.IsEmpty());
    EXPECT_EQ(packet, FreeMarshalPacket(packet));
  }
  EXPECT_EQ(2, holder.ShareCount());
  HeapFreeZ(foreign);
  HeapFreeZ(longer);
  FreeMarshalPacket(live);
}

TEST(MarshalPacket, NullPacketReleasesOnlyACopiedHolder) {
  DeleteRecord record;
  ProbeHandle maker(NewPayload<Probe>(&record));
  ProbeHandle copy(maker);
  KESTOMarshalPacket* packet = maker.Marshal(false);
  copy.AssignFromMarshal(packet);
  copy.AssignFromMarshal(nullptr);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(nullptr, copy.RememberedPacket());
  maker.AssignFromMarshal(nullptr);
  EXPECT_TRUE(maker.IsSet());
  FreeMarshalPacket(packet);
  EXPECT_EQ(1, maker.ShareCount());
}

// A window on a thread of its own, with its own message loop; it receives
// packets as the lParam of WM_APP.
class WindowThread {
 public:
  struct Receipt {
    DeleteRecord* record = nullptr;
    LONG count = 0;
    DWORD thread = 0;
  };

  WindowThread() {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    received_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Run, this, 0, &threadId_));
    WaitForSingleObject(ready_, kWait);
  }
  ~WindowThread() {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread_, kWait);
    CloseHandle(thread_);
    CloseHandle(ready_);
    CloseHandle(received_);
  }
  HWND window() const { return window_; }
  DWORD threadId() const { return threadId_; }
  bool WaitReceived() { return WaitForSingleObject(received_, kWait) == WAIT_OBJECT_0; }
  Receipt receipt;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      auto* self = reinterpret_cast<WindowThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      ProbeHandle payload(ZEQPacketFromValue(static_cast<uintptr_t>(lParam)));
      self->receipt.record = payload.IsSet() ? payload->record : nullptr;
      self->receipt.count = payload.ShareCount();
      self->receipt.thread = GetCurrentThreadId();
      payload.Release();
      SetEvent(self->received_);
      return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
  }

  static unsigned __stdcall Run(void* arg) {
    auto* self = static_cast<WindowThread*>(arg);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZEQMarshalPacketTestWindow";
    RegisterClassW(&windowClass);
    self->window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
    if (self->window_) SetWindowLongPtrW(self->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    SetEvent(self->ready_);
    MSG message;
    while (self->window_ && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
  }

  HANDLE ready_ = nullptr;
  HANDLE received_ = nullptr;
  HANDLE thread_ = nullptr;
  unsigned threadId_ = 0;
  HWND window_ = nullptr;
};

TEST(MarshalPacket, PostedToAWindowOfAnotherThreadAndConsumedThere) {
  WindowThread target;
  ASSERT_NE(nullptr, target.window());
  DeleteRecord record;
  {
    ProbeHandle holder(NewPayload<Probe>(&record));
    ASSERT_TRUE(PostMessageW(target.window(), WM_APP, 0, reinterpret_cast<LPARAM>(holder.Marshal(true))));
    ASSERT_TRUE(target.WaitReceived());
    // Before Marshal: 1; the packet's reference went away with the packet,
    // the receiver added its own.
    EXPECT_EQ(2, target.receipt.count);
    EXPECT_EQ(&record, target.receipt.record);
    EXPECT_EQ(target.threadId(), target.receipt.thread);
    EXPECT_EQ(1, holder.ShareCount());
  }
  EXPECT_EQ(1, record.deletions);
  EXPECT_EQ(GetCurrentThreadId(), record.thread);

  // The sender lets go before the message is handled: the window's thread
  // makes the last release.
  DeleteRecord late;
  {
    ProbeHandle holder(NewPayload<Probe>(&late));
    KESTOMarshalPacket* packet = holder.Marshal(true);
    holder.Release();
    ASSERT_TRUE(PostMessageW(target.window(), WM_APP, 0, reinterpret_cast<LPARAM>(packet)));
  }
  ASSERT_TRUE(target.WaitReceived());
  EXPECT_EQ(1, target.receipt.count);
  EXPECT_EQ(1, late.deletions);
  EXPECT_EQ(target.threadId(), late.thread);
}

unsigned __stdcall TakeOverPacket(void* argument) {
  // The packet is the whole argument; the thread takes the payload over and
  // marks it.
  ProbeHandle payload;
  payload.AssignFromMarshal(static_cast<KESTOMarshalPacket*>(argument));
  if (!payload.IsSet()) return 0;
  payload->value = static_cast<int>(GetCurrentThreadId());
  return static_cast<unsigned>(payload.ShareCount());
}

TEST(MarshalPacket, PassedAsAThreadArgument) {
  DeleteRecord record;
  ProbeHandle holder(NewPayload<Probe>(&record));
  KESTOMarshalPacket* packet = holder.Marshal(true);
  unsigned threadId = 0;
  auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TakeOverPacket, packet, 0, &threadId));
  if (!thread) FreeMarshalPacket(packet);  // nobody else refers to it then
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, kWait));
  DWORD count = 0;
  GetExitCodeThread(thread, &count);
  CloseHandle(thread);
  EXPECT_EQ(2u, count);  // the sender's and the thread's own
  EXPECT_EQ(static_cast<int>(threadId), holder->value);
  EXPECT_EQ(1, holder.ShareCount());
  EXPECT_EQ(0, record.deletions);
}

}  // namespace
