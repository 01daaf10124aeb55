// The frame behaviour of program windows: hit codes, sizing limits, the
// maximised look, and the events of user moving and sizing.
#include "window_frame.h"

#include <shellapi.h>

#include "foundation/records.h"
#include "windows/common_window_proc.h"
#include "windows/window_utils.h"

namespace windowframe {

namespace {

constexpr char kAppBar[] = "ZEQAPPBAR";

// Hit codes of the skin's element actions (top four bits of the action).
LRESULT ActionHitCode(uint32_t action, bool frameMoves) {
  static const LRESULT codes[] = {HTNOWHERE, HTCLIENT,     HTLEFT,        HTTOP,   HTTOPLEFT, HTTOPRIGHT,
                                  HTBOTTOM,  HTBOTTOMLEFT, HTBOTTOMRIGHT, HTRIGHT, HTGROWBOX, HTCAPTION};
  const uint32_t kind = action >> 28;
  if (kind == 0 || kind >= sizeof codes / sizeof codes[0]) return -1;
  if (codes[kind] == HTCAPTION && !frameMoves) return HTNOWHERE;
  return codes[kind];
}

// The border code of a point (screen coordinates) against the window's
// rectangle and the skin's resize border; HTNOWHERE when none.
LRESULT BorderCode(HWND window, const ZEQBASESKIN* skin, POINT point) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return HTNOWHERE;
  int size = skin ? skin->elements[0].resizeBorderSize : 4;
  int sides = skin ? skin->elements[0].resizeSides : 15;
  if (size <= 0) return HTNOWHERE;
  const bool left = (sides & 1) && point.x >= rect.left && point.x < rect.left + size;
  const bool top = (sides & 2) && point.y >= rect.top && point.y < rect.top + size;
  const bool right = (sides & 4) && point.x < rect.right && point.x >= rect.right - size;
  const bool bottom = (sides & 8) && point.y < rect.bottom && point.y >= rect.bottom - size;
  if (top && left) return HTTOPLEFT;
  if (top && right) return HTTOPRIGHT;
  if (bottom && left) return HTBOTTOMLEFT;
  if (bottom && right) return HTBOTTOMRIGHT;
  if (left) return HTLEFT;
  if (right) return HTRIGHT;
  if (top) return HTTOP;
  if (bottom) return HTBOTTOM;
  return HTNOWHERE;
}

bool WorkArea(HWND window, RECT* area) {
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (!monitor || !GetMonitorInfoA(monitor, &info)) return false;
  *area = info.rcWork;
  return true;
}

}  // namespace

int AppBarEdge(HWND window) {
  auto appBar = static_cast<const uintptr_t*>(GetPropExt(window, kAppBar));
  if (!appBar) return -1;
  // The app-bar record's second word is its docked edge.
  if (IsWritableMemory(appBar, 2 * sizeof(uintptr_t))) return static_cast<int>(appBar[1]);
  return -1;
}

LRESULT HitTest(HWND window, const ZEQWindowHolder& record, LPARAM lParam, bool* useDefault) {
  *useDefault = false;
  const bool frameMoves = !(record->frameFlags & kFrameDontMove);
  if (SKINIsBlank(record->skin)) {
    if (!frameMoves) return HTNOWHERE;
    *useDefault = true;
    return 0;
  }
  const ZEQBASESKIN* skin = record->skin.Get();
  const int hot = skin->hotElement;
  if (hot >= 0 && hot < kSkinElementCount) {
    const LRESULT code = ActionHitCode(skin->elements[hot].hitAction, frameMoves);
    if (code >= 0) return code;
    *useDefault = true;
    return 0;
  }
  const int edge = AppBarEdge(window);
  if (edge < 0 && !frameMoves) return HTNOWHERE;
  const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  LRESULT code = BorderCode(window, skin, point);
  if (edge == 0 && code != HTRIGHT) code = HTNOWHERE;
  if (edge == 2 && code != HTLEFT) code = HTNOWHERE;
  if (code == HTNOWHERE) *useDefault = true;
  return code;
}

void SizingLimits(HWND window, const ZEQWindowHolder& record, MINMAXINFO* info) {
  if (!info) return;
  const ZEQBASESKIN* skin = record->skin.Get();
  RECT area;
  // A window that lies on no monitor is given the nearest monitor's area.
  if (WorkArea(window, &area)) {
    info->ptMaxSize.x = area.right - area.left;
    info->ptMaxSize.y = area.bottom - area.top;
  }
  info->ptMaxPosition.x = 0;
  info->ptMaxPosition.y = 0;
  if (!skin) return;
  if (skin->maximumSize[0] != -1) info->ptMaxSize.x = skin->maximumSize[0];
  if (skin->maximumSize[1] != -1) info->ptMaxSize.y = skin->maximumSize[1];
  if (skin->maximumPosition[0] != -1) info->ptMaxPosition.x = skin->maximumPosition[0];
  if (skin->maximumPosition[1] != -1) info->ptMaxPosition.y = skin->maximumPosition[1];
  if (skin->maximumTrackingSize[0] != -1) info->ptMaxTrackSize.x = skin->maximumTrackingSize[0];
  if (skin->maximumTrackingSize[1] != -1) info->ptMaxTrackSize.y = skin->maximumTrackingSize[1];
  const LONG maxTrackX = GetSystemMetrics(SM_CXMAXTRACK);
  const LONG maxTrackY = GetSystemMetrics(SM_CYMAXTRACK);
  if (maxTrackX > 0 && info->ptMaxTrackSize.x > maxTrackX) info->ptMaxTrackSize.x = maxTrackX;
  if (maxTrackY > 0 && info->ptMaxTrackSize.y > maxTrackY) info->ptMaxTrackSize.y = maxTrackY;
  if (skin->minimumTrackingSize[0] != -1 || skin->minimumTrackingSize[1] != -1) {
    if (skin->minimumTrackingSize[0] != -1) info->ptMinTrackSize.x = skin->minimumTrackingSize[0];
    if (skin->minimumTrackingSize[1] != -1) info->ptMinTrackSize.y = skin->minimumTrackingSize[1];
  } else if (!SKINIsBlank(record->skin)) {
    const SKINMESH& mesh = skin->elements[0].mesh;
    info->ptMinTrackSize.x = mesh.vertical[3] - mesh.vertical[0];
    info->ptMinTrackSize.y = mesh.horizontal[3] - mesh.horizontal[0];
  }
}

void UpdateMaximizedLook(HWND window, const ZEQWindowHolder& record, const WINDOWPOS* position) {
  bool maximized = IsZoomed(window) || AppBarEdge(window) >= 0;
  RECT area, rect;
  const ZEQBASESKIN* skin = record->skin.Get();
  if (!maximized && WorkArea(window, &area) && GetWindowRect(window, &rect)) {
    const LONG width = skin && skin->maximumSize[0] != -1 ? skin->maximumSize[0] : area.right - area.left;
    const LONG height = skin && skin->maximumSize[1] != -1 ? skin->maximumSize[1] : area.bottom - area.top;
    maximized = (rect.left == 0 || rect.top == 0) && rect.right >= width && rect.bottom >= height;
  }
  const bool shown = position && (position->flags & SWP_SHOWWINDOW);
  if ((maximized ? 1 : 0) == record->maximizedState && !shown) return;
  record->maximizedState = maximized ? 1 : 0;
  ZEQContainerHolder container;
  container.ShareFrom(record->container);
  const char* name = nullptr;
  if (container.IsSet()) name = maximized ? container->maximizedStateSet : container->defaultStateSet;
  if (!name || !*name) name = maximized ? "maximized" : "default";
  if (ZEQBASESKIN* own = record->skin.Get()) SKINSetText(&own->customStateSetName, name);
}

void ClientDrag(HWND window, const ZEQWindowHolder& record) {
  const ZEQBASESKIN* skin = record->skin.Get();
  if (skin && skin->hotElement >= 0) {
    record->dragStart = POINT{-1, -1};
    return;
  }
  const POINT start = record->dragStart;
  if (start.x != -1 && BorderCode(window, skin, start) != HTNOWHERE) return;
  int x = record->dragStart.x;
  int y = record->dragStart.y;
  const bool passed = ZEQDragThresholdPassed(&x, &y);
  record->dragStart = POINT{x, y};
  if (passed && !(record->frameFlags & kFrameDontMove)) ZEQStartCaptionDrag(window);
}

LRESULT SizeMoveEvents(HWND window, const ZEQWindowHolder& record, UINT message, LPARAM lParam, bool* useDefault) {
  *useDefault = message == WM_MOVING;
  const bool container = record->container.IsSet();
  const RECT* rect = reinterpret_cast<const RECT*>(lParam);
  if (message == WM_SIZING || message == WM_MOVING) {
    if (!container || !rect) return message == WM_SIZING ? 1 : 0;
    if (message == WM_SIZING) {
      if (!record->userSizing) {
        const int32_t items[] = {rect->right, rect->bottom};
        ZEQRaiseWindowEventArray(window, L"ZEQOnEnterUserWindowSizing", items, 2, nullptr, kZEQEventPosted,
                                 ZEQEventTarget::Event);
        record->userSizing = 1;
      } else {
        const int32_t items[] = {rect->left, rect->top, rect->right, rect->bottom};
        ZEQRaiseWindowEventArray(window, L"ZEQOnWindowResizing", items, 4, "12345", kZEQEventPosted,
                                 ZEQEventTarget::Event);
      }
      return 1;
    }
    if (!record->userMoving) {
      const int32_t items[] = {rect->left, rect->top};
      ZEQRaiseWindowEventArray(window, L"ZEQOnEnterUserWindowMoving", items, 2, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
      record->userMoving = 1;
    } else {
      const int32_t items[] = {rect->left, rect->top, rect->right, rect->bottom};
      ZEQRaiseWindowEventArray(window, L"ZEQOnWindowMoving", items, 4, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
    }
    return 0;
  }
  // WM_EXITSIZEMOVE
  RECT now = {};
  GetWindowRect(window, &now);
  if (record->userMoving) {
    const int32_t items[] = {now.left, now.top};
    if (container) {
      ZEQRaiseWindowEventArray(window, L"ZEQOnLeaveUserWindowMoving", items, 2, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
    }
    record->userMoving = 0;
  }
  if (record->userSizing) {
    const int32_t items[] = {now.right - now.left, now.bottom - now.top};
    if (container) {
      ZEQRaiseWindowEventArray(window, L"ZEQOnLeaveUserWindowSizing", items, 2, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
    }
    record->userSizing = 0;
  }
  return 0;
}

}  // namespace windowframe
