// The security manager of "zeq:" addresses. Only what the trust rule calls
// local content (ZEQAddressIsLocalContent) is local-machine content; every
// other address, remote "zeq:" addresses included, is left to the browser's
// own zone manager, which asks the protocol for its security URL. Actions
// on local content are answered by the local-machine zone's own policy.
#include <new>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "host/browser_services.h"
#include "host/zeq_protocol.h"

namespace {

class SecurityManager final : public IInternetSecurityManager {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IInternetSecurityManager)) return E_NOINTERFACE;
    *out = static_cast<IInternetSecurityManager*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left <= 0) {
      this->~SecurityManager();
      HeapFreeZ(this);
      return 0;
    }
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE SetSecuritySite(IInternetSecurityMgrSite*) override { return INET_E_DEFAULT_ACTION; }
  HRESULT STDMETHODCALLTYPE GetSecuritySite(IInternetSecurityMgrSite**) override { return INET_E_DEFAULT_ACTION; }
  HRESULT STDMETHODCALLTYPE MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD) override {
    if (!zone || !ZEQAddressIsLocalContent(url)) return INET_E_DEFAULT_ACTION;
    *zone = URLZONE_LOCAL_MACHINE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSecurityId(LPCWSTR url, BYTE* id, DWORD* size, DWORD_PTR) override {
    if (!id || !size || *size <= 15) return INET_E_DEFAULT_ACTION;
    ZeroMemory(id, *size);
    if (!ZEQAddressIsLocalContent(url)) return INET_E_DEFAULT_ACTION;
    // The scheme "file:" then the 32-bit zone (local machine, 0).
    CopyMemory(id, "file:", 5);
    *size = 9;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD policySize, BYTE*, DWORD,
                                             DWORD, DWORD) override {
    return ZEQGuardedComCall("CZEQInternetSecurityManager::ProcessUrlAction", [&]() -> HRESULT {
      if (!policy || policySize < sizeof(DWORD) || !ZEQAddressIsLocalContent(url)) return INET_E_DEFAULT_ACTION;
      return LocalMachinePolicy(action, policy, policySize);
    });
  }
  HRESULT STDMETHODCALLTYPE QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE SetZoneMapping(DWORD, LPCWSTR, DWORD) override { return INET_E_DEFAULT_ACTION; }
  HRESULT STDMETHODCALLTYPE GetZoneMappings(DWORD, IEnumString**, DWORD) override { return INET_E_DEFAULT_ACTION; }

 private:
  ~SecurityManager() = default;

  // The policy of the local-machine zone for the action, as the zone
  // manager keeps it; without an answer the browser decides.
  static HRESULT LocalMachinePolicy(DWORD action, BYTE* policy, DWORD policySize) {
    IInternetZoneManager* zones = nullptr;
    if (FAILED(CoInternetCreateZoneManager(nullptr, &zones, 0)) || !zones) return INET_E_DEFAULT_ACTION;
    const HRESULT hr = zones->GetZoneActionPolicy(URLZONE_LOCAL_MACHINE, action, policy, policySize, URLZONEREG_DEFAULT);
    zones->Release();
    return SUCCEEDED(hr) ? S_OK : INET_E_DEFAULT_ACTION;
  }

  volatile LONG references_ = 1;
};

}  // namespace

IInternetSecurityManager* ZEQCreateSecurityManager() {
  return new (HeapAllocZ(sizeof(SecurityManager))) SecurityManager();
}
