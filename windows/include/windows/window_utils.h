// Window and GDI helpers shared by the window layer: positioning, window
// properties of this process only, parents and owners, rectangle mapping,
// display scaling, pens, the user-interface font and small GDI handle
// helpers. Every window helper does nothing (null, false) for a window that
// IsWindow rejects.
#pragma once
#include <windows.h>

#include "windows/skin_record.h"

// SetWindowPos with SWP_NOACTIVATE, plus SWP_ASYNCWINDOWPOS for a window of
// another thread and SWP_NOCOPYBITS for a window carrying "TRANSPARENT".
BOOL SetWindowPosExt(UINT flags, HWND window, HWND insertAfter, int x, int y, int width, int height);
// GetPropA for a window of the current process; null for any other.
HANDLE GetPropExt(HWND window, const char* name);
// TRUE when the window is alive and belongs to this process.
bool IsProcessWindow(HWND window);
// GetAncestor(GA_PARENT); null when that parent is the desktop window.
HWND GetParentWindowExt(HWND window);
// Climbs parents while the window has WS_CHILD.
HWND GetTopLevelWindowExt(HWND window);
// The owner window; null for a dead window or a desktop owner.
HWND GetOwnerWindowExt(HWND window);
BOOL InvalidateRectExt(HWND window, const RECT* rect, BOOL erase);
// A screen rectangle (left, top, right, bottom) as (x, y, width, height)
// relative to the window's top-left corner; a negative x or y becomes 0 and
// the width or height shrinks by as much. false when the window rectangle
// cannot be read.
bool MapRectToWindowRect(RECT* rect, HWND window);
HWND ChildWindowUnderCursor(HWND window);

// Display scaling of the monitor nearest to the window: display-mode width
// over monitor width (1.0 when unknown).
double GetMonitorScaleFactor(HWND window);
void RectLogicalToPhysical(RECT* rect, HWND window);
void RectPhysicalToLogical(RECT* rect, HWND window);

// A solid pen of 0xRRGGBB when colour and width are both non-zero, else a
// null pen, so black never draws a line.
HPEN CreateRGBPen(DWORD rgb, int width);
// The user-interface font of the running Windows version.
const char* GetSystemFontFace();
int GetSystemFontSize();

// GDI handles.
inline bool IsValidGdiHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
// Takes the DC out of the slot and deletes it.
void DeleteDCSlot(HDC* slot);
// 0 for a height of 0 or less; without a DC the screen's is used.
HBITMAP CreateCompatibleBitmapExt(int height, int width, HDC dc);

// Removes from the DC's clip region the client area of a rectangle: the
// rectangle inset by `insets` (left, top, right, bottom amounts), its top
// moved down by the caption height. What is later copied onto the DC
// leaves that area untouched.
void ClipOutClientArea(const RECT& rect, HDC dc, const RECT& insets, int captionHeight);
// Places a skin area's four values in a rectangle (the area rule): a
// negative left or top counts from the right or bottom edge; the right and
// bottom amounts are taken off, never past the left and top.
RECT SKINPlaceArea(const RECT& rect, const int area[4]);
// The same with the skin's client area (element 0's client area, placed by
// the area rule). Nothing is clipped without a skin. The skin record keeps
// no caption, so no caption height is added.
void SKINClipToClientArea(const RECT& rect, HDC dc, const SKINHolder& skin);
