#include "host/script_exec.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "dochost/platform_guids.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/browser_container.h"
#include "host/renderer.h"
#include "windows/records.h"

namespace {

// Releases an interface at the end of a scope.
template <typename T>
class Held {
 public:
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (p_) p_->Release();
  }
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

class HeldBstr {
 public:
  explicit HeldBstr(BSTR b) : b_(b) {}
  HeldBstr(const HeldBstr&) = delete;
  HeldBstr& operator=(const HeldBstr&) = delete;
  ~HeldBstr() { SysFreeString(b_); }
  BSTR Get() const { return b_; }

 private:
  BSTR b_;
};

// The current document of a browser, as IHTMLDocument2.
bool BrowserDocument(IWebBrowser2* browser, IHTMLDocument2** out) {
  *out = nullptr;
  if (!browser) return false;
  Held<IDispatch> disp;
  if (FAILED(browser->get_Document(disp.Out())) || !disp) return false;
  return SUCCEEDED(disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(out))) && *out;
}

bool ElementDocument(IHTMLElement* element, IHTMLDocument2** out) {
  *out = nullptr;
  Held<IDispatch> disp;
  if (!element || FAILED(element->get_document(disp.Out())) || !disp) return false;
  return SUCCEEDED(disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(out))) && *out;
}

// The client size of an element and its top-left corner in its document.
bool ElementClientRect(IHTMLElement* element, long* width, long* height, long* left, long* top) {
  Held<IHTMLElement2> e2;
  if (FAILED(element->QueryInterface(IID_IHTMLElement2, e2.OutVoid())) || !e2) return false;
  Held<IHTMLRect> rect;
  if (FAILED(e2->get_clientWidth(width)) || FAILED(e2->get_clientHeight(height)) ||
      FAILED(e2->getBoundingClientRect(rect.Out())) || !rect)
    return false;
  return SUCCEEDED(rect->get_left(left)) && SUCCEEDED(rect->get_top(top));
}

}  // namespace

int ZEQExecScript(BSTR code, IWebBrowser2* browser) {
  if (!code || SysStringLen(code) == 0) return 2;
  Held<IHTMLDocument2> doc;
  if (!BrowserDocument(browser, doc.Out())) return 2;
  Held<IHTMLWindow2> window;
  if (FAILED(doc->get_parentWindow(window.Out())) || !window) return 2;
  HeldBstr language(SysAllocString(L"JScript"));
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = window->execScript(code, language.Get(), &result);
  VariantClear(&result);
  return SUCCEEDED(hr) ? 0 : 2;
}

int ZEQInjectScriptElement(IHTMLElement* reference, const char* text, const char* language, BOOL defer,
                           DWORD flags) {
  if (!reference) return 0;
  Held<IHTMLDocument2> doc;
  if (!ElementDocument(reference, doc.Out())) return 0;
  HeldBstr tag(SysAllocString(L"SCRIPT"));
  Held<IHTMLElement> element;
  if (FAILED(doc->createElement(tag.Get(), element.Out())) || !element) return 0;
  HeldBstr lang(AnsiToBSTR(language ? language : ""));
  if (FAILED(element->put_language(lang.Get()))) return 0;
  Held<IHTMLScriptElement> script;
  if (FAILED(element->QueryInterface(IID_IHTMLScriptElement, script.OutVoid())) || !script) return 0;
  if (flags & kInjectWindowErrorHandler) {
    HeldBstr target(SysAllocString(L"window"));
    HeldBstr event(SysAllocString(L"onerror()"));
    if (FAILED(script->put_htmlFor(target.Get())) || FAILED(script->put_event(event.Get()))) return 0;
  }
  HeldBstr type(SysAllocString(L"text/jscript"));
  if (FAILED(script->put_defer(defer ? VARIANT_TRUE : VARIANT_FALSE)) || FAILED(script->put_type(type.Get())))
    return 0;
  HeldBstr content(AnsiToBSTR(text ? text : ""));
  if ((flags & kInjectScriptText) && FAILED(script->put_text(content.Get()))) return 0;
  if ((flags & kInjectScriptSource) && !(flags & kInjectScriptText) && FAILED(script->put_src(content.Get())))
    return 0;
  Held<IHTMLElement> parent;
  if (FAILED(reference->get_parentElement(parent.Out())) || !parent) return 0;
  Held<IHTMLDOMNode> parent_node, reference_node, new_node, inserted;
  if (FAILED(parent->QueryInterface(IID_IHTMLDOMNode, parent_node.OutVoid())) ||
      FAILED(reference->QueryInterface(IID_IHTMLDOMNode, reference_node.OutVoid())) ||
      FAILED(element->QueryInterface(IID_IHTMLDOMNode, new_node.OutVoid())))
    return 0;
  VARIANT before;
  V_VT(&before) = VT_DISPATCH;
  V_DISPATCH(&before) = reference_node.Get();
  if (FAILED(parent_node->insertBefore(new_node.Get(), before, inserted.Out()))) return 0;
  return inserted ? 1 : 0;
}

int ZEQIncludeScriptInElementDocument(IHTMLElement* element, const char* source, const char* language,
                                      BOOL defer) {
  if (!element) return 0;
  Held<IHTMLDocument2> doc;
  if (!ElementDocument(element, doc.Out())) return 0;
  return ZEQInjectScriptElement(element, source, language, defer, kInjectScriptSource);
}

HRESULT DispatchExPutVariant(IDispatchEx* script, const wchar_t* name, VARIANT* value) {
  if (!script || !name || !value) return E_POINTER;
  HeldBstr n(SysAllocString(name));
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = script->GetDispID(n.Get(), fdexNameEnsure | fdexNameCaseSensitive, &id);
  if (FAILED(hr)) return hr;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS dp{value, &put, 1, 1};
  return script->InvokeEx(id, 0x409, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr);
}

HRESULT DispatchExGetVariant(IDispatchEx* script, const wchar_t* name, VARIANT* value) {
  if (!script || !name || !value) return E_POINTER;
  HeldBstr n(SysAllocString(name));
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = script->GetDispID(n.Get(), fdexNameCaseSensitive, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return script->InvokeEx(id, 0x409, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

IHTMLElement* ZEQElementFromPointDeep(IHTMLDocument2* document, long x, long y) {
  if (!document) return nullptr;
  Held<IHTMLElement> element;
  if (FAILED(document->elementFromPoint(x, y, element.Out())) || !element) return nullptr;
  BSTR tag_name = nullptr;
  char tag[512] = "";
  if (SUCCEEDED(element->get_tagName(&tag_name))) WideToAnsiBuf(tag_name, tag, sizeof(tag));
  SysFreeString(tag_name);
  if (_stricmp(tag, "FRAME") == 0 || _stricmp(tag, "IFRAME") == 0) {
    Held<IWebBrowser2> frame;
    Held<IHTMLDocument2> inner;
    long width = 0, height = 0, left = 0, top = 0;
    if (SUCCEEDED(element->QueryInterface(IID_IWebBrowser2, frame.OutVoid())) && frame &&
        BrowserDocument(frame.Get(), inner.Out()) && ElementClientRect(element.Get(), &width, &height, &left, &top) &&
        x > left && x < left + width && y > top && y < top + height)
      return ZEQElementFromPointDeep(inner.Get(), x - left, y - top);
  }
  return element.Detach();
}

char* FormatScriptAlertText(const char* heading, const char* format, va_list args) {
  char message[1024];
  if (format)
    vsnprintf(message, sizeof(message), format, args);
  else
    message[0] = '\0';
  size_t heading_len = heading ? strlen(heading) : 0;
  size_t message_len = strlen(message);
  char* text = static_cast<char*>(HeapAllocZ(heading_len + 4 + message_len + 1));
  if (heading) memcpy(text, heading, heading_len);
  memcpy(text + heading_len, "\r\n\r\n", 4);
  memcpy(text + heading_len + 4, message, message_len + 1);
  char* out = text;
  for (const char* in = text; *in; ++in)
    if (*in != '\t') *out++ = *in;
  *out = '\0';
  return text;
}

int ScriptAlertBox(const char* heading, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = FormatScriptAlertText(heading, format, args);
  va_end(args);
  MessageBoxA(nullptr, text, "Alert", MB_OK);
  HeapFreeZ(text);
  return 1;
}

bool ExtractCallArgument(const char* name, char* text, char* output) {
  if (output) output[0] = '\0';
  if (!name || !text || !text[0] || !output) return false;
  size_t name_len = strlen(name);
  char* key = static_cast<char*>(HeapAllocZ(name_len + 2));
  memcpy(key, name, name_len);
  key[name_len] = '(';
  size_t key_len = name_len + 1;
  bool found = false;
  char* from = text;
  for (;;) {
    char* start = strstr(from, key);
    if (!start) break;
    // Only a whole name: "id(" inside "ipcid(" is not the call "id".
    if (start > text && (isalnum(static_cast<unsigned char>(start[-1])) || start[-1] == '_')) {
      from = start + 1;
      continue;
    }
    char* close = StrFindOutsideQuotes(")", start + key_len, true, true);
    if (!close) break;
    // The argument, trimmed, joins the output.
    size_t arg_len = static_cast<size_t>(close - (start + key_len));
    char* arg = static_cast<char*>(HeapAllocZ(arg_len + 1));
    memcpy(arg, start + key_len, arg_len);
    TrimBlanks(arg);
    size_t out_len = strlen(output);
    if (out_len) output[out_len++] = ' ';
    strcpy(output + out_len, arg);
    HeapFreeZ(arg);
    // The whole call leaves the text.
    memmove(start, close + 1, strlen(close + 1) + 1);
    TrimBlanks(text);
    from = text;
    found = true;
  }
  HeapFreeZ(key);
  return found;
}

int ZEQExecuteContainerScript(HWND window, bool narrow, const void* text) {
  ZEQContainerHolder container = ZEQGetBaseContainer(window);
  if (!ZEQIsContainerReady(container) || !text) return 2;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  IWebBrowser2* browser = site ? site->GetWebBrowser2() : nullptr;
  if (site) static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return 2;
  // A wide text is copied too: the caller's text need not be a BSTR, whose
  // length the script call reads.
  BSTR code = narrow ? AnsiToBSTR(static_cast<const char*>(text))
                     : SysAllocString(static_cast<const wchar_t*>(text));
  const int result = code ? ZEQExecScript(code, browser) : 2;
  SysFreeString(code);
  browser->Release();
  return result;
}

HRESULT ZEQInvokeExLcid1033(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, IServiceProvider* caller) {
  if (!object) return E_POINTER;
  IDispatchEx* script = nullptr;
  const HRESULT hr = object->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&script));
  if (FAILED(hr) || !script) return FAILED(hr) ? hr : E_NOINTERFACE;
  const HRESULT invoked = script->InvokeEx(id, 1033, flags, params, result, exception, caller);
  script->Release();
  return invoked;
}
