// Window messages registered once, by static initialisation, and shared by
// every subsystem.
#pragma once
#include <windows.h>

// A log line of another thread for the main window (lParam: the posted
// record, see ZEQLogHandlePostedLine).
extern const UINT CMSG_KESTOASYNCHLOG;
// Registered for other instances and plug-ins that look for it; no sender.
extern const UINT CMSG_SLEEPWML;
// A timer of the timer thread fired at a window (lParam: the ZEQTimer,
// carrying one reference for the receiver).
extern const UINT CMSG_ZEQTIMER;
// The blink phase (wParam) for a blinking behavior (lParam).
extern const UINT CMSG_ZEQBLINK;
// The timer thread's own tick and its stop.
extern const UINT CMSG_ZEQTIMERTHREADMSG;
extern const UINT CMSG_ZEQDESTROYTIMER;
// Handled by container windows (no sender), and a UI thread's container is
// ready.
extern const UINT CMSG_ATTACHZEQCONTAINER;
extern const UINT CMSG_ATTACHEDZEQCONTAINER;
// Registered, no user.
extern const UINT CMSG_ZEQINTERFACETHREAD;
// A call of a script interface registered by another thread.
extern const UINT CMSG_ZEQINVOKEEX;
// A cross-thread script call for the window's page (lParam: an auto-free
// marshal packet of the call item).
extern const UINT CMSG_ZEQINVOKEINTERFACE;
// Asks the running instance's main window to centre a window (lParam) on
// its screen; wParam: the centring flags.
extern const UINT CMSG_CENTERWINDOWSON;
