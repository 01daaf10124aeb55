// The window functions of script: the member table of the host object
// through which page script opens program windows, finds the window of any
// container, asks about windows and shows, moves, sizes and changes them,
// and the placement, modality and dependent-window rules those members use.
// Script never holds a window: every member takes or returns containers
// (ZEQIBC objects), and the window meant is the top-level program window
// that hosts the container.
#pragma once
#include <windows.h>

#include <cstdint>

#include "host/dispatch_ex.h"
#include "windows/records.h"
#include "windows/window_close.h"
#include "windows/window_commands.h"

// Plugs the table into the host object (ZEQRegisterHostMemberTable); once
// per process, before the first container is made.
void ZEQInstallWindowFunctions();
HRESULT ZEQWindowFunctionsInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

// The window record a script value names: a "ZEQHandle" object of a window
// record (type ZEQHANDLE_WINDOWRECORD); any other value leaves the holder
// empty. Returns holder.
ZEQWindowHolder* ZEQWindowParamFromVariant(ZEQWindowHolder* holder, const VARIANT* value);

// "callerfriend" 2, "parentfriend" 4, "notifyparent" 8, each a whole word
// in any case; other words are ignored.
uint32_t ZEQParseWindowRelations(const char* text);

// Frame flags of a window record that only the window functions read or
// change (the others are in windows/records.h).
constexpr uint32_t kFrameSystemAppWindow = 0x80000;
constexpr uint32_t kFrameResizeGrip = 0x400000;
// Attribute bit: the frame is fixed (kept with kFrameDontMove).
constexpr uint32_t kWindowFrameFixed = 0x400;


// Modal modes.
constexpr uint32_t kModalBegin = 0x1;
constexpr uint32_t kModalEnd = 0x2;
constexpr uint32_t kModalWindow = 0x4;
constexpr uint32_t kModalInputLock = 0x8;
// Begins and/or ends (in that order) a modal period of `modal` over the
// owner's record, or an input-lock period of the owner. A modal period
// denies the owner's close and keeps the owner window disabled until the
// last modal period over it ends; both kinds count the container/modal
// dependents' input locks along with the owner's. 0 for an empty holder.
int ZEQSetWindowModalState(HWND modal, uint32_t mode, const ZEQWindowHolder& owner);

// Synchronisation flags.
constexpr uint32_t kSyncHideWithLeader = 0x1;
constexpr uint32_t kSyncShowWithLeader = 0x2;
constexpr uint32_t kSyncMove = 0x4;
constexpr uint32_t kSyncVisibility = 0x10;
constexpr uint32_t kSyncZOrder = 0x20;
constexpr uint32_t kSyncShow = 0x80;
constexpr uint32_t kSyncHide = 0x100;
constexpr uint32_t kSyncAsync = 0x200;
// Makes the leader's dependents follow it: move dependents keep their
// offset (or the leader's alignment), show/hide dependents its visibility,
// z-order dependents sit behind their anchors. position is the leader's
// position change (or null), activated the window that became active.
int ZEQSyncDependentWindows(const WINDOWPOS* position, HWND activated, uint32_t flags,
                            const ZEQWindowHolder& leader);

// The work area (with its origin) of the monitor nearest to the window;
// false (area untouched) when it cannot be had.
bool ZEQGetWindowWorkArea(HWND window, RECT* area);
// Centres the window in the area, kept inside the area's edges; shows it
// unless options has 0x8.
constexpr uint32_t kCenterNoShow = 0x8;
int ZEQCenterWindowInRect(const RECT& area, HWND window, uint32_t options);
// The same on the work area of the window's monitor; 0 when the area
// cannot be had (the window is not moved).
int ZEQCenterWindowOnWorkArea(HWND window, uint32_t options);
// Where the system would place a new overlapped window of this window's
// size; (-1, -1) when the probe cannot be made.
POINT ZEQGetDefaultWindowPosition(HWND window);
// Positions the window inside the work area of the monitor under the
// mouse pointer (the virtual screen when there is none).
BOOL ZEQFitWindowPosToCursorMonitor(HWND window, int x, int y, int width, int height, UINT flags);
// Hides a window of this process (asynchronously for another thread's); an
// app bar is never hidden. 0 when nothing was done.
BOOL ZEQHideWindow(HWND window);
// The outer size of a skinned window whose client (container) area is
// width x height: the skin's client insets added. x and y stay. 0, values
// untouched, when the window has no record or a blank skin.
int ZEQClientToWindowSize(HWND window, int* x, int* y, int* width, int* height);
// ShowWindow on the window's own thread, ShowWindowAsync from another.
BOOL ZEQShowWindowExt(HWND window, int command);

namespace zeqwindows {
// The top-left corner of a width x height window centred in the area and
// kept inside its edges (the left and top edge win when it is larger).
POINT CenterInArea(const RECT& area, int width, int height);
// A position and size kept inside the area: x and y below the area's left
// and top edges move onto them, and the size shrinks to end at the right
// and bottom edges.
void FitInArea(const RECT& area, int* x, int* y, int* width, int* height);
}  // namespace zeqwindows
