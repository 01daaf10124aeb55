// Marshalled argument arrays as DISPPARAMS, calls of document script
// functions, and a browser's window from any thread.
#include "foundation/com_slots.h"
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/cross_thread.h"

namespace {

// The element's object when it is a cookie name the host marked, of a
// parked object, with a reference for the caller; null otherwise.
IDispatch* CookieNameObject(const VARIANT* element) {
  if (!ZEQIsMarkedCookieName(element)) return nullptr;
  const DWORD cookie = ZEQCookieNameToCookie(V_BSTR(element));
  return cookie ? GetGITDispatch(cookie) : nullptr;
}

}  // namespace

DISPPARAMS* ZEQUnmarshalArguments(IDispatch* leading, SAFEARRAY* arguments, IDispatch* trailing) {
  if (!arguments || SafeArrayGetDim(arguments) != 1) return nullptr;
  VARTYPE type = VT_EMPTY;
  if (FAILED(SafeArrayGetVartype(arguments, &type)) || type != VT_VARIANT) return nullptr;
  VARIANT* elements = nullptr;
  if (FAILED(SafeArrayAccessData(arguments, reinterpret_cast<void**>(&elements)))) return nullptr;
  const UINT given = arguments->rgsabound[0].cElements;
  const UINT count = given + (leading ? 1 : 0);
  DISPPARAMS* block = nullptr;
  try {
    block = static_cast<DISPPARAMS*>(HeapAllocZ(sizeof(DISPPARAMS)));
    // Zero-filled slots are VT_EMPTY: a block left half-filled can be freed.
    block->rgvarg = HeapAllocArray<VARIANT>(count + (trailing ? 1 : 0) + 1);
    block->cArgs = count;
    if (leading) VariantInitDispatch(&block->rgvarg[0], leading);
    for (UINT i = 0; i < given; ++i) {
      VARIANT* slot = &block->rgvarg[count - 1 - i];
      if (IDispatch* object = CookieNameObject(&elements[i])) {
        VariantInitDispatch(slot, object);
        object->Release();
      } else {
        VariantInitCopy(slot, &elements[i]);
      }
    }
    if (trailing) {
      VariantInitDispatch(&block->rgvarg[count], trailing);
      block->cArgs = count + 1;
    }
  } catch (...) {
    SafeArrayUnaccessData(arguments);
    ZEQVariantArray::Delete(block);
    throw;
  }
  SafeArrayUnaccessData(arguments);
  return block;
}

HRESULT ZEQCallDocumentFunction(IHTMLDocument2* document, const wchar_t* name, SAFEARRAY* arguments, VARIANT* result) {
  if (!document || !name) return E_FAIL;
  IDispatch* script = nullptr;
  if (FAILED(document->get_Script(&script)) || !script) return E_FAIL;
  IDispatchEx* globals = nullptr;
  script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&globals));
  script->Release();
  if (!globals) return E_FAIL;
  BSTR wanted = SysAllocString(name);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = wanted ? globals->GetDispID(wanted, fdexNameCaseSensitive, &id) : E_OUTOFMEMORY;
  SysFreeString(wanted);
  if (SUCCEEDED(hr)) {
    DISPPARAMS* block = nullptr;
    try {
      block = ZEQUnmarshalArguments(nullptr, arguments, nullptr);
    } catch (...) {
      globals->Release();
      throw;
    }
    if (!block) {
      hr = E_FAIL;
    } else {
      if (result) VariantInit(result);
      hr = globals->InvokeEx(id, 0x800, DISPATCH_METHOD, block, result, nullptr, nullptr);
      ZEQVariantArray::Delete(block);
    }
  }
  globals->Release();
  return hr;
}

IHTMLWindow2* IBCGetHTMLWindow(const ZEQBrowserSiteRef* site) {
  if (!site) return nullptr;
  IWebBrowser2* browser = nullptr;
  const bool ownThread =
      site->containerWindow && GetWindowThreadProcessId(site->containerWindow, nullptr) == GetCurrentThreadId();
  if (ownThread) {
    if (site->browser) site->browser->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
  } else {
    browser = GetGITWebBrowser2(site->browserCookie);
  }
  if (!browser) return nullptr;
  IDispatch* document = nullptr;
  browser->get_Document(&document);
  browser->Release();
  if (!document) return nullptr;
  IHTMLDocument2* html = nullptr;
  document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
  document->Release();
  if (!html) return nullptr;
  IHTMLWindow2* window = nullptr;
  html->get_parentWindow(&window);
  html->Release();
  return window;
}
