// The site's service table and the small service objects it hands out.
#include <downloadmgr.h>
#include <shobjidl.h>

#include <new>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "host/browser_services.h"
#include "host/renderer.h"

// {5E0B73D1-A92F-4E68-9C14-F27A80D3B6C5}
const GUID SID_ZEQContainerService = {0x5E0B73D1, 0xA92F, 0x4E68, {0x9C, 0x14, 0xF2, 0x7A, 0x80, 0xD3, 0xB6, 0xC5}};

// Interface identifiers the platform's import libraries lack.
// {988934A4-064B-11D3-BB80-00104B35E7F9}
const GUID kIIDDownloadManager = {0x988934A4, 0x064B, 0x11D3, {0xBB, 0x80, 0x00, 0x10, 0x4B, 0x35, 0xE7, 0xF9}};
// {3050F429-98B5-11CF-BB82-00AA00BDCE0B}, also the behavior factory's service
const GUID kIIDElementBehaviorFactory = {0x3050F429, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

namespace {

volatile LONG applicationActive = 0;
ZEQBehaviorFinder behaviorFinder = nullptr;

// A service object of one interface that shares its site's container.
template <typename Interface, const GUID* Iid>
class ServiceObject : public Interface {
 public:
  explicit ServiceObject(const ZEQContainerHolder& container) { container_.ShareFrom(container); }
  virtual ~ServiceObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, *Iid)) return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    this->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left <= 0) {
      delete this;
      return 0;
    }
    return static_cast<ULONG>(left);
  }
  static void* operator new(size_t size) { return HeapAllocZ(size); }
  static void operator delete(void* block) { HeapFreeZ(block); }

 protected:
  ZEQContainerHolder container_;

 private:
  volatile LONG references_ = 1;
};

class AuthenticateService final : public ServiceObject<IAuthenticate, &IID_IAuthenticate> {
 public:
  using ServiceObject::ServiceObject;
  HRESULT STDMETHODCALLTYPE Authenticate(HWND* window, LPWSTR* user, LPWSTR* password) override {
    return ZEQGuardedComCall("CZEQIAuthenticate::Authenticate",
                             [&]() -> HRESULT { return ZEQAuthenticateFromPage(container_, window, user, password); });
  }
};

class NewWindowManager final : public ServiceObject<INewWindowManager, &IID_INewWindowManager> {
 public:
  using ServiceObject::ServiceObject;
  HRESULT STDMETHODCALLTYPE EvaluateNewWindow(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, BOOL, DWORD, DWORD) override {
    return container_.IsSet() && container_->popupBlocker != 0 ? E_FAIL : S_OK;
  }
};

class DownloadManager final : public ServiceObject<IDownloadManager, &kIIDDownloadManager> {
 public:
  using ServiceObject::ServiceObject;
  // Downloads the pages start are refused; the program downloads through
  // its own script objects.
  HRESULT STDMETHODCALLTYPE Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR, LPCOLESTR,
                                     UINT) override {
    return E_FAIL;
  }
};

class ProtectFocus final : public ServiceObject<IProtectFocus, &IID_IProtectFocus> {
 public:
  using ServiceObject::ServiceObject;
  HRESULT STDMETHODCALLTYPE AllowFocusChange(BOOL* allow) override {
    if (!allow) return E_POINTER;
    *allow = ZEQIsApplicationActive() ? TRUE : FALSE;
    return S_OK;
  }
};

class RendererFactory final : public ServiceObject<IElementBehaviorFactory, &kIIDElementBehaviorFactory> {
 public:
  using ServiceObject::ServiceObject;
  HRESULT STDMETHODCALLTYPE FindBehavior(BSTR name, BSTR url, IElementBehaviorSite* site,
                                         IElementBehavior** behavior) override {
    return ZEQGuardedComCall("CZEQRendererFactory::FindBehavior", [&]() -> HRESULT {
      if (behavior) *behavior = nullptr;
      return behaviorFinder ? behaviorFinder(container_, name, url, site, behavior) : E_NOTIMPL;
    });
  }
};

// Hands out a new object for the interface asked.
HRESULT Answer(IUnknown* object, REFIID iid, void** out) {
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace

void ZEQSetApplicationActive(bool active) { InterlockedExchange(&applicationActive, active ? 1 : 0); }
bool ZEQIsApplicationActive() { return applicationActive != 0; }
void ZEQSetBehaviorFinder(ZEQBehaviorFinder finder) { behaviorFinder = finder; }

HRESULT ZEQQueryBrowserService(CZEQRenderer* site, REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!site) return E_NOINTERFACE;
  const ZEQContainerHolder& container = site->Container();
  if (IsEqualGUID(service, SID_ZEQContainerService)) {
    if (!IsEqualIID(iid, IID_IDispatchEx) || !site->HostDispatch()) return E_NOINTERFACE;
    return site->HostDispatch()->QueryInterface(iid, out);
  }
  // Every other service is asked for by its own interface.
  if (!IsEqualIID(service, iid)) return E_NOINTERFACE;
  if (IsEqualGUID(service, IID_IInternetSecurityManager)) return Answer(ZEQCreateSecurityManager(), iid, out);
  if (IsEqualGUID(service, IID_IAuthenticate)) {
    // Only a page that handles authentication replaces the control's own
    // log-on dialog.
    if (!ZEQPageHandlesAuthentication(container)) return E_NOINTERFACE;
    return Answer(new AuthenticateService(container), iid, out);
  }
  if (IsEqualGUID(service, kIIDDownloadManager)) return Answer(new DownloadManager(container), iid, out);
  if (IsEqualGUID(service, IID_INewWindowManager)) return Answer(new NewWindowManager(container), iid, out);
  if (IsEqualGUID(service, kIIDElementBehaviorFactory)) {
    return Answer(new RendererFactory(container), iid, out);
  }
  if (IsEqualGUID(service, IID_IProtectFocus)) return Answer(new ProtectFocus(container), iid, out);
  return E_NOINTERFACE;
}

HRESULT CBaseEventSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG CBaseEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CBaseEventSink::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left <= 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(left);
}

HRESULT CBaseEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  if (ids && count > 0) ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}
