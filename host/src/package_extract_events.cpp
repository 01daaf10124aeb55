// The extract-error event of packages: a failed entry is offered to the
// function that the package's owner script object keeps as its
// extract-error handler, on the thread of that object's container, with
// (code, output path, entry text with its directives, owner object). Only
// the handler's own answer asks for a retry: a call that cannot be
// delivered, fails or answers nothing, false or 0 is a refusal.
#include <cwchar>

#include "dispatch_internal.h"
#include "foundation/log.h"
#include "foundation/script_calls.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "host/script_calls.h"
#include "package/package_extract.h"

namespace {

// Whether the handler's answer asks for another attempt: true, or a number
// other than 0.
bool AsksForRetry(VARIANT* answer) {
  if (V_VT(answer) == VT_BOOL) return V_BOOL(answer) != VARIANT_FALSE;
  VARIANT number;
  VariantInit(&number);
  if (V_VT(answer) == VT_EMPTY || V_VT(answer) == VT_NULL || V_VT(answer) == VT_BSTR ||
      V_VT(answer) == VT_DISPATCH || FAILED(VariantChangeType(&number, answer, 0, VT_R8)))
    return false;
  return V_R8(&number) != 0;
}

int RaiseExtractError(ZEQPackageDATA* package, const char* outputPath, const char* entryText, int code) {
  if (!package || !package->errorHandlerCookie || !package->owner) return 0;
  auto* owner = static_cast<CZEQDispatchEx*>(package->owner);
  // The owner keeps the package; an owner already on its way out calls
  // nothing.
  if (!ZEQTryAddRefLive(owner)) return 0;
  JSArray arguments;
  arguments.Init();
  VARIANT answer;
  VariantInit(&answer);
  int retry = 0;
  try {
    arguments.AppendInt(code);
    arguments.AppendStringA(outputPath);
    arguments.AppendStringA(entryText);
    arguments.AppendDispatch(owner);
    wchar_t handler[16];
    swprintf(handler, sizeof handler / sizeof handler[0], L"%u", static_cast<unsigned>(package->errorHandlerCookie));
    const uint32_t delivered = ZEQDeliverAPCWithArgs(
        owner->owner, handler, &arguments, &answer,
        kZEQApcArgumentList | kZEQApcNoContainerArgument | kZEQApcKeepInterfaceCookie, nullptr, 0, nullptr, nullptr);
    if (delivered != 0) {
      ZEQLogPrintf("ZEQPackageExtract: [FAILED] Extract error handler not reached (%u) - Package: \"%s\"", delivered,
                   package->path);
    } else {
      retry = AsksForRetry(&answer) ? 1 : 0;
    }
  } catch (...) {
    ZEQLogUnexpected("ZEQPackageExtractErrorEvent");
    retry = 0;
  }
  VariantClear(&answer);
  arguments.Destroy();
  owner->Release();
  return retry;
}

}  // namespace

void ZEQInstallPackageExtractEvents() { ZEQSetPackageExtractErrorEvent(RaiseExtractError); }
