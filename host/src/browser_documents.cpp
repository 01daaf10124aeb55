// Look-ups on a container's browser and its documents.
#include "host/browser_documents.h"

#include <cwchar>

#include "foundation/lock_guard.h"

namespace {

struct ClassSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM context) {
  auto search = reinterpret_cast<ClassSearch*>(context);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpiA(name, search->className) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindChildOfClass(HWND window, const char* className) {
  if (!window || !IsWindow(window)) return nullptr;
  ClassSearch search = {className, nullptr};
  EnumChildWindows(window, MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <typename T>
T* Query(IUnknown* object, REFIID iid) {
  T* out = nullptr;
  if (object && FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&out)))) out = nullptr;
  return out;
}

}  // namespace

IHTMLDocument2* GetDocument2(IWebBrowser2* browser) {
  if (!browser) return nullptr;
  IDispatch* document = nullptr;
  if (FAILED(browser->get_Document(&document)) || !document) return nullptr;
  IHTMLDocument2* result = Query<IHTMLDocument2>(document, IID_IHTMLDocument2);
  document->Release();
  return result;
}

IHTMLWindow2* GetParentWindow2(IWebBrowser2* browser) {
  IHTMLDocument2* document = GetDocument2(browser);
  if (!document) return nullptr;
  IHTMLWindow2* window = nullptr;
  if (FAILED(document->get_parentWindow(&window))) window = nullptr;
  document->Release();
  return window;
}

IDispatchEx* GetScriptDispatchEx(IWebBrowser2* browser) {
  IHTMLWindow2* window = GetParentWindow2(browser);
  IDispatchEx* result = Query<IDispatchEx>(window, IID_IDispatchEx);
  if (window) window->Release();
  return result;
}

IDispatchEx* GetDocumentScriptDispatchEx(IWebBrowser2* browser) {
  IHTMLDocument2* document = GetDocument2(browser);
  if (!document) return nullptr;
  IDispatch* script = nullptr;
  if (FAILED(document->get_Script(&script))) script = nullptr;
  document->Release();
  IDispatchEx* result = Query<IDispatchEx>(script, IID_IDispatchEx);
  if (script) script->Release();
  return result;
}

IHTMLElement* GetLastScriptElement(IWebBrowser2* browser) {
  IHTMLDocument2* document = GetDocument2(browser);
  if (!document) return nullptr;
  IHTMLElementCollection* scripts = nullptr;
  IHTMLElement* last = nullptr;
  long count = 0;
  if (SUCCEEDED(document->get_scripts(&scripts)) && scripts && SUCCEEDED(scripts->get_length(&count)) &&
      count > 0) {
    VARIANT index;
    VariantInit(&index);
    V_VT(&index) = VT_I4;
    V_I4(&index) = count - 1;
    VARIANT none;
    VariantInit(&none);
    IDispatch* item = nullptr;
    if (SUCCEEDED(scripts->item(index, none, &item)) && item) {
      last = Query<IHTMLElement>(item, IID_IHTMLElement);
      item->Release();
    }
  }
  if (scripts) scripts->Release();
  document->Release();
  return last;
}

HWND FindIEServerWindow(HWND window) { return FindChildOfClass(window, "Internet Explorer_Server"); }

HWND FindShellEmbeddingWindow(HWND window) { return FindChildOfClass(window, "Shell Embedding"); }

int DisableDropTarget(CZEQRenderer* site) {
  IWebBrowser2* browser = site ? site->GetWebBrowser2() : nullptr;
  if (!browser) return 0;
  browser->put_RegisterAsDropTarget(VARIANT_FALSE);
  browser->Release();
  return 1;
}

HWND GetBindingWindow(IUnknown* binding) {
  IServiceProvider* provider = Query<IServiceProvider>(binding, IID_IServiceProvider);
  if (!provider) return nullptr;
  IWindowForBindingUI* windows = nullptr;
  HWND window = nullptr;
  if (SUCCEEDED(provider->QueryService(IID_IWindowForBindingUI, IID_IWindowForBindingUI,
                                       reinterpret_cast<void**>(&windows))) &&
      windows) {
    if (FAILED(windows->GetWindow(IID_IAuthenticate, &window))) window = nullptr;
    windows->Release();
  }
  provider->Release();
  return window;
}

int RemoveScriptMemberByName(CZEQDispatchEx* object, const wchar_t* name) {
  if (!object || !name || !*name) return 0;
  ZEQList* list = object->Members(false);
  if (!list) return 0;
  const uint32_t length = static_cast<uint32_t>((wcslen(name) + 1) * sizeof(wchar_t));
  ZEQLockGuard guard(list->lock);
  const int at = (list->flags & ZEQLIST_SORTED) ? list->FindSorted(name, length, ZEQLIST_BYTES, nullptr)
                                                : list->Find(name, length, ZEQLIST_BYTES);
  return at >= 0 ? list->RemoveAt(at) : 0;
}
