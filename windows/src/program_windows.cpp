// The program's window classes and the "KESTO Window" procedure.
#include "windows/program_windows.h"

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "windows/common_window_proc.h"
#include "windows/container_windows.h"
#include "windows/window_close.h"
#include "windows/runtime_messages.h"
#include "windows/window_utils.h"

namespace {

constexpr char kDummyClass[] = "KESTO Dummy Window";
constexpr char kCtrlClass[] = "KESTO Ctrl Window";
constexpr char kWindowClass[] = "KESTO Window";
constexpr char kAliveEvent[] = "HWND::ALIVEEVENT";
constexpr int kListTail = 0x7FFFFFFF;

ZEQTemplateClassLoader templateClassLoader = nullptr;
constexpr char kBodyProcedure[] = "ZEQBODYPROCEDURE";

LRESULT CALLBACK BodyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  auto original = reinterpret_cast<WNDPROC>(GetPropA(window, kBodyProcedure));
  if (message == WM_NCDESTROY && original) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(window, kBodyProcedure);
  }
  return original ? CallWindowProcA(original, window, message, wParam, lParam)
                  : DefWindowProcA(window, message, wParam, lParam);
}

// Asks a window's own thread to destroy it.
UINT DestroyWindowMessage() { return CMSG_DESTROYWND; }

ZEQList* MakeList() {
  ZEQList* list = nullptr;
  ZEQList::Create(&list);
  return list;
}

bool RegisterOne(const char* name, UINT style, WNDPROC procedure) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = style;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = name;
  return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

LRESULT OnCreate(HWND window, const CREATESTRUCTA* create) {
  auto request = static_cast<ZEQNEWWINDOWDATA*>(create ? create->lpCreateParams : nullptr);
  const ZEQContainerHost* host = ZEQGetContainerHost();
  if (!request || !host || !host->create) {
    ZEQLogPrintf("ZEQWindowProc: no container host for a new window");
    return -1;
  }
  ZEQWindowHolder record = ZEQAttachWindowParam(window, request->templateReference, request->name,
                                                ZEQWindowFlagsToFrameFlags(request->flags));
  if (!record.IsSet()) return -1;
  record->attributes |= kWindowBeingCreated;
  HWND body = CreateStaticChildWindow(window, kBodyWindowId);
  if (!body) return -1;
  ZEQContainerHolder container;
  host->create(&container, (request->flags & WB_TOPWINDOW) != 0, request->caller, request->parent, body,
               request->name, request->url, request->arguments, nullptr, nullptr, request->flags, request->relation);
  // The container shows itself in the window's skin.
  if (container.IsSet()) container->skin.ShareFrom(record->skin);
  // The container owns the arguments now (or they went with its failure).
  request->arguments = nullptr;
  if (!container.IsSet()) return -1;
  SetWindowPosExt(SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW, body, nullptr, 0, 0, 0, 0);
  InterlockedExchange(&request->created, 1);
  ZEQList* records = ZEQWindowRecordList();
  if (ZEQListItem* item =
          ZEQList::InsertByPointer(&records, reinterpret_cast<uintptr_t>(window), kListTail,
                                   reinterpret_cast<uintptr_t>(record.Marshal(false)), 0, ZEQLIST_POINTER_KEY)) {
    item->freeCallback = ZEQContainerListItemFree;
  }
  return 0;
}

void RemoveExclusiveEntry(HWND window) {
  ZEQList* list = ZEQExclusiveWindowList();
  char suffix[32];
  wsprintfA(suffix, "][%d]", static_cast<int>(reinterpret_cast<intptr_t>(window)));
  const int suffixLength = lstrlenA(suffix);
  ZEQLockGuard hold(list->lock);
  for (int index = list->count - 1; index >= 0; --index) {
    auto item = list->GetItemAt(index);
    if (!item) continue;
    const char* text = item->KeyText();
    const int length = text ? lstrlenA(text) : 0;
    if (length >= suffixLength && lstrcmpA(text + length - suffixLength, suffix) == 0) list->RemoveAt(index);
  }
}

void OnDestroy(HWND window) {
  HWND body = GetDlgItem(window, kBodyWindowId);
  ZEQContainerHolder container = ZEQGetBaseContainer(body);
  const ZEQContainerHost* host = ZEQGetContainerHost();
  if (container.IsSet() && host && host->teardown) host->teardown(container);
  ZEQSetContainerProperty(body, "ZEQBASECONTAINER", ZEQContainerHolder());
  ZEQSetContainerProperty(body, "ZEQTOPCONTAINER", ZEQContainerHolder());
  RemoveExclusiveEntry(window);
}

// Navigates the body's container to the posted address (freed here).
void NavigateToStartDocument(HWND window, LPARAM lParam) {
  auto url = reinterpret_cast<char*>(lParam);
  ZEQContainerHolder container = ZEQGetBaseContainer(GetDlgItem(window, kBodyWindowId));
  const ZEQContainerHost* host = ZEQGetContainerHost();
  if (url && container.IsSet() && host && host->navigate) {
    HeapFreeZ(container->startDocument);
    container->startDocument = url;
    url = nullptr;
    host->navigate(container, container->caller);
  }
  HeapFreeZ(url);
}

void SizeBody(HWND window) {
  RECT client;
  HWND body = GetDlgItem(window, kBodyWindowId);
  if (body && GetClientRect(window, &client)) {
    SetWindowPosExt(SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING, body, nullptr, 0, 0, client.right,
                    client.bottom);
  }
}

}  // namespace

ZEQList* ZEQGlobalWindowList() {
  static ZEQList* list = MakeList();
  return list;
}

ZEQList* ZEQWindowRecordList() {
  static ZEQList* list = MakeList();
  return list;
}

ZEQList* ZEQExclusiveWindowList() {
  static ZEQList* list = MakeList();
  return list;
}

BOOL ZEQRegisterWindowClasses() {
  const bool ok = RegisterOne(kDummyClass, CS_DBLCLKS, DefWindowProcA) &&
                  RegisterOne(kCtrlClass, CS_DBLCLKS | CS_PARENTDC, ZEQCtrlWindowProc) &&
                  RegisterOne(kWindowClass, CS_DBLCLKS | CS_PARENTDC, ZEQWindowProc);
  return ok ? TRUE : FALSE;
}

void ZEQUnregisterWindowClasses() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  UnregisterClassA(kWindowClass, instance);
  UnregisterClassA(kCtrlClass, instance);
  UnregisterClassA(kDummyClass, instance);
}

LRESULT ZEQWindowProcPrologue(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_CREATE || message == WM_INITDIALOG) {
    ZEQList* windows = ZEQGlobalWindowList();
    ZEQList::InsertByPointer(&windows, reinterpret_cast<uintptr_t>(window), kListTail, 0, 0, ZEQLIST_POINTER_KEY);
    return 0;
  }
  if (message == WM_MEASUREITEM) {
    auto measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure && measure->CtlType == ODT_COMBOBOX) {
      measure->itemHeight = 15;
      return 1;
    }
  }
  return 0;
}

LRESULT CALLBACK ZEQCtrlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ZEQWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (ZEQWindowProcPrologue(window, message, lParam)) return 1;
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  if (message == CMSG_CLOSEWINDOW) {
    try {
      ZEQHandleCloseWindowMessage(lParam != 0, window);
    } catch (...) {
      ZEQLogPrintf("!ZEQWindowProc: Unexpected exception...");
    }
    return 0;
  }
  if (message == DestroyWindowMessage()) {
    DestroyWindow(window);
    return 0;
  }
  if (message == ZEQNavigateStartMessage()) {
    NavigateToStartDocument(window, lParam);
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      try {
        return OnCreate(window, reinterpret_cast<CREATESTRUCTA*>(lParam));
      } catch (...) {
        ZEQLogPrintf("!ZEQWindowProc: Unexpected exception...");
        return -1;
      }
    case WM_SIZE:
      SizeBody(window);
      break;
    case WM_DESTROY:
      OnDestroy(window);
      break;
    default:
      break;
  }
  // The record, the lists and the events of the window are ended by the
  // common handling at WM_DESTROY and WM_NCDESTROY.
  return ZEQCommonWindowProc(window, message, wParam, lParam);
}

void ZEQSetTemplateClassLoader(ZEQTemplateClassLoader loader) { templateClassLoader = loader; }

ZEQWindowHolder ZEQAttachWindowParam(HWND window, const char* templateReference, const char* className,
                                     uint32_t frameFlags) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (record.IsSet()) return record;
  if (!IsProcessWindow(window)) return record;
  ZEQNewWindowRecord(&record, window, className, frameFlags);
  SKINHolder skin;
  if (templateClassLoader && templateReference && *templateReference) {
    skin = templateClassLoader(templateReference);
  }
  if (!skin.IsSet()) skin = SKINNewSkin();
  record->skin.ShareFrom(skin);
  if (!GetPropA(window, kAliveEvent)) {
    if (HANDLE alive = CreateEventA(nullptr, TRUE, FALSE, nullptr)) SetPropA(window, kAliveEvent, alive);
  }
  ZEQSetWindowParam(window, record);
  if (ZEQWINDOWPARAM* block = ZEQEnsureWindowParamBlock(window)) block->skin.ShareFrom(skin);
  return record;
}

HWND CreateWindowExt(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter) {
  HWND window = CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                                parameter);
  if (window) SetWindowTextA(window, title ? title : "");
  return window;
}

HWND CreateStaticChildWindow(HWND parent, int id) {
  HWND body = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleA(nullptr), nullptr);
  if (!body) return body;
  SetPropA(body, "PAINTING::DEFAULT", HANDLE(1));
  // The body is its container's event window: the script calls and events
  // posted to the container arrive here.
  const LONG_PTR original = SetWindowLongPtrA(body, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BodyWindowProc));
  SetPropA(body, kBodyProcedure, reinterpret_cast<HANDLE>(original));
  return body;
}

HWND ZEQGetBodyWindow(HWND window) {
  HWND top = GetTopLevelWindowExt(window);
  return top ? GetDlgItem(top, kBodyWindowId) : nullptr;
}

BOOL DestroyWindowExt(HWND window, BOOL alwaysPost) {
  if (!window) return FALSE;
  if (!alwaysPost && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    return DestroyWindow(window);
  }
  return PostMessageA(window, DestroyWindowMessage(), 0, 0) ? 1 : 0;
}
