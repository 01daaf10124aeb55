// The shared message handling of every program window.
#include "windows/common_window_proc.h"

#include <shellapi.h>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/result_codes.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include "windows/window_close.h"
#include "windows/window_commands.h"
#include "windows/window_helpers.h"
#include "windows/window_utils.h"
#include "window_frame.h"

namespace {

constexpr char kPaintDefault[] = "PAINTING::DEFAULT";
constexpr char kSplash[] = "ZEQSPLASH";
constexpr char kNoActivate[] = "NOACTIVATE";
constexpr char kTopmost[] = "TOPMOST";
constexpr char kAliveEvent[] = "HWND::ALIVEEVENT";
constexpr char kPostQuit[] = "POSTQUITONDESTROY";
constexpr char kBrowserClass[] = "Internet Explorer_Server";

LRESULT DefaultHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ZEQIsDialogWindow(window) ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// The browser window of the window's container, searched below its body.
HWND BrowserWindowOf(HWND window) {
  HWND body = ZEQGetBodyWindow(window);
  HWND from = body ? body : window;
  HWND found = FindWindowExA(from, nullptr, kBrowserClass, nullptr);
  for (HWND child = GetWindow(from, GW_CHILD); !found && child; child = GetWindow(child, GW_HWNDNEXT)) {
    found = FindWindowExA(child, nullptr, kBrowserClass, nullptr);
    for (HWND inner = GetWindow(child, GW_CHILD); !found && inner; inner = GetWindow(inner, GW_HWNDNEXT)) {
      found = FindWindowExA(inner, nullptr, kBrowserClass, nullptr);
    }
  }
  return found;
}

void SyncDependents(HWND window, uint32_t flags) {
  const ZEQWindowRelationHooks* hooks = ZEQGetWindowRelationHooks();
  if (hooks->syncDependents) hooks->syncDependents(window, flags);
}

void SetDialogResult(HWND window, LONG_PTR result) {
  if (ZEQIsDialogWindow(window)) SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
}

bool MustStayHidden(HWND window) {
  if (window == ZEQGetMainWindow()) return true;
  ZEQContainerHolder container = ZEQGetBaseContainer(ZEQGetBodyWindow(window));
  return container.IsSet() && (container->options & WB_ALWAYSHIDDEN);
}

void PlaceAppBarOnTop(HWND window, bool always) {
  APPBARDATA data = {};
  data.cbSize = sizeof data;
  data.hWnd = window;
  const UINT_PTR state = SHAppBarMessage(ABM_GETSTATE, &data);
  if (state & ABS_ALWAYSONTOP) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else if (always) {
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void AppBarNotify(HWND window, DWORD what) {
  if (windowframe::AppBarEdge(window) < 0) return;
  APPBARDATA data = {};
  data.cbSize = sizeof data;
  data.hWnd = window;
  SHAppBarMessage(what, &data);
}

LRESULT PositionChanging(HWND window, const ZEQWindowHolder& record, WINDOWPOS* position) {
  if (!position) return 0;
  if (GetPropA(window, kNoActivate)) position->flags |= SWP_NOACTIVATE;
  if (MustStayHidden(window)) {
    position->flags &= ~SWP_SHOWWINDOW;
    position->flags |= SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  }
  if (record->zOrderAnchor) {
    position->flags &= ~SWP_NOZORDER;
    position->hwndInsertAfter = record->zOrderAnchor;
  }
  SyncDependents(window, 0x215);
  if (record->container.IsSet()) {
    if ((position->flags & SWP_SHOWWINDOW) && !IsWindowVisible(window)) {
      record->captureOnShow = 0;
      ZEQRaiseWindowEventBool(window, L"ZEQOnBeforeWindowVisible", true, kZEQEventPosted, ZEQEventTarget::Event);
    } else if ((position->flags & SWP_HIDEWINDOW) && IsWindowVisible(window)) {
      ZEQRaiseWindowEventBool(window, L"ZEQOnBeforeWindowVisible", false, kZEQEventPosted, ZEQEventTarget::Event);
    }
  }
  if (GetPropA(window, kTopmost)) {
    position->flags &= ~SWP_NOZORDER;
    position->hwndInsertAfter = HWND_TOPMOST;
  }
  return 0;
}

void PositionChanged(HWND window, const ZEQWindowHolder& record, const WINDOWPOS* position) {
  SyncDependents(window, 0x21A);
  if (record->container.IsSet() && position) {
    if ((position->flags & SWP_SHOWWINDOW) && IsWindowVisible(window)) {
      ZEQRaiseWindowEventBool(window, L"ZEQOnAfterWindowVisible", true, kZEQEventPosted, ZEQEventTarget::Event);
    } else if ((position->flags & SWP_HIDEWINDOW) && !IsWindowVisible(window)) {
      ZEQRaiseWindowEventBool(window, L"ZEQOnAfterWindowVisible", false, kZEQEventPosted, ZEQEventTarget::Event);
    }
  }
  AppBarNotify(window, ABM_WINDOWPOSCHANGED);
}

LRESULT SystemCommand(HWND window, const ZEQWindowHolder& record, WPARAM command, LPARAM lParam) {
  switch (command) {
    case SC_KEYMENU:
    case SC_MOUSEMENU:
      ZEQShowWindowMenu(window);
      return 1;
    case SC_CLOSE:
      if (record->frameFlags & kFrameCloseDenied) return 1;
      break;
    case SC_MINIMIZE:
      ZEQMinimizeWindowCommand(window, true);
      return 1;
    case SC_MAXIMIZE:
      ZEQToggleMaximizeWindow(window, true);
      return 1;
    case SC_MOVE:
      if (record->frameFlags & kFrameDontMove) return 1;
      break;
    case SC_RESTORE:
      ZEQRestoreWindowCommand(window);
      return 1;
    default:
      break;
  }
  return DefaultHandling(window, WM_SYSCOMMAND, command, lParam);
}

LRESULT DoubleClick(HWND window, const ZEQWindowHolder& record, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!record->container.IsSet()) return DefaultHandling(window, message, wParam, lParam);
  const uint32_t answer =
      ZEQRaiseWindowEvent(window, L"ZEQOnWindowDblClick", kZEQEventAsking, ZEQEventTarget::Event);
  if (ZEQEventCancels(answer)) return DefaultHandling(window, message, wParam, lParam);
  RECT rect;
  POINT cursor;
  const ZEQBASESKIN* skin = record->skin.Get();
  const int band = skin ? skin->title.font.height : 0;
  if (GetWindowRect(window, &rect) && GetCursorPos(&cursor)) {
    rect.bottom = rect.top + band;
    if (PtInRectInclusive(&rect, cursor.x, cursor.y)) {
      ZEQToggleMaximizeWindow(window, true);
      return 0;
    }
  }
  return DefaultHandling(window, message, wParam, lParam);
}

void OnDestroy(HWND window, const ZEQWindowHolder& record) {
  ZEQList* windows = ZEQGlobalWindowList();
  ZEQList::Remove(&windows, reinterpret_cast<uintptr_t>(window));
  (void)record;
  if (HANDLE alive = GetPropA(window, kAliveEvent)) SetEvent(alive);
}

void OnNcDestroy(HWND window, const ZEQWindowHolder& record) {
  HWND tooltip = record->tooltip;
  record->tooltip = nullptr;
  const bool appBar = windowframe::AppBarEdge(window) >= 0;
  if (appBar) {
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uCallbackMessage = CMSG_APPBAR;
    SHAppBarMessage(ABM_REMOVE, &data);
  }
  ZEQRemoveWindowParam(window);
  ZEQList* records = ZEQWindowRecordList();
  ZEQList::Remove(&records, reinterpret_cast<uintptr_t>(window));
  if (RemovePropA(window, kPostQuit)) PostQuitMessage(0);
  // Takes the window out of its UI thread's list and wakes that loop.
  ZEQRemoveUIThreadWindow(window);
  if (tooltip) DestroyWindowExt(tooltip, FALSE);
  if (window == ZEQGetMainWindow() && ZEQGetApplicationState() == kZEQAppRunning) KESTOTerminate();
}

LRESULT HandleWithRecord(HWND window, const ZEQWindowHolder& record, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool container = record->container.IsSet();
  const bool blank = SKINIsBlank(record->skin);
  switch (message) {
    case WM_DESTROY:
      OnDestroy(window, record);
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy(window, record);
      break;
    case WM_CLOSE:
      return ZEQPostCloseWindow(window, 0, true);
    case WM_MOVE: {
      const int32_t items[] = {LOWORD(lParam), HIWORD(lParam)};
      ZEQRaiseWindowEventArray(window, L"ZEQOnWindowMoved", items, 2, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
      break;
    }
    case WM_SIZE: {
      InvalidateWindow(window);
      const int32_t items[] = {LOWORD(lParam), HIWORD(lParam), static_cast<int32_t>(wParam)};
      ZEQRaiseWindowEventArray(window, L"ZEQOnWindowSized", items, 3, nullptr, kZEQEventPosted,
                               ZEQEventTarget::Event);
      return 0;
    }
    case WM_ACTIVATE:
      if (!blank) InvalidateWindow(window);
      if (LOWORD(wParam) != WA_INACTIVE) {
        ZEQRestoreIconicOwner(window);
        SyncDependents(window, 0x224);
        if (HWND browser = BrowserWindowOf(window)) SetActiveWindowExt(browser);
        ZEQRaiseWindowEvent(window, L"ZEQOnActivateWindow", kZEQEventPosted, ZEQEventTarget::Host);
      } else {
        ZEQRaiseWindowEvent(window, L"ZEQOnDeactivateWindow", kZEQEventPosted, ZEQEventTarget::Host);
      }
      AppBarNotify(window, ABM_ACTIVATE);
      return 0;
    case WM_SETFOCUS: {
      if (!ZEQCanTakeUserInput(window)) return 0;
      const uint32_t answer = ZEQRaiseWindowEvent(window, L"ZEQOnWindowFocus", kZEQEventAsking, ZEQEventTarget::Host);
      if (!ZEQEventCancels(answer)) {
        if (HWND browser = BrowserWindowOf(window)) SetFocusAndSelect(browser);
      }
      return 1;
    }
    case WM_KILLFOCUS:
      ZEQRaiseWindowEvent(window, L"ZEQOnWindowBlur", kZEQEventPosted, ZEQEventTarget::Host);
      return 1;
    case WM_ENABLE:
      if (!blank) InvalidateWindow(window);
      ZEQRaiseWindowEvent(window, wParam == 1 ? L"ZEQOnEnableWindow" : L"ZEQOnDisableWindow", kZEQEventPosted,
                          ZEQEventTarget::Host);
      return 1;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      InvalidateWindow(window);
      return result;
    }
    case WM_ERASEBKGND: {
      if (GetPropA(window, kPaintDefault)) break;
      if (GetPropA(window, kSplash)) return 1;
      RECT rect;
      if (wParam && GetClientRect(window, &rect)) {
        FillRect(reinterpret_cast<HDC>(wParam), &rect, GetSysColorBrush(COLOR_WINDOW));
      }
      SetDialogResult(window, 1);
      return 1;
    }
    case WM_ACTIVATEAPP:
      if (window == ZEQGetMainWindow()) {
        ZEQRaiseWindowEvent(window, wParam ? L"ZEQOnKESTOActivate" : L"ZEQOnKESTODeactivate", kZEQEventPosted,
                            ZEQEventTarget::Host);
        if (record->flashRequest > 0) {
          record->flashRequest = 0;
          FlashWindow(window, FALSE);
        }
      }
      break;
    case WM_CANCELMODE:
      ZEQReleaseMouseCapture(window);
      break;
    case WM_GETMINMAXINFO:
      windowframe::SizingLimits(window, record, reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(record->skinFont);
    case WM_WINDOWPOSCHANGING:
      PositionChanging(window, record, reinterpret_cast<WINDOWPOS*>(lParam));
      break;
    case WM_WINDOWPOSCHANGED:
      PositionChanged(window, record, reinterpret_cast<const WINDOWPOS*>(lParam));
      break;
    case WM_NCCALCSIZE:
      if (!blank && lParam) {
        DefWindowProcA(window, message, wParam, lParam);
        auto rect = reinterpret_cast<RECT*>(lParam);
        const int width = ZEQWindowBorderWidth(window);
        const int height = ZEQWindowBorderHeight(window);
        rect->left -= width;
        rect->right += width;
        rect->top -= height;
        rect->bottom += height;
        return 0;
      }
      break;
    case WM_NCHITTEST: {
      bool useDefault = false;
      const LRESULT code = windowframe::HitTest(window, record, lParam, &useDefault);
      if (!useDefault) return code;
      break;
    }
    case WM_NCACTIVATE:
      if (GetPropA(window, kNoActivate)) return 0;
      if (ZEQIsDialogWindow(window)) break;
      // The frame keeps its look: the default activation painting is
      // still done for windows the system draws.
      if (blank) return DefWindowProcA(window, message, wParam, lParam);
      return 1;
    case WM_GETDLGCODE: {
      const LRESULT code = ZEQControlDialogCode(window);
      SetDialogResult(window, code);
      return code;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        ZEQPostCloseWindow(window, 0, true);
      } else if ((HIWORD(wParam) == 1 || HIWORD(wParam) == 8) && lParam) {
        InvalidateWindow(reinterpret_cast<HWND>(lParam));
      }
      break;
    case WM_SYSCOMMAND:
      return SystemCommand(window, record, wParam, lParam);
    case WM_MOUSEMOVE:
      windowframe::ClientDrag(window, record);
      break;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_NCRBUTTONDOWN: {
      if (!ZEQCheckUserInput(window)) {
        MessageBeep(MB_ICONASTERISK);
        return 0;
      }
      POINT cursor = {-1, -1};
      GetCursorPos(&cursor);
      if (message == WM_LBUTTONDOWN || message == WM_NCLBUTTONDOWN) {
        record->dragStart = cursor;
      } else {
        record->contextPoint = cursor;
      }
      break;
    }
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP:
      if (!ZEQCheckUserInput(window)) {
        MessageBeep(MB_ICONASTERISK);
        return 0;
      }
      break;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      if (!ZEQCheckUserInput(window)) {
        MessageBeep(MB_ICONASTERISK);
        return 0;
      }
      return DoubleClick(window, record, message, wParam, lParam);
    case WM_SIZING:
    case WM_MOVING:
    case WM_EXITSIZEMOVE: {
      bool useDefault = false;
      const LRESULT result = windowframe::SizeMoveEvents(window, record, message, lParam, &useDefault);
      if (!useDefault) return result;
      break;
    }
    case WM_ENTERSIZEMOVE:
      return 0;
    default:
      break;
  }
  (void)container;
  return DefaultHandling(window, message, wParam, lParam);
}

LRESULT AppBarMessage(HWND window, WPARAM code, LPARAM lParam) {
  if (code == 0) PlaceAppBarOnTop(window, true);
  if (code == 2) {
    if (lParam) {
      PlaceAppBarOnTop(window, true);
    } else {
      PlaceAppBarOnTop(window, false);
    }
  }
  return DefWindowProcA(window, CMSG_APPBAR, code, lParam);
}

}  // namespace

LRESULT ZEQCommonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == CMSG_ZEQTIMER) return ZEQDispatchWindowTimer(lParam);
    if (message == CMSG_APPBAR) return AppBarMessage(window, wParam, lParam);
    if (message == CMSG_APPBARSETPOSITION) return 0;
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (!record.IsSet()) return DefaultHandling(window, message, wParam, lParam);
    if (message == WM_WINDOWPOSCHANGED && record->container.IsSet() && !SKINIsBlank(record->skin)) {
      windowframe::UpdateMaximizedLook(window, record, reinterpret_cast<const WINDOWPOS*>(lParam));
    }
    if (message == CMSG_DESTROYWND || message == CMSG_CLOSEWINDOW) {
      if (window) DestroyWindowExt(window, FALSE);
      return 0;
    }
    if (message == CMSG_SHOWPOPUPMENU) return 0;
    return HandleWithRecord(window, record, message, wParam, lParam);
  } catch (...) {
    ZEQLogPrintf("!ZEQCommonWindowProc: Unexpected exception...");
    return 0;
  }
}
