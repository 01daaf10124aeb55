#include "foundation/com_slots.h"

#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>

#include "foundation/git_table.h"

BOOL IsSameComObject(IUnknown* first, IUnknown* second) {
  if (!first || !second) return FALSE;
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
  second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
  const BOOL same = a && a == b;
  if (a) a->Release();
  if (b) b->Release();
  return same;
}

template <typename T>
static T* FetchFromTable(DWORD cookie) {
  IUnknown* unknown = GetInterfaceFromGIT(cookie);
  if (!unknown) return nullptr;
  T* result = nullptr;
  if (FAILED(unknown->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&result)))) result = nullptr;
  unknown->Release();
  return result;
}

IDispatch* GetGITDispatch(DWORD cookie) { return FetchFromTable<IDispatch>(cookie); }
IDispatchEx* GetGITDispatchEx(DWORD cookie) { return FetchFromTable<IDispatchEx>(cookie); }
IElementBehaviorSiteOM* GetGITBehaviorSiteOM(DWORD cookie) {
  return FetchFromTable<IElementBehaviorSiteOM>(cookie);
}
IWebBrowser2* GetGITWebBrowser2(DWORD cookie) { return FetchFromTable<IWebBrowser2>(cookie); }
