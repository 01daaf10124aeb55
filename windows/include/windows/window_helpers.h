// Small window functions shared by the common window handling and the
// control procedures: paint surfaces, window state and focus, dragging,
// dialog codes, the removal of a window's parameter block, window timers,
// list and tree queries, colours and bitmap headers. Functions that take a
// window do nothing and answer 0 (or null) for a dead window.
#pragma once
#include <windows.h>

#include <cstdint>

// Paint surfaces of a message: WM_PAINT BeginPaint; WM_NCPAINT the window
// DC (wParam 0 or 1) or a DC clipped to the region in wParam; WM_ERASEBKGND
// the DC in wParam; WM_PRINT and WM_PRINTCLIENT the DC in wParam after the
// default printing. clip receives the paint rectangle or the DC's clip box.
HDC ZEQBeginMessagePaint(UINT message, HWND window, WPARAM wParam, LPARAM lParam, PAINTSTRUCT* paint, RECT* clip);
// WM_NCPAINT: releases the DC (the slot becomes 0), 1; WM_ERASEBKGND 1;
// any other message 0 (WM_PAINT ends with EndPaint by the caller).
int ZEQEndMessagePaint(UINT message, HDC* slot, HWND window);
void ReleaseDCSlot(HDC* slot, HWND window);

// InvalidateRect of the whole client area without erasing; 1.
int InvalidateWindow(HWND window);
// ShowWindow with the program's rules: a minimised window is restored
// instead; "SHOWWINDOW::MAXIMIZED" or "SHOWWINDOW::MINIMIZED" turn the
// plain show commands into that state once (both are removed by any call);
// a window of another thread is shown asynchronously.
BOOL ShowWindowExt(HWND window, int command);
// SetActiveWindow for a live visible window; null otherwise.
HWND SetActiveWindowExt(HWND window);
// Focus to the window unless it has it, selecting all of an EDIT's text.
void SetFocusAndSelect(HWND window);
// Restores the window's owner when it is minimised; 0 for a dead window or
// owner, else 1.
int ZEQRestoreIconicOwner(HWND window);
int ZEQWindowBorderWidth(HWND window);
int ZEQWindowBorderHeight(HWND window);
bool ZEQIsDialogWindow(HWND window);
// 1 list view, 2 tree view, 3 list box, 4 tooltip, 5 header, 6 tab
// control, 0 any other class.
int ClassifyControlWindow(HWND window);
HWND WindowFromCursor();
bool PtInRectInclusive(const RECT* rect, int x, int y);
bool IsPrimaryMouseButtonDown();

void ZEQReleaseMouseCapture(HWND window);
// Lets the system move the window as by its caption; 1.
int ZEQStartCaptionDrag(HWND window);
// With the start point kept by the caller (-1, -1 none): true once the
// primary button is down and the cursor has left the square of 3 pixels
// around it (the point is then reset).
bool ZEQDragThresholdPassed(int* startX, int* startY);

bool ZEQIsRadioButton(HWND window);
// The WM_GETDLGCODE answer of a control window by its class.
LRESULT ZEQControlDialogCode(HWND window);

// The text-out manager a window of this process carries
// ("ZEQTEXTOUT::MANAGER"); null for any other window.
void* ZEQGetTextOutManager(HWND window);
// True for a valid record tagged "+ZEQMOTION" (a film-strip animation);
// false for null or anything else.
bool ZEQIsMotion(const void* record);

// At WM_NCDESTROY: puts a saved window procedure back, frees the
// parameter block (its skin, then its record holder), closes the
// "HWND::ALIVEEVENT" handle and removes the property.
void ZEQRemoveWindowParam(HWND window);

// Runs a ZEQTimer delivered by CMSG_ZEQTIMER (lParam) on the window's
// thread; 1, or 0 when its callback threw.
LRESULT ZEQDispatchWindowTimer(LPARAM timer);

// Where a tree item stands against a rectangle: 1 below, -1 above, 0 in.
int ZEQTreeItemVisibility(HWND tree, HANDLE item, const RECT* rect);
// The last item that lies wholly in the client area, and its rectangle.
HANDLE ZEQTreeLastVisibleItem(HWND tree, RECT* rect);
// The item's data of a list view, 0 when the query fails.
LPARAM ZEQListItemParam(HWND list, int item);

// SetTextColor / SetBkColor with a 0xAARRGGBB colour (alpha dropped);
// colour 0 sets nothing. Return the colour.
uint32_t ZEQSetTextColorARGB(HDC dc, uint32_t colour);
uint32_t ZEQSetBkColorARGB(HDC dc, uint32_t colour);
// A zero-filled header (and colour table) for the bitmap, LocalAlloc'd
// (LocalFree); null when the bitmap cannot be read.
BITMAPINFO* CreateBitmapInfoForBitmap(HBITMAP bitmap);
