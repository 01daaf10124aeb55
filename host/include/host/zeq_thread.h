// The "ZEQThread" script class: page script runs a page of its own on a UI
// thread of its own (a hidden container window made with WB_OWNTHREAD),
// loads it on Start, waits for it, and ends it. A thread is ended only
// cooperatively: its window is asked to close and the caller waits, bounded,
// for the thread to finish; a UI thread is never killed or frozen, since it
// may hold the heap, a list or COM locks at that moment.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"

// Members (DISPIDs).
constexpr DISPID kZEQThreadStart = 1;
constexpr DISPID kZEQThreadId = 2;
constexpr DISPID kZEQThreadExitArgument = 3;
constexpr DISPID kZEQThreadWait = 4;
constexpr DISPID kZEQThreadExit = 5;
constexpr DISPID kZEQThreadTerminate = 6;
constexpr DISPID kZEQThreadSuspend = 7;
constexpr DISPID kZEQThreadResume = 8;

// How long Terminate waits for the thread to end after asking its window to
// close.
constexpr DWORD kZEQThreadTerminateWaitMs = 5000;

HRESULT ZEQThreadGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQThreadInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
