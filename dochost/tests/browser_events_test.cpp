// The browser object's events, navigation outcomes, in-place activation and
// the choice between the platform's control and the document host.
#include <gtest/gtest.h>

#include <exdispid.h>

#include "dochost/dochost.h"
#include "log_capture.h"
#include "test_support.h"

using namespace dochost_test;

namespace {

TEST(BrowserEvents, NavigationEventsArriveInTheControlsOrder) {
  PageFolder folder;
  folder.Write(L"a.html", "<html><head><title>P\xC3\xA1gina A</title></head><body>a</body></html>");
  Harness h;
  std::wstring url = folder.Url(L"a.html");
  ASSERT_TRUE(h.Load(url));
  const auto& ev = h.sink.events;
  size_t before = h.sink.IndexOf(DISPID_BEFORENAVIGATE2);
  size_t nav = h.sink.IndexOf(DISPID_NAVIGATECOMPLETE2);
  size_t title = h.sink.IndexOf(DISPID_TITLECHANGE);
  size_t done = h.sink.IndexOf(DISPID_DOCUMENTCOMPLETE);
  ASSERT_NE(std::wstring::npos, before);
  ASSERT_NE(std::wstring::npos, nav);
  ASSERT_NE(std::wstring::npos, title);
  ASSERT_NE(std::wstring::npos, done);
  EXPECT_EQ(0u, before);
  EXPECT_LT(before, nav);
  EXPECT_LT(nav, title);
  EXPECT_LT(title, done);
  EXPECT_EQ(done, ev.size() - 1);
  EXPECT_EQ(url, ev[before].text);
  EXPECT_EQ(url, ev[done].text);
  EXPECT_EQ(L"P\u00e1gina A", ev[title].text);

  BSTR s = nullptr;
  ASSERT_EQ(S_OK, h.browser->get_LocationURL(&s));
  EXPECT_EQ(url, s);
  SysFreeString(s);
  READYSTATE rs;
  ASSERT_EQ(S_OK, h.browser->get_ReadyState(&rs));
  EXPECT_EQ(READYSTATE_COMPLETE, rs);
  VARIANT_BOOL busy;
  ASSERT_EQ(S_OK, h.browser->get_Busy(&busy));
  EXPECT_EQ(VARIANT_FALSE, busy);
}

TEST(BrowserEvents, ScriptTitleAndStatusChangesReachTheSink) {
  PageFolder folder;
  folder.Write(L"t.html",
               "<html><head><title>first</title></head><body>"
               "<script>document.title = 'second'; window.status = 'busy now';</script></body></html>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"t.html")));
  std::vector<std::wstring> titles, statuses;
  for (const auto& e : h.sink.events) {
    if (e.id == DISPID_TITLECHANGE) titles.push_back(e.text);
    if (e.id == DISPID_STATUSTEXTCHANGE) statuses.push_back(e.text);
  }
  ASSERT_EQ(2u, titles.size());
  EXPECT_EQ(L"first", titles[0]);
  EXPECT_EQ(L"second", titles[1]);
  ASSERT_EQ(1u, statuses.size());
  EXPECT_EQ(L"busy now", statuses[0]);
  BSTR t = nullptr;
  ASSERT_EQ(S_OK, h.Doc()->get_title(&t));
  EXPECT_STREQ(L"second", t);
  SysFreeString(t);
}

TEST(BrowserEvents, CancelledNavigationLoadsNothing) {
  PageFolder folder;
  folder.Write(L"c.html", "<script>var loaded = 1;</script>");
  Harness h;
  h.sink.cancel_navigation = true;
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(folder.Url(L"c.html").c_str());
  ASSERT_EQ(S_OK, h.browser->Navigate2(&v, nullptr, nullptr, nullptr, nullptr));
  VariantClear(&v);
  PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(h.sink.Has(DISPID_BEFORENAVIGATE2));
  EXPECT_FALSE(h.sink.Has(DISPID_NAVIGATECOMPLETE2));
  EXPECT_FALSE(h.sink.Has(DISPID_DOCUMENTCOMPLETE));
  IDispatch* doc = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(S_OK, h.browser->get_Document(&doc));
  EXPECT_EQ(nullptr, doc);
}

TEST(BrowserEvents, MissingPageRaisesNavigateErrorAndKeepsTheOldDocument) {
  PageFolder folder;
  folder.Write(L"ok.html", "<script>var page = 'ok';</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"ok.html")));
  ASSERT_TRUE(h.Load(folder.Url(L"absent.html")));
  ASSERT_TRUE(h.sink.Has(DISPID_NAVIGATEERROR));
  EXPECT_EQ(folder.Url(L"absent.html"), h.sink.events[h.sink.IndexOf(DISPID_NAVIGATEERROR)].text);
  EXPECT_EQ(L"ok", h.Global(L"page"));
}

TEST(BrowserEvents, LaterNavigationReplacesTheDocumentAndItsScript) {
  PageFolder folder;
  folder.Write(L"one.html", "<script>var which = 'one'; var onlyInOne = 1;</script>");
  folder.Write(L"two.html", "<script>var which = 'two';</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"one.html")));
  EXPECT_EQ(L"one", h.Global(L"which"));
  ASSERT_TRUE(h.Load(folder.Url(L"two.html")));
  EXPECT_EQ(L"two", h.Global(L"which"));
  EXPECT_EQ(L"<unknown>", h.Global(L"onlyInOne"));
}

TEST(BrowserEvents, WindowCloseAsksTheSinkAndEndsTheDocumentUnlessCancelled) {
  PageFolder folder;
  folder.Write(L"close.html", "<script>function shut() { window.close(); }</script>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"close.html")));
  h.sink.cancel_close = true;
  ASSERT_EQ(S_OK, h.Exec(L"shut()"));
  PumpUntil([] { return false; }, 50);
  EXPECT_TRUE(h.sink.Has(DISPID_WINDOWCLOSING));
  IDispatch* doc = nullptr;
  ASSERT_EQ(S_OK, h.browser->get_Document(&doc));
  ASSERT_TRUE(doc);
  doc->Release();

  h.sink.cancel_close = false;
  ASSERT_EQ(S_OK, h.Exec(L"shut()"));
  EXPECT_TRUE(PumpUntil([&] {
    IDispatch* d = nullptr;
    h.browser->get_Document(&d);
    if (d) d->Release();
    return d == nullptr;
  }, 2000));
}

TEST(BrowserEvents, WindowOpenAsksForANewWindowAndUsesTheBrowserGiven) {
  PageFolder folder;
  folder.Write(L"opener.html", "<script>function pop(u) { return window.open(u) ? 'window' : 'none'; }</script>");
  folder.Write(L"popup.html", "<script>var popped = 'yes';</script>");
  Harness opener;
  ASSERT_TRUE(opener.Load(folder.Url(L"opener.html")));
  // Refused: no window.
  ASSERT_EQ(S_OK, opener.Exec(L"var r1 = pop('popup.html');"));
  EXPECT_EQ(L"none", opener.Global(L"r1"));
  ASSERT_TRUE(opener.sink.Has(DISPID_NEWWINDOW3));
  EXPECT_EQ(folder.Url(L"popup.html"), opener.sink.events[opener.sink.IndexOf(DISPID_NEWWINDOW3)].text);
  // Given a browser: the page opens there.
  Harness target;
  opener.sink.new_window_target = target.browser;
  size_t before = target.sink.events.size();
  ASSERT_EQ(S_OK, opener.Exec(L"pop('popup.html');"));
  EXPECT_TRUE(PumpUntil([&] {
    for (size_t i = before; i < target.sink.events.size(); ++i)
      if (target.sink.events[i].id == DISPID_DOCUMENTCOMPLETE) return true;
    return false;
  }));
  EXPECT_EQ(L"yes", target.Global(L"popped"));
}

TEST(BrowserEvents, InPlaceActivationMakesTheControlsWindowsInTheContainer) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DocHostTestContainer";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"container", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                              nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(host);
  {
    Harness h(host);
    IOleObject* ole = nullptr;
    ASSERT_EQ(S_OK, h.browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)));
    RECT r{10, 20, 310, 220};
    ASSERT_EQ(S_OK, ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &h.site, 0, host, &r));
    HWND embedding = FindWindowExW(host, nullptr, L"Shell Embedding", nullptr);
    ASSERT_TRUE(embedding);
    HWND view = FindWindowExW(embedding, nullptr, L"Shell DocObject View", nullptr);
    ASSERT_TRUE(view);
    HWND server = FindWindowExW(view, nullptr, L"Internet Explorer_Server", nullptr);
    ASSERT_TRUE(server);
    IOleInPlaceObject* ip = nullptr;
    ASSERT_EQ(S_OK, h.browser->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)));
    HWND got = nullptr;
    ASSERT_EQ(S_OK, ip->GetWindow(&got));
    EXPECT_EQ(embedding, got);
    RECT bigger{0, 0, 400, 300};
    ASSERT_EQ(S_OK, ip->SetObjectRects(&bigger, &bigger));
    RECT client;
    GetClientRect(server, &client);
    EXPECT_EQ(400, client.right);
    EXPECT_EQ(300, client.bottom);

    // The body fills the view; a click lands on the element under it.
    PageFolder folder;
    folder.Write(L"click.html",
                 "<body><div id=b style='position:absolute;left:50px;top:60px;width:40px;height:30px'"
                 " onclick='window.clicked = this.id'></div></body>");
    ASSERT_TRUE(h.Load(folder.Url(L"click.html")));
    SendMessageW(server, WM_LBUTTONUP, 0, MAKELPARAM(60, 70));
    EXPECT_EQ(L"b", h.Global(L"clicked"));
    ASSERT_EQ(S_OK, ip->InPlaceDeactivate());
    EXPECT_FALSE(IsWindow(embedding));
    ip->Release();
    ole->Release();
  }
  DestroyWindow(host);
}

TEST(BrowserEvents, ServicesAskedOfTheDocumentReachTheSite) {
  // The element-behavior factory comes from the site, as the platform's
  // engine asks for it.
  PageFolder folder;
  folder.Write(L"s.html", "<p>x</p>");
  Harness h;
  ASSERT_TRUE(h.Load(folder.Url(L"s.html")));
  IServiceProvider* sp = nullptr;
  ASSERT_EQ(S_OK, h.Doc()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&sp)));
  IUnknown* factory = nullptr;
  EXPECT_EQ(E_NOINTERFACE, sp->QueryService(SID_SElementBehaviorFactory, IID_IElementBehaviorFactory,
                                            reinterpret_cast<void**>(&factory)));
  sp->Release();
  ASSERT_EQ(1u, h.site.services.size());
  EXPECT_TRUE(IsEqualGUID(SID_SElementBehaviorFactory, h.site.services[0]));
}

TEST(BrowserEvents, AnUnservedMemberIsLoggedOnceWithItsInterface) {
  Harness h;
  logtest::CapturedGlobalLog log;
  EXPECT_EQ(E_NOTIMPL, h.browser->GoSearch());
  EXPECT_EQ(E_NOTIMPL, h.browser->GoSearch());
  EXPECT_EQ(std::vector<std::string>{"DocHost: [NOT SERVED] IWebBrowser2::GoSearch"}, log.Texts());
}

TEST(BrowserChoice, TheBrowserForAContainerLoadsPagesWhicheverEngineIsUsed) {
  IWebBrowser2* browser = nullptr;
  ASSERT_EQ(S_OK, DocHostCreateWebBrowser(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
  ASSERT_TRUE(browser);
  // Asked twice, the probe answers the same.
  EXPECT_EQ(DocHostPlatformEngineAvailable(), DocHostPlatformEngineAvailable());
  IOleObject* ole = nullptr;
  ASSERT_EQ(S_OK, browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)));
  ole->Release();
  IConnectionPointContainer* cpc = nullptr;
  ASSERT_EQ(S_OK, browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)));
  IConnectionPoint* cp = nullptr;
  EXPECT_EQ(S_OK, cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp));
  if (cp) cp->Release();
  cpc->Release();
  browser->Release();
}

}  // namespace
