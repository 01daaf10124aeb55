// The frame behaviour behind the common window handling (private to the
// window layer).
#pragma once
#include <windows.h>

#include "windows/records.h"
#include "windows/window_helpers.h"

namespace windowframe {

// The docked edge of an app bar (0 left, 1 top, 2 right, 3 bottom), -1
// for any other window.
int AppBarEdge(HWND window);
// WM_NCHITTEST; *useDefault when the default handling must answer.
LRESULT HitTest(HWND window, const ZEQWindowHolder& record, LPARAM lParam, bool* useDefault);
// WM_GETMINMAXINFO from the monitor's work area and the skin.
void SizingLimits(HWND window, const ZEQWindowHolder& record, MINMAXINFO* info);
// WM_WINDOWPOSCHANGED of a skinned container window.
void UpdateMaximizedLook(HWND window, const ZEQWindowHolder& record, const WINDOWPOS* position);
// WM_MOUSEMOVE: drags the window by its client area once the threshold is passed.
void ClientDrag(HWND window, const ZEQWindowHolder& record);
// WM_SIZING, WM_MOVING, WM_EXITSIZEMOVE.
LRESULT SizeMoveEvents(HWND window, const ZEQWindowHolder& record, UINT message, LPARAM lParam, bool* useDefault);

}  // namespace windowframe
