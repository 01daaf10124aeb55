// The debug output window: a plain window at the bottom of the screen on
// which lines of status text are painted at given positions. Any thread
// posts a line as WM_USER (wParam: high word the column code x, low word
// the row code y, both signed; lParam: a heap text the window frees; a
// leading '!' selects the bold font). A 100-ms thread timer posts the
// status lines while the executable carries no package signature.
//
// Trace files written as records between "<<\" and "/>>" can be replayed
// into a script function of the debug page, one result object per record.
#pragma once
#include <windows.h>

#include <cstdint>

// Font height at creation, in logical units.
constexpr int kZEQDebugFontHeight = -12;

// Creates the window owned by parent (the dialog "BLANK" of the executable,
// or the same plain dialog built in memory when the executable has none),
// places it at (50, maximized height - 300), maximized width - 100 wide and
// 260 high, titles it "Base", shows it and keeps it as the process's debug
// output window until it is destroyed. Null on failure.
HWND CreateDebugOutputWindow(HWND parent);
// The process's debug output window, or 0.
HWND ZEQGetDebugOutputWindow();
// The hot-key action: closes the window when it exists, else creates it
// owned by the main window. Nothing while debug output is not allowed.
void ZEQToggleDebugOutputWindow(HWND mainWindow);

// Start-up clears this for an executable that carries a package signature:
// no window and no status lines then. Allowed until cleared.
void ZEQSetDebugOutputAllowed(bool allowed);
bool ZEQDebugOutputAllowed();

// The screen rectangle (client coordinates) of a line at codes (x, y) in a
// client area of the given size: (2x + 5, 2y) for non-negative codes, a
// negative code counting from the far edge; 20 pixels high, to the right
// edge.
RECT ZEQDebugLineRect(int clientWidth, int clientHeight, int x, int y);

// What the window shows, for its owner and its tests.
struct ZEQDebugWindowState {
  int fontHeight;
  uint32_t linesDrawn;
  RECT lastLine;        // client coordinates
  bool lastBold;
  char lastText[256];   // without the '!'
};
bool ZEQGetDebugWindowState(HWND window, ZEQDebugWindowState* state);

// The counters of the lower status lines; the host installs the provider
// of the values it keeps. Without one, the live cross-thread calls and
// script objects are shown and the others read 0.
struct ZEQDebugCounters {
  int ibw, ibc, hdcFiles, ibsClasses, ibsExtensions;
  int playSound;
  int invokeInterface;
  int sipTransactionsAllocated, sipTransactionsPushed, sipSockets;
  int sipDialogsAllocated, sipDialogsPushed, sipSubscriptions;
  int zeqObjects, voiceEngineInitialized;
  int recycleInterval;  // the container's recycle interval (ENABLED above 0)
};
using ZEQDebugCountersProvider = void (*)(ZEQDebugCounters* counters);
void ZEQSetDebugCountersProvider(ZEQDebugCountersProvider provider);

// The timer procedure that posts the status lines to the debug output
// window (a missing window makes each post a no-op).
void CALLBACK ZEQLogStatusReport(HWND window, UINT message, UINT_PTR timerId, DWORD time);
// Starts the 100-ms thread timer of the calling thread; its id (0 on
// failure). Stop kills it.
UINT_PTR ZEQStartStatusReport();
void ZEQStopStatusReport(UINT_PTR timerId);

// Replays a trace file into the function of the debug page (the page of
// dialog item 2000 of the container window's top-level window, or the
// container window's own page when there is no such item): each record with
// a "Type" and an "Id" becomes a result object with "Contents" and its
// attributes, delivered as the one argument; an answer of ZEQACTION_CANCEL
// ends the replay. TRUE when at least one record was found.
BOOL ZEQDebugTraceDeliver(HWND containerWindow, const char* path, const wchar_t* functionName);
