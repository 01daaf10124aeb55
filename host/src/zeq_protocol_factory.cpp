// The class object of the "zeq:" protocol and its registration as a
// name-space handler of the process's internet session.
#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "host/zeq_protocol.h"

void* CZEQAPPFactory::operator new(size_t size) { return HeapAllocZ(size); }
void CZEQAPPFactory::operator delete(void* block) { HeapFreeZ(block); }

CZEQAPPFactory* CZEQAPPFactory::New() { return new CZEQAPPFactory(); }

HRESULT CZEQAPPFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG CZEQAPPFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CZEQAPPFactory::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT CZEQAPPFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  CZEQAPP* protocol = nullptr;
  try {
    protocol = CZEQAPP::New();
  } catch (const ZEQOutOfMemory&) {
    return E_OUTOFMEMORY;
  }
  // A refused interface leaves no object behind.
  const HRESULT hr = protocol->QueryInterface(iid, out);
  protocol->Release();
  return hr;
} ZEQ_COM_CATCH("CZEQAPPFactory::CreateInstance")

HRESULT CZEQAPPFactory::LockServer(BOOL) { return S_OK; }

namespace {

constexpr wchar_t kProtocolName[] = L"zeq";

// Held from registration to unregistration; both run on the main thread.
IInternetSession* g_session = nullptr;
IClassFactory* g_factory = nullptr;

}  // namespace

HRESULT ZEQRegisterProtocol() {
  if (g_session) return S_OK;
  IInternetSession* session = nullptr;
  HRESULT hr = CoInternetGetSession(0, &session, 0);
  if (FAILED(hr)) return hr;
  if (!session) return E_FAIL;
  CZEQAPPFactory* made = nullptr;
  try {
    made = CZEQAPPFactory::New();
  } catch (const ZEQOutOfMemory&) {
    session->Release();
    return E_OUTOFMEMORY;
  }
  IClassFactory* factory = nullptr;
  hr = made->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
  made->Release();
  if (FAILED(hr)) {
    session->Release();
    return hr;
  }
  hr = session->RegisterNameSpace(factory, GUID_NULL, kProtocolName, 0, nullptr, 0);
  if (FAILED(hr)) {
    factory->Release();
    session->Release();
    return hr;
  }
  g_session = session;
  g_factory = factory;
  return S_OK;
}

void ZEQUnregisterProtocol() {
  if (!g_session) return;
  g_session->UnregisterNameSpace(g_factory, kProtocolName);
  g_factory->Release();
  g_session->Release();
  g_factory = nullptr;
  g_session = nullptr;
}
