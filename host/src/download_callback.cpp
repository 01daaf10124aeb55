// The bind-status callback of file downloads.
#include "host/download_callback.h"

#include <new>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/records.h"

namespace {

constexpr DWORD kBlockSize = 16384;
constexpr char kVirtualFileTag[] = "+KESTOVFSHANDLE";

}  // namespace

CZEQBindStatusCallback* CZEQBindStatusCallback::Create() {
  void* block = HeapAllocZ(sizeof(CZEQBindStatusCallback));
  try {
    return new (block) CZEQBindStatusCallback();
  } catch (...) {
    HeapFreeZ(block);
    throw;
  }
}

CZEQBindStatusCallback::CZEQBindStatusCallback() { ZEQNewPropertyStore(&properties_); }

CZEQBindStatusCallback::~CZEQBindStatusCallback() {
  if (output_ && output_ != INVALID_HANDLE_VALUE && !IsTaggedRecord(output_, 80, kVirtualFileTag)) {
    CloseHandle(output_);
  }
  output_ = INVALID_HANDLE_VALUE;
  HeapFreeZ(fileName_);
  fileName_ = nullptr;
  if (binding_) binding_->Release();
  binding_ = nullptr;
}

HRESULT CZEQBindStatusCallback::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
    *out = static_cast<IBindStatusCallback*>(this);
  } else if (IsEqualIID(iid, IID_IAuthenticate)) {
    *out = static_cast<IAuthenticate*>(this);
  } else if (IsEqualIID(iid, IID_IServiceProvider)) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CZEQBindStatusCallback::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CZEQBindStatusCallback::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left <= 0) {
    this->~CZEQBindStatusCallback();
    HeapFreeZ(this);
    return 0;
  }
  return static_cast<ULONG>(left);
}

HRESULT CZEQBindStatusCallback::OnStartBinding(DWORD, IBinding* binding) {
  if (binding) binding->AddRef();
  if (binding_) binding_->Release();
  binding_ = binding;
  return S_OK;
}

HRESULT CZEQBindStatusCallback::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) {
  // The download's script events are raised by the network services; the
  // binding goes on.
  return S_OK;
}

HRESULT CZEQBindStatusCallback::OnStopBinding(HRESULT result, LPCWSTR) {
  stopResult_ = result;
  if (binding_) binding_->Release();
  binding_ = nullptr;
  InterlockedExchange(&stopped_, 1);
  if (stopEvent_) SetEvent(stopEvent_);
  return S_OK;
}

HRESULT CZEQBindStatusCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
  if (!flags || !info || info->cbSize == 0) return E_INVALIDARG;
  *flags = kZEQDownloadBindFlags;
  // Never more than the caller's record holds.
  const DWORD size = info->cbSize < sizeof(BINDINFO) ? info->cbSize : static_cast<DWORD>(sizeof(BINDINFO));
  ZeroMemory(info, size);
  info->cbSize = size;
  return S_OK;
}

bool CZEQBindStatusCallback::WriteBlock(const void* data, DWORD length) {
  if (!output_ || output_ == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // A virtual file of the package can never receive a download.
  if (IsTaggedRecord(output_, 80, kVirtualFileTag)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD written = 0;
  return WriteFile(output_, data, length, &written, nullptr) && written == length;
}

HRESULT CZEQBindStatusCallback::OnDataAvailable(DWORD flags, DWORD, FORMATETC*, STGMEDIUM* medium) {
  return ZEQGuardedComCall("CZEQBindStatusCallback::OnDataAvailable", [&]() -> HRESULT {
    if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return E_INVALIDARG;
    auto buffer = static_cast<BYTE*>(HeapAllocZ(kBlockSize));
    HRESULT answer = S_OK;
    for (;;) {
      ULONG read = 0;
      const HRESULT hr = medium->pstm->Read(buffer, kBlockSize, &read);
      if (read > 0) {
        if (!WriteBlock(buffer, read)) {
          failed_ = 1;
          errorCode_ = ZEQERROR_WRITING;
          if (binding_) binding_->Abort();
          HeapFreeZ(buffer);
          return S_FALSE;
        }
        bytesReceived_ += read;
      }
      if (hr == E_PENDING || hr == S_FALSE || FAILED(hr) || read == 0) {
        answer = (flags & BSCF_LASTDATANOTIFICATION) ? S_OK : hr;
        break;
      }
    }
    HeapFreeZ(buffer);
    return answer;
  });
}

HRESULT CZEQBindStatusCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* headers) {
  if (headers) *headers = nullptr;
  return S_OK;
}

HRESULT CZEQBindStatusCallback::OnResponse(DWORD, LPCWSTR, LPCWSTR, LPWSTR* headers) {
  if (headers) *headers = nullptr;
  return S_OK;
}

HRESULT CZEQBindStatusCallback::QueryService(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (!IsEqualGUID(service, IID_IHttpNegotiate) || !IsEqualIID(iid, IID_IHttpNegotiate)) return E_NOINTERFACE;
  *out = static_cast<IHttpNegotiate*>(this);
  AddRef();
  return S_OK;
}

void CZEQBindStatusCallback::SetOutputFile(HANDLE file, const char* fileName) {
  if (output_ && output_ != INVALID_HANDLE_VALUE && output_ != file) CloseHandle(output_);
  output_ = file;
  HeapFreeZ(fileName_);
  fileName_ = fileName ? StrDupExtra(fileName, 0) : nullptr;
}
