// Behavior events: the calls made on the behavior's site, recorded in order
// and compared with one expected table per road (through the site, as a
// member call of the element, posted to the host window).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/result_codes.h"
#include "foundation/variant.h"
#include "host/behavior_events.h"
#include "script_host.h"

using namespace host_test;

namespace {

// A behavior site that records what is asked of it; it knows the events
// named in its cookie table and answers a fired one by setting the event
// object's returnValue.
class RecordingSite final : public IElementBehaviorSite, public IElementBehaviorSiteOM {
 public:
  RecordingSite(IHTMLDocument2* document, IHTMLElement* element, std::vector<std::wstring> known)
      : document_(document), element_(element), known_(std::move(known)) {}
  std::vector<std::wstring> calls;
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IElementBehaviorSite))) {
      *out = static_cast<IElementBehaviorSite*>(this);
    } else if (IsEqualIID(iid, __uuidof(IElementBehaviorSiteOM))) {
      *out = static_cast<IElementBehaviorSiteOM*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  HRESULT STDMETHODCALLTYPE GetElement(IHTMLElement** element) override {
    calls.push_back(L"GetElement");
    *element = element_;
    element_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterNotification(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterEvent(LPOLESTR, LONG, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEventCookie(LPOLESTR name, LONG* cookie) override {
    calls.push_back(std::wstring(L"GetEventCookie ") + name);
    for (size_t i = 0; i < known_.size(); ++i) {
      if (known_[i] == name) {
        *cookie = static_cast<LONG>(100 + i);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE FireEvent(LONG cookie, IHTMLEventObj* event) override {
    calls.push_back(L"FireEvent " + std::to_wstring(cookie));
    IHTMLEventObj2* event2 = nullptr;
    VARIANT carried;
    VariantInit(&carried);
    if (SUCCEEDED(event->QueryInterface(IID_IHTMLEventObj2, reinterpret_cast<void**>(&event2)))) {
      BSTR name = SysAllocString(L"ZEQData");
      event2->getAttribute(name, 0, &carried);
      SysFreeString(name);
      event2->Release();
    }
    VARIANT answer;
    VariantInitInt(&answer, VariantToInt(&carried) * 10);
    event->put_returnValue(answer);
    VariantClear(&carried);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateEventObject(IHTMLEventObj** event) override {
    calls.push_back(L"CreateEventObject");
    IHTMLDocument4* document = nullptr;
    document_->QueryInterface(IID_IHTMLDocument4, reinterpret_cast<void**>(&document));
    HRESULT hr = document->createEventObject(nullptr, event);
    document->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE RegisterName(LPOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterUrn(LPOLESTR) override { return E_NOTIMPL; }

 private:
  IHTMLDocument2* document_;
  IHTMLElement* element_;
  std::vector<std::wstring> known_;
};

class BehaviorEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.Run(L"document.body.innerHTML = '<div id=\"b\"></div>'; var got = [];"
                          L"document.getElementById('b').ZEQOnPing = function (x) { got.push(x); return x + 1; };"));
    IHTMLDocument3* document = nullptr;
    ASSERT_EQ(S_OK, host_.Browser().Doc()->QueryInterface(IID_IHTMLDocument3, reinterpret_cast<void**>(&document)));
    BSTR id = SysAllocString(L"b");
    document->getElementById(id, &element_);
    SysFreeString(id);
    document->Release();
    ASSERT_TRUE(element_);
    site_ = new RecordingSite(host_.Browser().Doc(), element_, {L"ZEQOnKnown"});
  }
  void TearDown() override {
    delete site_;
    if (element_) element_->Release();
  }
  ZEQBehaviorEventTarget Target() { return {nullptr, site_, host_.Owner()}; }
  ScriptHost host_;
  IHTMLElement* element_ = nullptr;
  RecordingSite* site_ = nullptr;
};

TEST_F(BehaviorEvents, AnEventTheSiteKnowsIsFiredThroughIt) {
  VARIANT argument, answer;
  VariantInitInt(&argument, 4);
  EXPECT_TRUE(ZEQFireBehaviorEventEx(Target(), "ZEQOnKnown", "ZEQData", &argument, &answer));
  EXPECT_EQ(40, VariantToInt(&answer));
  const std::vector<std::wstring> expected = {L"CreateEventObject", L"GetEventCookie ZEQOnKnown", L"FireEvent 100"};
  EXPECT_EQ(expected, site_->calls);
  VariantClear(&answer);
}

TEST_F(BehaviorEvents, AnEventTheSiteDoesNotKnowCallsTheElementsMember) {
  VARIANT argument, answer;
  VariantInitInt(&argument, 6);
  EXPECT_TRUE(ZEQFireBehaviorEventEx(Target(), "ZEQOnPing", nullptr, &argument, &answer));
  EXPECT_EQ(7, VariantToInt(&answer));
  EXPECT_EQ(L"6", host_.Eval(L"got.join()"));
  const std::vector<std::wstring> expected = {L"CreateEventObject", L"GetEventCookie ZEQOnPing", L"GetElement"};
  EXPECT_EQ(expected, site_->calls);
  VariantClear(&answer);

  // Nobody answers an unknown name: not fired, the answer stays the preset.
  EXPECT_FALSE(ZEQFireBehaviorEventEx(Target(), "ZEQOnNobody", nullptr, nullptr, &answer));
  EXPECT_EQ(VT_EMPTY, V_VT(&answer));
  ZEQBehaviorEventTarget siteless{nullptr, nullptr, host_.Owner()};
  EXPECT_FALSE(ZEQFireBehaviorEventEx(siteless, "ZEQOnPing", nullptr, nullptr, &answer));
}

TEST_F(BehaviorEvents, APostedEventIsFiredWhenTheHostWindowTakesIt) {
  VARIANT argument;
  VariantInitInt(&argument, 9);
  EXPECT_TRUE(ZEQFireBehaviorEvent(Target(), "ZEQOnPing", nullptr, &argument, nullptr, kZEQBehaviorEventPosted));
  EXPECT_EQ(L"", host_.Eval(L"got.join()")) << "nothing happens before the message is taken";
  EXPECT_EQ(2, site_->refs) << "the posted record holds the site";
  MSG msg;
  bool taken = false;
  for (DWORD start = GetTickCount(); !taken && GetTickCount() - start < 5000; Sleep(10)) {
    while (PeekMessageW(&msg, host_.Owner(), ZEQBehaviorEventMessage(), ZEQBehaviorEventMessage(), PM_REMOVE)) {
      ZEQReceiveBehaviorEvent(msg.lParam);
      taken = true;
    }
  }
  ASSERT_TRUE(taken);
  EXPECT_EQ(L"9", host_.Eval(L"got.join()"));
  EXPECT_EQ(1, site_->refs) << "the record was freed";
  EXPECT_EQ(0, ZEQReceiveBehaviorEvent(0));
}

}  // namespace
