// Window and GDI helpers of the window layer.
#include "windows/window_utils.h"

#include <cmath>

namespace {

bool IsDesktop(HWND window) {
  if (!window) return false;
  if (window == GetDesktopWindow()) return true;
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, "#32769") == 0;
}

}  // namespace

bool IsProcessWindow(HWND window) {
  if (!window || !IsWindow(window)) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId();
}

BOOL SetWindowPosExt(UINT flags, HWND window, HWND insertAfter, int x, int y, int width, int height) {
  if (!IsWindow(window)) return FALSE;
  flags |= SWP_NOACTIVATE;
  if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) flags |= SWP_ASYNCWINDOWPOS;
  if (GetPropExt(window, "TRANSPARENT")) flags |= SWP_NOCOPYBITS;
  return SetWindowPos(window, insertAfter, x, y, width, height, flags);
}

HANDLE GetPropExt(HWND window, const char* name) {
  if (!name || !IsProcessWindow(window)) return nullptr;
  return GetPropA(window, name);
}

HWND GetParentWindowExt(HWND window) {
  if (!IsWindow(window)) return nullptr;
  HWND parent = GetAncestor(window, GA_PARENT);
  return IsDesktop(parent) ? nullptr : parent;
}

HWND GetTopLevelWindowExt(HWND window) {
  if (!IsWindow(window)) return nullptr;
  while (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD) {
    HWND parent = GetParent(window);
    if (!parent || !IsWindow(parent)) break;
    window = parent;
  }
  return window;
}

HWND GetOwnerWindowExt(HWND window) {
  if (!IsWindow(window)) return nullptr;
  HWND owner = GetWindow(window, GW_OWNER);
  return IsDesktop(owner) ? nullptr : owner;
}

BOOL InvalidateRectExt(HWND window, const RECT* rect, BOOL erase) {
  if (!IsWindow(window)) return FALSE;
  return InvalidateRect(window, rect, erase);
}

bool MapRectToWindowRect(RECT* rect, HWND window) {
  RECT frame;
  if (!rect || !IsWindow(window) || !GetWindowRect(window, &frame)) return false;
  LONG x = rect->left - frame.left;
  LONG y = rect->top - frame.top;
  LONG width = rect->right - rect->left;
  LONG height = rect->bottom - rect->top;
  if (x < 0) {
    width += x;
    x = 0;
  }
  if (y < 0) {
    height += y;
    y = 0;
  }
  *rect = RECT{x, y, width, height};
  return true;
}

HWND ChildWindowUnderCursor(HWND window) {
  POINT point;
  if (!IsWindow(window) || !GetCursorPos(&point) || !ScreenToClient(window, &point)) return nullptr;
  return ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
}

double GetMonitorScaleFactor(HWND window) {
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  MONITORINFOEXA info = {};
  info.cbSize = sizeof info;
  if (!monitor || !GetMonitorInfoA(monitor, &info)) return 1.0;
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  const LONG width = info.rcMonitor.right - info.rcMonitor.left;
  if (width <= 0 || !EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode) || mode.dmPelsWidth == 0) {
    return 1.0;
  }
  return static_cast<double>(mode.dmPelsWidth) / width;
}

void RectLogicalToPhysical(RECT* rect, HWND window) {
  if (!rect) return;
  const double scale = GetMonitorScaleFactor(window);
  rect->left = static_cast<LONG>(std::trunc(rect->left * scale));
  rect->top = static_cast<LONG>(std::trunc(rect->top * scale));
  rect->right = static_cast<LONG>(std::trunc(rect->right * scale));
  rect->bottom = static_cast<LONG>(std::trunc(rect->bottom * scale));
}

void RectPhysicalToLogical(RECT* rect, HWND window) {
  if (!rect) return;
  const double scale = GetMonitorScaleFactor(window);
  if (scale <= 0) return;
  rect->left = static_cast<LONG>(std::trunc(rect->left / scale));
  rect->top = static_cast<LONG>(std::trunc(rect->top / scale));
  rect->right = static_cast<LONG>(std::trunc(rect->right / scale));
  rect->bottom = static_cast<LONG>(std::trunc(rect->bottom / scale));
}

HPEN CreateRGBPen(DWORD rgb, int width) {
  if (width == 0 || (rgb & 0xFFFFFF) == 0) return CreatePen(PS_NULL, 0, 0);
  const COLORREF colour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  return CreatePen(PS_SOLID, width, colour);
}

namespace {

// 0: before NT 5; 1: NT 5.x; 2: Vista and later.
int FontGeneration() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version)) return 0;
#pragma GCC diagnostic pop
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;
  if (version.dwMajorVersion >= 6) return 2;
  return version.dwMajorVersion == 5 ? 1 : 0;
}

}  // namespace

const char* GetSystemFontFace() {
  static const char* const faces[] = {"Arial", "Tahoma", "Segoe UI"};
  return faces[FontGeneration()];
}

int GetSystemFontSize() { return FontGeneration() == 1 ? 11 : 12; }

void DeleteDCSlot(HDC* slot) {
  if (!slot) return;
  HDC dc = *slot;
  *slot = nullptr;
  if (dc) DeleteDC(dc);
}

HBITMAP CreateCompatibleBitmapExt(int height, int width, HDC dc) {
  if (height <= 0) return nullptr;
  HDC screen = dc ? nullptr : GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc ? dc : screen, width, height);
  if (screen) ReleaseDC(nullptr, screen);
  return bitmap;
}

void ClipOutClientArea(const RECT& rect, HDC dc, const RECT& insets, int captionHeight) {
  if (!dc) return;
  RECT client = {rect.left + insets.left, rect.top + insets.top, rect.right - insets.right,
                 rect.bottom - insets.bottom};
  if (captionHeight > 0) client.top += captionHeight;
  if (client.right <= client.left || client.bottom <= client.top) return;
  // The region is the inset rectangle itself: its right and bottom edges,
  // not its width and height taken as coordinates.
  HRGN region = CreateRectRgn(client.left, client.top, client.right, client.bottom);
  if (!region) return;
  ExtSelectClipRgn(dc, region, RGN_DIFF);
  DeleteObject(region);
}

RECT SKINPlaceArea(const RECT& rect, const int area[4]) {
  RECT placed;
  placed.left = area[0] >= 0 ? rect.left + area[0] : rect.right + area[0];
  placed.top = area[1] >= 0 ? rect.top + area[1] : rect.bottom + area[1];
  placed.right = rect.right - area[2] < placed.left ? placed.left : rect.right - area[2];
  placed.bottom = rect.bottom - area[3] < placed.top ? placed.top : rect.bottom - area[3];
  return placed;
}

void SKINClipToClientArea(const RECT& rect, HDC dc, const SKINHolder& skin) {
  const ZEQBASESKIN* record = skin.Get();
  if (!dc || !record) return;
  const RECT client = SKINPlaceArea(rect, record->elements[0].client.area);
  const RECT none = {0, 0, 0, 0};
  ClipOutClientArea(client, dc, none, 0);
}
