// The browser event sink of a container: the control's events reach the
// page's ZEQOn handlers in order, with their arguments, and the control's
// questions get the answers the handlers give.
#include <gtest/gtest.h>
#include <windows.h>
#include <exdispid.h>

#include <string>
#include <vector>

#include "container_test_support.h"
#include "host/browser_container.h"
#include "host/browser_events.h"
#include "host/script_calls.h"
#include "host/script_exec.h"
#include "host/zeqibc.h"
#include "test_support.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"

namespace {

using container_test::WaitUntil;

// Every handler records its name and its values; answers.<name> is what it
// returns. containers lists the ids of the container objects the handlers
// received first.
const char kEventPage[] =
    "<html><head><title>events</title><script>"
    "var answers = {WBClose: false, NavigationError: false};"
    "var containers = '';"
    "function rec(name, a, ibc) {"
    "  var id = ibc && typeof ibc == 'object' ? String(ibc.Id) : 'none';"
    "  if (containers.indexOf('[' + id + ']') < 0) containers += '[' + id + ']';"
    "  var values = [];"
    "  try { values = new VBArray(a).toArray(); } catch (e) {}"
    "  window.external.Record(name + '(' + values.join(',') + ')');"
    "  return answers[name];"
    "}"
    "function ZEQOnBeforeNavigation(ibc, a) { return rec('BeforeNavigation', a, ibc); }"
    "function ZEQOnNavigationComplete(ibc, a) { return rec('NavigationComplete', a, ibc); }"
    "function ZEQOnContainerReady(ibc, a) { return rec('ContainerReady', a, ibc); }"
    "var target = null;"
    "function ZEQOnWBNewWindow(ibc, a) { rec('WBNewWindow', a, ibc); return target; }"
    "function ZEQOnWBClose(ibc, a) { return rec('WBClose', a, ibc); }"
    "function ZEQOnNavigationError(ibc, a) { return false; }"
    "function ZEQOnWBTaskProgress(ibc, a) { return rec('WBTaskProgress', a, ibc); }"
    "function ZEQOnWBTaskComplete(ibc, a) { return rec('WBTaskComplete', a, ibc); }"
    "function ZEQOnWBTitleChange(ibc, a) { return rec('WBTitleChange', a, ibc); }"
    "function ZEQOnWBVisible(ibc, a) { return rec('WBVisible', a, ibc); }"
    "</script></head><body>events</body></html>";

// One event as the control fires it: values in the published order, the
// out-parameter (if any) a by-reference boolean.
struct Event {
  DISPID id;
  std::vector<VARIANT> values;  // published order; cleared by the owner
  int cancelIndex = -1;
  VARIANT_BOOL cancel = VARIANT_FALSE;
};

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}
VARIANT Integer(LONG value) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}
VARIANT Boolean(bool value) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT Object(IDispatch* object) {
  VARIANT v;
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = object;
  if (object) object->AddRef();
  return v;
}
VARIANT Bytes(const char* bytes, size_t length) {
  VARIANT v;
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(length));
  void* data = nullptr;
  SafeArrayAccessData(V_ARRAY(&v), &data);
  memcpy(data, bytes, length);
  SafeArrayUnaccessData(V_ARRAY(&v));
  return v;
}

// Fires the event at the sink; the by-reference out-parameter sits at
// cancelIndex.
void Fire(CIBCEventSink* sink, Event* event) {
  std::vector<VARIANT> args(event->values.size());
  for (size_t i = 0; i < event->values.size(); ++i) {
    VARIANT& slot = args[event->values.size() - 1 - i];
    if (static_cast<int>(i) == event->cancelIndex) {
      V_VT(&slot) = VT_BYREF | VT_BOOL;
      V_BOOLREF(&slot) = &event->cancel;
    } else {
      V_VT(&slot) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&slot) = &event->values[i];
    }
  }
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXPECT_EQ(S_OK, sink->Invoke(event->id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  for (VARIANT& value : event->values) VariantClear(&value);
}

class BrowserEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    // The ready event runs at once; the load's navigation events were held
    // until the page could take them.
    page_ = new container_test::PageContainer(kEventPage, 3);
    ASSERT_FALSE(page_->Failed());
    container_.ShareFrom(page_->Container());
    browser_ = page_->Browser();
    window_ = page_->Window();
    url_ = page_->Url();
    sink_ = new CIBCEventSink(page_->Site());
  }
  void TearDown() override {
    if (sink_) sink_->Release();
    container_.Release();
    delete page_;
    OleUninitialize();
  }

  std::vector<std::string> Recorded() { return page_->Recorded(); }

  container_test::PageContainer* page_ = nullptr;
  std::string url_;
  HWND window_ = nullptr;
  ZEQContainerHolder container_;
  CIBCEventSink* sink_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
};

TEST_F(BrowserEvents, TheFirstCompletedDocumentMakesThePageReadyOnce) {
  const std::vector<std::string> first = Recorded();
  const std::vector<std::string> expected = {"ContainerReady(" + url_ + ",true)",
                                             "BeforeNavigation(" + url_ + ",,,,false,true)",
                                             "NavigationComplete(" + url_ + ",false,true)"};
  EXPECT_EQ(expected, first);
  EXPECT_EQ(0x80u | 0x100u | 0x8000001u | 0x20u | 0x40u, container_->navigationState);
  EXPECT_EQ(1, container_->documentComplete);
  EXPECT_EQ(1, container_->zoomApplied);
  // A frame completing later raises no second ready event.
  Event frame{DISPID_DOCUMENTCOMPLETE, {Object(nullptr), Text(L"about:frame")}};
  Fire(sink_, &frame);
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(first, Recorded());
}

TEST_F(BrowserEvents, EventsReachTheHandlersInOrderAndTheirAnswersComeBack) {
  ZEQBASECONTAINER* record = container_.Get();
  struct Case {
    const char* name;
    Event event;
    const char* recorded;  // null: no handler runs
    int cancel;            // expected out-parameter, -1 none
    uint32_t clearOptions;
    int32_t browserEvents;
  };
  const char post[] = {'a', '=', '1', '&', 'b', '=', '2'};  // no terminator
  Case cases[] = {
      {"an anchor navigation keeps the state and copies the post data by its length",
       {DISPID_BEFORENAVIGATE2,
        {Object(browser_), Text(L"  about:blank#part "), Integer(0), Text(L"frame"), Bytes(post, sizeof post),
         Text(L"X-A: 1"), Boolean(false)},
        6},
       "BeforeNavigation(about:blank#part,frame,X-A: 1,a=1&b=2,false,true)", 0, 0, 0},
      {"the no-event pragma silences a navigation",
       {DISPID_BEFORENAVIGATE2,
        {Object(browser_), Text(L"about:blank"), Integer(0), Text(L""), Boolean(false),
         Text(L"KESTO-ZEQPragma: navigation-noevent\r\n"), Boolean(false)},
        6},
       nullptr, 0, 0, 0},
      {"a new window asked as a tab by the user stays cancelled",
       {DISPID_NEWWINDOW3, {Object(nullptr), Boolean(false), Integer(0x80 | 0x20000), Text(L""), Text(L"about:x")},
        1},
       "WBNewWindow(,,true,true,true)", 1, 0, 0},
      {"a navigation error of the program's pages is never shown", 
       {DISPID_NAVIGATEERROR, {Object(browser_), Text(L"zeq:missing.html"), Text(L""), Integer(404),
                               Boolean(false)}, 4},
       nullptr, 1, 0, 0},
      // A foreign page has no window.external to record through: the
      // cancelled error page is the handler's answer coming back (without a
      // handler the delivery answers 104 and the error page shows).
      {"a foreign page's error handler that answers false cancels the error page",
       {DISPID_NAVIGATEERROR, {Object(browser_), Text(L"http://x/"), Text(L"f"), Integer(404), Boolean(false)}, 4},
       nullptr, 1, kZEQContainerOwnPages, 0},
      {"a close refused by the handler keeps the window",
       {DISPID_WINDOWCLOSING, {Boolean(false), Boolean(false)}, 1}, "WBClose(false)", 1, 0, 0},
      {"downloads are refused without the browser-events flag",
       {DISPID_FILEDOWNLOAD, {Boolean(true), Boolean(false)}, 1}, nullptr, 1, 0, 0},
      {"with the flag a download proceeds", {DISPID_FILEDOWNLOAD, {Boolean(true), Boolean(false)}, 1}, nullptr, 0,
       0, 1},
      {"progress is reported maximum first", {DISPID_PROGRESSCHANGE, {Integer(30), Integer(100)}},
       "WBTaskProgress(100,30)", -1, 0, 1},
      {"progress -1 completes the task", {DISPID_PROGRESSCHANGE, {Integer(-1), Integer(100)}}, "WBTaskComplete()",
       -1, 0, 1},
      {"a title change is stored and raised", {DISPID_TITLECHANGE, {Text(L"New title")}},
       "WBTitleChange(New title)", -1, 0, 1},
  };
  std::vector<std::string> expected = Recorded();
  for (Case& c : cases) {
    const uint32_t options = record->options;
    record->options &= ~c.clearOptions;
    record->browserEvents = c.browserEvents;
    const uint32_t stateBefore = record->navigationState;
    Fire(sink_, &c.event);
    record->options = options;
    if (c.recorded) expected.push_back(c.recorded);
    WaitUntil([&] { return Recorded().size() >= expected.size(); }, c.recorded ? 5000 : 200);
    EXPECT_EQ(expected, Recorded()) << c.name;
    if (c.cancel >= 0) {
      EXPECT_EQ(c.cancel == 1, c.event.cancel != VARIANT_FALSE) << c.name;
    }
    if (c.event.id == DISPID_BEFORENAVIGATE2) {
      EXPECT_EQ(stateBefore, record->navigationState) << c.name;
    }
  }
  record->browserEvents = 0;
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_NE(nullptr, GetPropA(record->hostWindow, "ZEQCNAVIGATIONERROR"));
  EXPECT_STREQ("New title", record->title);
  // Every handler was handed this container's object before its values.
  EXPECT_EQ(L"[" + std::to_wstring(record->id) + L"]", container_test::PageGlobal(window_, L"containers"));
}

TEST_F(BrowserEvents, AnEmbeddedContainerStoresTheStateButRaisesNothing) {
  ZEQBASECONTAINER* record = container_.Get();
  record->browserEvents = 1;
  record->embedded = 1;
  const std::vector<std::string> before = Recorded();
  RECT placed;
  GetWindowRect(window_, &placed);
  Event visible{DISPID_ONVISIBLE, {Boolean(true)}};
  Fire(sink_, &visible);
  Event left{DISPID_WINDOWSETLEFT, {Integer(77)}};
  Fire(sink_, &left);
  Event closing{DISPID_WINDOWCLOSING, {Boolean(false), Boolean(false)}, 1};
  Fire(sink_, &closing);
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(before, Recorded());
  EXPECT_EQ(1, record->browserFlags[9]);
  EXPECT_EQ(77, record->windowState[2]);
  EXPECT_EQ(1, record->closeRequested);
  EXPECT_NE(VARIANT_FALSE, closing.cancel);
  RECT after;
  GetWindowRect(window_, &after);
  EXPECT_EQ(placed.left, after.left);
  // Not embedded, the same events are raised and the window moves.
  record->embedded = 0;
  Event shown{DISPID_ONVISIBLE, {Boolean(true)}};
  Fire(sink_, &shown);
  Event moved{DISPID_WINDOWSETLEFT, {Integer(77)}};
  Fire(sink_, &moved);
  ASSERT_TRUE(WaitUntil([&] { return Recorded().size() > before.size(); }));
  EXPECT_EQ("WBVisible(true)", Recorded().back());
  GetWindowRect(window_, &after);
  EXPECT_EQ(77, after.left);
  record->browserEvents = 0;
}

// Sets a global of the page's script to a value.
void PutGlobal(IWebBrowser2* browser, const wchar_t* name, VARIANT* value) {
  IDispatch* document = nullptr;
  ASSERT_EQ(S_OK, browser->get_Document(&document));
  IHTMLDocument2* html = nullptr;
  document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
  document->Release();
  ASSERT_NE(nullptr, html);
  IDispatch* script = nullptr;
  html->get_Script(&script);
  html->Release();
  ASSERT_NE(nullptr, script);
  IDispatchEx* scriptEx = nullptr;
  script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&scriptEx));
  script->Release();
  ASSERT_NE(nullptr, scriptEx);
  EXPECT_EQ(S_OK, DispatchExPutVariant(scriptEx, name, value));
  scriptEx->Release();
}

TEST_F(BrowserEvents, ANewWindowOpensInTheContainerTheHandlerNames) {
  container_test::PageContainer other("<html><body><script>window.external.Record('other');</script></body></html>",
                                      1);
  ASSERT_FALSE(other.Failed());
  ASSERT_TRUE(WaitUntil([&] { return other.Record()->documentComplete == 1; }));
  // First a plain script object: not a container, the window stays cancelled.
  BSTR plain = SysAllocString(L"target = {};");
  ZEQExecScript(plain, browser_);
  SysFreeString(plain);
  IDispatch* given = nullptr;
  Event refused{DISPID_NEWWINDOW3, {Boolean(false), Boolean(false), Integer(0), Text(L""), Text(L"about:x")}, 1};
  // The first two values stand for the out-parameters, made here: the new
  // window's object (by reference) and Cancel.
  auto fireWithOut = [&](Event* event) {
    VARIANT out;
    V_VT(&out) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&out) = &given;
    VARIANT cancel;
    V_VT(&cancel) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&cancel) = &event->cancel;
    VARIANT rest[3] = {event->values[4], event->values[3], event->values[2]};
    VARIANT all[5] = {rest[0], rest[1], rest[2], cancel, out};
    DISPPARAMS params = {all, nullptr, 5, 0};
    EXPECT_EQ(S_OK, sink_->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                                  nullptr));
    for (VARIANT& value : event->values) VariantClear(&value);
  };
  fireWithOut(&refused);
  EXPECT_NE(VARIANT_FALSE, refused.cancel);
  EXPECT_EQ(nullptr, given);

  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = static_cast<IDispatchEx*>(ZEQIBC(other.Container()));
  PutGlobal(browser_, L"target", &object);
  VariantClear(&object);
  Event opened{DISPID_NEWWINDOW3, {Boolean(false), Boolean(false), Integer(0), Text(L""), Text(L"about:x")}, 1};
  fireWithOut(&opened);
  EXPECT_EQ(VARIANT_FALSE, opened.cancel);
  ASSERT_NE(nullptr, given);
  IDispatch* application = nullptr;
  other.Browser()->get_Application(&application);
  EXPECT_EQ(application, given);
  if (application) application->Release();
  given->Release();
  EXPECT_EQ(1, other.Record()->browserEvents);
  EXPECT_EQ(0u, other.Record()->options & kZEQContainerOwnPages);
  EXPECT_NE(0u, other.Record()->options & WB_ALLOWSRENAVIGATION);
  EXPECT_NE(nullptr, GetPropA(ZEQGetBodyWindow(other.Window()), "WEBB_INTERNALOPENER"));
}

}  // namespace
