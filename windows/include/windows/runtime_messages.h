// The runtime's registered messages at a program window: cross-thread
// script calls (CMSG_ZEQINVOKEINTERFACE) and timer-thread firings
// (CMSG_ZEQTIMER). Every program window procedure calls this first.
#pragma once
#include <windows.h>

// TRUE when the message was one of the runtime's and is handled (*result
// holds the answer). At WM_DESTROY the calls still queued for the window are
// dropped, and FALSE is returned so the procedure goes on.
BOOL ZEQHandleRuntimeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
