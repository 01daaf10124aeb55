// Waiting, sleeping and message loops. A thread that owns windows must keep
// its queue moving while it waits: the browser control, COM calls between
// apartments and cross-thread script calls all travel as window messages.
// Once the application state reaches 2 or more, waits give up instead of
// blocking the shutdown. Time limits use the tick counter across its wrap.
#pragma once
#include <windows.h>

#include <cstdint>

struct ZEQList;

// FALSE for 0 and INVALID_HANDLE_VALUE.
BOOL IsValidHandle(HANDLE handle);

// Flags of MsgWaitForHandleExt.
constexpr DWORD kZEQWaitPumpInput = 0x1;       // wake on any input and pump it
constexpr DWORD kZEQWaitThroughShutdown = 0x4; // keep waiting once the state is 2 or more
constexpr DWORD kZEQWaitCom = 0x8;             // CoWaitForMultipleHandles (COM pumps)

// Last error of a failed wait besides WAIT_TIMEOUT (258): the slot was
// empty, unreadable or -1, the object was abandoned, an exception was caught,
// a WM_QUIT was met while pumping, or the application is shutting down.
constexpr DWORD kZEQWaitGaveUp = 128;

// Waits for the handle held in *slot, in 10-ms slices, reading the slot again
// before every slice (another thread may close the handle and reset the slot
// to 0 or -1). A signalled handle is reported at once, even during shutdown.
// timeout INFINITE waits without limit. TRUE when the handle became
// signalled; otherwise FALSE with the last error WAIT_TIMEOUT,
// kZEQWaitGaveUp or the unexpected result of the wait function.
BOOL MsgWaitForHandleExt(HANDLE* slot, DWORD timeout, HWND dialog, DWORD flags);
// The same behind a check of the slot (FALSE with kZEQWaitGaveUp at once
// when it is empty, unreadable or -1).
BOOL WaitForHandleExt(HANDLE* slot, DWORD timeout, HWND dialog, DWORD flags);

// Sleeps ms milliseconds in 10-ms slices without pumping; TRUE, or FALSE
// after logging an exception caught in a slice.
BOOL SleepExt(DWORD ms);
// Waits ms milliseconds while dispatching this thread's messages. A WM_QUIT
// met on the way does not end the sleep; it is posted again before the
// sleep returns, so the thread's loop still sees it.
void SleepPumpMessages(DWORD ms);
// Dispatches every message already queued for the thread: TRUE when the
// queue is empty, FALSE when a WM_QUIT was met (it is posted again and the
// messages behind it stay queued).
BOOL PumpPendingMessages(HWND dialog);

// A UI thread's window list: its first word is the keyed list of the
// thread's container windows (pointer keys).
struct ZEQUIThreadWindowList {
  ZEQList* windows;
};

// The message loop of a thread; returns 1 after WM_QUIT (posted again, so an
// enclosing loop ends too). Without a window list the window gets the
// property "POSTQUITONDESTROY" = 1, so that its destruction ends the loop;
// with one, the loop posts one WM_QUIT(0) itself once the list is empty.
int GetMessageExt(HWND window, ZEQUIThreadWindowList* list);
// A loop that lasts while the window exists (modal windows); returns 1.
int RunWindowMessageLoop(HWND window);
// Passes a GetMessage result through; -1 is logged and becomes 0, so that
// a caller's while loop ends.
BOOL CheckGetMessageResult(BOOL result);

// Posts a formatted text to a window (the debug output window) as WM_USER
// with wParam = (code << 16) | (line & 0xFFFF) and lParam = a new heap text
// that the receiver frees. Nothing happens when the window is 0 or gone, or
// when a throttle slot is given and its tick is less than 100 ms old (the
// slot then keeps its tick; otherwise it takes the current one). TRUE when
// a text was posted.
BOOL PostTextMessage(WORD code, DWORD* throttle, HWND window, int line, const char* format, ...)
    __attribute__((format(gnu_printf, 5, 6)));
