// Container windows on the calling thread or on UI threads of their own.
#include "windows/container_windows.h"

#include <process.h>
#include <shellapi.h>

#include <cstdio>

#include "foundation/heap.h"
#include "foundation/registered_messages.h"
#include "foundation/text.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

namespace {

ZEQContainerHost installedHost = {};
bool hostInstalled = false;

constexpr char kThreadListProperty[] = "KESTOUITHREADOBJ";
constexpr int kListTail = 0x7FFFFFFF;
// Flags of the creator's wait: any input, COM calls pumped.
constexpr DWORD kCreatorWaitFlags = kZEQWaitPumpInput | kZEQWaitCom;

void ReplaceText(char** slot, const char* text) {
  char* copy = text ? StrDupExtra(text, 0) : nullptr;
  HeapFreeZ(*slot);
  *slot = copy;
}

// "[name][url]" of an exclusive window; the entry adds "[window]".
void ExclusivePrefix(const ZEQNEWWINDOWDATA* request, char* buffer, size_t size) {
  snprintf(buffer, size, "[%s][%s]", request->name ? request->name : "", request->url ? request->url : "");
}

// The existing window of an exclusive request, or 0; called under the
// list's lock.
HWND FindExclusive(ZEQList* list, const char* prefix) {
  const int prefixLength = lstrlenA(prefix);
  for (int index = 0; index < list->count; ++index) {
    ZEQListItem* item = list->GetItemAt(index);
    const char* text = item ? item->KeyText() : nullptr;
    if (!text || strncmp(text, prefix, prefixLength) != 0) continue;
    const char* last = strrchr(text, '[');
    return last ? reinterpret_cast<HWND>(static_cast<intptr_t>(atoi(last + 1))) : nullptr;
  }
  return nullptr;
}

void PlaceWindow(HWND window, ZEQNEWWINDOWDATA* request, ZEQList* exclusive) {
  const uint32_t flags = request->flags;
  if (flags & WB_STARTMAXIMIZED) {
    SetPropA(window, "SHOWWINDOW::MAXIMIZED", HANDLE(1));
    return;
  }
  if (flags & WB_STARTMINIMIZED) {
    SetPropA(window, "SHOWWINDOW::MINIMIZED", HANDLE(1));
    return;
  }
  if (flags & WB_EXCLUSIVE) {
    char entry[1024];
    ExclusivePrefix(request, entry, sizeof entry - 24);
    char number[24];
    snprintf(number, sizeof number, "[%d]", static_cast<int>(reinterpret_cast<intptr_t>(window)));
    lstrcatA(entry, number);
    exclusive->InsertNamed(entry, kListTail, 0, 0, 0);
  }
  const int screenWidth = GetSystemMetrics(SM_CXMAXIMIZED);
  const int screenHeight = GetSystemMetrics(SM_CYMAXIMIZED);
  if (flags & WB_CENTERONDESKTOP) {
    SetWindowPosExt(SWP_NOZORDER, window, nullptr, 100, 100, screenWidth - 200, screenHeight - 200);
    return;
  }
  int width = request->width;
  int height = request->height;
  if (flags & WB_SIZERELATIVETOCONTAINER) {
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    width = frame.right - frame.left;
    height = frame.bottom - frame.top;
  }
  int left = request->left;
  int top = request->top;
  if (left == -1 && top == -1) {
    left = screenWidth / 2 - (width + 1) / 2;
    top = screenHeight / 2 - (height + 1) / 2;
  }
  SetWindowPosExt(SWP_NOZORDER, window, nullptr, left, top, width, height);
}

void SetDefaultWindowIcons(HWND window, const ZEQWindowHolder& record) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  HICON large = nullptr;
  HICON small = nullptr;
  ExtractIconExA(path, 0, &large, &small, 1);
  if (large) record->largeIcon = large;
  if (small) record->smallIcon = small;
  if (large) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  if (small) SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void ShowFirst(HWND window) {
  int command = SW_SHOW;
  if (RemovePropA(window, "SHOWWINDOW::MAXIMIZED")) command = SW_SHOWMAXIMIZED;
  if (RemovePropA(window, "SHOWWINDOW::MINIMIZED")) command = SW_SHOWMINIMIZED;
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    ShowWindow(window, command);
  } else {
    ShowWindowAsync(window, command);
  }
}

void SignalReady(ZEQNEWWINDOWDATA* request) {
  if (request && request->readyEvent) SetEvent(request->readyEvent);
}

void CreateAndRun(ZEQNEWWINDOWDATA* request, bool ownThread) {
  ZEQList* exclusive = ZEQExclusiveWindowList();
  const DWORD exStyle = (request->flags & WB_SYSTEMAPPWINDOW) ? WS_EX_APPWINDOW : 0;
  bool locked = false;
  if (request->flags & WB_EXCLUSIVE) {
    // Held from the look-up to the insertion: two requests for one
    // exclusive window make it once.
    exclusive->Lock();
    locked = true;
    char prefix[1024];
    ExclusivePrefix(request, prefix, sizeof prefix);
    if (HWND existing = FindExclusive(exclusive, prefix)) {
      request->window = existing;
      InterlockedExchange(&request->exists, 1);
    }
  }
  HWND window = nullptr;
  if (!request->window) {
    window = CreateWindowExt(exStyle, "KESTO Window", request->title, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                             0, 0, 200, 200, request->owner, nullptr, GetModuleHandleA(nullptr), request);
  }
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (window && record.IsSet()) {
    record->owner = request->owner;
    request->window = window;
    PlaceWindow(window, request, exclusive);
    SetDefaultWindowIcons(window, record);
    if (locked) exclusive->Unlock();
    locked = false;
    if (request->flags & WB_VISIBLE) ShowFirst(window);
    SignalReady(request);
    if (ownThread) {
      ZEQUIThreadWindowList* list = ZEQNewUIThreadList(window);
      record.Release();
      if (list) {
        GetMessageExt(nullptr, list);
        ZEQDeleteUIThreadList(list);
      }
    }
  } else {
    if (window) DestroyWindowExt(window, FALSE);
    if (locked) exclusive->Unlock();
    SignalReady(request);
  }
}

}  // namespace

void ZEQInstallContainerHost(const ZEQContainerHost& host) {
  installedHost = host;
  hostInstalled = true;
}

const ZEQContainerHost* ZEQGetContainerHost() { return hostInstalled ? &installedHost : nullptr; }

void ZEQNewWindowDataFree(ZEQNEWWINDOWDATA* request) {
  if (!request) return;
  request->parent.~ZEQContainerHolder();
  request->caller.~ZEQContainerHolder();
  HeapFreeZ(request->name);
  HeapFreeZ(request->url);
  HeapFreeZ(request->title);
  HeapFreeZ(request->templateReference);
  ZEQMarshaledVariant::Free(request->arguments);
  request->arguments = nullptr;
  if (request->readyEvent) CloseHandle(request->readyEvent);
  request->readyEvent = nullptr;
}

unsigned __stdcall thZEQIBCCreate(void* packet) {
  ZEQNewWindowHolder holder(static_cast<KESTOMarshalPacket*>(packet));
  ZEQNEWWINDOWDATA* request = holder.Get();
  if (!request) return 0;
  const bool ownThread = (request->flags & WB_SEPARATEDTHREAD) != 0;
  const ZEQContainerHost* host = ZEQGetContainerHost();
  bool oleStarted = false;
  try {
    if (ownThread) {
      oleStarted = SUCCEEDED(OleInitialize(nullptr));
      if (host && host->threadStart) host->threadStart();
    }
    CreateAndRun(request, ownThread);
  } catch (...) {
    ZEQLogPrintf("!thZEQIBCCreate: Unexpected exception...");
    SignalReady(request);
  }
  if (ownThread) {
    if (host && host->threadEnd) host->threadEnd();
    if (oleStarted) OleUninitialize();
  }
  return 0;
}

int ZEQCreateContainerWindow(const char* templateReference, const char* title, const char* url, const RECT* rect,
                             ZEQMarshaledVariant* arguments, const char* name, uint32_t flags, uint32_t relation,
                             HWND* window, const ZEQContainerHolder& caller, const ZEQContainerHolder& parent) {
  flags &= ~WB_SEPARATEDTHREAD;
  if (flags & WB_OWNTHREAD) flags |= WB_SEPARATEDTHREAD;
  auto request = static_cast<ZEQNEWWINDOWDATA*>(HeapAllocZ(sizeof(ZEQNEWWINDOWDATA)));
  new (&request->caller) ZEQContainerHolder();
  new (&request->parent) ZEQContainerHolder();
  ZEQNewWindowHolder holder(request);
  request->arguments = arguments;
  request->templateReference = StrDupExtra(templateReference, 0);
  request->title = StrDupExtra(title, 0);
  request->url = StrDupExtra(url, 0);
  request->name = StrDupExtra(name, 0);
  request->flags = flags;
  request->relation = relation;
  request->caller.ShareFrom(caller);
  request->parent.ShareFrom(parent);
  if (caller.IsSet()) {
    ZEQWindowHolder callerRecord = ZEQGetWindowParam(caller->hostWindow);
    HWND owner = callerRecord.IsSet() ? callerRecord->window : nullptr;
    if (IsProcessWindow(owner) && !(flags & kWBMainWindow)) request->owner = owner;
  }
  if (rect) {
    request->left = rect->left;
    request->top = rect->top;
    request->width = rect->right;
    request->height = rect->bottom;
  } else {
    request->flags |= WB_CENTERONDESKTOP;
  }
  HANDLE thread = nullptr;
  if (request->flags & WB_SEPARATEDTHREAD) {
    request->readyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!request->readyEvent) {
      if (window) *window = nullptr;
      return kZEQReadyEventFailed;  // the holder frees the arguments
    }
    KESTOMarshalPacket* packet = holder.Marshal(true);
    unsigned id = 0;
    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, thZEQIBCCreate, packet, 0, &id));
    if (thread) {
      WaitForHandleExt(&request->readyEvent, INFINITE, request->owner, kCreatorWaitFlags);
    } else {
      FreeMarshalPacket(packet);
    }
    // The event is closed with the request, once neither thread holds it: a
    // wait that gave up (shutdown) must not leave the new thread signalling
    // a closed handle.
  } else {
    thZEQIBCCreate(holder.Marshal(true));
  }
  ZEQWindowHolder record = ZEQGetWindowParam(request->window);
  if (record.IsSet() && !request->exists) {
    record->uiThread = thread;
    thread = nullptr;
    if (caller.IsSet() && (caller->options & WB_TRACKCHILDREN)) {
      ZEQList::InsertByPointer(&caller->childWindows, reinterpret_cast<uintptr_t>(request->window), kListTail, 0, 0,
                               ZEQLIST_POINTER_KEY);
    }
    ZEQContainerHolder container = ZEQGetBaseContainer(ZEQGetBodyWindow(request->window));
    const ZEQContainerHost* host = ZEQGetContainerHost();
    if (request->created && container.IsSet() && container->startDocument && host && host->navigate) {
      host->navigate(container, caller);
    }
    record->attributes &= ~kWindowBeingCreated;
  }
  if (thread) CloseHandle(thread);
  if (window) *window = request->window;
  return request->exists ? kZEQExclusiveWindowExists : 0;
}

int ZEQInitContainer(HWND host, const ZEQContainerHolder& container, const ZEQContainerHolder& caller,
                     const ZEQContainerHolder& parent, const char* name, const char* url,
                     ZEQMarshaledVariant* arguments, const char* loaderStyleSheet, const char* loaderExtra,
                     uint32_t options, uint32_t relation) {
  ZEQBASECONTAINER* record = container.Get();
  if (!record) {
    ZEQMarshaledVariant::Free(arguments);
    return 0;
  }
  ReplaceText(&record->loaderStyleSheet, loaderStyleSheet);
  ReplaceText(&record->loaderExtra, loaderExtra);
  record->options = options;
  record->relation = relation;
  record->caller.ShareFrom(caller);
  record->parent.ShareFrom(parent);
  if (name && *name) {
    ReplaceText(&record->name, name);
  } else {
    GUID guid;
    wchar_t wide[64] = {};
    char text[64] = {};
    if (SUCCEEDED(CoCreateGuid(&guid)) && StringFromGUID2(guid, wide, 64)) {
      WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    }
    ReplaceText(&record->name, text);
  }
  ZEQSetContainerArguments(container, arguments);
  ReplaceText(&record->startDocument, url && *url ? url : nullptr);
  if (options & kWBMainWindow) ZEQSetLoaderWindows(host, GetParentWindowExt(host));
  if (caller.IsSet() && !(caller->options & kWBRootWindow)) record->options &= ~kWBRootWindow;
  return 1;
}

int ZEQLinkContainerToParent(const ZEQContainerHolder& container, const ZEQContainerHolder& /*caller*/,
                             const ZEQContainerHolder& parent) {
  ZEQBASECONTAINER* record = container.Get();
  if (!record) return 0;
  if (!(record->options & WB_ALLOWSZEQ)) record->relation |= kRelationNotifyParent;
  if (record->relation & kRelationNotifyParent) {
    if (!parent.IsSet()) return 0;
    record->eventWindow = parent->hostWindow;
  }
  return 1;
}

ZEQUIThreadWindowList* ZEQGetUIThreadList(HWND window) {
  auto list = static_cast<ZEQUIThreadWindowList*>(GetPropExt(window, kThreadListProperty));
  return list && IsWritableMemory(list, sizeof *list) ? list : nullptr;
}

ZEQUIThreadWindowList* ZEQNewUIThreadList(HWND window) {
  auto list = static_cast<ZEQUIThreadWindowList*>(HeapAllocZ(sizeof(ZEQUIThreadWindowList)));
  ZEQList::Create(&list->windows);
  ZEQList::InsertByPointer(&list->windows, reinterpret_cast<uintptr_t>(window), kListTail, 0, 0,
                           ZEQLIST_POINTER_KEY);
  SetPropA(window, kThreadListProperty, list);
  return list;
}

int ZEQAddUIThreadWindow(HWND from, HWND window) {
  if (!IsProcessWindow(window)) return 0;
  ZEQUIThreadWindowList* list = ZEQGetUIThreadList(from);
  if (!list) return 0;
  ZEQList::InsertByPointer(&list->windows, reinterpret_cast<uintptr_t>(window), kListTail, 0, 0,
                           ZEQLIST_POINTER_KEY);
  SetPropA(window, kThreadListProperty, list);
  return 1;
}

void ZEQRemoveUIThreadWindow(HWND window) {
  ZEQUIThreadWindowList* list = ZEQGetUIThreadList(window);
  if (!list) return;
  RemovePropA(window, kThreadListProperty);
  ZEQList::Remove(&list->windows, reinterpret_cast<uintptr_t>(window));
  // The loop checks its list after each message: one more wakes it.
  PostThreadMessageA(GetWindowThreadProcessId(window, nullptr), WM_NULL, 0, 0);
}

void ZEQDeleteUIThreadList(ZEQUIThreadWindowList* list) {
  if (!list) return;
  ZEQList::DeleteAt(&list->windows);
  HeapFreeZ(list);
}

UINT ZEQNavigateStartMessage() {
  return CMSG_ZEQNAVIGATESTART;
}

BOOL ZEQPostContainerNavigation(HWND window, const char* url) {
  if (!IsProcessWindow(window) || !url) return FALSE;
  char* copy = StrDupExtra(url, 0);
  if (PostMessageA(window, ZEQNavigateStartMessage(), 0, reinterpret_cast<LPARAM>(copy))) return TRUE;
  HeapFreeZ(copy);
  return FALSE;
}
