// A small automation object for the VARIANT tests: method "Add" (DISPID 1)
// returns the sum of its two arguments read with VariantToInt; property
// "ThreadId" (DISPID 2) returns the id of the thread that runs the call. It
// counts its references and the live instances, so tests can see that every
// reference taken was given back.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include "foundation/variant.h"

class TestDispatch : public IDispatch {
 public:
  static constexpr DISPID kAdd = 1;
  static constexpr DISPID kThreadId = 2;

  TestDispatch() { InterlockedIncrement(&live_); }
  static LONG Live() { return live_; }
  LONG References() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      InterlockedDecrement(&live_);
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count != 1) return E_INVALIDARG;
    if (lstrcmpiW(names[0], L"Add") == 0) *ids = kAdd;
    else if (lstrcmpiW(names[0], L"ThreadId") == 0) *ids = kThreadId;
    else return DISP_E_UNKNOWNNAME;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id == kAdd) {
      if (!params || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      // Arguments arrive last first.
      if (result) VariantInitInt(result, VariantToInt(&params->rgvarg[1]) + VariantToInt(&params->rgvarg[0]));
      return S_OK;
    }
    if (id == kThreadId) {
      if (result) VariantInitUInt(result, GetCurrentThreadId());
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  virtual ~TestDispatch() = default;
  volatile LONG refs_ = 1;
  static inline volatile LONG live_ = 0;
};

// An object that is not an IDispatch.
class TestUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs_); }
  LONG References() const { return refs_; }

 private:
  volatile LONG refs_ = 1;
};
