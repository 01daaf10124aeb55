// Window messages registered once, by static initialisation, and shared by
// every subsystem.
#pragma once
#include <windows.h>

// A log line of another thread for the main window (lParam: the posted
// record, see ZEQLogHandlePostedLine).
extern const UINT CMSG_KESTOASYNCHLOG;
