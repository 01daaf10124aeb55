// The close protocol of program windows, close denials, close waiters and
// the shutdown walk.
#include "windows/window_close.h"

#include <cstdint>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/marshal_packet.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/waits.h"
#include "windows/common_window_proc.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

namespace {

constexpr char kWaiterTag[] = "+ZEQCLOSEWAITER";
constexpr char kAliveEvent[] = "HWND::ALIVEEVENT";
constexpr char kSystemClose[] = "$system.close()";
constexpr int kListTail = 0x7FFFFFFF;
constexpr uint32_t kModalEnd = 6;  // end | modal

void SetBits(volatile uint32_t* word, uint32_t bits) {
  InterlockedOr(reinterpret_cast<volatile LONG*>(word), static_cast<LONG>(bits));
}
void ClearBits(volatile uint32_t* word, uint32_t bits) {
  InterlockedAnd(reinterpret_cast<volatile LONG*>(word), static_cast<LONG>(~bits));
}

// The waiter behind a list item's packet, shared for the caller.
ZEQCloseWaiterHolder WaiterFromItem(ZEQListItem* item) {
  ZEQCloseWaiterHolder holder;
  auto packet = ZEQPacketFromValue(item ? item->value1 : 0);
  if (packet && KESTOMarshal::IsLocal(packet)) {
    ZEQCloseWaiterHolder borrowed;
    borrowed.AssignFromMarshal(packet);
    holder.ShareFrom(borrowed);
  }
  return holder;
}

// Every waiter of the window receives its own parking of the close value,
// made from a copy for this thread.
void HandCloseValueToWaiters(ZEQBASEWINDOW* record) {
  VARIANT value;
  VariantInit(&value);
  bool haveValue = false;
  if (record->container.IsSet() && record->container->closeArguments) {
    haveValue = UnmarshalVariantForThread(&value, record->container->closeArguments) != FALSE;
  }
  ZEQList* waiters = record->closeWaiters;
  if (waiters) {
    ZEQLockGuard hold(waiters->lock);
    for (int index = 0; index < waiters->count; ++index) {
      ZEQCloseWaiterHolder waiter = WaiterFromItem(waiters->GetItemAt(index));
      if (!waiter.IsSet()) continue;
      ZEQMarshaledVariant* parked = nullptr;
      if (haveValue) {
        try {
          parked = MarshalVariantForThread(&value);
        } catch (...) {
          ZEQLogPrintf("!ZEQHandleCloseWindowMessage: Unexpected exception...");
        }
      }
      auto old = static_cast<ZEQMarshaledVariant*>(
          InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&waiter->value), parked));
      ZEQMarshaledVariant::Free(old);
      InterlockedExchange(&waiter->closed, 1);
    }
  }
  VariantClear(&value);
}

// The first skin element whose click closes the window, or -1.
int CloseElement(const ZEQBASESKIN* skin) {
  if (!skin) return -1;
  for (int index = 0; index < kSkinElementCount; ++index) {
    const char* click = skin->elements[index].onClick.data;
    if (click && strstr(click, kSystemClose)) return index;
  }
  return -1;
}

}  // namespace

BOOL ZEQPostCloseWindow(HWND window, WPARAM value, bool fromUser) {
  if (!window) return FALSE;
  if (ZEQIsTopWindow(window) && ZEQGetApplicationState() == kZEQAppRunning) return FALSE;
  if (fromUser) {
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (record.IsSet() && (record->attributes & kWindowCloseRefused)) return FALSE;
  }
  return PostMessageA(window, CMSG_CLOSEWINDOW, value, fromUser ? 1 : 0) ? TRUE : FALSE;
}

void ZEQCancelWindowClose(HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet()) return;
  ClearBits(&record->attributes, kWindowClosing);
  ClearBits(&record->stateBits, kWindowDestroyedByClose);
}

BOOL ZEQHandleCloseWindowMessage(bool fromUser, HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || (record->frameFlags & kFrameCloseDenied)) {
    ZEQCancelWindowClose(window);
    return FALSE;
  }
  SetBits(&record->attributes, kWindowClosing);
  if (!(record->attributes & kWindowForcedClose)) {
    HWND parent = record->owner ? record->owner : GetOwnerWindowExt(window);
    if (parent && IsWindow(parent)) {
      ZEQRaiseWindowEventBool(ZEQGetBodyWindow(parent), L"ZEQOnClosingChildWindow", fromUser, kZEQEventPosted,
                              ZEQEventTarget::Host);
    }
    const uint32_t answer = ZEQRaiseWindowEventBool(ZEQGetBodyWindow(window), L"ZEQOnClosingWindow", fromUser,
                                                    kZEQEventAsking, ZEQEventTarget::Host);
    if (ZEQEventCancels(answer)) {
      ZEQCancelWindowClose(window);
      return FALSE;
    }
    // The page may have closed the window itself meanwhile.
    if (!IsWindow(window)) return TRUE;
  }
  HandCloseValueToWaiters(record.Get());
  ZEQDestroyProgramWindow(window);
  return TRUE;
}

BOOL ZEQDestroyProgramWindow(HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (record.IsSet()) {
    if (record->frameFlags & kFrameCloseDenied) return FALSE;
    if (record->modalChild && IsWindow(record->modalChild)) ZEQPostCloseWindow(record->modalChild, 0, false);
    const ZEQWindowRelationHooks* hooks = ZEQGetWindowRelationHooks();
    if ((record->frameFlags & kFrameModal) && record->skin.IsSet() && hooks->setModalState) {
      hooks->setModalState(window, kModalEnd);
    }
    SetBits(&record->stateBits, kWindowDestroyedByClose);
    ClearBits(&record->stateBits, kRecordStateClosing);
  }
  return DestroyWindowExt(window, FALSE);
}

int ZEQDenyWindowClose(bool deny, const ZEQWindowHolder& holder) {
  ZEQBASEWINDOW* record = holder.Get();
  if (!record) return 1;
  const LONG count = deny ? InterlockedIncrement(&record->denyCloseCount)
                          : InterlockedDecrement(&record->denyCloseCount);
  if (count > 0) {
    SetBits(&record->frameFlags, kFrameCloseDenied);
  } else {
    ClearBits(&record->frameFlags, kFrameCloseDenied);
  }
  ZEQBASESKIN* skin = record->skin.Get();
  const int element = CloseElement(skin);
  if (element >= 0) {
    skin->elements[element].forcedState = count > 0 ? 0x10000000 : 0;
    // The element's own rectangle belongs to the skin drawing; the whole
    // client area covers it.
    if (IsWindow(record->window)) InvalidateRect(record->window, nullptr, FALSE);
  }
  return 1;
}

int ZEQCloseAllWindows() {
  ZEQList* records = ZEQWindowRecordList();
  if (!records || records->count == 0) return 1;
  HWND* handles = nullptr;
  int count = 0;
  {
    ZEQLockGuard hold(records->lock);
    count = records->count;
    if (count <= 0) return 1;
    if (static_cast<size_t>(count) > SIZE_MAX / sizeof(HWND)) return 1;
    try {
      handles = HeapAllocArray<HWND>(static_cast<size_t>(count));
    } catch (...) {
      ZEQLogPrintf("!ZEQCloseAllWindows: Unexpected exception...");
      return 1;
    }
    for (int index = 0; index < count; ++index) {
      ZEQListItem* item = records->GetItemAt(index);
      auto packet = ZEQPacketFromValue(item ? item->value1 : 0);
      if (!packet || !KESTOMarshal::IsLocal(packet)) continue;
      ZEQWindowHolder borrowed;
      borrowed.AssignFromMarshal(packet);
      ZEQWindowHolder record;
      record.ShareFrom(borrowed);
      if (record.IsSet()) handles[index] = record->window;
    }
  }
  const bool running = ZEQGetApplicationState() == kZEQAppRunning;
  for (int index = 0; index < count; ++index) {
    HWND window = handles[index];
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (record.IsSet()) {
      SetBits(&record->attributes, kWindowForcedClose);
      ClearBits(&record->frameFlags, kFrameCloseDenied);
    }
    if (window && !(running && ZEQIsTopWindow(window))) PostMessageA(window, CMSG_CLOSEWINDOW, 0, 0);
  }
  HeapFreeZ(handles);
  const DWORD start = GetTickCount();
  while (records->count > 0 && GetTickCount() - start < kZEQCloseAllWindowsWaitMs) SleepPumpMessages(10);
  return 1;
}

void ZEQCloseWaiterDelete(ZEQCLOSEWAITER* waiter) {
  if (!waiter) return;
  ZEQMarshaledVariant::Free(waiter->value);
  waiter->value = nullptr;
  ZEQRetireRecord(waiter);
}

bool ZEQAddCloseWaiter(HWND window, ZEQCloseWaiterHolder* out) {
  out->Reset();
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || !record->closeWaiters) return false;
  auto waiter = static_cast<ZEQCLOSEWAITER*>(HeapAllocZ(sizeof(ZEQCLOSEWAITER)));
  ZEQStampRecord(waiter, kWaiterTag, nullptr);
  out->AttachNewPayload(waiter);
  ZEQList* waiters = record->closeWaiters;
  ZEQListItem* item = ZEQList::InsertByPointer(&waiters, reinterpret_cast<uintptr_t>(waiter), kListTail,
                                               reinterpret_cast<uintptr_t>(out->Marshal(false)), 0,
                                               ZEQLIST_POINTER_KEY);
  if (!item) return false;
  item->freeCallback = ZEQContainerListItemFree;
  return true;
}

BOOL ZEQTakeCloseValue(const ZEQCloseWaiterHolder& waiter, VARIANT* value) {
  if (!value) return FALSE;
  VariantInit(value);
  if (!waiter.IsSet() || !waiter->value) return FALSE;
  return UnmarshalVariantForThread(value, waiter->value);
}

uint32_t ZEQWaitWindowToClose(HWND target, HWND caller, DWORD waitFlags, VARIANT* value) {
  if (value) VariantInit(value);
  ZEQCloseWaiterHolder waiter;
  if (!ZEQAddCloseWaiter(target, &waiter)) return 2;
  // A handle of our own: the window closes its event when it goes.
  HANDLE alive = nullptr;
  if (HANDLE event = GetPropExt(target, kAliveEvent)) {
    DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &alive, SYNCHRONIZE, FALSE, 0);
  }
  if (alive) {
    WaitForHandleExt(&alive, INFINITE, caller, waitFlags);
    CloseHandle(alive);
  }
  ZEQTakeCloseValue(waiter, value);
  return 0;
}
