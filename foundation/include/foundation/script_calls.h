// Cross-thread script calls. Page script runs only on the thread that owns
// its container's window; any other code reaches it through ZEQDeliverAPC,
// which packs the call into a shared item ("+ZEQII") and runs it at once on
// the owning thread, or posts it there as CMSG_ZEQINVOKEINTERFACE (blocking
// the caller in a pumping wait unless the call coalesces), or posts it later
// from a thread timer of the calling thread. Calls of one interface can be
// held while a page is busy (frozen), keeping only the newest.
//
// The foundation knows no containers or script engines: the container host
// installs the hooks below (where containers are found, how an item runs).
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/records.h"
#include "foundation/result_codes.h"
#include "foundation/shared_handle.h"
#include "foundation/variant.h"

// Item flags.
constexpr uint32_t kZEQApcCoalesce = 0x1;
constexpr uint32_t kZEQApcPlainArgument = 0x2;     // set by delivery: copied on the target thread
constexpr uint32_t kZEQApcInterval = 0x8;
constexpr uint32_t kZEQApcImmediate = 0x20;
constexpr uint32_t kZEQApcArgumentList = 0x40;
constexpr uint32_t kZEQApcFreeze = 0x80;
constexpr uint32_t kZEQApcNoContainerArgument = 0x100;
constexpr uint32_t kZEQApcResultCoded = 0x200;
constexpr uint32_t kZEQApcKeepInterfaceCookie = 0x400;
constexpr uint32_t kZEQApcKeepCallbackCookie = 0x800;
constexpr uint32_t kZEQApcExclusive = 0x1000;
constexpr uint32_t kZEQApcCoalesced = 0x2000;      // set by delivery
constexpr uint32_t kZEQApcProbe = 0x40000000;

// A re-posted call is dropped after this many arrivals at a window whose
// page is not ready.
constexpr uint32_t kZEQApcMaxReposts = 10000;

struct ZEQApcItem {
  ZEQTypedRecord header;  // "+ZEQII", numbered
  uint32_t repostCount;
  HWND targetWindow;
  DWORD targetThread;
  HWND sourceWindow;
  DWORD sourceThread;
  UINT_PTR timerId;
  DWORD timerThread;       // thread whose thread timer timerId is
  wchar_t* interfaceName;  // heap text, trimmed
  wchar_t* callbackName;   // heap text or null
  HWND sourceContainer;    // window of the caller's container, or 0
  VARIANT* argument;       // heap VARIANT or null
  VARIANT result;
  ZEQMarshaledVariant* marshalledResult;
  HANDLE completion;       // 0: nobody waits; -1: the waiter is gone
  uint32_t flags;
  uint32_t delay;
  wchar_t* delayName;      // heap text or null
  DWORD lastRepostTick;
  volatile LONG resultCode;
  volatile LONG inProgress;
  volatile LONG completed;
  // 0 until the target first starts the call (1) or a caller that gave up
  // waiting cancels it (2): a cancelled call never runs.
  volatile LONG runClaim;
};

void ZEQApcItemDelete(ZEQApcItem* item);
template <>
struct ZEQPayloadTraits<ZEQApcItem>
    : ZEQPayloadPolicy<ZEQApcItem, ZEQApcItemDelete, ZEQPayloadFree::ByRelease> {};
using ZEQApcItemHolder = ZEQSharedHandle<ZEQApcItem>;

// What the call machinery needs to know of a window's container.
struct ZEQCallContainer {
  HWND window;          // the container's window
  uint32_t id;          // unique per container
  bool ready;           // creation finished
  bool interfaceReady;  // the page's interface is ready
};
struct ZEQScriptCallHooks {
  // The container of a window; false when the window has none.
  bool (*findContainer)(HWND window, ZEQCallContainer* container);
  // Runs an item on the current thread, which owns its target window; the
  // result code.
  uint32_t (*execute)(ZEQApcItemHolder& item);
};
void ZEQSetScriptCallHooks(const ZEQScriptCallHooks& hooks);
bool ZEQFindCallContainer(HWND window, ZEQCallContainer* container);

// Delivers a call (see above). target: any window of the target container;
// callback: a function of the source container's page that receives the
// result, or null; sourceContainer: a window of the caller's container or 0;
// argument: consumed (empty afterwards on every road) or null; result: the
// result of a synchronous call, the timer id of a delayed one, or null;
// delay in ms (0: none); delayName: replaces a pending delayed call of that
// name, or null. The result code of the executed call, 0 for a call only
// posted, held or scheduled, 0x2002 when refused (no interface table, or the
// application closing), 104 when the target container is missing or not
// ready, or when the call was dropped before it ran.
uint32_t ZEQDeliverAPC(HWND target, const wchar_t* interfaceName, const wchar_t* callbackName, HWND sourceContainer,
                       VARIANT* argument, VARIANT* result, uint32_t flags, HWND sourceWindow, uint32_t delay,
                       const wchar_t* delayName);

// Schedules an item; wait blocks until the target has run it (or dropped it).
uint32_t ZEQPostAPC(VARIANT* result, bool wait, ZEQApcItemHolder& item);
// Posts the item to the window (wParam 0, lParam an auto-free packet).
void ZEQPostAPCToWindow(HWND window, ZEQApcItemHolder& item);
// Disarms an item's delay timer.
int ZEQCancelDelayedAPC(ZEQApcItemHolder& item);
// Drops every call still queued for a window being destroyed (none runs;
// a caller waiting for one gets 104). From then on calls posted to the
// window are refused the same way, until the window is gone.
int ZEQFlushWindowAPCs(HWND window);
bool ZEQIsValidAPCRecord(const ZEQApcItemHolder& item);

// Freezing: while an interface of a container is frozen, its coalescing
// calls are held (only the newest); unfreezing posts the held one.
void ZEQFreezeAPC(const wchar_t* interfaceName, HWND container);
void ZEQUnfreezeAPC(const wchar_t* interfaceName, HWND container);

// The window side of CMSG_ZEQINVOKEINTERFACE: runs (or re-posts while the
// page is not ready, or drops) the call in lParam. Returns 0.
LRESULT ZEQReceiveInvokeMessage(HWND window, LPARAM lParam);

// Items alive in the process.
LONG ZEQLiveApcItems();

// Thin forms of ZEQDeliverAPC (no callback; no result unless named).
// A text argument (narrow, ANSI) as a BSTR.
uint32_t ZEQDeliverAPCWithString(HWND target, const wchar_t* interfaceName, const char* text, uint32_t flags,
                                 HWND sourceContainer);
// A boolean argument (VARIANT_TRUE or VARIANT_FALSE).
uint32_t ZEQDeliverAPCWithValue(HWND target, const wchar_t* interfaceName, BOOL value, uint32_t flags,
                                HWND sourceContainer);
// The 32-bit value to the page's "ZEQOnWBSecure".
uint32_t ZEQRaiseOnWBSecure(HWND target, uint32_t value, uint32_t flags, HWND sourceContainer);
// No argument.
uint32_t ZEQDeliverAPCToContainer(HWND target, const wchar_t* interfaceName, HWND sourceContainer, uint32_t flags);
