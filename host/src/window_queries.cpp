// The window functions that open, close, find and ask about windows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "foundation/waits.h"
#include "host/window_functions.h"
#include "package/macros.h"
#include "package/path_expand.h"
#include "window_functions_internal.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include "windows/window_close.h"
#include "windows/window_utils.h"

namespace zeqwinfn {
namespace {

enum Query : DISPID {
  kNewWindow = 20200,
  kCloseWindow = 20300,
  kGetTopWindow = 20002,
  kGetWindow = 20001,
  kGetMainWindow = 20011,
  kGetBaseWindow = 20016,
  kGetParentWindow = 20003,
  kValidateWindow = 20100,
  kEnumTopLevelWindows = 20107,
  kGetWindowState = 20004,
  kGetWindowRect = 20005,
  kGetWindowOpenerType = 20007,
  kGetWindowAttributes = 20009,
  kGetBestPosition = 20120,
  kGetFocus = 20014,
  kWaitWindowToClose = 20104,
  kEnumExclusiveWindows = 20108,
};

// A heap text owned by the scope.
class OwnedText {
 public:
  explicit OwnedText(char* text) : text_(text) {}
  ~OwnedText() { HeapFreeZ(text_); }
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;
  const char* Get() const { return text_ ? text_ : ""; }
  char** Slot() { return &text_; }

 private:
  char* text_;
};

// A text argument with its macros replaced, trimmed of blanks and tabs.
char* MacroText(const Call& call, UINT index) {
  char* text = Text(call, index);
  text = ProcessMacros(text, nullptr, nullptr, kMacroGrow);
  return TrimBlanks(text);
}

// Ends the modal period of a new window over its owner when the window
// goes (its alive event is signalled at its destruction, whichever thread
// or path destroys it).
struct ModalWatch {
  HANDLE alive;
  HANDLE wait;  // set by the registering thread
  HWND modal;
  ZEQWindowHolder owner;
};

void CALLBACK ModalWindowGone(void* context, BOOLEAN) {
  auto watch = static_cast<ModalWatch*>(context);
  ZEQSetWindowModalState(watch->modal, kModalEnd | kModalWindow, watch->owner);
  // The registering thread stores the wait handle right after the call
  // that can already have run this callback.
  HANDLE wait = nullptr;
  for (int tries = 0; tries < 500 && !(wait = InterlockedCompareExchangePointer(&watch->wait, nullptr, nullptr));
       ++tries) {
    Sleep(1);
  }
  if (wait) UnregisterWait(wait);
  CloseHandle(watch->alive);
  watch->owner.Reset();
  watch->~ModalWatch();
  HeapFreeZ(watch);
}

void BeginModal(HWND modal, const ZEQWindowHolder& owner) {
  HANDLE alive = GetPropExt(modal, "HWND::ALIVEEVENT");
  HANDLE copy = nullptr;
  if (!alive || !DuplicateHandle(GetCurrentProcess(), alive, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
    ZEQLogPrintf("!ZEQNewWindow: The modal window %p has no alive event; its owner is not made modal", modal);
    return;
  }
  auto watch = static_cast<ModalWatch*>(HeapAllocZ(sizeof(ModalWatch)));
  new (watch) ModalWatch{copy, nullptr, modal, ZEQWindowHolder()};
  watch->owner.ShareFrom(owner);
  ZEQSetWindowModalState(modal, kModalBegin | kModalWindow, owner);
  HANDLE wait = nullptr;
  if (!RegisterWaitForSingleObject(&wait, copy, ModalWindowGone, watch, INFINITE, WT_EXECUTEONLYONCE)) {
    // Without the watch the period could never end: end it now.
    ZEQSetWindowModalState(modal, kModalEnd | kModalWindow, owner);
    CloseHandle(copy);
    watch->~ModalWatch();
    HeapFreeZ(watch);
    return;
  }
  InterlockedExchangePointer(&watch->wait, wait);
}

HRESULT NewWindow(const Call& call) {
  ZEQContainerHolder parent = ContainerArg(call, 0);
  const VARIANT* address = Arg(call, 1);
  OwnedText url(address ? VariantToExpandedPath(address, 0, FALSE) : nullptr);
  if (*url.Slot()) TrimBlanks(*url.Slot());
  OwnedText title(MacroText(call, 2));
  RECT rect = {Int(call, 3), Int(call, 4), Int(call, 5), Int(call, 6)};
  ZEQMarshaledVariant* arguments = Arg(call, 8) ? MarshalVariantForThread(Arg(call, 8)) : nullptr;
  OwnedText name(MacroText(call, 9));
  OwnedText templateReference(Text(call, 10));
  const uint32_t flags = static_cast<uint32_t>(Int(call, 11)) | WB_ALLOWSZEQ | WB_SIZERELATIVETOCONTAINER;
  OwnedText relationText(Text(call, 12));
  const uint32_t relations = ZEQParseWindowRelations(relationText.Get());

  HWND window = nullptr;
  const int status = ZEQCreateContainerWindow(templateReference.Get(), title.Get(), url.Get(), &rect, arguments,
                                              name.Get(), flags, relations, &window, call.calling, parent);
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet()) return AnswerFailure(call);
  if (status != kStatusAlreadyExists && record->skin.IsSet() && (record->frameFlags & kFrameModal) &&
      IsProcessWindow(record->owner)) {
    ZEQWindowHolder owner = ZEQGetWindowParam(record->owner);
    if (owner.IsSet()) BeginModal(window, owner);
  }
  StatusArray answer;
  answer.AppendContainer(record->container);
  return answer.Answer(call, status);
}

HRESULT CloseWindow(const Call& call) {
  ZEQContainerHolder container = ContainerArg(call, 0);
  if (!container.IsSet()) {
    AnswerStatus(call, ZEQERROR_GENERALFAILURE);
    return S_OK;
  }
  // The value is kept even when the close is refused: script reads it back
  // from the container.
  ZEQSetContainerCloseArguments(container, Arg(call, 1) ? MarshalVariantForThread(Arg(call, 1)) : nullptr);
  const int32_t options = Int(call, 2);
  ZEQWindowHolder record = RecordOf(container);
  if (!record.IsSet()) {
    AnswerStatus(call, ZEQERROR_GENERALFAILURE);
    return S_OK;
  }
  if (options & 1) record->frameFlags &= ~kFrameCloseDenied;
  if (record->frameFlags & kFrameCloseDenied) {
    AnswerStatus(call, kStatusNotApplicable);
    return S_OK;
  }
  if (options & 1) record->attributes |= kWindowForcedClose;
  // Not a close of the user's: the window closes later, on its own thread.
  AnswerStatus(call, ZEQPostCloseWindow(record->window, 0, false) ? 0 : ZEQERROR_GENERALFAILURE);
  return S_OK;
}

HRESULT AnswerContainer(const Call& call, const ZEQContainerHolder& container) {
  if (!container.IsSet()) return AnswerFailure(call);
  StatusArray answer;
  answer.AppendContainer(container);
  return answer.Answer(call, 0);
}

HRESULT AnswerRecordContainer(const Call& call, const ZEQWindowHolder& record) {
  return record.IsSet() ? AnswerContainer(call, record->container) : AnswerFailure(call);
}

// The window that script's main container lives in: the record whose
// container was made as the main window.
ZEQWindowHolder MainWindowRecord() {
  ZEQList* records = ZEQWindowRecordList();
  std::vector<HWND> windows;
  {
    ZEQLockGuard hold(records->lock);
    for (int index = 0; index < records->count; ++index) {
      if (ZEQListItem* item = records->GetItemAt(index)) windows.push_back(reinterpret_cast<HWND>(item->key));
    }
  }
  for (HWND window : windows) {
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (record.IsSet() && record->container.IsSet() && (record->container->options & kWBMainWindow)) return record;
  }
  return ZEQWindowHolder();
}

HRESULT EnumTopLevelWindows(const Call& call) {
  ZEQList* list = ZEQGlobalWindowList();
  std::vector<HWND> windows;
  {
    ZEQLockGuard hold(list->lock);
    for (int index = 0; index < list->count; ++index) {
      if (ZEQListItem* item = list->GetItemAt(index)) windows.push_back(reinterpret_cast<HWND>(item->key));
    }
  }
  StatusArray answer;
  for (HWND window : windows) {
    if (!IsProcessWindow(window)) continue;
    ZEQWindowHolder record = ZEQGetWindowParam(window);
    if (record.IsSet() && record->container.IsSet()) answer.AppendContainer(record->container);
  }
  return answer.Answer(call, 0);
}

// The window each exclusive entry names, in list order; the entry's text
// ends in "[window]".
std::vector<HWND> ExclusiveWindows() {
  ZEQList* list = ZEQExclusiveWindowList();
  std::vector<HWND> windows;
  ZEQLockGuard hold(list->lock);
  for (int index = 0; index < list->count; ++index) {
    ZEQListItem* item = list->GetItemAt(index);
    const char* text = item ? item->KeyText() : nullptr;
    const char* last = text ? strrchr(text, '[') : nullptr;
    windows.push_back(last ? reinterpret_cast<HWND>(static_cast<intptr_t>(atoi(last + 1))) : nullptr);
  }
  return windows;
}

// One element per exclusive entry: the container of its window, or null
// once the window has no record. Script gets containers, as from every
// other member, never the list's own words.
HRESULT EnumExclusiveWindows(const Call& call) {
  StatusArray answer;
  for (HWND window : ExclusiveWindows()) {
    ZEQWindowHolder record = IsProcessWindow(window) ? ZEQGetWindowParam(window) : ZEQWindowHolder();
    if (record.IsSet() && record->container.IsSet()) {
      answer.AppendContainer(record->container);
    } else {
      answer.Values()->AppendNull();
    }
  }
  return answer.Answer(call, 0);
}

// Blocks the calling page (its thread's messages still pumped) until the
// target window is gone; answers the close value it left.
HRESULT WaitWindowToClose(const Call& call) {
  ZEQWindowHolder target = RecordOf(OptionalContainer(call, 0));
  ZEQWindowHolder caller = RecordOf(call.calling);
  if (!target.IsSet() || !caller.IsSet()) return AnswerFailure(call);
  const DWORD flags = Count(call) > 1 ? static_cast<DWORD>(Int(call, 1)) : kZEQWaitPumpInput;
  HWND window = target->window;
  target.Reset();
  VARIANT value;
  VariantInit(&value);
  if (ZEQWaitWindowToClose(window, call.calling->hostWindow, flags, &value) != 0) return AnswerFailure(call);
  StatusArray answer;
  answer.Values()->AppendVariant(&value);
  VariantClear(&value);
  return answer.Answer(call, 0);
}

uint32_t WindowState(HWND window) {
  uint32_t state = 0;
  if (IsZoomed(window)) state |= 0x1;
  if (IsIconic(window)) state |= 0x2;
  if (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) state |= 0x20;
  if (GetForegroundWindow() == window) state |= 0x40;
  if (GetActiveWindow() == window) state |= 0x80;
  if (GetFocus() == window) state |= 0x100;
  if (IsWindowVisible(window)) state |= 0x200;
  if (IsWindowEnabled(window)) state |= 0x400;
  return state;
}

HRESULT BestPosition(const Call& call) {
  ZEQContainerHolder container = OptionalContainer(call, 0);
  POINT at = {-1, -1};
  if (container.IsSet()) at = ZEQGetDefaultWindowPosition(TargetWindow(container));
  char text[64];
  std::snprintf(text, sizeof text, "{ \"left\": %d, \"top\": %d }", static_cast<int>(at.x), static_cast<int>(at.y));
  if (call.result) VariantSetString(call.result, text);
  return S_OK;
}

}  // namespace

HRESULT ServeQuery(const Call& call, DISPID id) {
  switch (id) {
    case kNewWindow:
      return NewWindow(call);
    case kCloseWindow:
      return CloseWindow(call);
    case kGetWindow:
      return AnswerRecordContainer(call, RecordOf(OptionalContainer(call, 0)));
    case kGetTopWindow: {
      ZEQContainerHolder container = OptionalContainer(call, 0);
      if (!container.IsSet()) return AnswerFailure(call);
      return AnswerRecordContainer(call, ZEQGetWindowParam(ZEQGetTopContainer(container->hostWindow)));
    }
    case kGetMainWindow:
      return AnswerRecordContainer(call, MainWindowRecord());
    case kGetBaseWindow: {
      ZEQContainerHolder container = OptionalContainer(call, 0);
      HWND body = container.IsSet() ? ZEQGetBodyWindow(container->hostWindow) : nullptr;
      return body ? AnswerRecordContainer(call, ZEQGetWindowParam(body)) : AnswerFailure(call);
    }
    case kGetParentWindow: {
      ZEQWindowHolder record = RecordOf(OptionalContainer(call, 0));
      if (!record.IsSet() || !record->owner) return AnswerFailure(call);
      return AnswerRecordContainer(call, ZEQGetWindowParam(record->owner));
    }
    case kValidateWindow:
      AnswerStatus(call, ContainerArg(call, 0).IsSet() ? 0 : ZEQERROR_GENERALFAILURE);
      return S_OK;
    case kEnumTopLevelWindows:
      return EnumTopLevelWindows(call);
    case kGetWindowState: {
      HWND window = TargetWindow(OptionalContainer(call, 0));
      if (!IsWindow(window)) return AnswerFailure(call);
      StatusArray answer;
      answer.Values()->AppendUInt(WindowState(window));
      return answer.Answer(call, 0);
    }
    case kGetWindowRect: {
      HWND window = TargetWindow(OptionalContainer(call, 0));
      RECT rect = {};
      if (!window || !GetWindowRect(window, &rect)) return AnswerFailure(call);
      StatusArray answer;
      for (LONG value : {rect.left, rect.top, rect.right, rect.bottom}) answer.Values()->AppendInt(value);
      return answer.Answer(call, 0);
    }
    case kGetWindowOpenerType: {
      HWND window = TargetWindow(OptionalContainer(call, 0));
      if (!window) return AnswerFailure(call);
      StatusArray answer;
      answer.Values()->AppendStringA(GetPropExt(ZEQGetBodyWindow(window), "WEBB_INTERNALOPENER") ? "DHTML" : "ZEQ");
      return answer.Answer(call, 0);
    }
    case kGetWindowAttributes: {
      ZEQWindowHolder record = RecordOf(ContainerArg(call, 0));
      if (!record.IsSet()) return AnswerFailure(call);
      StatusArray answer;
      answer.Values()->AppendUInt(record->attributes);
      return answer.Answer(call, 0);
    }
    case kGetBestPosition:
      return BestPosition(call);
    case kWaitWindowToClose:
      return WaitWindowToClose(call);
    case kEnumExclusiveWindows:
      return EnumExclusiveWindows(call);
    case kGetFocus: {
      HWND focus = GetFocus();
      HWND host = focus ? ZEQFindContainerWindow(focus) : nullptr;
      ZEQContainerHolder container = host ? ZEQGetBaseContainer(host) : ZEQContainerHolder();
      return AnswerContainer(call, container);
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqwinfn
