// Small owning wrappers for COM pointers, BSTRs and VARIANTs, used inside the
// document host only.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace dochost {

template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(T* p) : p_(p) {  // NOLINT: adopts with an added reference
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~Ref() { Reset(); }
  Ref& operator=(const Ref& o) {
    Ref tmp(o);
    std::swap(p_, tmp.p_);
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  // Takes over a reference the caller already owns.
  static Ref Adopt(T* p) {
    Ref r;
    r.p_ = p;
    return r;
  }
  void Reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Out-parameter form: releases what is held first.
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  // Hands the reference to the caller.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  template <typename U>
  Ref<U> As(REFIID iid) const {
    Ref<U> r;
    if (p_) p_->QueryInterface(iid, r.OutVoid());
    return r;
  }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR Get() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR Detach() {
    BSTR b = b_;
    b_ = nullptr;
    return b;
  }
  std::wstring Str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

 private:
  BSTR b_ = nullptr;
};

class Var {
 public:
  Var() { VariantInit(&v_); }
  Var(const Var& o) {
    VariantInit(&v_);
    VariantCopy(&v_, const_cast<VARIANT*>(&o.v_));
  }
  Var& operator=(const Var& o) {
    if (this != &o) {
      VariantClear(&v_);
      VariantCopy(&v_, const_cast<VARIANT*>(&o.v_));
    }
    return *this;
  }
  ~Var() { VariantClear(&v_); }
  VARIANT* Get() { return &v_; }
  const VARIANT* Get() const { return &v_; }
  VARIANT* Out() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

// BSTR copy of a wide text for an out parameter; E_POINTER for a null out.
HRESULT ReturnBstr(const std::wstring& s, BSTR* out);
// VT_BSTR VARIANT from a wide text.
void SetVariantString(VARIANT* v, const std::wstring& s);
// The variant's text (numbers and booleans converted); empty when it has none.
std::wstring VariantText(const VARIANT* v);
// The variant's integer value; fallback when it cannot be converted.
long VariantLong(const VARIANT* v, long fallback);
// The object of a VT_DISPATCH or VT_UNKNOWN variant (by reference too), with
// a reference for the caller; null for other types.
IDispatch* VariantDispatch(const VARIANT* v);

std::wstring Lower(std::wstring s);
std::wstring Upper(std::wstring s);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
std::wstring Utf8ToWide(const char* s, size_t n);
std::string WideToUtf8(const std::wstring& s);
std::wstring Trim(const std::wstring& s);

}  // namespace dochost
