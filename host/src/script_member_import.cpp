// Page-script functions made methods of a script object.
#include "dispatch_internal.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "member_table_internal.h"
#include "windows/records.h"

using namespace zeqmembers;

namespace {

constexpr int kImportFailed = 2;

// The script object of the page of the container that owns the window
// (one reference), or null.
IDispatchEx* ContainerPageScript(HWND owner) {
  ZEQContainerHolder container = ZEQGetBaseContainer(owner);
  if (!container.IsSet()) return nullptr;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return nullptr;
  IWebBrowser2* browser = site->GetWebBrowser2();
  static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return nullptr;
  IDispatchEx* script = GetDocumentScriptDispatchEx(browser);
  browser->Release();
  return script;
}

int Import(CZEQDispatchEx* object, const wchar_t* name) {
  IDispatchEx* script = ContainerPageScript(object->owner);
  if (!script) return kImportFailed;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  script->Release();
  if (FAILED(hr) || id == 0 || id == DISPID_UNKNOWN) return kImportFailed;
  ZEQRegisterMember(object, id + kZEQImportedMemberOffset, kZEQMemberMethod, name);
  return 0;
}

int Remove(CZEQDispatchEx* object, const wchar_t* name) {
  ZEQList* list = object->Members(false);
  if (!list) return kImportFailed;
  ZEQLockGuard guard(list->lock);
  const int at = FindName(list, name);
  ZEQListItem* item = at >= 0 ? list->GetItemAt(at) : nullptr;
  if (!item || IsDeleted(item)) return kImportFailed;
  ZEQMarkMemberDeleted(object, list, item);
  return 0;
}

}  // namespace

int ZEQImportScriptMember(CZEQDispatchEx* object, const wchar_t* name, bool import) {
  if (!object || !name || !*name) return kImportFailed;
  try {
    return import ? Import(object, name) : Remove(object, name);
  } catch (...) {
    ZEQLogUnexpected("ZEQImportScriptMember");
    return kImportFailed;
  }
}
