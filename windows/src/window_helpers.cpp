// Small window functions shared by the window procedures.
#include "windows/window_helpers.h"

#include <commctrl.h>

#include <cstring>

#include "foundation/log.h"
#include "foundation/records.h"
#include "foundation/timer_thread.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

constexpr char kShowMaximized[] = "SHOWWINDOW::MAXIMIZED";
constexpr char kShowMinimized[] = "SHOWWINDOW::MINIMIZED";

bool ClassIs(HWND window, const char* name) {
  char className[64] = {};
  return GetClassNameA(window, className, sizeof className) > 0 && lstrcmpiA(className, name) == 0;
}

bool OfThisThread(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

LPARAM PackPoint(POINT point) {
  return MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
}

}  // namespace

HDC ZEQBeginMessagePaint(UINT message, HWND window, WPARAM wParam, LPARAM lParam, PAINTSTRUCT* paint, RECT* clip) {
  if (!IsWindow(window)) return nullptr;
  RECT box = {};
  HDC dc = nullptr;
  switch (message) {
    case WM_PAINT:
      if (!paint) return nullptr;
      dc = BeginPaint(window, paint);
      box = paint->rcPaint;
      break;
    case WM_NCPAINT:
      dc = wParam <= 1 ? GetWindowDC(window)
                       : GetDCEx(window, reinterpret_cast<HRGN>(wParam),
                                 DCX_WINDOW | DCX_CLIPCHILDREN | DCX_PARENTCLIP | DCX_INTERSECTRGN);
      if (dc) GetClipBox(dc, &box);
      break;
    case WM_PRINT:
    case WM_PRINTCLIENT:
      DefWindowProcA(window, message, wParam, lParam);
      dc = reinterpret_cast<HDC>(wParam);
      if (dc) GetClipBox(dc, &box);
      break;
    case WM_ERASEBKGND:
      dc = reinterpret_cast<HDC>(wParam);
      if (dc) GetClipBox(dc, &box);
      break;
    default:
      return nullptr;
  }
  if (clip) *clip = box;
  return dc;
}

int ZEQEndMessagePaint(UINT message, HDC* slot, HWND window) {
  if (message == WM_NCPAINT) {
    ReleaseDCSlot(slot, window);
    return 1;
  }
  return message == WM_ERASEBKGND ? 1 : 0;
}

void ReleaseDCSlot(HDC* slot, HWND window) {
  if (!slot || !*slot) return;
  HDC dc = *slot;
  *slot = nullptr;
  ReleaseDC(window, dc);
}

int InvalidateWindow(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  return 1;
}

BOOL ShowWindowExt(HWND window, int command) {
  if (!IsWindow(window)) return FALSE;
  if (IsIconic(window)) command = SW_RESTORE;
  if (IsProcessWindow(window) && (GetPropA(window, kShowMaximized) || GetPropA(window, kShowMinimized))) {
    if (command == SW_SHOWNOACTIVATE || command == SW_SHOW || command == SW_SHOWNA || command == SW_SHOWDEFAULT) {
      command = GetPropA(window, kShowMaximized) ? SW_SHOWMAXIMIZED : SW_SHOWMINIMIZED;
    }
    RemovePropA(window, kShowMaximized);
    RemovePropA(window, kShowMinimized);
  }
  if (!OfThisThread(window)) return ShowWindowAsync(window, command);
  const BOOL result = ShowWindow(window, command);
  if (IsWindow(window)) UpdateWindow(window);
  return result;
}

HWND SetActiveWindowExt(HWND window) {
  return IsWindow(window) && IsWindowVisible(window) ? SetActiveWindow(window) : nullptr;
}

void SetFocusAndSelect(HWND window) {
  if (!IsWindow(window) || GetFocus() == window) return;
  SetFocus(window);
  if (ClassIs(window, "EDIT")) SendMessageA(window, EM_SETSEL, 0, -1);
}

int ZEQRestoreIconicOwner(HWND window) {
  if (!IsWindow(window)) return 0;
  HWND owner = GetWindow(window, GW_OWNER);
  if (!owner || !IsWindow(owner)) return 0;
  if (IsIconic(owner)) ShowWindowExt(owner, SW_RESTORE);
  return 1;
}

int ZEQWindowBorderWidth(HWND window) {
  WINDOWINFO info = {};
  info.cbSize = sizeof info;
  return IsWindow(window) && GetWindowInfo(window, &info) ? static_cast<int>(info.cxWindowBorders) : 0;
}

int ZEQWindowBorderHeight(HWND window) {
  WINDOWINFO info = {};
  info.cbSize = sizeof info;
  return IsWindow(window) && GetWindowInfo(window, &info) ? static_cast<int>(info.cyWindowBorders) : 0;
}

bool ZEQIsDialogWindow(HWND window) { return IsWindow(window) && ClassIs(window, "#32770"); }

int ClassifyControlWindow(HWND window) {
  if (!IsWindow(window)) return 0;
  static const struct {
    const char* name;
    int kind;
  } kinds[] = {{"LISTVIEW", 1},        {"SysListView32", 1}, {"TREEVIEW", 2},     {"SysTreeView32", 2},
               {"LISTBOX", 3},         {"tooltips_class32", 4}, {"SysHeader32", 5}, {"SysTabControl32", 6}};
  for (const auto& entry : kinds) {
    if (ClassIs(window, entry.name)) return entry.kind;
  }
  return 0;
}

HWND WindowFromCursor() {
  POINT cursor = {};
  return GetCursorPos(&cursor) ? WindowFromPoint(cursor) : nullptr;
}

bool PtInRectInclusive(const RECT* rect, int x, int y) {
  return rect && x >= rect->left && x <= rect->right && y >= rect->top && y <= rect->bottom;
}

bool IsPrimaryMouseButtonDown() {
  const int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (GetAsyncKeyState(key) & 0x8000) != 0;
}

void ZEQReleaseMouseCapture(HWND) { ReleaseCapture(); }

int ZEQStartCaptionDrag(HWND window) {
  if (!IsWindow(window)) return 0;
  ReleaseCapture();
  POINT cursor = {};
  GetCursorPos(&cursor);
  SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, PackPoint(cursor));
  GetCursorPos(&cursor);
  if (IsWindow(window)) SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, PackPoint(cursor));
  return 1;
}

bool ZEQDragThresholdPassed(int* startX, int* startY) {
  if (!startX || !startY) return false;
  if (!IsPrimaryMouseButtonDown()) {
    *startX = *startY = -1;
    return false;
  }
  if (*startX == -1 || *startY == -1) return false;
  POINT cursor = {};
  if (!GetCursorPos(&cursor)) return false;
  if (cursor.x > *startX - 3 && cursor.x < *startX + 3 && cursor.y > *startY - 3 && cursor.y < *startY + 3) {
    return false;
  }
  *startX = *startY = -1;
  return true;
}

bool ZEQIsRadioButton(HWND window) { return GetPropExt(window, "BUTTON::RADIOBUTTON") != nullptr; }

LRESULT ZEQControlDialogCode(HWND window) {
  if (!IsWindow(window)) return 0;
  if (ClassIs(window, "BUTTON")) return DLGC_BUTTON | DLGC_WANTALLKEYS | (ZEQIsRadioButton(window) ? DLGC_RADIOBUTTON : 0);
  if (ClassIs(window, "STATIC")) return DLGC_WANTALLKEYS | DLGC_STATIC;
  return DLGC_WANTALLKEYS;
}

void ZEQRemoveWindowParam(HWND window) {
  if (!IsProcessWindow(window)) return;
  auto block = static_cast<ZEQWINDOWPARAM*>(GetPropA(window, "ZEQWINDOWPARAM"));
  if (ZEQIsLiveWindowParamBlock(block)) {
    if (block->savedProc) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(block->savedProc));
  }
  ZEQFreeWindowParamBlock(window);
  if (HANDLE alive = RemovePropA(window, "HWND::ALIVEEVENT")) CloseHandle(alive);
}

LRESULT ZEQDispatchWindowTimer(LPARAM timer) {
  try {
    ZEQReceiveTimerMessage(timer);
    return 1;
  } catch (...) {
    ZEQLogPrintf("!ZEQDispatchWindowTimer: Unexpected exception...");
    return 0;
  }
}

int ZEQTreeItemVisibility(HWND tree, HANDLE item, const RECT* rect) {
  RECT itemRect = {};
  memcpy(&itemRect, &item, sizeof item);
  if (!rect || !IsWindow(tree) || !SendMessageA(tree, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&itemRect))) {
    return 0;
  }
  if (itemRect.bottom > rect->bottom || itemRect.top > rect->bottom) return 1;
  if (itemRect.bottom < rect->top || itemRect.top < rect->top) return -1;
  return 0;
}

HANDLE ZEQTreeLastVisibleItem(HWND tree, RECT* rect) {
  if (!IsWindow(tree)) return nullptr;
  RECT client = {};
  GetClientRect(tree, &client);
  auto item = reinterpret_cast<HANDLE>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
  if (!item) return nullptr;
  for (;;) {
    auto next = reinterpret_cast<HANDLE>(
        SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item)));
    if (!next) break;
    RECT nextRect = {};
    memcpy(&nextRect, &next, sizeof next);
    if (!SendMessageA(tree, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&nextRect))) break;
    if (nextRect.top < client.top || nextRect.bottom > client.bottom) break;
    item = next;
  }
  RECT itemRect = {};
  memcpy(&itemRect, &item, sizeof item);
  if (!SendMessageA(tree, TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&itemRect))) return nullptr;
  if (rect) *rect = itemRect;
  return item;
}

LPARAM ZEQListItemParam(HWND list, int item) {
  if (!IsWindow(list)) return 0;
  LVITEMA entry = {};
  entry.mask = LVIF_PARAM;
  entry.iItem = item;
  return SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry)) ? entry.lParam : 0;
}

namespace {
COLORREF ToColorRef(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }
}  // namespace

uint32_t ZEQSetTextColorARGB(HDC dc, uint32_t colour) {
  if (colour) SetTextColor(dc, ToColorRef(colour));
  return colour;
}

uint32_t ZEQSetBkColorARGB(HDC dc, uint32_t colour) {
  if (colour) SetBkColor(dc, ToColorRef(colour));
  return colour;
}

BITMAPINFO* CreateBitmapInfoForBitmap(HBITMAP bitmap) {
  BITMAP info = {};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return nullptr;
  int bits = info.bmPlanes * info.bmBitsPixel;
  static const int steps[] = {1, 4, 8, 16, 24, 32};
  int colourBits = 32;
  for (int step : steps) {
    if (bits <= step) {
      colourBits = step;
      break;
    }
  }
  size_t size = sizeof(BITMAPINFOHEADER);
  if (colourBits < 24) {
    size += sizeof(RGBQUAD) * (static_cast<size_t>(1) << colourBits);
  } else if (colourBits == 32) {
    size += sizeof(RGBQUAD);
  }
  auto result = static_cast<BITMAPINFO*>(LocalAlloc(LPTR, size));
  if (!result) return nullptr;
  BITMAPINFOHEADER& header = result->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = info.bmWidth;
  header.biHeight = info.bmHeight;
  header.biPlanes = info.bmPlanes;
  header.biBitCount = info.bmBitsPixel;
  header.biCompression = BI_RGB;
  if (colourBits < 24) header.biClrUsed = 1u << colourBits;
  header.biSizeImage = static_cast<DWORD>(((colourBits * info.bmWidth + 31) / 32) * 4 * info.bmHeight);
  header.biClrImportant = 0;
  return result;
}

void* ZEQGetTextOutManager(HWND window) {
  return IsProcessWindow(window) ? GetPropA(window, "ZEQTEXTOUT::MANAGER") : nullptr;
}

bool ZEQIsMotion(const void* record) { return IsTaggedRecord(record, sizeof(ZEQTypedRecord), "+ZEQMOTION"); }
