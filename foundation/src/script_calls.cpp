// Building, posting, delaying, holding and freeing cross-thread script calls.
// How an item finally runs is the container host's (the execute hook).
#include "foundation/script_calls.h"

#include <cwchar>
#include <cwctype>
#include <map>
#include <set>
#include <string>

#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/marshal_packet.h"
#include "foundation/pointer_token.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/waits.h"
#include "foundation/window_timers.h"

namespace {

const HANDLE kWaiterGone = INVALID_HANDLE_VALUE;

struct CallState {
  CRITICAL_SECTION hooksLock;
  ZEQScriptCallHooks hooks{};
  // Guards the completion hand-shake between a waiting caller and the
  // thread that signals it, so an event is never signalled after the waiter
  // closed it.
  CRITICAL_SECTION completionLock;
  // Frozen interfaces: key "name:container id", value the packet of the one
  // held item or null.
  CRITICAL_SECTION frozenLock;
  std::map<std::wstring, KESTOMarshalPacket*> frozen;
  // Pending delayed calls by name: the thread and id of their thread timer.
  CRITICAL_SECTION delayedLock;
  std::map<std::wstring, std::pair<DWORD, UINT_PTR>> delayed;
  // A delay timer's context packet belongs to whoever takes the timer's
  // record; the timer's procedure shares the item under this lock, so a
  // taker on another thread never frees a packet being read.
  CRITICAL_SECTION timerLock;
  // Windows whose queued calls were flushed at destruction: posts to them
  // are refused (under this lock, with the post itself) until they are gone.
  CRITICAL_SECTION closingLock;
  std::set<HWND> closing;
  volatile LONG liveItems = 0;
  CallState() {
    InitializeCriticalSection(&hooksLock);
    InitializeCriticalSection(&completionLock);
    InitializeCriticalSection(&frozenLock);
    InitializeCriticalSection(&delayedLock);
    InitializeCriticalSection(&timerLock);
    InitializeCriticalSection(&closingLock);
  }
};

// Never destroyed: items may be freed by other static objects at exit.
CallState& State() {
  static CallState* state = new CallState;
  return *state;
}

constexpr char kItemTag[] = "+ZEQII";
constexpr DWORD kWaitSliceMs = 20;

wchar_t* DupTrimmed(const wchar_t* text) {
  if (!text) return nullptr;
  while (*text && iswspace(*text)) ++text;
  size_t length = wcslen(text);
  while (length && iswspace(text[length - 1])) --length;
  auto* copy = static_cast<wchar_t*>(HeapAllocZ((length + 1) * sizeof(wchar_t)));
  wmemcpy(copy, text, length);
  return copy;
}

// A wide name as ANSI text for log lines.
struct Narrow {
  char text[260];
  explicit Narrow(const wchar_t* wide) {
    text[0] = 0;
    if (wide) WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text) - 1, nullptr, nullptr);
    text[sizeof(text) - 1] = 0;
  }
};

// A name that starts with a digit carries an interface-table cookie that
// belongs to the call.
void RevokeNameCookie(const wchar_t* name) {
  if (name && iswdigit(*name)) RevokeGITCookie(static_cast<DWORD>(wcstoul(name, nullptr, 10)));
}

void RevokeNameCookies(const wchar_t* interfaceName, const wchar_t* callbackName, uint32_t flags) {
  if (!(flags & kZEQApcKeepInterfaceCookie)) RevokeNameCookie(interfaceName);
  if (!(flags & kZEQApcKeepCallbackCookie)) RevokeNameCookie(callbackName);
}

void ClearArgument(VARIANT* argument) {
  if (argument) {
    VariantClear(argument);
    VariantInit(argument);
  }
}

std::wstring FrozenKey(const wchar_t* interfaceName, uint32_t containerId) {
  wchar_t suffix[16];
  swprintf(suffix, 16, L":%08X", containerId);
  return std::wstring(interfaceName ? interfaceName : L"") + suffix;
}

// Window handles are 32-bit values on every target.
unsigned WindowValue(HWND window) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)); }

bool HasWaiter(const ZEQApcItem* item) { return item->completion && item->completion != kWaiterGone; }

// Releases a caller waiting for the item with the code: a dropped call must
// never leave its caller blocked or report success.
void ReleaseWaiter(ZEQApcItem* item, uint32_t code) {
  CallState& state = State();
  ZEQLockGuard guard(&state.completionLock);
  if (!HasWaiter(item)) return;
  InterlockedExchange(&item->resultCode, static_cast<LONG>(code));
  SetEvent(item->completion);
}

// Hands the result of a run call to a waiting caller.
void CompleteWaiter(ZEQApcItem* item) {
  CallState& state = State();
  ZEQLockGuard guard(&state.completionLock);
  if (!HasWaiter(item)) return;
  item->marshalledResult = MarshalVariantForThread(&item->result);
  VariantClear(&item->result);
  SetEvent(item->completion);
}

KESTOMarshalPacket* TakeDelayPacket(DWORD thread, UINT_PTR id) {
  ZEQLockGuard guard(&State().timerLock);
  return ZEQPacketFromValue(TakeTimerExtContext(nullptr, thread, id));
}

// Disarms the item's delay timer and frees its context packet. A timer of
// another thread cannot be killed from here: it finds no context at its
// next expiry and kills itself on its own thread.
void DisarmDelayTimer(ZEQApcItem* record) {
  UINT_PTR id = record->timerId;
  if (!id) return;
  KESTOMarshalPacket* packet = TakeDelayPacket(record->timerThread, id);
  if (record->timerThread == GetCurrentThreadId()) KillTimer(nullptr, id);
  if (record->delayName && *record->delayName) {
    // The name no longer stands for a pending call.
    CallState& state = State();
    ZEQLockGuard guard(&state.delayedLock);
    auto found = state.delayed.find(record->delayName);
    if (found != state.delayed.end() && found->second == std::make_pair(record->timerThread, id))
      state.delayed.erase(found);
  }
  record->timerId = 0;
  if (packet) FreeMarshalPacket(packet);
}

VOID CALLBACK ZEQQueuedAPCTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  CallState& state = State();
  ZEQApcItemHolder item;
  KESTOMarshalPacket* owned = nullptr;
  bool known = false;
  {
    ZEQLockGuard guard(&state.timerLock);
    uintptr_t context = GetTimerExtContext(nullptr, id);
    known = context != 0;
    if (known) {
      ZEQApcItemHolder fromPacket(ZEQPacketFromValue(context));
      // A copy shares the item but not the packet, which stays the timer's.
      if (fromPacket.IsSet()) item = fromPacket;
      // A call that does not repeat takes its timer's record now: the
      // packet is this procedure's to free.
      if (!item.IsSet() || !(item->flags & kZEQApcInterval))
        owned = ZEQPacketFromValue(TakeTimerExtContext(nullptr, GetCurrentThreadId(), id));
    }
  }
  if (!item.IsSet()) {
    // Nobody owns this timer any more.
    KillTimer(nullptr, id);
    return;
  }
  ZEQPostAPCToWindow(item->targetWindow, item);
  if (owned) FreeMarshalPacket(owned);
}

uint32_t ExecuteHere(ZEQApcItemHolder& item) {
  CallState& state = State();
  uint32_t (*execute)(ZEQApcItemHolder&) = nullptr;
  {
    ZEQLockGuard guard(&state.hooksLock);
    execute = state.hooks.execute;
  }
  return execute ? execute(item) : ZEQERROR_NOTFOUND;
}

}  // namespace

void ZEQSetScriptCallHooks(const ZEQScriptCallHooks& hooks) {
  CallState& state = State();
  ZEQLockGuard guard(&state.hooksLock);
  state.hooks = hooks;
}

bool ZEQFindCallContainer(HWND window, ZEQCallContainer* container) {
  CallState& state = State();
  bool (*find)(HWND, ZEQCallContainer*) = nullptr;
  {
    ZEQLockGuard guard(&state.hooksLock);
    find = state.hooks.findContainer;
  }
  ZEQCallContainer found{};
  if (!window || !find || !find(window, &found)) return false;
  if (container) *container = found;
  return true;
}

LONG ZEQLiveApcItems() { return State().liveItems; }

bool ZEQIsValidAPCRecord(const ZEQApcItemHolder& item) {
  return item.IsSet() && IsTaggedRecord(item.Get(), sizeof(ZEQApcItem), kItemTag);
}

void ZEQApcItemDelete(ZEQApcItem* item) {
  if (!item) return;
  if (item->argument) {
    if (!(item->flags & kZEQApcPlainArgument) && V_VT(item->argument) == VT_UI4) {
      void* record = ZEQTokenToPointer(V_UI4(item->argument));
      if (record) {
        ZEQMarshaledVariant::Free(static_cast<ZEQMarshaledVariant*>(record));
        ZEQReleasePointerToken(record);
      }
    }
    VariantClear(item->argument);
    HeapFreeZ(item->argument);
  }
  RevokeNameCookies(item->interfaceName, item->callbackName, item->flags);
  VariantClear(&item->result);
  if (HasWaiter(item)) CloseHandle(item->completion);
  ZEQMarshaledVariant::Free(item->marshalledResult);
  if (item->delayName && *item->delayName) {
    CallState& state = State();
    ZEQLockGuard guard(&state.delayedLock);
    // A newer call of the same name may own the entry already.
    auto found = state.delayed.find(item->delayName);
    if (found != state.delayed.end() && found->second == std::make_pair(item->timerThread, item->timerId))
      state.delayed.erase(found);
  }
  InterlockedDecrement(&State().liveItems);
  HeapFreeZ(item->delayName);
  HeapFreeZ(item->interfaceName);
  HeapFreeZ(item->callbackName);
  ZEQRetireRecord(item);
}

uint32_t ZEQDeliverAPC(HWND target, const wchar_t* interfaceName, const wchar_t* callbackName, HWND sourceContainer,
                       VARIANT* argument, VARIANT* result, uint32_t flags, HWND sourceWindow, uint32_t delay,
                       const wchar_t* delayName) {
  if (!ZEQGlobalInterfaceTable() || ZEQGetApplicationState() > kZEQAppClosing) {
    RevokeNameCookies(interfaceName, callbackName, flags);
    ClearArgument(argument);
    ZEQLogPrintf("*** ZEQDeliverAPC: [INVALID TO INVOKE] - HWND: %08X, Interface: \"%s\", Callback: \"%s\"",
                 WindowValue(target), Narrow(interfaceName).text, Narrow(callbackName).text);
    return ZEQACTION_CANCEL;
  }
  ZEQCallContainer container{};
  if (!ZEQFindCallContainer(target, &container) || !container.ready) {
    ZEQCallContainer source{};
    bool hasSource = ZEQFindCallContainer(sourceContainer, &source);
    if (hasSource) {
      ZEQLogPrintf(
          "*** ZEQDeliverAPC: [INVALID TARGET IBC] - Target IBC: %08X, From IBC: %08X, HWND: %08X, "
          "Interface: \"%s\", Callback: \"%s\"",
          container.id, source.id, WindowValue(target), Narrow(interfaceName).text,
          Narrow(callbackName).text);
    } else {
      ZEQLogPrintf(
          "*** ZEQDeliverAPC: [INVALID TARGET IBC] - Target IBC: %08X, From IBC: Unespecified, HWND: %08X, "
          "Interface: \"%s\", Callback: \"%s\"",
          container.id, WindowValue(target), Narrow(interfaceName).text, Narrow(callbackName).text);
    }
    RevokeNameCookies(interfaceName, callbackName, flags);
    ClearArgument(argument);
    return ZEQERROR_NOTFOUND;
  }

  uint32_t code = ZEQERROR_NOTFOUND;
  try {
    auto* record = static_cast<ZEQApcItem*>(HeapAllocZ(sizeof(ZEQApcItem)));
    ZEQStampRecord(record, kItemTag, ZEQSerialCounter(ZEQSerialKind::ApcItem));
    InterlockedIncrement(&State().liveItems);
    VariantInit(&record->result);
    ZEQApcItemHolder item(record);
    record->targetWindow = container.window;
    record->sourceWindow = sourceWindow ? sourceWindow : container.window;
    record->targetThread = GetWindowThreadProcessId(record->targetWindow, nullptr);
    record->sourceThread = GetWindowThreadProcessId(record->sourceWindow, nullptr);
    record->interfaceName = DupTrimmed(interfaceName ? interfaceName : L"");
    record->callbackName = DupTrimmed(callbackName);
    record->sourceContainer = sourceContainer;
    record->flags = flags;
    record->delay = delay;
    record->delayName = DupTrimmed(delayName);
    bool onTarget = GetCurrentThreadId() == record->targetThread;
    if (argument) {
      record->argument = static_cast<VARIANT*>(HeapAllocZ(sizeof(VARIANT)));
      VariantInit(record->argument);
      if (onTarget) {
        VariantCopy(record->argument, argument);
        record->flags |= kZEQApcPlainArgument;
      } else {
        ZEQMarshaledVariant* marshalled = MarshalVariantForThread(argument);
        V_VT(record->argument) = VT_UI4;
        V_UI4(record->argument) = ZEQPointerToToken(marshalled);
        record->flags &= ~kZEQApcPlainArgument;
      }
    }

    if (record->flags & kZEQApcCoalesce) {
      record->flags = (record->flags & ~kZEQApcCoalesce) | kZEQApcCoalesced;
      CallState& state = State();
      KESTOMarshalPacket* replaced = nullptr;
      bool held = false;
      {
        ZEQLockGuard guard(&state.frozenLock);
        std::wstring key = FrozenKey(record->interfaceName, container.id);
        auto found = state.frozen.find(key);
        if (found != state.frozen.end()) {
          replaced = found->second;
          found->second = item.Marshal(false);
          held = true;
        } else if (record->flags & kZEQApcFreeze) {
          state.frozen[key] = nullptr;
        }
      }
      // The replaced call loses its only reference outside the lock.
      if (replaced) FreeMarshalPacket(replaced);
      code = held ? ZEQERROR_NOERROR : ZEQPostAPC(result, false, item);
    } else if (onTarget) {
      code = ExecuteHere(item);
      if (result) {
        VariantInit(result);
        VariantCopy(result, &record->result);
      }
    } else {
      code = ZEQPostAPC(result, true, item);
    }
    if (code == ZEQERROR_FORBIDDEN)
      ZEQLogPrintf("*** Forbidden Interface: \"%s\", Target Thread: %08X - Trying Message Yielding",
                   Narrow(record->interfaceName).text, static_cast<unsigned>(record->targetThread));
  } catch (...) {
    ZEQLogUnexpected("ZEQDeliverAPC");
  }
  ClearArgument(argument);
  return code;
}

uint32_t ZEQPostAPC(VARIANT* result, bool wait, ZEQApcItemHolder& item) {
  if (result) VariantInit(result);
  if (!item.IsSet()) return ZEQERROR_NOERROR;
  ZEQApcItem* record = item.Get();
  if (wait) {
    record->completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&record->resultCode, 0);
  }
  if (record->delay == 0 || (record->flags & kZEQApcImmediate)) {
    record->flags &= ~kZEQApcImmediate;
    ZEQPostAPCToWindow(record->targetWindow, item);
  }
  if (record->delay > 0) {
    CallState& state = State();
    bool named = record->delayName && *record->delayName;
    DWORD self = GetCurrentThreadId();
    ZEQLockGuard guard;
    if (named) {
      guard.Lock(&state.delayedLock);
      auto found = state.delayed.find(record->delayName);
      if (found != state.delayed.end()) {
        record->timerThread = found->second.first;
        record->timerId = found->second.second;
      }
    }
    if (record->timerId) {
      // The replaced call loses its timer's reference. Its timer is re-armed
      // when it is this thread's, else it ends at its next expiry.
      UINT_PTR id = record->timerId;
      KESTOMarshalPacket* replaced = TakeDelayPacket(record->timerThread, id);
      if (replaced) FreeMarshalPacket(replaced);
      if (record->timerThread != self) record->timerId = 0;
    }
    KESTOMarshalPacket* packet = item.Marshal(false);
    UINT_PTR id = SetTimerExt(nullptr, record->timerId, record->delay, ZEQQueuedAPCTimerProc,
                              reinterpret_cast<uintptr_t>(packet));
    if (!id) FreeMarshalPacket(packet);
    record->timerId = id;
    record->timerThread = self;
    if (result) {
      V_VT(result) = VT_UI4;
      V_UI4(result) = static_cast<ULONG>(id);
    }
    if (named && id) state.delayed[record->delayName] = std::make_pair(self, id);
  }
  if (!wait) return ZEQERROR_NOERROR;

  // COM's wait dispatches only COM's own traffic: the caller's other
  // messages (its windows, its thread timers, calls to its own pages) are
  // pumped between slices.
  BOOL signalled = FALSE;
  for (;;) {
    signalled = WaitForHandleExt(&record->completion, kWaitSliceMs, nullptr, kZEQWaitPumpInput | kZEQWaitCom);
    if (signalled || GetLastError() != WAIT_TIMEOUT || !PumpPendingMessages(nullptr)) break;
  }
  ZEQMarshaledVariant* marshalled = nullptr;
  {
    CallState& state = State();
    ZEQLockGuard guard(&state.completionLock);
    if (HasWaiter(record)) CloseHandle(record->completion);
    record->completion = kWaiterGone;
    marshalled = record->marshalledResult;
    record->marshalledResult = nullptr;
  }
  uint32_t code = static_cast<uint32_t>(record->resultCode);
  if (!signalled && !record->completed) {
    // Given up (a quit or shutdown) before the call ran: it did not succeed,
    // and a call still queued is cancelled so that it never runs later.
    InterlockedCompareExchange(&record->runClaim, 2, 0);
    code = ZEQACTION_CANCEL;
  }
  if (result && marshalled) UnmarshalVariantForThread(result, marshalled);
  ZEQMarshaledVariant::Free(marshalled);
  return code;
}

void ZEQPostAPCToWindow(HWND window, ZEQApcItemHolder& item) {
  if (!item.IsSet()) return;
  ZEQApcItem* record = item.Get();
  if (!(record->flags & kZEQApcInterval) || !IsWindow(window)) DisarmDelayTimer(record);
  CallState& state = State();
  bool posted = false;
  {
    ZEQLockGuard guard(&state.closingLock);
    auto closing = state.closing.find(window);
    if (closing != state.closing.end() && !IsWindow(window)) {
      state.closing.erase(closing);
      closing = state.closing.end();
    }
    if (closing == state.closing.end() && IsWindow(window)) {
      KESTOMarshalPacket* packet = item.Marshal(true);
      posted = PostMessageA(window, CMSG_ZEQINVOKEINTERFACE, 0, reinterpret_cast<LPARAM>(packet)) != FALSE;
      if (!posted) FreeMarshalPacket(packet);
    }
  }
  if (!posted) ReleaseWaiter(record, ZEQERROR_NOTFOUND);
}

int ZEQCancelDelayedAPC(ZEQApcItemHolder& item) {
  if (item.IsSet()) DisarmDelayTimer(item.Get());
  return 1;
}

int ZEQFlushWindowAPCs(HWND window) {
  CallState& state = State();
  {
    // Marked first, under the lock every post takes: nothing posted after
    // the flush can reach the window's queue.
    ZEQLockGuard guard(&state.closingLock);
    for (auto gone = state.closing.begin(); gone != state.closing.end();)
      gone = IsWindow(*gone) ? std::next(gone) : state.closing.erase(gone);
    if (window) state.closing.insert(window);
  }
  MSG message;
  while (PeekMessageA(&message, window, CMSG_ZEQINVOKEINTERFACE, CMSG_ZEQINVOKEINTERFACE, PM_REMOVE | PM_NOYIELD)) {
    ZEQApcItemHolder item(ZEQPacketFromValue(static_cast<uintptr_t>(message.lParam)));
    if (!item.IsSet()) continue;
    ZEQCancelDelayedAPC(item);
    ReleaseWaiter(item.Get(), ZEQERROR_NOTFOUND);
  }
  ZEQLockGuard guard(&state.frozenLock);
  for (auto& entry : state.frozen) {
    if (!entry.second) continue;
    ZEQApcItemHolder held(entry.second);
    if (held.IsSet() && held->targetWindow == window) ZEQCancelDelayedAPC(held);
  }
  return 1;
}

void ZEQFreezeAPC(const wchar_t* interfaceName, HWND container) {
  ZEQCallContainer found{};
  if (!interfaceName || !ZEQFindCallContainer(container, &found)) return;
  wchar_t* name = DupTrimmed(interfaceName);
  std::wstring key = FrozenKey(name, found.id);
  HeapFreeZ(name);
  CallState& state = State();
  ZEQLockGuard guard(&state.frozenLock);
  state.frozen.emplace(key, nullptr);
}

void ZEQUnfreezeAPC(const wchar_t* interfaceName, HWND container) {
  ZEQCallContainer found{};
  if (!interfaceName || !ZEQFindCallContainer(container, &found)) return;
  wchar_t* name = DupTrimmed(interfaceName);
  std::wstring key = FrozenKey(name, found.id);
  HeapFreeZ(name);
  KESTOMarshalPacket* packet = nullptr;
  CallState& state = State();
  {
    ZEQLockGuard guard(&state.frozenLock);
    auto entry = state.frozen.find(key);
    if (entry == state.frozen.end()) return;
    packet = entry->second;
    state.frozen.erase(entry);
    if (packet) {
      ZEQApcItemHolder peek(packet);
      if (peek.IsSet() && (peek->flags & kZEQApcFreeze)) state.frozen.emplace(key, nullptr);
    }
  }
  if (!packet) return;
  ZEQApcItemHolder held(packet);
  held.DropPacket();
  ZEQPostAPC(nullptr, false, held);
}

LRESULT ZEQReceiveInvokeMessage(HWND window, LPARAM lParam) {
  ZEQApcItemHolder item(ZEQPacketFromValue(static_cast<uintptr_t>(lParam)));
  if (!ZEQIsValidAPCRecord(item)) return 0;
  ZEQApcItem* record = item.Get();
  try {
    ZEQCallContainer container{};
    if (ZEQFindCallContainer(window, &container) && !container.interfaceReady) {
      if (++record->repostCount > kZEQApcMaxReposts) {
        ZEQLogPrintf(
            "*** APC: HWND( Source: %08X, Target: %08X), [POST REJECTED - TOO MANY RETRIES] - Interface: \"%s\", "
            "Callback: \"%s\", Queued: %d",
            WindowValue(record->sourceWindow), WindowValue(record->targetWindow),
            Narrow(record->interfaceName).text, Narrow(record->callbackName).text,
            static_cast<int>(record->repostCount));
        ReleaseWaiter(record, ZEQERROR_NOTFOUND);
        return 0;
      }
      record->lastRepostTick = GetTickCount();
      ZEQPostAPCToWindow(window, item);
      return 0;
    }
    // A caller that gave up waiting cancelled the call: it never runs.
    if (InterlockedCompareExchange(&record->runClaim, 1, 0) == 2) return 0;
    uint32_t code = ExecuteHere(item);
    InterlockedExchange(&record->resultCode, static_cast<LONG>(code));
    CompleteWaiter(record);
  } catch (...) {
    ZEQLogUnexpected("ZEQReceiveInvokeMessage");
    ReleaseWaiter(record, ZEQERROR_NOTFOUND);
  }
  return 0;
}
