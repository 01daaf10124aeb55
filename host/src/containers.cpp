// Containers of windows as script objects see them, and the "ZEQGlobal"
// class whose objects share their top container's member store.
#include "host/containers.h"

#include <map>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "host/dispatch_ex.h"

namespace {

struct Entry {
  ZEQWindowContainer container;
  ZEQPropertyStoreHolder store;
  char loaderCSS[MAX_PATH + 1] = {};
  uint32_t stateFlags = 0;
};

struct Registry {
  CRITICAL_SECTION lock;
  uint32_t lastId = 0;
  std::map<HWND, Entry*> entries;
  Registry() { InitializeCriticalSection(&lock); }
};

// Never destroyed: stores may be released by other static objects.
Registry& Containers() {
  static Registry* registry = new Registry;
  return *registry;
}

Entry* Find(Registry& registry, HWND window) {
  auto found = registry.entries.find(window);
  return found == registry.entries.end() ? nullptr : found->second;
}

}  // namespace

void ZEQSetWindowContainer(HWND window, const ZEQWindowContainer& container) {
  if (!window) return;
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (!entry) {
    auto made = new Entry();
    try {
      ZEQNewPropertyStore(&made->store);
      registry.entries[window] = made;
    } catch (...) {
      delete made;
      throw;
    }
    entry = made;
    entry->container.id = ++registry.lastId;
  }
  uint32_t id = entry->container.id;
  entry->container = container;
  entry->container.id = id;
}

bool ZEQSetWindowContainerReady(HWND window, bool ready, bool interfaceReady, IWebBrowser2* browser) {
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (!entry) return false;
  entry->container.ready = ready;
  entry->container.interfaceReady = interfaceReady;
  entry->container.browser = browser;
  return true;
}

void ZEQRemoveWindowContainer(HWND window) {
  Entry* entry = nullptr;
  {
    Registry& registry = Containers();
    ZEQLockGuard guard(&registry.lock);
    entry = Find(registry, window);
    registry.entries.erase(window);
  }
  // The store may hold objects: it is released outside the lock.
  delete entry;
}

bool ZEQGetWindowContainer(HWND window, ZEQWindowContainer* container) {
  if (!window) return false;
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (entry && container) *container = entry->container;
  return entry != nullptr;
}

bool ZEQSetWindowContainerLoaderCSS(HWND window, const char* path) {
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (!entry) return false;
  lstrcpynA(entry->loaderCSS, path ? path : "", sizeof(entry->loaderCSS));
  return true;
}

bool ZEQGetWindowContainerLoaderCSS(HWND window, char* buffer, size_t size) {
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (buffer && size) lstrcpynA(buffer, entry ? entry->loaderCSS : "", static_cast<int>(size));
  return entry != nullptr;
}

bool ZEQSetWindowContainerState(HWND window, uint32_t flags) {
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (!entry) return false;
  entry->stateFlags = flags;
  return true;
}

bool ZEQSetWindowContainerStateBits(HWND window, uint32_t bits, uint32_t* before) {
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, window);
  if (!entry) return false;
  if (before) *before = entry->stateFlags;
  entry->stateFlags |= bits;
  return true;
}

bool ZEQGetTopContainerStore(HWND window, ZEQPropertyStoreHolder* store) {
  if (!window || !store) return false;
  Registry& registry = Containers();
  ZEQLockGuard guard(&registry.lock);
  Entry* entry = Find(registry, GetAncestor(window, GA_ROOT));
  if (!entry) entry = Find(registry, window);
  if (!entry) return false;
  store->ShareFrom(entry->store);
  return true;
}

// ---------------------------------------------------------------------------
// "ZEQGlobal".

namespace {

constexpr DISPID kGlobalLock = 1;
constexpr DISPID kGlobalTryLock = 2;
constexpr DISPID kGlobalRelease = 3;

}  // namespace

CZEQDispatchEx* ZEQNewGlobalObject(HWND owner) {
  ZEQPropertyStoreHolder store;
  if (!ZEQGetTopContainerStore(owner, &store)) return nullptr;
  CZEQDispatchEx* instance =
      CZEQDispatchEx::Create(L"ZEQGlobal", owner, ZEQGlobalGetIDsOfNames, ZEQGlobalInvoke, kZEQDispInstance, store);
  ZEQRegisterMember(instance, kGlobalLock, kZEQMemberMethod, L"Lock");
  ZEQRegisterMember(instance, kGlobalTryLock, kZEQMemberMethod, L"TryLock");
  ZEQRegisterMember(instance, kGlobalRelease, kZEQMemberMethod, L"Release");
  ZEQReturnData::SetResult(instance, 0, 0, 0, 1);
  return instance;
}

HRESULT ZEQGlobalGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQGlobalInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object->IsRegistering()) object->nativeData = HeapAllocZ(1);
    if (object->IsDestroying()) {
      HeapFreeZ(object->nativeData);
      object->nativeData = nullptr;
    }
    return S_OK;
  }
  if (flags & DISPATCH_CONSTRUCT) {
    CZEQDispatchEx* instance = ZEQNewGlobalObject(object->owner);
    if (!instance) {
      if (result) {
        VariantClear(result);
        VariantInitNull(result);
      }
      return S_OK;
    }
    if (result) {
      VariantClear(result);
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = instance;  // the new object's reference goes to the caller
    } else {
      instance->Release();
    }
    return S_OK;
  }
  // The lock members lock nothing.
  if ((id == kGlobalLock || id == kGlobalTryLock || id == kGlobalRelease) && (flags & DISPATCH_METHOD)) return S_OK;
  return DISP_E_MEMBERNOTFOUND;
}
