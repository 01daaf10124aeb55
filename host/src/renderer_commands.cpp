// The site's answers that reach page script: the document commands it
// takes over (script errors, printing, print preview, page set-up, find),
// the context menu and HTTP authentication.
#include <mshtmcid.h>

#include <cwchar>
#include <initializer_list>

#include "container_events.h"
#include "foundation/builtin_key.h"
#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/pointer_token.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "foundation/variant.h"
#include "host/browser_services.h"
#include "host/dispatch_ex.h"
#include "host/object_scope.h"
#include "host/renderer.h"

using containerevents::Mode;
using containerevents::Raise;

namespace {

constexpr uint32_t kWindowStateClosing = 0x200;

// {F38BC242-B950-11D1-8918-00C04FC2C836}
const GUID kDocHostCommandHandler = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

struct Arguments {
  JSArray list;
  Arguments() { list.Init(); }
  ~Arguments() { list.Destroy(); }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
};

// A property of the event object read by name.
HRESULT ReadProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

// The current event object of the document's window (one reference).
HRESULT ErrorEventOf(VARIANT* in, IDispatch** event) {
  *event = nullptr;
  IUnknown* object = nullptr;
  if (in && (V_VT(in) == VT_UNKNOWN || V_VT(in) == VT_DISPATCH)) object = V_UNKNOWN(in);
  if (!object) return E_INVALIDARG;
  IHTMLDocument2* document = nullptr;
  HRESULT hr = object->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document));
  if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_NOINTERFACE;
  IHTMLWindow2* window = nullptr;
  hr = document->get_parentWindow(&window);
  document->Release();
  if (FAILED(hr) || !window) return FAILED(hr) ? hr : E_FAIL;
  IHTMLEventObj* current = nullptr;
  hr = window->get_event(&current);
  window->Release();
  if (FAILED(hr) || !current) return FAILED(hr) ? hr : E_FAIL;
  hr = current->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(event));
  current->Release();
  return hr;
}

struct ScriptError {
  VARIANT line, character, code, message, url;
  ScriptError() {
    for (VARIANT* v : {&line, &character, &code, &message, &url}) VariantInit(v);
  }
  ~ScriptError() {
    for (VARIANT* v : {&line, &character, &code, &message, &url}) VariantClear(v);
  }
  ScriptError(const ScriptError&) = delete;
  ScriptError& operator=(const ScriptError&) = delete;
};

struct HeapText {
  char* text;
  explicit HeapText(char* given) : text(given) {}
  ~HeapText() { HeapFreeZ(text); }
  const char* Get() const { return text ? text : ""; }
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
};

void LogOwnPageError(int32_t line, int32_t character, const char* message, int32_t code, const char* url) {
  char key[129] = {};
  GetBuiltInCipherKey(key, true);
  HeapText secretMessage(EncipherToBase64(message, key));
  HeapText secretUrl(EncipherToBase64(url, key));
  SecureZeroMemory(key, sizeof key);
  ZEQLogPrintf("*** ScriptError: Linha: %d\r\nCaracter: %d\r\nErro: %s\r\nC\xF3" "digo: %08x\r\nURL: %s\r\n", line,
               character, secretMessage.Get(), static_cast<unsigned>(code), secretUrl.Get());
}

// The answer of a print-like command: a handler that returns false lets the
// control do it.
HRESULT CommandAnswer(const ZEQContainerHolder& container, const wchar_t* event) {
  return Raise(container, event, nullptr, Mode::SyncCode) == ZEQACTION_CANCEL ? OLECMDERR_E_NOTSUPPORTED : S_OK;
}

wchar_t* TaskCopy(const wchar_t* text, size_t length) {
  auto copy = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
  if (!copy) throw ZEQOutOfMemory();
  wmemcpy(copy, text, length);
  copy[length] = 0;
  return copy;
}

// The credentials text of the handler's result value: a text, or the
// second element of an array.
BSTR CredentialsOf(const VARIANT* value) {
  if (V_VT(value) == VT_BSTR) return SysAllocString(V_BSTR(value));
  SAFEARRAY* array = VariantGetSafeArray(value);
  if (!array || SafeArrayGetDim(array) != 1) return nullptr;
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  if (high < low + 1) return nullptr;
  VARIANT element;
  VariantInit(&element);
  LONG index = low + 1;
  BSTR text = nullptr;
  if (SUCCEEDED(SafeArrayGetElement(array, &index, &element)) && V_VT(&element) == VT_BSTR) {
    text = SysAllocString(V_BSTR(&element));
  }
  VariantClear(&element);
  return text;
}

}  // namespace

HRESULT CZEQRenderer::Exec(const GUID* group, DWORD command, DWORD, VARIANT* in, VARIANT* out) {
  return ZEQGuardedComCall("CZEQRenderer::Exec", [&]() -> HRESULT {
    if (!group || !IsEqualGUID(*group, kDocHostCommandHandler)) return OLECMDERR_E_UNKNOWNGROUP;
    switch (command) {
      case OLECMDID_SHOWSCRIPTERROR:
        break;
      case OLECMDID_PRINT:
      case OLECMDID_PRINT2:
      case IDM_PRINT:
        return CommandAnswer(container_, L"ZEQOnPrint");
      case OLECMDID_PRINTPREVIEW:
      case OLECMDID_PRINTPREVIEW2:
        return CommandAnswer(container_, L"ZEQOnPrintPreview");
      case OLECMDID_PAGESETUP:
      case IDM_PAGESETUP:
        return CommandAnswer(container_, L"ZEQOnPageSetup");
      case OLECMDID_SHOWFIND:
        Raise(container_, L"ZEQOnShowFind", nullptr, Mode::Async);
        return S_OK;
      default:
        return OLECMDERR_E_NOTSUPPORTED;
    }
    ZEQBASECONTAINER* record = container_.Get();
    HWND host = HostWindow();
    ZEQLogPrintf("*** ScriptError: IBC: %08X, hwnd: %08X", ZEQPointerToToken(record),
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(host)));
    ZEQWindowHolder window = ZEQGetWindowParam(host);
    if (window.IsSet() && (window->stateBits & kWindowStateClosing)) {
      // The window is closing: its scripts stop.
      if (out) VariantInitBool(out, FALSE);
      return S_OK;
    }
    IDispatch* event = nullptr;
    HRESULT hr = ErrorEventOf(in, &event);
    if (FAILED(hr)) return hr;
    ScriptError error;
    const struct {
      const wchar_t* name;
      VARIANT* value;
    } properties[] = {{L"errorLine", &error.line},
                      {L"errorCharacter", &error.character},
                      {L"errorCode", &error.code},
                      {L"errorMessage", &error.message},
                      {L"errorUrl", &error.url}};
    for (const auto& property : properties) {
      hr = ReadProperty(event, property.name, property.value);
      if (FAILED(hr)) break;
    }
    event->Release();
    if (FAILED(hr)) return hr;
    const int32_t line = VariantToInt(&error.line);
    const int32_t character = VariantToInt(&error.character);
    const int32_t code = VariantToInt(&error.code);
    HeapText message(VariantToStrDup(&error.message, 0));
    HeapText url(VariantToStrDup(&error.url, 0));
    Arguments arguments;
    arguments.list.AppendInt(line);
    arguments.list.AppendInt(character);
    arguments.list.AppendStringA(message.Get());
    arguments.list.AppendInt(code);
    arguments.list.AppendStringA(url.Get());
    arguments.list.AppendBool(OwnPages());
    const uint32_t answer = Raise(container_, L"ZEQOnScriptError", &arguments.list, Mode::SyncCode);
    if (OwnPages()) {
      LogOwnPageError(line, character, message.Get(), code, url.Get());
      // The error box of an unhandled script error belongs to the
      // program's error reporting; the log line above keeps the error.
      if (answer == ZEQERROR_NOTFOUND) ZEQLogPrintf("*** ScriptError: no ZEQOnScriptError handler (0x80000017)");
    }
    if (out) VariantInitBool(out, TRUE);
    return S_OK;
  });
}

HRESULT CZEQRenderer::ShowContextMenu(DWORD menu, POINT* point, IUnknown*, IDispatch* element) {
  return ZEQGuardedComCall("CZEQRenderer::ShowContextMenu", [&]() -> HRESULT {
    IDispatch* object = nullptr;
    if (!element || FAILED(element->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object))) || !object) {
      return E_NOTIMPL;
    }
    CZEQDispatchEx* scope = KESTOObjectScope::Create(HostWindow(), object);
    object->Release();
    Arguments arguments;
    arguments.list.AppendInt(static_cast<int32_t>(menu));
    arguments.list.AppendInt(point ? point->x : 0);
    arguments.list.AppendInt(point ? point->y : 0);
    VARIANT scopeValue;
    VariantInit(&scopeValue);
    if (scope) {
      V_VT(&scopeValue) = VT_DISPATCH;
      V_DISPATCH(&scopeValue) = static_cast<IDispatchEx*>(scope);
    } else {
      V_VT(&scopeValue) = VT_NULL;
    }
    arguments.list.AppendVariant(&scopeValue);
    VariantClear(&scopeValue);
    const uint32_t answer =
        Raise(container_, L"ZEQOnContextMenu", &arguments.list, Mode::SyncCode, nullptr, kZEQApcArgumentList);
    if (OwnPages()) return answer == ZEQACTION_CONTINUE ? E_NOTIMPL : S_OK;
    return answer == ZEQACTION_CANCEL ? S_OK : E_NOTIMPL;
  });
}

bool ZEQPageHandlesAuthentication(const ZEQContainerHolder& container) {
  return containerevents::PageDefines(container, L"ZEQOnHTTPAuthenticate");
}

HRESULT ZEQAuthenticateFromPage(const ZEQContainerHolder& container, HWND* window, LPWSTR* user, LPWSTR* password) {
  if (!container.IsSet()) return S_OK;
  Arguments arguments;
  arguments.list.AppendZEQIBC(container);
  arguments.list.AppendStringA(container->startDocument);
  VARIANT result;
  VariantInit(&result);
  const uint32_t answer = Raise(container, L"ZEQOnHTTPAuthenticate", &arguments.list, Mode::SyncCode, &result);
  BSTR credentials = answer == ZEQACTION_CONTINUE ? CredentialsOf(&result) : nullptr;
  VariantClear(&result);
  if (credentials && SysStringLen(credentials) > 0 && user && password) {
    const wchar_t* text = credentials;
    const wchar_t* slash = wcschr(text, L'\\');
    const size_t userLength = slash ? static_cast<size_t>(slash - text) : wcslen(text);
    wchar_t* newUser = nullptr;
    wchar_t* newPassword = nullptr;
    try {
      newUser = TaskCopy(text, userLength);
      newPassword = slash ? TaskCopy(slash + 1, wcslen(slash + 1)) : TaskCopy(L"", 0);
    } catch (...) {
      CoTaskMemFree(newUser);
      SysFreeString(credentials);
      throw;
    }
    *user = newUser;
    *password = newPassword;
    if (window) *window = nullptr;
  }
  SysFreeString(credentials);
  return S_OK;
}
