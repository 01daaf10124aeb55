// Window state commands, the close request and the user-input gate.
#include "windows/window_commands.h"

#include "foundation/heap.h"
#include "foundation/registered_messages.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "windows/common_window_proc.h"
#include "windows/records.h"
#include "windows/window_close.h"
#include "windows/window_helpers.h"
#include "windows/window_utils.h"

namespace {

constexpr char kAppBar[] = "ZEQAPPBAR";
constexpr char kDisableInput[] = "ZEQDISABLEUSERINPUT";

bool IsAppBar(HWND window) { return GetPropExt(window, kAppBar) != nullptr; }

bool HasContainer(const ZEQWindowHolder& record) { return record.IsSet() && record->container.IsSet(); }

// Asks the page before a command; false when it cancels.
bool Allowed(HWND window, bool events, const ZEQWindowHolder& record, const wchar_t* name) {
  if (!events || !HasContainer(record)) return true;
  return !ZEQEventCancels(ZEQRaiseWindowEvent(window, name, kZEQEventAsking, ZEQEventTarget::Host));
}

void Tell(HWND window, bool events, const ZEQWindowHolder& record, const wchar_t* name) {
  if (events && HasContainer(record)) ZEQRaiseWindowEvent(window, name, kZEQEventPosted, ZEQEventTarget::Host);
}

}  // namespace

void ZEQMinimizeWindowCommand(HWND window, bool events) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || IsAppBar(window) || !(record->frameFlags & kFrameAllowMinimize)) return;
  if (!Allowed(window, events, record, L"ZEQOnBeforeMinimizeWindow")) return;
  ShowWindowExt(window, IsWindowVisible(window) ? SW_SHOWMINIMIZED : SW_SHOWMINNOACTIVE);
  Tell(window, events, record, L"ZEQOnAfterMinimizeWindow");
}

void ZEQToggleMaximizeWindow(HWND window, bool events) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || IsAppBar(window)) return;
  if (IsIconic(window) || IsZoomed(window)) {
    if (!Allowed(window, events, record, L"ZEQOnBeforeRestoreWindow")) return;
    ShowWindowExt(window, SW_RESTORE);
    Tell(window, events, record, L"ZEQOnAfterRestoreWindow");
    return;
  }
  if (!(record->frameFlags & kFrameAllowMaximize)) return;
  if (!Allowed(window, events, record, L"ZEQOnBeforeMaximizeWindow")) return;
  ShowWindowExt(window, SW_MAXIMIZE);
  Tell(window, events, record, L"ZEQOnAfterMaximizeWindow");
}

void ZEQRestoreWindowCommand(HWND window) {
  if (IsIconic(window) || IsZoomed(window)) {
    ZEQToggleMaximizeWindow(window, true);
  } else {
    ZEQMinimizeWindowCommand(window, true);
  }
}

void ZEQRequestCloseWindow(HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet() || (record->frameFlags & kFrameCloseDenied)) return;
  if (HasContainer(record)) {
    const uint32_t answer = ZEQRaiseWindowEvent(window, L"ZEQOnCloseWindow", kZEQEventAsking, ZEQEventTarget::Host);
    if (answer != ZEQACTION_CONTINUE && answer != ZEQERROR_NOTFOUND) return;
  }
  ZEQPostCloseWindow(window, 0, true);
}

void ZEQShowWindowMenu(HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (HasContainer(record)) ZEQRaiseWindowEvent(window, L"ZEQOnShowWindowMenu", kZEQEventAsking, ZEQEventTarget::Host);
}

bool ZEQWindowAcceptsInput(HWND window) {
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (!record.IsSet()) record = ZEQGetWindowParam(GetTopLevelWindowExt(window));
  // A window under a modal window or an input lock takes no user input.
  return !record.IsSet() || (record->inputLocks <= 0 && record->modalState[1] == 0);
}

bool ZEQInputNotDisabled(HWND window) {
  if (!IsProcessWindow(window)) return true;
  if (GetPropA(window, kDisableInput)) return false;
  HWND container = ZEQFindContainerWindow(window);
  return !(container && GetPropExt(container, kDisableInput));
}

bool ZEQCanTakeUserInput(HWND window) { return ZEQWindowAcceptsInput(window) && ZEQInputNotDisabled(window); }

BOOL ZEQCheckUserInput(HWND window) {
  const bool notDisabled = ZEQInputNotDisabled(window);
  if (notDisabled) return ZEQWindowAcceptsInput(window) ? TRUE : FALSE;
  // Disabled by script: a page of the program's own may let this press in.
  ZEQContainerHolder container = ZEQGetBaseContainer(ZEQFindContainerWindow(window));
  if (!container.IsSet() || !(container->options & WB_ALLOWSZEQ)) return FALSE;
  const uint32_t answer =
      ZEQRaiseWindowEvent(window, L"ZEQOnUserInputEnabled", kZEQEventAsking, ZEQEventTarget::Host);
  return answer == ZEQACTION_CONTINUE ? TRUE : FALSE;
}

BOOL ZEQPostScriptCommand(const char* text, HWND target) {
  if (!text) return FALSE;
  while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t' || text[length - 1] == '\r' ||
                        text[length - 1] == '\n')) {
    --length;
  }
  if (length == 0) return FALSE;
  auto copy = static_cast<char*>(HeapAllocZ(length + 1));
  memcpy(copy, text, length);
  if (PostMessageA(target, CMSG_EXECUTEASYNCHSCRIPT, reinterpret_cast<WPARAM>(copy), 1)) return TRUE;
  HeapFreeZ(copy);
  return FALSE;
}
