// The services that a container's browser control asks of its site
// (IServiceProvider::QueryService): the security manager of "zeq:"
// addresses, HTTP authentication, the new-window, download and focus
// managers and the element-behavior factory; and the base of the event sinks
// through which the control reports events. Each request makes a new object
// that shares the requesting site's container.
#pragma once
#include <windows.h>
#include <mshtml.h>
#include <urlmon.h>

#include "windows/records.h"

class CZEQRenderer;

// The program's own service: the site's host dispatch object (IDispatchEx).
extern const GUID SID_ZEQContainerService;  // {5E0B73D1-A92F-4E68-9C14-F27A80D3B6C5}

// Interface identifiers the platform's import libraries lack: the download
// manager's and the element-behavior factory's (also its service's).
extern const GUID kIIDDownloadManager;
extern const GUID kIIDElementBehaviorFactory;

// The service table of a site.
HRESULT ZEQQueryBrowserService(CZEQRenderer* site, REFGUID service, REFIID iid, void** out);

// The security manager alone (one reference), as the service table makes it.
IInternetSecurityManager* ZEQCreateSecurityManager();

// The process-wide active-application flag that the focus manager reads; the
// common window procedure sets it as the program is activated and
// deactivated.
void ZEQSetApplicationActive(bool active);
bool ZEQIsApplicationActive();

// HTTP authentication through the page: true when the container's page
// defines "ZEQOnHTTPAuthenticate" (asked without calling it). Authenticate
// raises it with (the container's object, its start address); an answer of
// true (0x2001) with credentials "user\password" (the handler's text, or
// the second element of an array whose first is 0x2001) fills the user and
// the password, split at the first backslash, and no dialog is shown.
// Otherwise the out-parameters stay as they are. S_OK.
bool ZEQPageHandlesAuthentication(const ZEQContainerHolder& container);
HRESULT ZEQAuthenticateFromPage(const ZEQContainerHolder& container, HWND* window, LPWSTR* user, LPWSTR* password);

// The seam filled by the subsystem that owns element behaviors; without
// one, FindBehavior answers E_NOTIMPL.
using ZEQBehaviorFinder = HRESULT (*)(const ZEQContainerHolder& container, BSTR name, BSTR url,
                                      IElementBehaviorSite* site, IElementBehavior** behavior);
void ZEQSetBehaviorFinder(ZEQBehaviorFinder finder);

// The base of the program's event sinks: IDispatch whose Invoke each sink
// supplies; GetIDsOfNames sets the first identifier to DISPID_UNKNOWN and
// answers DISP_E_UNKNOWNNAME.
class CBaseEventSink : public IDispatch {
 public:
  explicit CBaseEventSink(HWND owner) : owner_(owner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override;
  HWND Owner() const { return owner_; }

 protected:
  virtual ~CBaseEventSink() = default;

 private:
  volatile LONG references_ = 1;
  HWND owner_;
};
