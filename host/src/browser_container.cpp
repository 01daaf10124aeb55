// Browser container creation and teardown.
#include "host/browser_container.h"

#include "dochost/dochost.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "host/browser_events.h"
#include "host/browser_messages.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"
#include "host/loader_page.h"
#include "package/templates.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

namespace {

ZEQHostObjectFactory hostObjectFactory = nullptr;

void AttachBrowser(CZEQRenderer* site, const ZEQContainerHolder& container) {
  IUnknown* browser = nullptr;
  if (FAILED(DocHostCreateWebBrowser(IID_IUnknown, reinterpret_cast<void**>(&browser))) || !browser) return;
  IOleObject* object = nullptr;
  if (SUCCEEDED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object))) && object) {
    object->SetClientSite(static_cast<IOleClientSite*>(site));
    object->Release();
  }
  site->SetBrowser(browser, ZEQGITRegister(browser));
  site->SetEventCookie(ZEQConnectBrowserEvents(site, browser));
  if (hostObjectFactory) {
    if (IDispatch* hostObject = hostObjectFactory(container)) {
      site->SetHostDispatch(hostObject);
      hostObject->Release();
    }
  }
  browser->Release();
}

// The interim view of the container that script objects read.
void RegisterForScriptObjects(HWND host, const ZEQContainerHolder& container, CZEQRenderer* site, bool ready) {
  IWebBrowser2* browser = ready && site ? site->GetWebBrowser2() : nullptr;
  ZEQWindowContainer view = {container->options, site != nullptr,
                             site ? static_cast<int32_t>(site->DownloadControl()) : 0,
                             ready, false, browser, 0, site ? site->BrowserCookie() : 0};
  ZEQSetWindowContainer(host, view);
  // The container record holds the browser; the view borrows it.
  if (browser) browser->Release();
}

void Create(ZEQContainerHolder* out, bool top, const ZEQContainerHolder& caller, const ZEQContainerHolder& parent,
            HWND host, const char* name, const char* url, ZEQMarshaledVariant* arguments, const char* css,
            const char* extra, uint32_t options, uint32_t relation) {
  ZEQIBCCreate(out, top, caller, parent, host, name, url, arguments, css, extra, options, relation);
}

void Navigate(const ZEQContainerHolder& container, const ZEQContainerHolder&) {
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return;
  IWebBrowser2* browser = site->GetWebBrowser2();
  const char* address = container->startDocument;
  if (browser && address) {
    const int length = MultiByteToWideChar(CP_ACP, 0, address, -1, nullptr, 0);
    BSTR wide = SysAllocStringLen(nullptr, length > 0 ? length - 1 : 0);
    if (wide && length > 0) MultiByteToWideChar(CP_ACP, 0, address, -1, wide, length);
    VARIANT empty;
    VariantInit(&empty);
    if (wide) browser->Navigate(wide, &empty, &empty, &empty, &empty);
    SysFreeString(wide);
  }
  if (browser) browser->Release();
  site->Release();
}

void Teardown(const ZEQContainerHolder& container) {
  ZEQRemoveWindowContainer(container->hostWindow);
  auto unknown = static_cast<IUnknown*>(
      InterlockedExchangePointer(reinterpret_cast<PVOID*>(&container->renderer), nullptr));
  auto site = static_cast<CZEQRenderer*>(static_cast<IOleClientSite*>(unknown));
  if (!site) return;
  IWebBrowser2* browser = site->GetWebBrowser2();
  if (browser) {
    // The sink holds the site: the connection ends before the browser does.
    ZEQDisconnectBrowserEvents(browser, site->EventCookie());
    site->SetEventCookie(0);
    IOleObject* object = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object))) && object) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
      object->Release();
    }
    browser->Release();
  }
  site->ReleaseBrowser();
  site->SetHostDispatch(nullptr);
  static_cast<IOleClientSite*>(site)->Release();
}

SKINHolder LoadTemplateClass(const char* reference) { return FindTemplateClassReference(0, reference); }

void ThreadStart() { RegisterDispatchExClassFactory(); }
void ThreadEnd() { RevokeDispatchExClassFactory(); }

}  // namespace

void ZEQSetHostObjectFactory(ZEQHostObjectFactory factory) { hostObjectFactory = factory; }

CZEQRenderer* ZEQGetContainerRenderer(const ZEQContainerHolder& container) {
  if (!container.IsSet() || !container->renderer) return nullptr;
  auto site = static_cast<CZEQRenderer*>(static_cast<IOleClientSite*>(container->renderer));
  site->AddRef();
  return site;
}

void ZEQIBCCreate(ZEQContainerHolder* out, bool top, ZEQContainerHolder caller, ZEQContainerHolder parent,
                  HWND host, const char* name, const char* url, ZEQMarshaledVariant* arguments,
                  const char* loaderStyleSheet, const char* loaderExtra, uint32_t options, uint32_t relation) {
  if (!out) {
    ZEQMarshaledVariant::Free(arguments);
    return;
  }
  ZEQContainerHolder container;
  ZEQBaseContainerInit(&container, host);
  if (!container.IsSet()) {
    ZEQMarshaledVariant::Free(arguments);
    return;
  }
  ZEQInitContainer(host, container, caller, parent, name, url, arguments, loaderStyleSheet, loaderExtra, options,
                   relation);
  container->hostWindow = host;
  container->eventWindow = host;
  if (!ZEQLinkContainerToParent(container, caller, parent)) return;
  ZEQSetContainerProperty(host, "ZEQBASECONTAINER", container);
  if (top) ZEQSetContainerProperty(host, "ZEQTOPCONTAINER", container);
  RegisterForScriptObjects(host, container, nullptr, false);
  if (url && *url) {
    if (char* document = ZEQPrepareLoaderDocument(url, options, host)) {
      HeapFreeZ(container->startDocument);
      container->startDocument = document;
    }
  }
  HWND parentWindow = GetParentWindowExt(host);
  if (IsProcessWindow(parentWindow)) {
    ZEQWindowHolder record = ZEQGetWindowParam(parentWindow);
    if (record.IsSet() && record->window == parentWindow) record->container.ShareFrom(container);
  }
  container->aliveEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CZEQRenderer* site = CZEQRenderer::Create(container, options);
  container->renderer = static_cast<IOleClientSite*>(site);
  AttachBrowser(site, container);
  site->DoVerbInPlaceActivate();
  site->DoVerbShow();
  RegisterForScriptObjects(host, container, site, true);
  InterlockedExchange(&container->ready, 1);
  out->ShareFrom(container);
}

void ZEQInstallBrowserContainers() {
  ZEQContainerHost host = {};
  host.create = Create;
  host.navigate = Navigate;
  host.teardown = Teardown;
  host.threadStart = ThreadStart;
  host.threadEnd = ThreadEnd;
  ZEQInstallContainerHost(host);
  ZEQSetTemplateClassLoader(LoadTemplateClass);
  ZEQSetPreTranslateHook(ZEQPreTranslateBrowserMessage);
}
