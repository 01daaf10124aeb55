// The "zeq:" URL scheme: every page, script, style sheet and picture that a
// container's browser shows is read through it from the mounted application
// package, in-memory loader texts or loose files.
//
// CZEQAPP is the pluggable protocol object that the URL moniker machinery
// creates for each "zeq:" request (through CZEQAPPFactory, registered as a
// name-space handler of the internet session). Start produces the whole
// content at once (KESTOPreParseData) and Read hands it out; a content that
// cannot be produced is reported through a forced Switch, and Continue then
// raises "ZEQOnImportFileError" in the container's page. ParseUrl gives the
// security URL of an address (which zone and origin it belongs to) and
// CombineUrl resolves relative references of "zeq:" pages.
#pragma once
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdint>

class CZEQAPP final : public IInternetProtocol,
                      public IInternetProtocolInfo,
                      public IInternetProtocolSink,
                      public IWinInetInfo {
 public:
  // A new object with one reference, on the process heap.
  static CZEQAPP* New();

  // IUnknown. IWinInetInfo is refused although the object carries it.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IInternetProtocolRoot / IInternetProtocol.
  HRESULT STDMETHODCALLTYPE Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD flags,
                                  HANDLE_PTR reserved) override;
  HRESULT STDMETHODCALLTYPE Continue(PROTOCOLDATA* data) override;
  HRESULT STDMETHODCALLTYPE Abort(HRESULT reason, DWORD options) override;
  HRESULT STDMETHODCALLTYPE Terminate(DWORD options) override;
  HRESULT STDMETHODCALLTYPE Suspend() override;
  HRESULT STDMETHODCALLTYPE Resume() override;
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE LockRequest(DWORD options) override;
  HRESULT STDMETHODCALLTYPE UnlockRequest() override;

  // IInternetProtocolInfo.
  HRESULT STDMETHODCALLTYPE ParseUrl(LPCWSTR url, PARSEACTION action, DWORD flags, LPWSTR result, DWORD size,
                                     DWORD* length, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE CombineUrl(LPCWSTR base, LPCWSTR relative, DWORD flags, LPWSTR result, DWORD size,
                                       DWORD* length, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE CompareUrl(LPCWSTR first, LPCWSTR second, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE QueryInfo(LPCWSTR url, QUERYOPTION option, DWORD flags, LPVOID buffer, DWORD size,
                                      DWORD* length, DWORD reserved) override;

  // IInternetProtocolSink: each call goes to the sink given to Start.
  HRESULT STDMETHODCALLTYPE Switch(PROTOCOLDATA* data) override;
  HRESULT STDMETHODCALLTYPE ReportProgress(ULONG status, LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE ReportData(DWORD flags, ULONG progress, ULONG maximum) override;
  HRESULT STDMETHODCALLTYPE ReportResult(HRESULT result, DWORD error, LPCWSTR text) override;

  // IWinInetInfo: answers S_OK and writes nothing.
  HRESULT STDMETHODCALLTYPE QueryOption(DWORD option, LPVOID buffer, DWORD* size) override;

  static void* operator new(size_t size);
  static void operator delete(void* block);

 private:
  CZEQAPP() = default;
  ~CZEQAPP();

  volatile LONG references_ = 1;
  IInternetProtocolSink* sink_ = nullptr;  // one reference, from Start to Terminate
  uint32_t contentSize_ = 0;
  uint8_t* content_ = nullptr;  // process heap, the object's
  uint32_t position_ = 0;
  char* url_ = nullptr;  // the requested address (ANSI), process heap
};

// The class object that makes CZEQAPP objects.
class CZEQAPPFactory final : public IClassFactory {
 public:
  static CZEQAPPFactory* New();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // An outer object is refused with CLASS_E_NOAGGREGATION unless IUnknown
  // is asked for; the outer object is never used.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  static void* operator new(size_t size);
  static void operator delete(void* block);

 private:
  CZEQAPPFactory() = default;
  ~CZEQAPPFactory() = default;
  volatile LONG references_ = 1;
};

// Registers the "zeq" scheme for this process (a temporary name-space
// handler of the internet session); the session and the factory are held
// until ZEQUnregisterProtocol. Registering twice keeps the first
// registration. The HRESULT of the session on failure.
HRESULT ZEQRegisterProtocol();
// Unregisters the scheme and releases the factory and the session; nothing
// when it is not registered.
void ZEQUnregisterProtocol();

// The one rule on which "zeq:" addresses stand for content of this machine
// (a file of the mounted application package, a loader text, a file of this
// machine) and may therefore be trusted as local-machine content: after the
// "zeq:" prefix (any case), a drive letter and colon, also as a file URL
// without a host ("file:C:\...", "file:///C:/..."). A share of another
// machine ("zeq:\\server\share", "zeq:file://server/...") is a network
// file, not local; an address that stands for a remote URL ("zeq:http:",
// "zeq:https:", "zeq:www.", "zeq://host/...") is not local, nor is any
// address without the prefix. The zone mapping (ZEQMapAddressToZone), the
// pre-processing of served content and ParseUrl's security URL all follow it.
bool ZEQAddressIsLocalContent(const wchar_t* url);

// The zone mapping of a security manager for "zeq:" addresses: local
// content is of the local machine (S_OK); every other address answers
// INET_E_DEFAULT_ACTION, so that remote content keeps the zone of its own
// security URL (ParseUrl) and other schemes the browser's own zones.
HRESULT ZEQMapAddressToZone(const wchar_t* url, DWORD* zone);

// The content of a "zeq:" address (ANSI text), produced whole: the loader
// text of an in-memory "\load\mm\" address, a mounted file or any file the
// virtual file system can read, decoded when it is a package-encoded file;
// script, markup and layered-image definitions pre-processed as loaded
// documents (ZEQPreprocessContent); the loader style sheet, the loader
// block and the system font values put in where they belong. On success *content is a zero-terminated
// process-heap block of *size bytes that the caller owns; FALSE (nothing
// handed over) when the content cannot be produced or may not be served.
// sink (optional) leads to the container of the download.
BOOL KESTOPreParseData(uint32_t* size, uint8_t** content, IInternetProtocolSink* sink, const char* url);

// The container window of a download: the window that the sink's services
// give for binding UI (IWindowForBindingUI), or its nearest ancestor of this
// process that is registered as a container. NULL when there is none.
HWND ZEQFindDownloadContainer(IInternetProtocolSink* sink);
