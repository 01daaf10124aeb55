// Window events for page script: raised to the window's container through
// the runtime's cross-thread script calls.
#include <windows.h>
#include <oleauto.h>

#include "foundation/git_table.h"
#include "foundation/log.h"
#include "foundation/script_calls.h"
#include "windows/common_window_proc.h"
#include "windows/program_windows.h"
#include "windows/records.h"

namespace {

ZEQWindowRelationHooks relationHooks = {};

// The container of the window: its own when it is a container window,
// else the one its record was made for.
ZEQContainerHolder ContainerOf(HWND window) {
  ZEQContainerHolder container = ZEQGetBaseContainer(window);
  if (container.IsSet()) return container;
  ZEQWindowHolder record = ZEQGetWindowParam(window);
  if (record.IsSet()) container.ShareFrom(record->container);
  if (!container.IsSet()) container = ZEQGetBaseContainer(ZEQGetBodyWindow(window));
  return container;
}

uint32_t Deliver(HWND window, const wchar_t* name, VARIANT* argument, uint32_t mode, ZEQEventTarget target) {
  ZEQContainerHolder container = ContainerOf(window);
  if (!container.IsSet()) {
    if (argument) VariantClear(argument);
    return 0;
  }
  HWND to = target == ZEQEventTarget::Event ? container->eventWindow : container->hostWindow;
  if (!to) to = container->hostWindow;
  // The event names its container, so the handler gets its ZEQIBC object
  // first: function ZEQOnX(ibc, value).
  HWND source = container->hostWindow;
  container.Reset();
  // An event that cannot be delivered is skipped: the runtime's refusal
  // code would read as the page's cancel.
  ZEQCallContainer found = {};
  if (!ZEQGlobalInterfaceTable() || !ZEQFindCallContainer(to, &found)) {
    if (argument) VariantClear(argument);
    return ZEQERROR_NOTFOUND;
  }
  try {
    return ZEQDeliverAPC(to, name, nullptr, source, argument, nullptr, mode, window, 0, nullptr);
  } catch (...) {
    ZEQLogPrintf("!ZEQRaiseWindowEvent: Unexpected exception...");
    if (argument) VariantClear(argument);
    return 0;
  }
}

}  // namespace

uint32_t ZEQRaiseWindowEvent(HWND window, const wchar_t* name, uint32_t mode, ZEQEventTarget target) {
  return Deliver(window, name, nullptr, mode, target);
}

uint32_t ZEQRaiseWindowEventBool(HWND window, const wchar_t* name, bool value, uint32_t mode,
                                 ZEQEventTarget target) {
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BOOL;
  argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return Deliver(window, name, &argument, mode, target);
}

uint32_t ZEQRaiseWindowEventArray(HWND window, const wchar_t* name, const int32_t* items, int count,
                                  const char* lastText, uint32_t mode, ZEQEventTarget target) {
  if (!ContainerOf(window).IsSet()) return 0;
  const ULONG total = static_cast<ULONG>(count) + (lastText ? 1 : 0);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, total);
  if (!array) {
    ZEQLogPrintf("!ZEQRaiseWindowEvent: no memory for the arguments of an event");
    return 0;
  }
  VARIANT* elements = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements)))) {
    SafeArrayDestroy(array);
    return 0;
  }
  for (int index = 0; index < count; ++index) {
    elements[index].vt = VT_I4;
    elements[index].lVal = items[index];
  }
  if (lastText) {
    elements[count].vt = VT_BSTR;
    const int wide = MultiByteToWideChar(CP_ACP, 0, lastText, -1, nullptr, 0);
    elements[count].bstrVal = SysAllocStringLen(nullptr, wide > 0 ? wide - 1 : 0);
    if (elements[count].bstrVal && wide > 0) {
      MultiByteToWideChar(CP_ACP, 0, lastText, -1, elements[count].bstrVal, wide);
    }
  }
  SafeArrayUnaccessData(array);
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_ARRAY | VT_VARIANT;
  argument.parray = array;
  return Deliver(window, name, &argument, mode, target);
}

void ZEQInstallWindowRelationHooks(const ZEQWindowRelationHooks& hooks) { relationHooks = hooks; }
const ZEQWindowRelationHooks* ZEQGetWindowRelationHooks() { return &relationHooks; }
