// Test support for the "zeq:" scheme: reading an address through the
// platform's URL monikers (an asynchronous binding with a bounded pumping
// wait, as the document host binds), a protocol sink that records what the
// protocol object reports and leads to a container window, and mounted
// content under a test package root.
#pragma once
#include <windows.h>
#include <urlmon.h>

#include <string>
#include <vector>

namespace zeq_test {

// The folder under which the tests mount files, and the package root they
// set (the application package's own folder).
constexpr char kRoot[] = "C:\\ZEQTESTVFS\\app";
constexpr wchar_t kRootW[] = L"C:\\ZEQTESTVFS\\app";

// "zeq:" + kRoot + "\" + name, narrow and wide.
std::string Address(const std::string& name);
std::wstring AddressW(const std::string& name);
// Mounts text under kRoot + "\" + name.
void Mount(const std::string& name, const std::string& text);

// What a binding saw.
struct Fetched {
  HRESULT bindResult = E_PENDING;  // of OnStopBinding, or the failure of the bind
  bool stopped = false;
  std::string bytes;
  std::vector<std::wstring> mimeTypes;  // every BINDSTATUS_MIMETYPEAVAILABLE text
};
// Reads an address through a URL moniker; waits at most timeoutMs.
Fetched FetchUrl(const std::wstring& url, HWND bindingWindow = nullptr, DWORD timeoutMs = 10000);

// A protocol sink for driving the protocol object directly: records every
// call and, through IServiceProvider, gives a window for binding UI.
class RecordingSink final : public IInternetProtocolSink, public IServiceProvider, public IWindowForBindingUI {
 public:
  explicit RecordingSink(HWND window = nullptr) : window_(window) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&references)); }
  HRESULT STDMETHODCALLTYPE Switch(PROTOCOLDATA* data) override;
  HRESULT STDMETHODCALLTYPE ReportProgress(ULONG status, LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE ReportData(DWORD flags, ULONG progress, ULONG maximum) override;
  HRESULT STDMETHODCALLTYPE ReportResult(HRESULT result, DWORD error, LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE GetWindow(REFGUID reason, HWND* window) override;

  // References held by others (the test holds none).
  volatile LONG references = 0;
  std::vector<ULONG> progress;        // statuses in order
  std::vector<std::wstring> texts;    // their texts
  std::vector<DWORD> switches;        // grfFlags of each Switch
  std::vector<HRESULT> results;       // of each ReportResult
  HRESULT switchAnswer = S_OK;        // what Switch answers
  DWORD dataFlags = 0;
  ULONG dataProgress = 0, dataMaximum = 0;
  int dataCalls = 0;

 private:
  HWND window_;
};

// Everything an object serves, read with Read until S_FALSE.
std::string ReadAll(IInternetProtocol* protocol);

}  // namespace zeq_test
