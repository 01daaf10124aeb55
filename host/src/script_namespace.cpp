// Publishing the script namespace: the class objects and constants that a
// "zeq" container's pages see as globals.
#include "host/script_namespace.h"

#include <cwchar>

#include "foundation/lock.h"
#include "foundation/log.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "host/containers.h"
#include "host/definitions_objects.h"
#include "host/list_objects.h"
#include "host/namespace_put.h"
#include "host/object_scope.h"
#include "host/package_object.h"
#include "host/registry_key.h"
#include "host/system_service.h"
#include "host/zeq_thread.h"
#include "script_constants.h"

using namespace zeqnamespace;

namespace {

// Where a class is published and which constants follow it.
enum class Target { kWindow, kDocument };
enum class Follow { kNothing, kWindowConstants, kRegistry, kHttp, kPackage, kSqlite };

struct ScriptClass {
  const wchar_t* published;
  const wchar_t* className;
  Target target;
  Follow follow;
  ZEQGetIDsOfNamesCallback getIds;
  ZEQInvokeCallback invoke;
};

// Publication order. Classes whose callbacks another subsystem owns start
// without them and are published once it registers them.
ScriptClass g_classes[] = {
    {L"prompt", L"ZEQPrompt", Target::kWindow, Follow::kNothing, nullptr, nullptr},
    {L"KESTOObjectScope", L"KESTOObjectScope", Target::kWindow, Follow::kNothing, KESTOObjectScopeGetIDsOfNames,
     KESTOObjectScopeInvoke},
    {L"KESTOGlobal", L"KESTOGlobal", Target::kWindow, Follow::kNothing, ZEQLookupMemberCallback, KESTOGlobalInvoke},
    {L"ZEQGlobal", L"ZEQGlobal", Target::kWindow, Follow::kWindowConstants, ZEQGlobalGetIDsOfNames, ZEQGlobalInvoke},
    {L"echo", L"ZEQEcho", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQRegKey", L"ZEQRegKey", Target::kDocument, Follow::kRegistry, ZEQRegKeyGetIDsOfNames, ZEQRegKeyInvoke},
    {L"ZEQHTTP", L"ZEQHTTP", Target::kDocument, Follow::kHttp, nullptr, nullptr},
    {L"ZEQPackage", L"ZEQPackage", Target::kDocument, Follow::kPackage, ZEQPackageGetIDsOfNames,
     ZEQPackageInvoke},
    {L"ZEQSystemService", L"ZEQSystemService", Target::kDocument, Follow::kNothing, ZEQSystemServiceGetIDsOfNames,
     ZEQSystemServiceInvoke},
    {L"ZEQSQLite", L"ZEQSQLite", Target::kDocument, Follow::kSqlite, nullptr, nullptr},
    {L"ZEQThread", L"ZEQThread", Target::kDocument, Follow::kNothing, ZEQThreadGetIDsOfNames, ZEQThreadInvoke},
    {L"ZEQBinary", L"ZEQBinary", Target::kDocument, Follow::kNothing, ZEQLookupMemberCallback, ZEQBinaryInvoke},
    {L"ZEQList", L"ZEQList", Target::kDocument, Follow::kNothing, ZEQListGetIDsOfNames, ZEQListInvoke},
    {L"ZEQBinaryList", L"ZEQBinaryList", Target::kDocument, Follow::kNothing, ZEQListGetIDsOfNames, ZEQListInvoke},
    {L"ZEQINIFile", L"ZEQINIFile", Target::kDocument, Follow::kNothing, ZEQINIFileGetIDsOfNames, ZEQINIFileInvoke},
    {L"ZEQDictionary", L"ZEQDictionary", Target::kDocument, Follow::kNothing, ZEQDictionaryGetIDsOfNames,
     ZEQDictionaryInvoke},
    {L"ZEQRadio", L"ZEQRadio", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQMenu", L"ZEQMenu", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQImageList", L"ZEQImageList", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQSIP", L"ZEQSIP", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQQuelm", L"ZEQQuelm", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQNetworkMonitor", L"ZEQNetworkMonitor", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQHostMonitor", L"ZEQHostMonitor", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQHTTPServer", L"ZEQHTTPServer", Target::kDocument, Follow::kNothing, nullptr, nullptr},
    {L"ZEQWebSocketServer", L"ZEQWebSocketServer", Target::kDocument, Follow::kNothing, nullptr, nullptr},
};

ZEQLock& ClassLock() {
  static ZEQLock lock;
  return lock;
}

void PutFamily(IDispatchEx* space, const ConstantFamily& family) {
  for (size_t i = 0; i < family.count; ++i) ZEQDispatchPutUInt(space, family.numbers[i].name, family.numbers[i].value);
}

void PutConstants(IDispatchEx* space, Follow follow) {
  switch (follow) {
    case Follow::kWindowConstants:
      for (size_t i = 0; i < kWindowFamilyCount; ++i) PutFamily(space, kWindowFamilies[i]);
      break;
    case Follow::kRegistry:
      PutFamily(space, kRegistryConstants);
      break;
    case Follow::kHttp:
      PutFamily(space, kHttpConstants);
      break;
    case Follow::kPackage:
      PutFamily(space, kPackageConstants);
      for (size_t i = 0; i < kPackageTextConstantCount; ++i) {
        ZEQDispatchPutString(space, kPackageTextConstants[i].name, kPackageTextConstants[i].value);
      }
      break;
    case Follow::kSqlite:
      PutFamily(space, kSqliteConstants);
      break;
    case Follow::kNothing:
      break;
  }
}

// A new class object (flags 0: it resolves no names; script only calls or
// constructs it) with its own empty member store, published and let go.
void PutClass(IDispatchEx* space, HWND owner, const ScriptClass& entry) {
  CZEQDispatchEx* classObject = nullptr;
  try {
    classObject = CZEQDispatchEx::Create(entry.className, owner, entry.getIds, entry.invoke, kZEQDispClassObject);
  } catch (...) {
    ZEQLogUnexpected("ZEQDefineScriptNamespace");
    return;
  }
  ZEQDispatchPutObject(space, entry.published, static_cast<IDispatchEx*>(classObject));
  classObject->Release();
}

void PublishGroup(IDispatchEx* space, HWND owner, Target target) {
  for (const ScriptClass& entry : g_classes) {
    if (entry.target != target) continue;
    ScriptClass copy;
    {
      ZEQLockScope scope(ClassLock());
      copy = entry;
    }
    if (copy.invoke) PutClass(space, owner, copy);
    PutConstants(space, copy.follow);
  }
}

}  // namespace

bool ZEQRegisterScriptClass(const wchar_t* publishedName, ZEQGetIDsOfNamesCallback getIds, ZEQInvokeCallback invoke) {
  if (!publishedName) return false;
  for (ScriptClass& entry : g_classes) {
    if (wcscmp(entry.published, publishedName) != 0) continue;
    ZEQLockScope scope(ClassLock());
    entry.getIds = invoke ? getIds : nullptr;
    entry.invoke = invoke;
    return true;
  }
  return false;
}

int ZEQDefineScriptNamespace(const ZEQContainerHolder& container) {
  if (!container.IsSet() || !ZEQIsContainerReady(container)) return 0;
  // Only pages of containers that allow the host object get the native
  // object model, whoever asks.
  if (!(container->options & WB_ALLOWSZEQ)) return 0;
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  IWebBrowser2* browser = site ? site->GetWebBrowser2() : nullptr;
  if (site) static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return 1;
  const HWND owner = container->hostWindow;
  if (IDispatchEx* window = GetScriptDispatchEx(browser)) {
    ZEQDispatchPutString(window, L"KESTO_CLSID", kKestoClsidText);
    PublishGroup(window, owner, Target::kWindow);
    window->Release();
  }
  if (IDispatchEx* script = GetDocumentScriptDispatchEx(browser)) {
    PublishGroup(script, owner, Target::kDocument);
    script->Release();
  }
  browser->Release();
  return 1;
}
