// The "zeq:" protocol object: its life, the download (Start, Read,
// Continue) and the sink it stands in for.
#include "host/zeq_protocol.h"

#include <cstring>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/process_state.h"
#include "foundation/text.h"
#include "host/containers.h"
#include "host/js_array.h"
#include "host/script_calls.h"
#include "package/vfs.h"

namespace {

// Container option: its pages may use the host object ("zeq").
constexpr uint32_t kContainerAllowsHost = 0x100000;
// Error codes of "ZEQOnImportFileError": the file is missing, or it exists
// but could not be served.
constexpr uint32_t kImportFileMissing = 0x80000010u;
constexpr uint32_t kImportFileRefused = 0x80000013u;
constexpr uint32_t kDeliverFlags = 0x200;
constexpr uint32_t kDeliverCancelled = 0x2002;

constexpr char kCharset[] = ";charset=utf-8";

}  // namespace

void* CZEQAPP::operator new(size_t size) { return HeapAllocZ(size); }
void CZEQAPP::operator delete(void* block) { HeapFreeZ(block); }

CZEQAPP* CZEQAPP::New() { return new CZEQAPP(); }

CZEQAPP::~CZEQAPP() {
  HeapFreeZ(content_);
  HeapFreeZ(url_);
  // A download that ends without Terminate gives its sink back here.
  if (sink_) sink_->Release();
}

HRESULT CZEQAPP::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IInternetProtocolRoot || iid == IID_IInternetProtocol) {
    *out = static_cast<IInternetProtocol*>(this);
  } else if (iid == IID_IInternetProtocolSink) {
    *out = static_cast<IInternetProtocolSink*>(this);
  } else if (iid == IID_IInternetProtocolInfo) {
    *out = static_cast<IInternetProtocolInfo*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("CZEQAPP::QueryInterface")

ULONG CZEQAPP::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CZEQAPP::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT CZEQAPP::Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo*, DWORD flags, HANDLE_PTR) try {
  if (flags & PI_PARSE_URL) return S_OK;
  if (!sink) return E_POINTER;
  sink->AddRef();
  if (sink_) sink_->Release();
  sink_ = sink;

  char* text = WideToAnsiDup(url ? url : L"", 3);
  HeapFreeZ(url_);
  url_ = text;
  HeapFreeZ(content_);
  content_ = nullptr;
  contentSize_ = 0;
  position_ = 0;

  if (!KESTOPreParseData(&contentSize_, &content_, sink, url_)) {
    content_ = nullptr;
    contentSize_ = 0;
    // The failure reaches page script from Continue, on the browser's turn.
    PROTOCOLDATA data = {};
    data.grfFlags = PD_FORCE_SWITCH;
    // A sink that cannot switch threads (it answers with a failure) would
    // leave the download waiting for ever: Continue then runs at once.
    if (FAILED(sink->Switch(&data))) Continue(&data);
    return S_OK;
  }

  const wchar_t* shown = url ? url : L"";
  sink->ReportProgress(BINDSTATUS_CACHECONTROL, shown);
  sink->ReportProgress(BINDSTATUS_FINDINGRESOURCE, shown);
  sink->ReportProgress(BINDSTATUS_CONNECTING, shown);
  sink->ReportProgress(BINDSTATUS_SENDINGREQUEST, shown);
  char type[128 + sizeof(kCharset)] = {};
  if (GetMimeTypeByExtension(type, url_, 128) && type[0]) {
    if (!StrStrNoCase(type, "charset")) strcat(type, kCharset);
    BSTR mime = AnsiToBSTR(type);
    sink->ReportProgress(BINDSTATUS_MIMETYPEAVAILABLE, mime);
    SysFreeString(mime);
  }
  sink->ReportData(BSCF_DATAFULLYAVAILABLE, contentSize_, contentSize_);
  sink->ReportResult(S_OK, 0, nullptr);
  return S_OK;
} ZEQ_COM_CATCH("CZEQAPP::Start")

HRESULT CZEQAPP::Continue(PROTOCOLDATA*) try {
  HWND container = ZEQFindDownloadContainer(sink_);
  ZEQWindowContainer record = {};
  if (container && ZEQGetWindowContainer(container, &record) && (record.options & kContainerAllowsHost)) {
    const uint32_t code = PathFileExistsExt(url_) ? kImportFileRefused : kImportFileMissing;
    JSArray arguments;
    arguments.Init();
    arguments.AppendStringA(url_);
    arguments.AppendUInt(code);
    // The minimal container record knows no parent container, so a page
    // that is not ready to take the event does not pass it upwards.
    const uint32_t delivered = ZEQDeliverAPCWithArgs(container, L"ZEQOnImportFileError", &arguments, nullptr,
                                                     kDeliverFlags, nullptr, 0, nullptr, container);
    arguments.Destroy();
    if (delivered == kDeliverCancelled) KESTOTerminate();
  }
  if (sink_) sink_->ReportResult(S_FALSE, 0, nullptr);
  return S_OK;
} ZEQ_COM_CATCH("CZEQAPP::Continue")

HRESULT CZEQAPP::Abort(HRESULT, DWORD) { return S_OK; }

HRESULT CZEQAPP::Terminate(DWORD) try {
  // The sink is given back once; a second Terminate has nothing to release.
  if (sink_) {
    IInternetProtocolSink* sink = sink_;
    sink_ = nullptr;
    sink->Release();
  }
  return S_OK;
} ZEQ_COM_CATCH("CZEQAPP::Terminate")

HRESULT CZEQAPP::Suspend() { return E_NOTIMPL; }
HRESULT CZEQAPP::Resume() { return E_NOTIMPL; }

HRESULT CZEQAPP::Read(void* buffer, ULONG count, ULONG* read) {
  if (position_ >= contentSize_) return S_FALSE;
  const uint32_t n = count < contentSize_ - position_ ? count : contentSize_ - position_;
  if (n && !buffer) return E_POINTER;
  if (n) std::memcpy(buffer, content_ + position_, n);
  position_ += n;
  if (read) *read = n;
  return S_OK;
}

HRESULT CZEQAPP::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT CZEQAPP::LockRequest(DWORD) { return S_OK; }
HRESULT CZEQAPP::UnlockRequest() { return S_OK; }

HRESULT CZEQAPP::CompareUrl(LPCWSTR, LPCWSTR, DWORD) { return INET_E_DEFAULT_ACTION; }
HRESULT CZEQAPP::QueryInfo(LPCWSTR, QUERYOPTION, DWORD, LPVOID, DWORD, DWORD*, DWORD) {
  return INET_E_DEFAULT_ACTION;
}

// The sink table stands in for the sink given to Start; without one (before
// Start, after Terminate) there is nobody to pass the call to.
HRESULT CZEQAPP::Switch(PROTOCOLDATA* data) { return sink_ ? sink_->Switch(data) : E_UNEXPECTED; }
HRESULT CZEQAPP::ReportProgress(ULONG status, LPCWSTR text) {
  return sink_ ? sink_->ReportProgress(status, text) : E_UNEXPECTED;
}
HRESULT CZEQAPP::ReportData(DWORD flags, ULONG progress, ULONG maximum) {
  return sink_ ? sink_->ReportData(flags, progress, maximum) : E_UNEXPECTED;
}
HRESULT CZEQAPP::ReportResult(HRESULT result, DWORD error, LPCWSTR text) {
  return sink_ ? sink_->ReportResult(result, error, text) : E_UNEXPECTED;
}

HRESULT CZEQAPP::QueryOption(DWORD, LPVOID, DWORD*) { return S_OK; }

HWND ZEQFindDownloadContainer(IInternetProtocolSink* sink) {
  if (!sink) return nullptr;
  IServiceProvider* services = nullptr;
  if (FAILED(sink->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))) || !services) {
    return nullptr;
  }
  IWindowForBindingUI* binding = nullptr;
  HWND window = nullptr;
  if (SUCCEEDED(services->QueryService(IID_IWindowForBindingUI, IID_IWindowForBindingUI,
                                       reinterpret_cast<void**>(&binding))) &&
      binding) {
    if (FAILED(binding->GetWindow(IID_IAuthenticate, &window))) window = nullptr;
    binding->Release();
  }
  services->Release();
  const DWORD self = GetCurrentProcessId();
  for (HWND at = window; at; at = GetAncestor(at, GA_PARENT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(at, &owner);
    if (owner != self) break;
    if (ZEQGetWindowContainer(at, nullptr)) return at;
  }
  return nullptr;
}
