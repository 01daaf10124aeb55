// CZEQDispatchEx: construction, identity, reference counting, destruction,
// and the set of live objects.
#include <unordered_set>

#include "dispatch_internal.h"
#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/pointer_token.h"
#include "foundation/text.h"
#include "foundation/log.h"

namespace {

struct LiveSet {
  SRWLOCK lock = SRWLOCK_INIT;
  std::unordered_set<CZEQDispatchEx*> objects;
};

// Never destroyed: objects may outlive other static objects.
LiveSet& Live() {
  static LiveSet* set = new LiveSet;
  return *set;
}

}  // namespace

void ZEQAddLive(CZEQDispatchEx* object) {
  LiveSet& live = Live();
  AcquireSRWLockExclusive(&live.lock);
  try {
    live.objects.insert(object);
  } catch (...) {
    ReleaseSRWLockExclusive(&live.lock);
    throw;
  }
  ReleaseSRWLockExclusive(&live.lock);
}

void ZEQRemoveLive(CZEQDispatchEx* object) {
  LiveSet& live = Live();
  AcquireSRWLockExclusive(&live.lock);
  live.objects.erase(object);
  ReleaseSRWLockExclusive(&live.lock);
}

bool ZEQTryAddRefLive(CZEQDispatchEx* object) {
  LiveSet& live = Live();
  AcquireSRWLockShared(&live.lock);
  bool added = false;
  if (object && live.objects.count(object)) {
    // A count that reached zero is never raised again.
    LONG count = object->refCount_;
    while (count > 0) {
      const LONG seen = InterlockedCompareExchange(&object->refCount_, count + 1, count);
      if (seen == count) {
        added = true;
        break;
      }
      count = seen;
    }
  }
  ReleaseSRWLockShared(&live.lock);
  return added;
}

long ZEQLiveDispatchExCount() {
  LiveSet& live = Live();
  AcquireSRWLockShared(&live.lock);
  const long count = static_cast<long>(live.objects.size());
  ReleaseSRWLockShared(&live.lock);
  return count;
}

void* CZEQDispatchEx::operator new(size_t size) { return HeapAllocZ(size); }
void CZEQDispatchEx::operator delete(void* block) { HeapFreeZ(block); }

CZEQDispatchEx* CZEQDispatchEx::Create(const wchar_t* className, HWND owner, ZEQGetIDsOfNamesCallback getIds,
                                       ZEQInvokeCallback invoke, uint32_t flags, const ZEQPropertyStoreHolder& store) {
  auto* object = new CZEQDispatchEx();
  try {
    if (className) object->className = WideStrDupEx(className, 0);
    if (store.IsSet()) {
      object->store.ShareFrom(store);
    } else {
      ZEQNewPropertyStore(&object->store);
    }
    ZEQAddLive(object);
  } catch (...) {
    HeapFreeZ(object->className);
    delete object;
    throw;
  }
  object->owner = owner;
  object->getIdsCallback = getIds;
  object->invokeCallback = invoke;
  object->flags = flags;
  // The registering call: the class declares its members and makes its data.
  object->state |= kZEQDispRegistering;
  try {
    if (invoke) invoke(object, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  } catch (...) {
    object->state &= ~kZEQDispRegistering;
    object->Release();
    throw;
  }
  object->state &= ~kZEQDispRegistering;
  return object;
}

HRESULT CZEQDispatchEx::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == ZEQRunIdentifier() || iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx) {
    *out = static_cast<IDispatchEx*>(this);
  } else if (iid == IID_IMarshal) {
    *out = static_cast<IMarshal*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CZEQDispatchEx::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG CZEQDispatchEx::Release() {
  const LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) Destroy();
  return static_cast<ULONG>(count);
}

void CZEQDispatchEx::Destroy() {
  // Unmarshalling finds the object no more from here on.
  ZEQRemoveLive(this);
  ZEQReleasePointerToken(this);
  state |= kZEQDispDestroying;
  try {
    if (invokeCallback) invokeCallback(this, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  } catch (...) {
    ZEQLogUnexpected("CZEQDispatchEx::Release");
  }
  state &= ~kZEQDispDestroying;
  HeapFreeZ(className);
  className = nullptr;
  if (readyStateHandler) RevokeGITCookie(readyStateHandler);
  readyStateHandler = 0;
  store.Release();
  errorDescription.Clear();
  delete this;
}

ZEQList* CZEQDispatchEx::Members(bool create) const {
  ZEQPropertyStore* payload = store.Get();
  return payload ? payload->Members(create) : nullptr;
}

IDispatchEx* CZEQDispatchEx::Base() const {
  if (!className || wcscmp(className, L"KESTOObjectScope") != 0) return nullptr;
  const auto* data = static_cast<const ZEQObjectScopeData*>(nativeData);
  if (!IsReadableRecord(data, sizeof(ZEQObjectScopeData)) || !data->targetCookie) return nullptr;
  return GetGITDispatchEx(data->targetCookie);
}

HRESULT CZEQDispatchEx::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT CZEQDispatchEx::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CZEQDispatchEx::GetNameSpaceParent(IUnknown** parent) {
  if (parent) *parent = nullptr;
  return E_NOTIMPL;
}

CZEQDispatchEx* ZEQGetNativeDispatchEx(IUnknown* object) {
  if (!object) return nullptr;
  CZEQDispatchEx* native = nullptr;
  if (FAILED(object->QueryInterface(ZEQRunIdentifier(), reinterpret_cast<void**>(&native)))) return nullptr;
  return native;
}

BOOL ZEQVariantIsObjectOfClass(const VARIANT* value, const wchar_t* className) {
  IDispatch* object = VariantGetDispatch(value);
  if (!object) return FALSE;
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(object);
  object->Release();
  if (!native) return FALSE;
  const BOOL same = className && native->className && wcscmp(native->className, className) == 0;
  native->Release();
  return same;
}
