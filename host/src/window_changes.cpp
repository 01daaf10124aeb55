// The window functions that change a window: showing and hiding, state,
// z-order, position and size, input and focus, owner, frame attributes,
// dependent-window placement, title text and simulated modality.
#include <shobjidl.h>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "host/window_functions.h"
#include "package/macros.h"
#include "window_functions_internal.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

namespace zeqwinfn {
namespace {

constexpr int kListTail = 0x7FFFFFFF;  // insert at the end

enum Change : DISPID {
  kSimulateModal = 20503,
  kShowWindow = 20201,
  kMinimizeWindow = 20301,
  kMaximizeWindow = 20302,
  kFullScreenWindow = 20304,
  kRestoreWindow = 20303,
  kAlwaysOnTop = 20400,
  kSetWindowPos = 20401,
  kSetWindowSize = 20402,
  kFlashWindow = 20202,
  kEnableWindow = 20006,
  kSetWindowFocus = 20404,
  kSetWindowForeground = 20405,
  kSetWindowParent = 20408,
  kSetWindowAttributes = 20008,
  kSetWindowPlacement = 20010,
  kSetTitleBarText = 20101,
  kSetWindowMinMaxInfo = 20406,
  kSetContainerSize = 15017,
};

HRESULT Status(const Call& call, int32_t status) {
  AnswerStatus(call, status);
  return S_OK;
}

HRESULT ShowWindowMember(const Call& call) {
  bool show = true;
  bool activate = true;
  ZEQContainerHolder container = call.calling;
  char* placement = nullptr;
  switch (Count(call)) {
    case 1:
      show = Flag(call, 0);
      break;
    case 2:
    case 3:
      show = Flag(call, 0);
      container = ContainerArg(call, 1);
      if (Count(call) == 3) placement = Text(call, 2);
      break;
    default:
      activate = Flag(call, 0);
      show = Flag(call, 1);
      container = ContainerArg(call, 2);
      placement = Text(call, 3);
      break;
  }
  HWND window = TargetWindow(container);
  if (!window) {
    HeapFreeZ(placement);
    return Status(call, ZEQERROR_GENERALFAILURE);
  }
  const char* words = placement ? placement : "";
  if (show) {
    if (FindOptionWord(words, "center", true)) {
      ZEQCenterWindowOnWorkArea(window, 0);
    } else if (FindOptionWord(words, "auto", true)) {
      // The window shows itself once its page is ready.
    } else {
      ZEQShowWindowExt(window, activate ? SW_SHOW : SW_SHOWNA);
    }
  } else {
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (record.IsSet()) ZEQSyncDependentWindows(nullptr, nullptr, kSyncAsync | kSyncHide | kSyncVisibility, record);
    ZEQHideWindow(window);
  }
  HeapFreeZ(placement);
  return Status(call, 0);
}

HRESULT StateCommand(const Call& call, DISPID id) {
  ZEQWindowHolder record = RecordOf(OptionalContainer(call, 0));
  if (!record.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
  if (!record->skin.IsSet()) return Status(call, kStatusNotApplicable);
  HWND window = record->window;
  record.Reset();
  // The window's own state commands, so the page hears (and may refuse)
  // the change as when the user asks for it; they keep to the window's
  // frame flags. Maximize and restore both toggle: a minimized or
  // maximized window is restored, any other maximized.
  if (id == kMinimizeWindow) {
    ZEQMinimizeWindowCommand(window, true);
  } else if (id != kFullScreenWindow) {
    ZEQToggleMaximizeWindow(window, true);
  }
  return Status(call, 0);
}

HRESULT SetWindowPosMember(const Call& call) {
  HWND window = TargetWindow(ContainerArg(call, 0));
  if (!window) return Status(call, ZEQERROR_GENERALFAILURE);
  const int x = Int(call, 1), y = Int(call, 2), width = Int(call, 3), height = Int(call, 4);
  UINT flags = SWP_NOZORDER;
  if (width < 0 && height < 0) flags |= SWP_NOSIZE;
  const BOOL done = Flag(call, 5) ? ZEQFitWindowPosToCursorMonitor(window, x, y, width, height, flags)
                                  : SetWindowPosExt(flags, window, nullptr, x, y, width, height);
  return Status(call, done ? 0 : ZEQERROR_GENERALFAILURE);
}

HRESULT SetWindowSizeMember(const Call& call) {
  HWND window = TargetWindow(ContainerArg(call, 0));
  RECT rect = {};
  if (!window || !GetWindowRect(window, &rect)) return Status(call, ZEQERROR_GENERALFAILURE);
  int width = Int(call, 1), height = Int(call, 2);
  if (width < 0) width = rect.right - rect.left;
  if (height < 0) height = rect.bottom - rect.top;
  const BOOL done = SetWindowPosExt(SWP_NOMOVE | SWP_NOZORDER, window, nullptr, 0, 0, width, height);
  return Status(call, done ? 0 : ZEQERROR_GENERALFAILURE);
}

// Sizes the window so that its container area gets the asked size; -1
// (only -1) keeps the container's current width or height.
HRESULT SetContainerSize(const Call& call) {
  ZEQContainerHolder container = ContainerArg(call, 0);
  HWND window = TargetWindow(container);
  RECT outer = {}, host = {};
  if (!window || !GetWindowRect(window, &outer) || !GetWindowRect(container->hostWindow, &host)) {
    return Status(call, ZEQERROR_GENERALFAILURE);
  }
  int x = outer.left, y = outer.top;
  int width = Int(call, 1), height = Int(call, 2);
  if (width == -1) width = host.right - host.left;
  if (height == -1) height = host.bottom - host.top;
  if (!ZEQClientToWindowSize(window, &x, &y, &width, &height)) return Status(call, ZEQERROR_GENERALFAILURE);
  const BOOL done = SetWindowPosExt(SWP_NOMOVE | SWP_NOZORDER, window, nullptr, 0, 0, width, height);
  return Status(call, done ? 0 : ZEQERROR_GENERALFAILURE);
}

// The size limits the window's next size query answers (WM_GETMINMAXINFO
// reads them from the skin); nothing is resized now.
HRESULT SetWindowMinMaxInfo(const Call& call) {
  ZEQWindowHolder record = RecordOf(ContainerArg(call, 0));
  if (!record.IsSet() || !record->skin.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
  ZEQBASESKIN* skin = record->skin.Get();
  int* const pairs[] = {skin->maximumSize, skin->maximumPosition, skin->maximumTrackingSize,
                        skin->minimumTrackingSize};
  UINT index = 1;
  for (int* pair : pairs) {
    pair[0] = Int(call, index++);
    pair[1] = Int(call, index++);
  }
  return Status(call, 0);
}

void RefreshFrame(HWND window) {
  SetWindowPosExt(SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED, window, nullptr, 0, 0, 0, 0);
}

void ChangeStyle(HWND window, int index, LONG_PTR bits, bool set) {
  const LONG_PTR style = GetWindowLongPtrA(window, index);
  SetWindowLongPtrA(window, index, set ? (style | bits) : (style & ~bits));
}

void ChangeTaskbarButton(HWND window, bool add) {
  ITaskbarList* taskbar = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList,
                              reinterpret_cast<void**>(&taskbar))) ||
      !taskbar) {
    return;
  }
  if (SUCCEEDED(taskbar->HrInit())) {
    if (add) {
      taskbar->AddTab(window);
    } else {
      taskbar->DeleteTab(window);
    }
  }
  taskbar->Release();
}

void ChangeFlag(uint32_t* word, uint32_t bits, bool set) { *word = set ? (*word | bits) : (*word & ~bits); }

HRESULT SetWindowAttributes(const Call& call) {
  ZEQWindowHolder record = RecordOf(ContainerArg(call, 0));
  if (!record.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
  HWND window = record->window;
  const bool set = RawFlag(call, 2);
  switch (Int(call, 1)) {
    case 1:
      ZEQDenyWindowClose(set, record);
      break;
    case 2:
      // Clearing an attribute takes away only the frame button it names.
      ChangeFlag(&record->frameFlags, kFrameAllowMinimize, set);
      ChangeStyle(window, GWL_STYLE, WS_MINIMIZEBOX, set);
      RefreshFrame(window);
      break;
    case 4:
      ChangeFlag(&record->frameFlags, kFrameAllowMaximize, set);
      ChangeStyle(window, GWL_STYLE, WS_MAXIMIZEBOX, set);
      RefreshFrame(window);
      break;
    case 8:
      ChangeFlag(&record->frameFlags, kFrameSystemAppWindow, set);
      ChangeStyle(window, GWL_EXSTYLE, WS_EX_APPWINDOW, set);
      ChangeTaskbarButton(window, set);
      break;
    case 16:
      ChangeFlag(&record->frameFlags, kFrameResizeGrip, set);
      ChangeStyle(window, GWL_STYLE, WS_THICKFRAME, set);
      RefreshFrame(window);
      break;
    case 32:
      ChangeFlag(&record->attributes, kWindowCloseRefused, set);
      ZEQDenyWindowClose(set, record);
      break;
    case 64:
      ChangeFlag(&record->attributes, kWindowForcedClose, set);
      break;
    case 1024:
      ChangeFlag(&record->attributes, kWindowFrameFixed, set);
      ChangeFlag(&record->frameFlags, kFrameDontMove, set);
      RefreshFrame(window);
      break;
    default:
      return Status(call, ZEQERROR_GENERALFAILURE);
  }
  return Status(call, 0);
}

HRESULT SetWindowParent(const Call& call) {
  HWND window = TargetWindow(ContainerArg(call, 0));
  if (!window) return Status(call, ZEQERROR_GENERALFAILURE);
  HWND owner = TargetWindow(ContainerArg(call, 1));
  // The previous owner is what the call answers: a window that had none
  // gets the new one and answers 2.
  const LONG_PTR previous = SetWindowLongPtrA(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  if (!previous) return Status(call, ZEQERROR_GENERALFAILURE);
  if (owner) SetWindowPosExt(SWP_NOSIZE | SWP_NOMOVE, owner, window, 0, 0, 0, 0);
  return Status(call, 0);
}

// Adds (mode 0) or removes (mode 1) the follower in a leader's list.
void ChangeDependent(ZEQList** list, HWND follower, const ZEQContainerHolder& container, int32_t mode) {
  if (!list || !*list) return;
  const int at = (*list)->Find(reinterpret_cast<const void*>(follower), 0, 0);
  if (mode == 0 && at < 0) {
    KESTOMarshalPacket* packet = container.Marshal(false);
    ZEQListItem* item = ZEQList::InsertByPointer(list, reinterpret_cast<uintptr_t>(follower), kListTail,
                                                 reinterpret_cast<uintptr_t>(packet), 0, ZEQLIST_POINTER_KEY);
    if (item) {
      item->freeCallback = ZEQContainerListItemFree;
    } else {
      FreeMarshalPacket(packet);
    }
  } else if (mode == 1 && at >= 0) {
    ZEQList::Remove(list, reinterpret_cast<uintptr_t>(follower));
  }
}

HRESULT SetWindowPlacement(const Call& call) {
  ZEQContainerHolder follower = ContainerArg(call, 0);
  ZEQWindowHolder record = RecordOf(follower);
  if (!record.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
  const int32_t mode = Int(call, 7);
  HWND host = follower->hostWindow;
  for (UINT index = 2; index <= 5; ++index) {
    ZEQWindowHolder leader = RecordOf(ContainerArg(call, index));
    if (!leader.IsSet()) continue;
    switch (index) {
      case 2:
        ChangeDependent(&leader->zOrderDependents, host, follower, mode);
        ZEQSyncDependentWindows(nullptr, nullptr, kSyncAsync | 0x8, leader);
        break;
      case 3:
        ChangeDependent(&leader->showDependents, host, follower, mode);
        ZEQSyncDependentWindows(nullptr, nullptr, kSyncAsync | kSyncVisibility, leader);
        break;
      case 4: {
        ChangeDependent(&leader->moveDependents, host, follower, mode);
        char* alignment = Text(call, 6);
        HeapFreeZ(leader->alignment);
        leader->alignment = alignment;
        ZEQSyncDependentWindows(nullptr, nullptr, kSyncAsync | kSyncMove, leader);
        break;
      }
      default:
        ChangeDependent(&leader->modalDependents, host, follower, mode);
        break;
    }
  }
  ZEQContainerHolder anchor = ContainerArg(call, 1);
  if (anchor.IsSet()) record->zOrderAnchor = mode == 0 ? TargetWindow(anchor) : nullptr;
  return Status(call, 0);
}

HRESULT SetTitleBarText(const Call& call) {
  ZEQWindowHolder record = RecordOf(OptionalContainer(call, 1));
  if (!record.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
  char* title = ProcessMacros(Text(call, 0), nullptr, nullptr, kMacroGrow);
  char* old = record->title;
  record->title = title;
  HeapFreeZ(old);
  SetWindowTextA(record->window, title ? title : "");
  return Status(call, 0);
}

void FocusWindow(HWND window) {
  if (IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) SetFocus(window);
}

}  // namespace

HRESULT ServeChange(const Call& call, DISPID id) {
  switch (id) {
    case kShowWindow:
      return ShowWindowMember(call);
    case kMinimizeWindow:
    case kMaximizeWindow:
    case kFullScreenWindow:
    case kRestoreWindow:
      return StateCommand(call, id);
    case kSetWindowPos:
      return SetWindowPosMember(call);
    case kSetWindowSize:
      return SetWindowSizeMember(call);
    case kSetWindowAttributes:
      return SetWindowAttributes(call);
    case kSetWindowParent:
      return SetWindowParent(call);
    case kSetWindowPlacement:
      return SetWindowPlacement(call);
    case kSetTitleBarText:
      return SetTitleBarText(call);
    case kSetContainerSize:
      return SetContainerSize(call);
    case kSetWindowMinMaxInfo:
      return SetWindowMinMaxInfo(call);
    case kSimulateModal: {
      ZEQContainerHolder container = ContainerArg(call, 0);
      if (!container.IsSet()) return Status(call, ZEQERROR_GENERALFAILURE);
      HWND window = TargetWindow(container);
      ZEQSetWindowModalState(window, static_cast<uint32_t>(Int(call, 1)), ZEQGetWindowParam(window));
      return Status(call, 0);
    }
    default:
      break;
  }
  // The members below act on the target window and answer 0 whatever the
  // window system does with the request.
  const UINT containerIndex = (id == kAlwaysOnTop || id == kEnableWindow) ? 1 : 0;
  HWND window = TargetWindow(OptionalContainer(call, containerIndex));
  if (!window) return Status(call, ZEQERROR_GENERALFAILURE);
  switch (id) {
    case kAlwaysOnTop:
      SetWindowPosExt(SWP_NOSIZE | SWP_NOMOVE, window, RawFlag(call, 0) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0);
      break;
    case kFlashWindow:
      if (GetForegroundWindow() != window) {
        FlashWindow(window, FALSE);
        FlashWindow(window, TRUE);
        if (ZEQWindowHolder record = ZEQGetWindowParam(window); record.IsSet()) record->flashRequest = 1;
      }
      break;
    case kEnableWindow:
      EnableWindow(window, RawFlag(call, 0));
      break;
    case kSetWindowFocus: {
      ZEQContainerHolder container = OptionalContainer(call, 0);
      if (HWND browser = FindWindowExA(container->hostWindow, nullptr, "Internet Explorer_Server", nullptr)) {
        FocusWindow(browser);
      }
      FocusWindow(window);
      break;
    }
    case kSetWindowForeground:
      SetForegroundWindow(window);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return Status(call, 0);
}

}  // namespace zeqwinfn
