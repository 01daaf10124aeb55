// Custom marshalling of CZEQDispatchEx: within the process an interface
// travels as a token of the object, and the receiving thread's class factory
// makes an empty object whose unmarshalling hands out the object itself, so
// every thread talks to the same object without a proxy.
//
// The marshal data holds a reference of its own until it is consumed
// (normal marshalling) or released (table marshalling, as the Global
// Interface Table does), so the object cannot go while a cookie names it; a
// token read back is looked up among the live objects before anything is
// called on it.
#include <cstdint>

#include "dispatch_internal.h"
#include "foundation/heap.h"
#include "foundation/pointer_token.h"

namespace {

// The marshal data: the object's token and the marshalling flags.
struct MarshalData {
  uint32_t token;
  uint32_t flags;
};

bool InProcess(DWORD context) { return context == MSHCTX_INPROC; }

// Another apartment addressed as a local context (the platform's
// cross-apartment calls may pass interface arguments so): the standard
// marshaler makes a proxy, and no token leaves for what may be another
// process.
bool Standard(DWORD context) { return context == MSHCTX_LOCAL; }

// Runs call(standard marshaler) for the object; E_FAIL without one.
template <typename Call>
HRESULT WithStandardMarshaler(REFIID iid, IUnknown* object, DWORD context, void* contextData, DWORD flags, Call call) {
  IMarshal* standard = nullptr;
  if (FAILED(CoGetStandardMarshal(iid, object, context, contextData, flags, &standard)) || !standard) return E_FAIL;
  const HRESULT hr = call(standard);
  standard->Release();
  return hr;
}

// Whether the data holds a reference: every kind but weak table marshalling.
bool HoldsReference(uint32_t flags) { return (flags & MSHLFLAGS_TABLEWEAK) == 0; }

HRESULT ReadData(IStream* stream, MarshalData* data) {
  if (!stream) return E_INVALIDARG;
  ULONG read = 0;
  const HRESULT hr = stream->Read(data, sizeof(*data), &read);
  if (FAILED(hr)) return hr;
  return read == sizeof(*data) ? S_OK : STG_E_READFAULT;
}

// The live object the data names, with a reference for the caller; null for
// a token that names no live object.
CZEQDispatchEx* LiveObject(const MarshalData& data) {
  auto* object = static_cast<CZEQDispatchEx*>(ZEQTokenToPointer(data.token));
  return ZEQTryAddRefLive(object) ? object : nullptr;
}

volatile LONG g_serverLocks = 0;

class CZEQDispatchExClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    // The object cannot delegate to an outer object.
    if (outer) return CLASS_E_NOAGGREGATION;
    CZEQDispatchEx* object = nullptr;
    try {
      object = CZEQDispatchEx::Create(nullptr, nullptr, nullptr, nullptr, 0);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    InterlockedIncrement(&g_serverLocks);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&g_serverLocks);
    } else {
      InterlockedDecrement(&g_serverLocks);
    }
    return S_OK;
  }

  static void* operator new(size_t size) { return HeapAllocZ(size); }
  static void operator delete(void* block) { HeapFreeZ(block); }

 private:
  volatile LONG refCount_ = 1;
};

thread_local DWORD t_factoryCookie = 0;

}  // namespace

const GUID& ZEQRunIdentifier() {
  static const GUID id = [] {
    GUID made{};
    CoCreateGuid(&made);
    return made;
  }();
  return id;
}

HRESULT CZEQDispatchEx::GetUnmarshalClass(REFIID iid, void* object, DWORD context, void* contextData,
                                          DWORD marshalFlags, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  if (Standard(context)) {
    return WithStandardMarshaler(
        iid, static_cast<IDispatchEx*>(this), context, contextData, marshalFlags, [&](IMarshal* standard) {
          return standard->GetUnmarshalClass(iid, object, context, contextData, marshalFlags, clsid);
        });
  }
  if (!InProcess(context)) return E_FAIL;
  *clsid = ZEQRunIdentifier();
  return S_OK;
}

HRESULT CZEQDispatchEx::GetMarshalSizeMax(REFIID iid, void* object, DWORD context, void* contextData,
                                          DWORD marshalFlags, DWORD* size) {
  if (!size) return E_POINTER;
  if (Standard(context)) {
    return WithStandardMarshaler(
        iid, static_cast<IDispatchEx*>(this), context, contextData, marshalFlags, [&](IMarshal* standard) {
          return standard->GetMarshalSizeMax(iid, object, context, contextData, marshalFlags, size);
        });
  }
  if (!InProcess(context)) return E_FAIL;
  *size = sizeof(MarshalData);
  return S_OK;
}

HRESULT CZEQDispatchEx::MarshalInterface(IStream* stream, REFIID iid, void* object, DWORD context, void* contextData,
                                         DWORD marshalFlags) {
  if (Standard(context)) {
    return WithStandardMarshaler(
        iid, static_cast<IDispatchEx*>(this), context, contextData, marshalFlags, [&](IMarshal* standard) {
          return standard->MarshalInterface(stream, iid, object, context, contextData, marshalFlags);
        });
  }
  if (!InProcess(context)) return E_FAIL;
  if (!stream) return E_INVALIDARG;
  MarshalData data{ZEQPointerToToken(static_cast<IDispatchEx*>(this)), marshalFlags};
  ULONG written = 0;
  HRESULT hr = stream->Write(&data, sizeof(data), &written);
  if (SUCCEEDED(hr) && written != sizeof(data)) hr = STG_E_WRITEFAULT;
  if (FAILED(hr)) return hr;
  if (HoldsReference(marshalFlags)) AddRef();
  return S_OK;
}

HRESULT CZEQDispatchEx::UnmarshalInterface(IStream* stream, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  MarshalData data{};
  const HRESULT read = ReadData(stream, &data);
  if (FAILED(read)) return read;
  CZEQDispatchEx* object = LiveObject(data);
  if (!object) return CO_E_OBJNOTCONNECTED;
  const HRESULT hr = object->QueryInterface(iid, out);
  // Normal marshal data is consumed by its unmarshalling: its reference goes.
  if (SUCCEEDED(hr) && (data.flags & (MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK)) == 0) object->Release();
  object->Release();
  return hr;
}

HRESULT CZEQDispatchEx::ReleaseMarshalData(IStream* stream) {
  MarshalData data{};
  if (FAILED(ReadData(stream, &data)) || !HoldsReference(data.flags)) return S_OK;
  if (CZEQDispatchEx* object = LiveObject(data)) {
    object->Release();  // the data's reference
    object->Release();  // the look-up's
  }
  return S_OK;
}

HRESULT CZEQDispatchEx::DisconnectObject(DWORD) { return S_OK; }

DWORD RegisterDispatchExClassFactory() {
  if (t_factoryCookie) return t_factoryCookie;
  auto* factory = new CZEQDispatchExClassFactory();
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(ZEQRunIdentifier(), factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    cookie = 0;
  factory->Release();
  t_factoryCookie = cookie;
  return cookie;
}

void RevokeDispatchExClassFactory() {
  if (!t_factoryCookie) return;
  CoRevokeClassObject(t_factoryCookie);
  t_factoryCookie = 0;
}
