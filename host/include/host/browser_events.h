// The event sink of a container's web-browser control: the control's
// DWebBrowserEvents2 become the page's ZEQOn script events, navigation state
// is kept in the container record, and the control's questions with an
// out-parameter (a new window, a download, an error page, a window close)
// are answered. The web-browser events (ZEQOnWB...) are raised only for a
// container whose browser-events flag is set.
#pragma once
#include <windows.h>
#include <exdisp.h>

#include "host/browser_services.h"
#include "host/renderer.h"

class CIBCEventSink final : public CBaseEventSink {
 public:
  // Keeps a reference to the renderer; one reference for the caller.
  explicit CIBCEventSink(CZEQRenderer* renderer);
  // Always S_OK; does nothing when the renderer gives no IUnknown.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;
  // The renderer's container, taken fresh.
  ZEQContainerHolder GetContainer() const;

  static void* operator new(size_t size);
  static void operator delete(void* block);

 private:
  ~CIBCEventSink() override;
  void Dispatch(DISPID id, DISPPARAMS* params);
  void WebBrowserEvent(DISPID id, DISPPARAMS* params);
  void DocumentComplete(const ZEQContainerHolder& container, DISPPARAMS* params);
  bool IsTop(const VARIANT* browser);
  void NameUnnamedPageWindow(const char* name);
  void OpenInContainer(const ZEQContainerHolder& target, DISPPARAMS* params);

  CZEQRenderer* renderer_;
};

// Connects a new sink of the renderer to the browser's DWebBrowserEvents2;
// the connection's cookie, 0 when the browser offers no such connection.
DWORD ZEQConnectBrowserEvents(CZEQRenderer* renderer, IUnknown* browser);
// Ends the connection (the browser lets go of the sink).
void ZEQDisconnectBrowserEvents(IUnknown* browser, DWORD cookie);

// Told of each top-level document a container's browser completes, on the
// container's thread, after the page was marked ready for calls (the
// product logs its loader's first one). One observer per process; null
// removes it.
typedef void (*ZEQTopDocumentCompleteObserver)(HWND hostWindow, const char* url);
void ZEQSetTopDocumentCompleteObserver(ZEQTopDocumentCompleteObserver observer);
