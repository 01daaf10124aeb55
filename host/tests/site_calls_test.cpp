// The calls the document host makes of the program's site while a page is
// activated, loaded and calls window.external, recorded in order with the
// site's answers and compared with one expected table: the site must look to
// the browser object exactly as the platform's control expects.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "dochost/dochost.h"
#include "host/renderer.h"
#include "test_support.h"

namespace {

using dochost_test::PageFolder;
using dochost_test::PumpUntil;

struct Call {
  std::string what;
  HRESULT answer;
  bool operator==(const Call& other) const { return what == other.what && answer == other.answer; }
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
  char hr[16];
  snprintf(hr, sizeof hr, "0x%08lX", static_cast<unsigned long>(call.answer));
  return out << call.what << " -> " << hr;
}

const char* NameOf(REFIID iid) {
  static const struct {
    const IID* iid;
    const char* name;
  } names[] = {
      {&IID_IUnknown, "IUnknown"},
      {&IID_IOleClientSite, "IOleClientSite"},
      {&IID_IOleWindow, "IOleWindow"},
      {&IID_IOleInPlaceSite, "IOleInPlaceSite"},
      {&IID_IOleCommandTarget, "IOleCommandTarget"},
      {&IID_IDocHostUIHandler, "IDocHostUIHandler"},
      {&IID_IDocHostUIHandler2, "IDocHostUIHandler2"},
      {&IID_IDocHostShowUI, "IDocHostShowUI"},
      {&IID_IServiceProvider, "IServiceProvider"},
      {&IID_IDispatch, "IDispatch"},
  };
  for (const auto& entry : names) {
    if (IsEqualIID(iid, *entry.iid)) return entry.name;
  }
  return "other";
}

// Stands between the document host and the site: forwards every call to the
// site and writes down what was called and what the site answered.
class RecordingSite : public IOleClientSite,
                      public IOleInPlaceSite,
                      public IDocHostUIHandler,
                      public IDocHostShowUI,
                      public IOleCommandTarget,
                      public IServiceProvider {
 public:
  explicit RecordingSite(CZEQRenderer* site) : site_(site) {}
  std::vector<Call> calls;

  HRESULT Note(const char* what, HRESULT answer) {
    calls.push_back({what, answer});
    return answer;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    const std::string what = std::string("QueryInterface ") + NameOf(iid);
    HRESULT hr = static_cast<IOleClientSite*>(site_)->QueryInterface(iid, out);
    if (SUCCEEDED(hr) && *out) {
      void* mine = Own(iid);
      if (mine) {
        static_cast<IUnknown*>(*out)->Release();
        *out = mine;
      }
    }
    return Note(what.c_str(), hr);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return Note("SaveObject", site_->SaveObject()); }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD a, DWORD w, IMoniker** m) override {
    return Note("GetMoniker", site_->GetMoniker(a, w, m));
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
    return Note("GetContainer", site_->GetContainer(c));
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return Note("ShowObject", site_->ShowObject()); }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL s) override { return Note("OnShowWindow", site_->OnShowWindow(s)); }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override {
    return Note("RequestNewObjectLayout", site_->RequestNewObjectLayout());
  }
  // IOleWindow, IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* h) override { return Note("GetWindow", site_->GetWindow(h)); }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL e) override {
    return Note("ContextSensitiveHelp", site_->ContextSensitiveHelp(e));
  }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
    return Note("CanInPlaceActivate", site_->CanInPlaceActivate());
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    return Note("OnInPlaceActivate", site_->OnInPlaceActivate());
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return Note("OnUIActivate", site_->OnUIActivate()); }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT p, LPRECT c,
                                             LPOLEINPLACEFRAMEINFO i) override {
    return Note("GetWindowContext", site_->GetWindowContext(f, d, p, c, i));
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE s) override { return Note("Scroll", site_->Scroll(s)); }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL u) override {
    return Note("OnUIDeactivate", site_->OnUIDeactivate(u));
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    return Note("OnInPlaceDeactivate", site_->OnInPlaceDeactivate());
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override {
    return Note("DiscardUndoState", site_->DiscardUndoState());
  }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override {
    return Note("DeactivateAndUndo", site_->DeactivateAndUndo());
  }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT r) override {
    return Note("OnPosRectChange", site_->OnPosRectChange(r));
  }
  // IDocHostUIHandler
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD i, POINT* p, IUnknown* c, IDispatch* o) override {
    return Note("ShowContextMenu", site_->ShowContextMenu(i, p, c, o));
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* i) override {
    return Note("GetHostInfo", site_->GetHostInfo(i));
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD i, IOleInPlaceActiveObject* a, IOleCommandTarget* c, IOleInPlaceFrame* f,
                                   IOleInPlaceUIWindow* d) override {
    return Note("ShowUI", site_->ShowUI(i, a, c, f, d));
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return Note("HideUI", site_->HideUI()); }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return Note("UpdateUI", site_->UpdateUI()); }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL e) override {
    return Note("EnableModeless", static_cast<IDocHostUIHandler2*>(site_)->EnableModeless(e));
  }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL a) override {
    return Note("OnDocWindowActivate", site_->OnDocWindowActivate(a));
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL a) override {
    return Note("OnFrameWindowActivate", site_->OnFrameWindowActivate(a));
  }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT r, IOleInPlaceUIWindow* w, BOOL f) override {
    return Note("ResizeBorder", site_->ResizeBorder(r, w, f));
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG m, const GUID* g, DWORD c) override {
    return Note("TranslateAccelerator", static_cast<IDocHostUIHandler2*>(site_)->TranslateAccelerator(m, g, c));
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* k, DWORD r) override {
    return Note("GetOptionKeyPath", site_->GetOptionKeyPath(k, r));
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* t, IDropTarget** o) override {
    return Note("GetDropTarget", site_->GetDropTarget(t, o));
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** d) override {
    return Note("GetExternal", site_->GetExternal(d));
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD t, LPWSTR i, LPWSTR* o) override {
    return Note("TranslateUrl", site_->TranslateUrl(t, i, o));
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* i, IDataObject** o) override {
    return Note("FilterDataObject", site_->FilterDataObject(i, o));
  }
  // IDocHostShowUI
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND h, LPOLESTR t, LPOLESTR c, DWORD s, LPOLESTR f, DWORD x,
                                        LRESULT* r) override {
    return Note("ShowMessage", site_->ShowMessage(h, t, c, s, f, x, r));
  }
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND h, LPOLESTR f, UINT c, DWORD d, POINT p, IDispatch* o) override {
    return Note("ShowHelp", site_->ShowHelp(h, f, c, d, p, o));
  }
  // IOleCommandTarget
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* g, ULONG n, OLECMD* c, OLECMDTEXT* t) override {
    return Note("QueryStatus", site_->QueryStatus(g, n, c, t));
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* g, DWORD id, DWORD o, VARIANT* i, VARIANT* r) override {
    return Note("Exec", site_->Exec(g, id, o, i, r));
  }
  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID s, REFIID i, void** o) override {
    return Note("QueryService", site_->QueryService(s, i, o));
  }

 private:
  void* Own(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      return static_cast<IOleClientSite*>(this);
    }
    if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
      return static_cast<IOleInPlaceSite*>(this);
    }
    if (IsEqualIID(iid, IID_IDocHostUIHandler)) return static_cast<IDocHostUIHandler*>(this);
    if (IsEqualIID(iid, IID_IDocHostShowUI)) return static_cast<IDocHostShowUI*>(this);
    if (IsEqualIID(iid, IID_IOleCommandTarget)) return static_cast<IOleCommandTarget*>(this);
    if (IsEqualIID(iid, IID_IServiceProvider)) return static_cast<IServiceProvider*>(this);
    return nullptr;
  }
  CZEQRenderer* site_;
};

TEST(SiteCalls, TheDocumentHostSeesTheSiteAsThePlatformControlWould) {
  OleInitialize(nullptr);
  PageFolder folder;
  folder.Write(L"calls.html",
               "<html><body><script>window.external.Record('calls');</script></body></html>");
  HWND window = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 200, 150, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ZEQContainerHolder container;
  ZEQBaseContainerInit(&container, window);
  container->options = WB_ALLOWSZEQ;
  CZEQRenderer* site = CZEQRenderer::Create(container, 0);
  site->SetHostDispatch(&container_test::TheRecorder());
  RecordingSite recording(site);

  IUnknown* browser = nullptr;
  ASSERT_EQ(S_OK, DocHostCreateOwnBrowser(IID_IUnknown, reinterpret_cast<void**>(&browser)));
  IOleObject* object = nullptr;
  ASSERT_EQ(S_OK, browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)));
  object->SetClientSite(static_cast<IOleClientSite*>(&recording));
  site->SetBrowser(browser, 0);
  EXPECT_EQ(1, site->DoVerbInPlaceActivate());
  EXPECT_EQ(1, site->DoVerbShow());
  IWebBrowser2* web = site->GetWebBrowser2();
  ASSERT_NE(nullptr, web);
  const size_t before = container_test::TheRecorder().Count();
  BSTR url = SysAllocString(folder.Url(L"calls.html").c_str());
  VARIANT empty;
  VariantInit(&empty);
  ASSERT_EQ(S_OK, web->Navigate(url, &empty, &empty, &empty, &empty));
  SysFreeString(url);
  ASSERT_TRUE(PumpUntil([&] { return container_test::TheRecorder().Count() > before; }, 10000));
  EXPECT_EQ(L"calls", container_test::TheRecorder().TextAt(before));

  const std::vector<Call> expected = {
      {"QueryInterface IOleInPlaceSite", S_OK},
      {"CanInPlaceActivate", S_OK},
      {"OnInPlaceActivate", S_OK},
      {"GetWindowContext", S_OK},
      {"QueryInterface IDocHostUIHandler", S_OK},
      {"GetExternal", S_OK},
  };
  EXPECT_EQ(expected, recording.calls);

  object->SetClientSite(nullptr);
  object->Release();
  web->Release();
  site->ReleaseBrowser();
  browser->Release();
  site->SetHostDispatch(nullptr);
  static_cast<IOleClientSite*>(site)->Release();
  DestroyWindow(window);
  OleUninitialize();
}

}  // namespace
