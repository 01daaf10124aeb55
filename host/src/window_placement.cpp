// Window placement, modality and dependent windows: the modal and
// input-lock periods of a window record, the windows that follow a leader,
// centring and fitting on a monitor's work area, the system's default
// position, hiding and the close-denied count.
#include <vector>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock.h"
#include "foundation/lock_guard.h"
#include "foundation/marshal_packet.h"
#include "host/window_functions.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

namespace {

// The record of the top-level window of a dependent list entry whose
// container is ready; empty otherwise.
ZEQWindowHolder DependentRecord(ZEQListItem* item) {
  if (!item) return ZEQWindowHolder();
  KESTOMarshalPacket* packet = ZEQPacketFromValue(item->value1);
  if (!packet || !KESTOMarshal::IsLocal(packet)) return ZEQWindowHolder();
  ZEQContainerHolder container(packet);
  if (!ZEQIsContainerReady(container)) return ZEQWindowHolder();
  return ZEQGetWindowParam(GetTopLevelWindowExt(container->hostWindow));
}

// Calls visit for the record of every reachable entry of a dependent list,
// in list order. The list is copied under its lock first, so a visit may
// move windows (whose threads may walk the same list) without holding it.
template <typename Visit>
void ForEachDependent(ZEQList* list, Visit visit) {
  if (!list) return;
  std::vector<ZEQWindowHolder> records;
  {
    ZEQLockGuard hold(list->lock);
    for (int index = 0; index < list->count; ++index) {
      ZEQWindowHolder record = DependentRecord(list->GetItemAt(index));
      if (record.IsSet()) records.push_back(record);
    }
  }
  for (ZEQWindowHolder& record : records) visit(record);
}

bool IsOwnThreadWindow(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

}  // namespace

namespace zeqwindows {

POINT CenterInArea(const RECT& area, int width, int height) {
  const int areaWidth = area.right - area.left;
  const int areaHeight = area.bottom - area.top;
  POINT at = {area.left + (areaWidth - width) / 2, area.top + (areaHeight - height) / 2};
  if (at.x + width >= area.right) at.x = area.right - width;
  if (at.y + height >= area.bottom) at.y = area.bottom - height;
  if (at.x < area.left) at.x = area.left;
  if (at.y < area.top) at.y = area.top;
  return at;
}

void FitInArea(const RECT& area, int* x, int* y, int* width, int* height) {
  if (*x < area.left) *x = area.left;
  if (*y < area.top) *y = area.top;
  if (*x + *width > area.right) *width = area.right - *x;
  if (*y + *height > area.bottom) *height = area.bottom - *y;
}

}  // namespace zeqwindows

int ZEQSetWindowModalState(HWND modal, uint32_t mode, const ZEQWindowHolder& owner) {
  if (!owner.IsSet()) return 0;
  auto lockDependents = [&](int step) {
    ForEachDependent(owner->modalDependents,
                     [step](ZEQWindowHolder& dependent) { InterlockedExchangeAdd(reinterpret_cast<volatile LONG*>(&dependent->inputLocks), step); });
  };
  if (mode & kModalBegin) {
    if (mode & kModalWindow) {
      owner->modalChild = modal;
      ZEQDenyWindowClose(true, owner);
      ++owner->modalState[0];
      // The owner takes no input while a modal window is over it.
      if (++owner->modalState[1] == 1 && IsWindow(owner->window)) EnableWindow(owner->window, FALSE);
    } else if (mode & kModalInputLock) {
      InterlockedIncrement(reinterpret_cast<volatile LONG*>(&owner->inputLocks));
      lockDependents(1);
    }
  }
  if (mode & kModalEnd) {
    if (mode & kModalWindow) {
      owner->modalChild = nullptr;
      if (owner->modalState[0] > 0) --owner->modalState[0];
      ZEQDenyWindowClose(false, owner);
      if (owner->modalState[1] > 0 && --owner->modalState[1] == 0 && IsWindow(owner->window)) {
        EnableWindow(owner->window, TRUE);
      }
    } else if (mode & kModalInputLock) {
      InterlockedDecrement(reinterpret_cast<volatile LONG*>(&owner->inputLocks));
      lockDependents(-1);
    }
  }
  return 1;
}

int ZEQSyncDependentWindows(const WINDOWPOS* position, HWND activated, uint32_t flags,
                            const ZEQWindowHolder& leader) {
  if (!leader.IsSet()) return 1;
  const UINT base = (flags & kSyncAsync) ? SWP_ASYNCWINDOWPOS : 0;
  const UINT positionFlags = position ? position->flags : 0;
  if ((flags & kSyncMove) && !(positionFlags & SWP_NOMOVE)) {
    RECT leaderRect = {};
    GetWindowRect(leader->window, &leaderRect);
    const int x = position ? position->x : leaderRect.left;
    const int y = position ? position->y : leaderRect.top;
    const char* alignment = leader->alignment ? leader->alignment : "";
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ForEachDependent(leader->moveDependents, [&](ZEQWindowHolder& dependent) {
      RECT rect = {};
      GetWindowRect(dependent->window, &rect);
      int newX = rect.left - leaderRect.left + x;
      int newY = rect.top - leaderRect.top + y;
      if (lstrcmpiA(alignment, "bottom") == 0) {
        newY = leaderRect.bottom;
      } else if (lstrcmpiA(alignment, "bottom-center") == 0) {
        newX = leaderRect.left + ((leaderRect.right - leaderRect.left) - (rect.right - rect.left)) / 2;
        newY = leaderRect.bottom;
      }
      // A dependent parked far off screen stays where it is.
      if (!(newX > 2 * screenWidth && newY > 2 * screenHeight)) {
        SetWindowPosExt(base | SWP_NOSIZE | SWP_NOZORDER, dependent->window, dependent->zOrderAnchor, newX, newY, 0,
                        0);
      }
      // Lets the dependents' threads repaint while the leader is dragged.
      Sleep(10);
    });
  }
  if (flags & kSyncVisibility) {
    const bool leaderVisible = IsWindowVisible(leader->window) != FALSE;
    ForEachDependent(leader->showDependents, [&](ZEQWindowHolder& dependent) {
      int change = 0;  // 1 show, -1 hide
      if (flags & kSyncShow) {
        change = 1;
      } else if (flags & kSyncHide) {
        change = -1;
      } else if (position) {
        if (position->flags & SWP_SHOWWINDOW) {
          change = (flags & kSyncShowWithLeader) ? 1 : 0;
        } else if (position->flags & SWP_HIDEWINDOW) {
          change = (flags & kSyncHideWithLeader) ? -1 : 0;
        }
      } else {
        change = leaderVisible ? 1 : -1;
      }
      if (change == 0) return;
      const UINT show = change > 0 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
      SetWindowPosExt(base | show | SWP_NOSIZE | SWP_NOMOVE, dependent->window, dependent->zOrderAnchor, 0, 0, 0, 0);
    });
  }
  if (flags & kSyncZOrder) {
    HWND activeTop = activated ? GetTopLevelWindowExt(activated) : nullptr;
    ForEachDependent(leader->zOrderDependents, [&](ZEQWindowHolder& dependent) {
      if (!IsWindowVisible(dependent->window) || dependent->window == activeTop) return;
      SetWindowPos(dependent->window, dependent->zOrderAnchor, 0, 0, 0, 0,
                   base | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
    });
  }
  return 1;
}

bool ZEQGetWindowWorkArea(HWND window, RECT* area) {
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (!monitor || !GetMonitorInfoA(monitor, &info)) return false;
  *area = info.rcWork;
  return true;
}

int ZEQCenterWindowInRect(const RECT& area, HWND window, uint32_t options) {
  RECT rect = {};
  if (!GetWindowRect(window, &rect)) return 1;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  POINT at = {};
  if (IsProcessWindow(window) && GetPropA(window, "MESSAGEBOX::CHILDMODAL")) {
    // A child-modal message box is placed relative to its parent's client
    // area.
    at.x = ((area.right - area.left) - width) / 2;
    at.y = ((area.bottom - area.top) - height) / 2;
    if (at.x < 0) at.x = 0;
    if (at.y < 0) at.y = 0;
  } else {
    at = zeqwindows::CenterInArea(area, width, height);
  }
  SetWindowPosExt(SWP_NOZORDER, window, nullptr, at.x, at.y, width, height);
  if (!(options & kCenterNoShow) && !IsWindowVisible(window)) ZEQShowWindowExt(window, SW_SHOW);
  return 1;
}

int ZEQCenterWindowOnWorkArea(HWND window, uint32_t options) {
  RECT area = {};
  if (!ZEQGetWindowWorkArea(window, &area)) return 0;
  return ZEQCenterWindowInRect(area, window, options);
}

POINT ZEQGetDefaultWindowPosition(HWND window) {
  POINT at = {-1, -1};
  RECT rect = {};
  if (!GetWindowRect(window, &rect)) return at;
  HWND probe = CreateWindowExA(0, "KESTO Dummy Window", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  if (!probe) return at;
  RECT placed = {};
  if (GetWindowRect(probe, &placed)) at = {placed.left, placed.top};
  DestroyWindow(probe);
  return at;
}

BOOL ZEQFitWindowPosToCursorMonitor(HWND window, int x, int y, int width, int height, UINT flags) {
  RECT area = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  area.right = area.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  area.bottom = area.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  POINT cursor = {};
  if (GetCursorPos(&cursor)) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONULL);
    if (monitor && GetMonitorInfoA(monitor, &info)) area = info.rcWork;
  }
  zeqwindows::FitInArea(area, &x, &y, &width, &height);
  return SetWindowPosExt(flags, window, nullptr, x, y, width, height);
}

BOOL ZEQShowWindowExt(HWND window, int command) {
  if (!IsWindow(window)) return FALSE;
  return IsOwnThreadWindow(window) ? ShowWindow(window, command) : ShowWindowAsync(window, command);
}

BOOL ZEQHideWindow(HWND window) {
  if (!IsProcessWindow(window)) return FALSE;
  if (GetPropA(window, "ZEQAPPBAR")) return FALSE;
  return ZEQShowWindowExt(window, SW_HIDE);
}

int ZEQClientToWindowSize(HWND window, int* x, int* y, int* width, int* height) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || SKINIsBlank(record->skin) || !x || !y || !width || !height) return 0;
  // The client area placed in the given rectangle; what it leaves around
  // is the frame, added back to the size. The skin keeps no caption, so no
  // caption height is added.
  const RECT outer = {*x, *y, *x + *width, *y + *height};
  const RECT client = SKINPlaceArea(outer, record->skin->elements[0].client.area);
  *width += (client.left - outer.left) + (outer.right - client.right);
  *height += (client.top - outer.top) + (outer.bottom - client.bottom);
  return 1;
}
