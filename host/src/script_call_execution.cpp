// Execution of cross-thread script calls in the target page.
#include "host/script_calls.h"

#include <mshtml.h>

#include <cwchar>
#include <cwctype>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/pointer_token.h"
#include "foundation/process_state.h"
#include "foundation/variant.h"
#include "host/containers.h"
#include "host/cross_thread.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "host/script_exec.h"
#include "host/zeqibc.h"

namespace {

// Numbers the generated globals of inline code.
volatile LONG callCounter = 0;

bool Refused() { return !ZEQGlobalInterfaceTable() || ZEQGetApplicationState() > kZEQAppClosing; }

bool FindContainer(HWND window, ZEQCallContainer* found) {
  ZEQWindowContainer container{};
  if (!ZEQGetWindowContainer(window, &container)) return false;
  found->window = window;
  found->id = container.id;
  found->ready = container.ready;
  found->interfaceReady = container.interfaceReady;
  return true;
}

// The script object of the browser's document, with a reference.
IDispatchEx* DocumentScript(IWebBrowser2* browser) {
  IDispatch* document = nullptr;
  if (!browser || FAILED(browser->get_Document(&document)) || !document) return nullptr;
  IHTMLDocument2* html = nullptr;
  document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
  document->Release();
  if (!html) return nullptr;
  IDispatch* script = nullptr;
  html->get_Script(&script);
  html->Release();
  if (!script) return nullptr;
  IDispatchEx* scriptEx = nullptr;
  script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&scriptEx));
  script->Release();
  return scriptEx;
}

// Inline code: runs "JS:" code as the body of a generated function whose
// result lands in a generated global, read back into value.
HRESULT RunInlineCode(IWebBrowser2* browser, const wchar_t* code, LONG counter, VARIANT* value) {
  IDispatchEx* script = DocumentScript(browser);
  if (!script) return E_UNEXPECTED;
  HRESULT hr = E_UNEXPECTED;
  wchar_t name[128];
  swprintf(name, 128, L"KESTO3B1E0A7D92F44c16A8E5D04C6F21B7A9%X", static_cast<unsigned>(counter));
  VARIANT empty;
  VariantInit(&empty);
  if (SUCCEEDED(DispatchExPutVariant(script, name, &empty))) {
    size_t size = wcslen(code) + 256 + 3 * wcslen(name);
    auto* text = HeapAllocArray<wchar_t>(size);
    swprintf(text, size, L"%ls=%ls_Function(); function %ls_Function(){ %ls }", name, name, name, code);
    BSTR block = SysAllocString(text);
    HeapFreeZ(text);
    if (block && ZEQExecScript(block, browser) == 0 && SUCCEEDED(DispatchExGetVariant(script, name, value)))
      hr = S_OK;
    SysFreeString(block);
  }
  script->Release();
  return hr;
}

// The parameters of one call, in DISPPARAMS order (last argument first):
// the named "this" slot of a function object, then the arguments, and the
// caller's container object (when given) last, so that script receives it
// as its first argument.
DISPPARAMS* BuildParameters(IDispatchEx* function, VARIANT* argument, uint32_t flags, IDispatch* container) {
  if ((flags & kZEQApcArgumentList) && argument) {
    SAFEARRAY* list = VariantGetSafeArray(argument);
    if (list) return ZEQUnmarshalArguments(function, list, container);
  }
  auto* block = static_cast<DISPPARAMS*>(HeapAllocZ(sizeof(DISPPARAMS)));
  block->rgvarg = HeapAllocArray<VARIANT>(3);
  UINT count = 0;
  if (function) VariantInitDispatch(&block->rgvarg[count++], function);
  if (argument && !(flags & kZEQApcArgumentList)) VariantInitCopy(&block->rgvarg[count++], argument);
  if (container) VariantInitDispatch(&block->rgvarg[count++], container);
  block->cArgs = count;
  return block;
}

// The script object of the container that made the call, handed to script
// with the call's arguments; null when the call asks for none or names no
// container that still exists.
CZEQDispatchEx* CallerContainerObject(HWND sourceContainer, uint32_t flags) {
  if (!sourceContainer || (flags & kZEQApcNoContainerArgument)) return nullptr;
  return ZEQIBC(ZEQGetBaseContainer(sourceContainer));
}

HRESULT Invoke(IDispatchEx* target, IDispatchEx* function, DISPID id, VARIANT* argument, uint32_t flags,
               VARIANT* returned, HWND sourceContainer) {
  CZEQDispatchEx* container = CallerContainerObject(sourceContainer, flags);
  DISPPARAMS* params = nullptr;
  try {
    params = BuildParameters(function, argument, flags, container ? static_cast<IDispatchEx*>(container) : nullptr);
  } catch (...) {
    if (container) container->Release();
    throw;
  }
  if (container) container->Release();
  if (!params) return E_UNEXPECTED;
  DISPID self = DISPID_THIS;
  HRESULT hr;
  if (function) {
    if (params->cArgs == 0) {
      ZEQVariantArray::Delete(params);
      return E_UNEXPECTED;
    }
    params->rgdispidNamedArgs = &self;
    params->cNamedArgs = 1;
    hr = function->InvokeEx(DISPID_VALUE, 0x409, DISPATCH_METHOD, params, returned, nullptr, nullptr);
  } else {
    hr = target->InvokeEx(id, 0x800, DISPATCH_METHOD, params, returned, nullptr, nullptr);
  }
  params->rgdispidNamedArgs = nullptr;
  params->cNamedArgs = 0;
  ZEQVariantArray::Delete(params);
  return hr;
}

// A result-coded function's answer as a code.
uint32_t ResultCodeOf(VARIANT* returned, VARIANT* result, HRESULT* hr) {
  VARTYPE type = V_VT(returned);
  if (type == VT_DISPATCH) {
    VARIANT array;
    VariantInit(&array);
    if (!ScriptArrayToSafeArray(returned, &array)) {
      *hr = E_UNEXPECTED;
      return ZEQERROR_NOTACCEPTABLE;
    }
    uint32_t code = ZEQERROR_NOTALLOWED;
    VARIANT* elements = nullptr;
    SAFEARRAY* list = V_ARRAY(&array);
    if (!list || FAILED(SafeArrayAccessData(list, reinterpret_cast<void**>(&elements)))) {
      *hr = E_UNEXPECTED;
      VariantClear(&array);
      return ZEQERROR_UNEXPECTED;
    }
    bool numeric = list->rgsabound[0].cElements > 0 && IsNumericVarType(V_VT(&elements[0]));
    if (numeric) code = static_cast<uint32_t>(VariantToInt(&elements[0]));
    SafeArrayUnaccessData(list);
    if (!numeric) {
      *hr = E_UNEXPECTED;
      VariantClear(&array);
      return ZEQERROR_NOTALLOWED;
    }
    if (result) {
      VariantClear(result);
      *result = array;
    } else {
      VariantClear(&array);
    }
    return code;
  }
  if (type == VT_BOOL) return V_BOOL(returned) ? ZEQACTION_CONTINUE : ZEQACTION_CANCEL;
  if (IsNumericVarType(type)) return static_cast<uint32_t>(VariantToInt(returned));
  *hr = E_UNEXPECTED;
  return ZEQERROR_NOTALLOWED;
}

}  // namespace

uint32_t ZEQInvokeScriptFunction(const wchar_t* name, IWebBrowser2* browser, VARIANT* argument, uint32_t flags,
                                 VARIANT* result, HRESULT* hrOut, LONG counter, HWND sourceContainer) {
  if (Refused()) return ZEQACTION_CANCEL;
  if (!name || !*name || !browser) return ZEQERROR_NOTFOUND;
  HRESULT hr = E_UNEXPECTED;
  uint32_t code = ZEQERROR_NOTFOUND;
  if (result) VariantInit(result);
  IDispatchEx* target = nullptr;
  IDispatchEx* function = nullptr;
  VARIANT returned;
  VariantInit(&returned);
  try {
    const wchar_t* rest = name;
    const wchar_t* colon = wcschr(name, L':');
    if (iswdigit(name[0]) && colon) {
      target = GetGITDispatchEx(static_cast<DWORD>(wcstoul(name, nullptr, 10)));
      if (!target) {
        code = ZEQERROR_UNEXPECTED;
        throw 0;
      }
      rest = colon + 1;
    } else {
      target = DocumentScript(browser);
      if (!target) throw 0;
    }
    DISPID id = DISPID_UNKNOWN;
    bool inlineCode = false;
    if (iswdigit(rest[0])) {
      function = GetGITDispatchEx(static_cast<DWORD>(wcstoul(rest, nullptr, 10)));
      if (!function) {
        code = ZEQERROR_UNEXPECTED;
        throw 0;
      }
      hr = S_OK;
    } else if (_wcsnicmp(rest, L"JS:", 3) == 0) {
      inlineCode = true;
      hr = RunInlineCode(browser, rest + 3, counter, &returned);
    } else {
      BSTR wanted = SysAllocString(rest);
      hr = target->GetDispID(wanted, fdexNameCaseSensitive, &id);
      SysFreeString(wanted);
    }
    if (SUCCEEDED(hr) && !inlineCode) {
      if (flags & kZEQApcProbe)
        hr = S_OK;
      else
        hr = Invoke(target, function, id, argument, flags, &returned, sourceContainer);
    }
    if (SUCCEEDED(hr)) {
      if (flags & kZEQApcProbe) {
        code = ZEQERROR_NOERROR;
      } else if (flags & kZEQApcResultCoded) {
        code = ResultCodeOf(&returned, result, &hr);
      } else {
        code = ZEQERROR_NOERROR;
        if (result) VariantCopy(result, &returned);
      }
    } else if (hr == static_cast<HRESULT>(E_ACCESSDENIED)) {
      code = ZEQERROR_FORBIDDEN;
    } else {
      code = ZEQERROR_NOTFOUND;
    }
  } catch (int) {
    // A failure with its code already set.
  } catch (...) {
    ZEQLogUnexpected("ZEQInvokeScriptFunction");
  }
  VariantClear(&returned);
  if (function) function->Release();
  if (target) target->Release();
  if (hrOut) *hrOut = hr;
  return code;
}

uint32_t ZEQInvokeAPCTarget(HWND sourceWindow, HWND targetWindow, const wchar_t* interfaceName,
                            const wchar_t* callbackName, VARIANT* argument, VARIANT* result, uint32_t flags,
                            HRESULT* hrOut, HWND sourceContainer) {
  if (Refused()) return ZEQACTION_CANCEL;
  uint32_t code = ZEQACTION_CONTINUE;
  HRESULT hr = E_UNEXPECTED;
  if (result) VariantClear(result);
  VARIANT local;
  VariantInit(&local);
  ZEQWindowContainer target{};
  if (ZEQGetWindowContainer(targetWindow, &target) && target.ready) {
    if (!IsWindow(targetWindow) || !target.interfaceReady) return ZEQERROR_NOTFOUND;
    IWebBrowser2* browser = target.browser;
    if (!browser) {
      code = ZEQERROR_NOTFOUND;
    } else {
      browser->AddRef();
      VARIANT value;
      VariantInit(&value);
      if (argument) {
        if (flags & kZEQApcPlainArgument) {
          VariantCopy(&value, argument);
        } else if (V_VT(argument) == VT_UI4) {
          UnmarshalVariantInit(static_cast<ZEQMarshaledVariant*>(ZEQTokenToPointer(V_UI4(argument))), &value);
        }
      }
      LONG counter = InterlockedIncrement(&callCounter);
      code = ZEQInvokeScriptFunction(interfaceName, browser, argument ? &value : nullptr, flags, &local, &hr, counter,
                                     sourceContainer);
      if (hrOut) *hrOut = hr;
      if (V_VT(&local) == VT_EMPTY) VariantSetUInt(&local, code);
      VariantClear(&value);
      browser->Release();

      if (hr == S_OK && callbackName && *callbackName) {
        ZEQWindowContainer source{};
        if (ZEQGetWindowContainer(sourceWindow, &source) && source.ready) {
          if (!IsWindow(sourceWindow)) {
            VariantClear(&local);
            return ZEQERROR_NOTFOUND;
          }
          if (!source.interfaceReady) {
            VariantClear(&local);
            return ZEQERROR_NOTPREPARED;
          }
          VARIANT copy;
          VariantInit(&copy);
          VariantCopy(&copy, &local);
          VARIANT answer;
          VariantInit(&answer);
          code = ZEQDeliverAPC(sourceWindow, callbackName, nullptr, nullptr, &copy, &answer,
                               kZEQApcCoalesce | kZEQApcNoContainerArgument | kZEQApcResultCoded, nullptr, 0,
                               nullptr);
          VariantClear(&answer);
          VariantClear(&local);
        }
      }
    }
  }
  if (result) VariantCopy(result, &local);
  VariantClear(&local);
  return code;
}

uint32_t ZEQMarshalInterfaceName(ZEQApcItemHolder& item) {
  if (!ZEQIsValidAPCRecord(item)) return 1;
  ZEQApcItem* record = item.Get();
  const wchar_t* name = record->interfaceName;
  HWND target = record->targetWindow;
  if (!name || !*name || iswdigit(name[0]) || !target || !IsWindow(target) ||
      GetWindowThreadProcessId(target, nullptr) == GetCurrentThreadId())
    return 1;
  ZEQWindowContainer container{};
  if (!ZEQGetWindowContainer(target, &container) || !container.ready || !container.browserCookie) return 1;
  // The browser comes from the table, never as the owner thread's pointer,
  // so every call below goes through this apartment's proxies.
  const size_t size = wcslen(name) + 16;
  wchar_t* marshalled = HeapAllocArray<wchar_t>(size);
  DWORD cookie = 0;
  if (IWebBrowser2* browser = GetGITWebBrowser2(container.browserCookie)) {
    if (IDispatchEx* script = DocumentScript(browser)) {
      cookie = ZEQGITRegister(script);
      script->Release();
    }
    browser->Release();
  }
  if (!cookie) {
    HeapFreeZ(marshalled);
    return 1;
  }
  swprintf(marshalled, size, L"%u:%ls", static_cast<unsigned>(cookie), name);
  wchar_t* old = static_cast<wchar_t*>(
      InterlockedExchangePointer(reinterpret_cast<PVOID*>(&record->interfaceName), marshalled));
  HeapFreeZ(old);
  // This cookie is the item's own, whatever the caller said of its name:
  // freeing the item revokes it.
  record->flags &= ~kZEQApcKeepInterfaceCookie;
  return 1;
}

uint32_t ZEQExecuteAPC(ZEQApcItemHolder& item) {
  if (!ZEQIsValidAPCRecord(item)) return ZEQERROR_NOTFOUND;
  ZEQApcItem* record = item.Get();
  if ((record->flags & kZEQApcExclusive) && record->inProgress) return ZEQERROR_NOERROR;
  InterlockedExchange(&record->inProgress, 1);
  uint32_t code = ZEQERROR_NOTFOUND;
  try {
    ZEQMarshalInterfaceName(item);
    if (record->sourceContainer && !ZEQGetWindowContainer(record->sourceContainer, nullptr)) {
      code = ZEQERROR_GENERALFAILURE;
    } else {
      code = ZEQInvokeAPCTarget(record->sourceWindow, record->targetWindow, record->interfaceName,
                                record->callbackName, record->argument, &record->result, record->flags, nullptr,
                                record->sourceContainer);
    }
  } catch (...) {
    ZEQLogUnexpected("ZEQExecuteAPC");
  }
  InterlockedExchange(&record->inProgress, 0);
  InterlockedExchange(&record->completed, 1);
  return code;
}

void ZEQInstallScriptCalls() {
  ZEQSetScriptCallHooks(ZEQScriptCallHooks{FindContainer, ZEQExecuteAPC});
  ZEQInstallPackageExtractEvents();
}

uint32_t ZEQDeliverAPCWithArgs(HWND target, const wchar_t* interfaceName, JSArray* arguments, VARIANT* result,
                               uint32_t flags, HWND sourceWindow, uint32_t delay, const wchar_t* delayName,
                               HWND sourceContainer) {
  VARIANT argument;
  VariantInit(&argument);
  JSArray::ToVariant(arguments, &argument);
  return ZEQDeliverAPC(target, interfaceName, nullptr, sourceContainer, &argument, result, flags, sourceWindow, delay,
                       delayName);
}
