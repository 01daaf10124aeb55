// Pages come through URL monikers: res: addresses into a module's resources,
// and any protocol registered with the moniker system, as the host's own is.
#include <gtest/gtest.h>

#include <exdispid.h>
#include <urlmon.h>

#include <map>
#include <string>

#include "test_support.h"

using namespace dochost_test;

namespace {

TEST(Protocols, PagesLoadFromResAddresses) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  Harness h;
  ASSERT_TRUE(h.Load(std::wstring(L"res://") + exe + L"/RES_PAGE.HTML"));
  ASSERT_TRUE(h.sink.Has(DISPID_DOCUMENTCOMPLETE));
  EXPECT_EQ(L"yes", h.Global(L"fromResource"));
  EXPECT_EQ(L"From resource", h.sink.events[h.sink.IndexOf(DISPID_TITLECHANGE)].text);
}

// A protocol "tpage:" that serves fixed texts by path, registered for this
// process as the host registers its own scheme.
std::map<std::wstring, std::string>& Served() {
  static std::map<std::wstring, std::string> served;
  return served;
}

class PageProtocol final : public IInternetProtocol, public IInternetProtocolInfo {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IInternetProtocolRoot || iid == IID_IInternetProtocol) {
      *out = static_cast<IInternetProtocol*>(this);
      AddRef();
      return S_OK;
    }
    if (iid == IID_IInternetProtocolInfo) {
      *out = static_cast<IInternetProtocolInfo*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG r = InterlockedDecrement(&ref_);
    if (!r) delete this;
    return static_cast<ULONG>(r);
  }
  HRESULT STDMETHODCALLTYPE Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo*, DWORD,
                                  HANDLE_PTR) override {
    auto it = Served().find(url);
    if (it == Served().end()) {
      sink->ReportResult(INET_E_RESOURCE_NOT_FOUND, 0, nullptr);
      return INET_E_RESOURCE_NOT_FOUND;
    }
    data_ = it->second;
    sink->ReportProgress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html");
    sink->ReportData(BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE,
                     static_cast<ULONG>(data_.size()), static_cast<ULONG>(data_.size()));
    sink->ReportResult(S_OK, 0, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Continue(PROTOCOLDATA*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Abort(HRESULT, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Terminate(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
    ULONG n = static_cast<ULONG>(std::min<size_t>(size, data_.size() - pos_));
    memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    if (read) *read = n;
    return pos_ >= data_.size() ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRequest(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UnlockRequest() override { return S_OK; }
  // Relative references resolve against the page's folder, as the host's
  // own protocol resolves them.
  HRESULT STDMETHODCALLTYPE CombineUrl(LPCWSTR base, LPCWSTR relative, DWORD, LPWSTR result, DWORD size,
                                       DWORD* len, DWORD) override {
    std::wstring b(base);
    std::wstring combined = b.substr(0, b.rfind(L'/') + 1) + relative;
    if (combined.size() + 1 > size) return S_FALSE;
    wcscpy(result, combined.c_str());
    *len = static_cast<DWORD>(combined.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ParseUrl(LPCWSTR, PARSEACTION, DWORD, LPWSTR, DWORD, DWORD*, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT STDMETHODCALLTYPE CompareUrl(LPCWSTR, LPCWSTR, DWORD) override { return INET_E_DEFAULT_ACTION; }
  HRESULT STDMETHODCALLTYPE QueryInfo(LPCWSTR, QUERYOPTION, DWORD, LPVOID, DWORD, DWORD*, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }

 private:
  LONG ref_ = 1;
  std::string data_;
  size_t pos_ = 0;
};

class PageProtocolFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    PageProtocol* p = new PageProtocol();
    HRESULT hr = p->QueryInterface(iid, out);
    p->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST(Protocols, PagesAndTheirScriptsLoadThroughARegisteredProtocol) {
  static PageProtocolFactory factory;
  const CLSID clsid = {0x0b9c7e61, 0x58d2, 0x4c1f, {0x9a, 0x43, 0x6e, 0x21, 0x0d, 0x7f, 0x35, 0x18}};
  IInternetSession* session = nullptr;
  ASSERT_EQ(S_OK, CoInternetGetSession(0, &session, 0));
  ASSERT_EQ(S_OK, session->RegisterNameSpace(&factory, clsid, L"tpage", 0, nullptr, 0));
  Served()[L"tpage:app/main.html"] =
      "<title>Served</title><script src='lib/code.js'></script><script>var total = base + 1;</script>";
  Served()[L"tpage:app/lib/code.js"] = "var base = 41;";
  {
    Harness h;
    ASSERT_TRUE(h.Load(L"tpage:app/main.html"));
    EXPECT_EQ(L"42", h.Global(L"total"));
  }
  session->UnregisterNameSpace(&factory, L"tpage");
  session->Release();
}

}  // namespace
