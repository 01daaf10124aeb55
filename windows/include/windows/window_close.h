// Closing program windows. Nobody destroys a program window directly: every
// close request becomes one posted CMSG_CLOSEWINDOW that the window handles
// on its own thread, where its page may refuse, the callers waiting for the
// close receive the page's close value, and only then the window goes.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/shared_handle.h"
#include "foundation/variant.h"
#include "windows/records.h"

// Posts CMSG_CLOSEWINDOW (wParam = value, lParam = fromUser). FALSE, and
// nothing posted, for a null window, for a top window while the
// application runs, and for a user close of a window whose record refuses
// user closes (attribute kWindowCloseRefused).
BOOL ZEQPostCloseWindow(HWND window, WPARAM value, bool fromUser);

// The close itself, on the window's own thread ("KESTO Window" runs it for
// CMSG_CLOSEWINDOW): unless forced, the parent's page hears
// "ZEQOnClosingChildWindow" and the window's own page may refuse with
// "ZEQOnClosingWindow"; then the waiters get the close value and the
// window is destroyed. TRUE when closed; FALSE when refused or cancelled
// (the closing bits are cleared again).
BOOL ZEQHandleCloseWindowMessage(bool fromUser, HWND window);

// Adds (deny true) or removes one denial of the window's close. The frame
// flag kFrameCloseDenied is kept set exactly while the count is above 0,
// and the skin's close button ("$system.close()") is shown disabled then.
// Returns 1.
int ZEQDenyWindowClose(bool deny, const ZEQWindowHolder& record);

// The destruction step of a close: a window whose close is denied stays
// (FALSE); its modal child is asked to close; a modal window ends its
// owner's modal state; the record is marked destroyed by close and the
// window destroyed on its own thread (posted from any other).
BOOL ZEQDestroyProgramWindow(HWND window);

// Forgets a close in progress (clears the closing and destroyed-by-close
// bits); nothing for a window without a record.
void ZEQCancelWindowClose(HWND window);

// The shutdown walk: every listed window is forced to close (its denial
// dropped, its page not asked), top windows only once the application
// state has left 0; then waits, pumping messages, until the list of window
// records is empty or kZEQCloseAllWindowsWaitMs have passed. Returns 1.
constexpr DWORD kZEQCloseAllWindowsWaitMs = 2000;
int ZEQCloseAllWindows();

// A caller waiting for a window to close. The closing window's thread parks
// the close value in the Global Interface Table (an object travels as a
// cookie), so each waiter, on whatever thread, takes a copy made for its own
// apartment. The waiter is shared: it outlives the window.
struct ZEQCLOSEWAITER {
  ZEQTypedRecord header;  // "+ZEQCLOSEWAITER"
  ZEQMarshaledVariant* volatile value;  // set once by the closing thread
  volatile LONG closed;                 // 1 once the window has handed its value
};
void ZEQCloseWaiterDelete(ZEQCLOSEWAITER* waiter);
template <>
struct ZEQPayloadTraits<ZEQCLOSEWAITER>
    : ZEQPayloadPolicy<ZEQCLOSEWAITER, ZEQCloseWaiterDelete, ZEQPayloadFree::ByRelease> {};
using ZEQCloseWaiterHolder = ZEQSharedHandle<ZEQCLOSEWAITER>;

// Adds a new waiter at the end of the window's close-waiters list; false
// (and an empty holder) when the window has no record.
bool ZEQAddCloseWaiter(HWND window, ZEQCloseWaiterHolder* waiter);
// The value the closed window left, made for the calling thread (empty when
// the page left none or the window has not closed yet). TRUE when a value
// was there and could be fetched.
BOOL ZEQTakeCloseValue(const ZEQCloseWaiterHolder& waiter, VARIANT* value);
// Adds a waiter to the target window and waits (pumping the calling
// thread's messages, with the flags of WaitForHandleExt and the caller's
// window as dialog) until the target is destroyed, then takes its close
// value. 0 when the window closed (value set), 2 when the target has no
// record (value empty).
uint32_t ZEQWaitWindowToClose(HWND target, HWND caller, DWORD waitFlags, VARIANT* value);
