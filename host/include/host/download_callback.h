// The bind-status callback of file downloads: URLMON calls it while a URL
// moniker is bound to storage, and it writes each block of received data
// into the output file. A block that cannot be written (no output file, a
// virtual file, a failed write) ends the download as a write failure; only
// written bytes count as received.
#pragma once
#include <windows.h>
#include <urlmon.h>

#include <cstdint>

#include "host/property_store.h"
#include "windows/records.h"

constexpr uint32_t ZEQERROR_WRITING = 604;
// Bind flags asked for: asynchronous, asynchronous storage, newest version,
// pulled data, no user interface.
constexpr DWORD kZEQDownloadBindFlags = 0x893;

class CZEQBindStatusCallback final : public IBindStatusCallback,
                                     public IHttpNegotiate,
                                     public IAuthenticate,
                                     public IServiceProvider {
 public:
  // One reference for the caller.
  static CZEQBindStatusCallback* Create();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG maximum, ULONG status, LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }
  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* headers) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD, LPCWSTR, LPCWSTR, LPWSTR* headers) override;
  // IAuthenticate
  HRESULT STDMETHODCALLTYPE Authenticate(HWND*, LPWSTR*, LPWSTR*) override { return S_OK; }
  // IServiceProvider
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;

  // The downloader's side. The file handle belongs to the callback from
  // here on (closed when it is destroyed).
  void SetOutputFile(HANDLE file, const char* fileName);
  void SetContainer(const ZEQContainerHolder& container) { container_.ShareFrom(container); }
  // Signalled when the binding has stopped (the downloader's loop waits on
  // it); the callback does not own it.
  void SetStopEvent(HANDLE event) { stopEvent_ = event; }

  uint32_t BytesReceived() const { return bytesReceived_; }
  bool Failed() const { return failed_ != 0; }
  uint32_t ErrorCode() const { return errorCode_; }
  bool Stopped() const { return stopped_ != 0; }
  HRESULT StopResult() const { return stopResult_; }
  const ZEQPropertyStoreHolder& Properties() const { return properties_; }

 private:
  CZEQBindStatusCallback();
  ~CZEQBindStatusCallback();
  bool WriteBlock(const void* data, DWORD length);

  ZEQPropertyStoreHolder properties_;
  ZEQContainerHolder container_;
  volatile LONG references_ = 1;
  IBinding* binding_ = nullptr;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  uint32_t bytesReceived_ = 0;
  uint32_t failed_ = 0;
  uint32_t errorCode_ = 0;
  char* fileName_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  volatile LONG stopped_ = 0;
  HRESULT stopResult_ = S_OK;
};
