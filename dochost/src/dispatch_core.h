// Script access to the document host's objects. Each object answers
// IDispatchEx over its dual HTML interfaces, whose names and calls come from
// the platform's MSHTML type library (ITypeInfo::GetIDsOfNames and
// ITypeInfo::Invoke on the object's own interface pointers), plus expando
// members that script adds. Event properties ("onclick", "onload" ...) are
// kept as stored values so that script can set handlers on any object.
#pragma once
#include <windows.h>
#include <dispex.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "com_util.h"

namespace dochost {

// DISPID ranges of members that are not in the type library.
constexpr DISPID kCollectionIndexFirst = 1000000;  // numeric names of collections
constexpr DISPID kCollectionIndexLast = 2999999;
constexpr DISPID kExpandoFirst = 3000000;  // expandos of the generic store
constexpr DISPID kExpandoLast = 3999999;
constexpr DISPID kSpecialFirst = 4000000;  // members an object maps itself
constexpr DISPID kSpecialLast = 4999999;

// Type information of an MSHTML interface (the vtable part of a dual
// interface); null when the type library is unavailable. Shared by every
// thread and never released.
ITypeInfo* MshtmlTypeInfo(REFIID iid);
// The name of a member of that interface, or empty.
std::wstring MshtmlMemberName(REFIID iid, DISPID id);

// One dual interface of an object: its identifier and the object's pointer
// for it.
struct DispatchFace {
  const IID* iid;
  void* self;
};

class DispatchCore {
 public:
  // What an object adds to the generic look-up: faces, and members of its own
  // (attributes of an element, items of a collection, globals of a window).
  class Owner {
   public:
    virtual size_t Faces(DispatchFace* out, size_t max) = 0;
    // S_OK with an id in the special range, or DISP_E_UNKNOWNNAME.
    virtual HRESULT OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) {
      (void)name;
      (void)grfdex;
      (void)id;
      return DISP_E_UNKNOWNNAME;
    }
    virtual HRESULT OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                              IServiceProvider* caller) {
      (void)id;
      (void)flags;
      (void)params;
      (void)result;
      (void)ei;
      (void)caller;
      return DISP_E_MEMBERNOTFOUND;
    }
    virtual std::wstring OwnName(DISPID id) {
      (void)id;
      return std::wstring();
    }
    // The object that "this" means when a stored function is called.
    virtual IDispatch* ThisObject() = 0;

   protected:
    ~Owner() = default;
  };

  DispatchCore() = default;
  DispatchCore(const DispatchCore&) = delete;
  DispatchCore& operator=(const DispatchCore&) = delete;
  ~DispatchCore();

  HRESULT GetDispID(Owner& owner, BSTR name, DWORD grfdex, DISPID* id);
  HRESULT InvokeEx(Owner& owner, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* ei, IServiceProvider* caller);
  HRESULT GetIDsOfNames(Owner& owner, LPOLESTR* names, UINT count, DISPID* ids);
  HRESULT GetTypeInfo(Owner& owner, UINT index, ITypeInfo** info);
  HRESULT DeleteMemberByName(BSTR name, DWORD grfdex);
  HRESULT DeleteMemberByDispID(DISPID id);
  HRESULT GetMemberName(Owner& owner, DISPID id, BSTR* name);
  HRESULT GetNextDispID(DWORD grfdex, DISPID id, DISPID* next);

  // Stored event property by name ("onclick"); null when none is set.
  const VARIANT* EventProperty(const std::wstring& name) const;
  void SetEventProperty(const std::wstring& name, const VARIANT* value);
  // Expando value by name; null when absent.
  const VARIANT* Expando(const std::wstring& name) const;
  void SetExpando(const std::wstring& name, const VARIANT* value);
  // Drops every stored value (breaks reference cycles at teardown).
  void Clear();

 private:
  struct Stored {
    std::wstring name;
    Var value;
    bool live = true;
  };
  Stored* FindExpando(const std::wstring& name, bool case_sensitive);

  std::vector<Stored> expandos_;
  std::vector<Stored> events_;
};

// Calls a script function object (DISPID_VALUE) with the given arguments
// (in call order) and "this"; the result is optional.
HRESULT CallFunction(IDispatch* fn, IDispatch* self, const VARIANT* args, UINT count, VARIANT* result);

// Forwarding members of IDispatch and IDispatchEx for a class that has a
// DispatchCore member core_ and implements DispatchCore::Owner.
#define ZEQ_DISPATCH_METHODS                                                                                     \
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {                                                 \
    if (!n) return E_POINTER;                                                                                    \
    *n = 1;                                                                                                      \
    return S_OK;                                                                                                 \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID, ITypeInfo** ti) override {                                \
    return core_.GetTypeInfo(*this, i, ti);                                                                      \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID, DISPID* ids) override {        \
    return core_.GetIDsOfNames(*this, names, n, ids);                                                            \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* res,       \
                                   EXCEPINFO* ei, UINT*) override {                                              \
    return core_.InvokeEx(*this, id, lcid, flags, dp, res, ei, nullptr);                                         \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD grfdex, DISPID* id) override {                            \
    return core_.GetDispID(*this, name, grfdex, id);                                                             \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* res,             \
                                     EXCEPINFO* ei, IServiceProvider* sp) override {                             \
    return core_.InvokeEx(*this, id, lcid, flags, dp, res, ei, sp);                                              \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR name, DWORD grfdex) override {                               \
    return core_.DeleteMemberByName(name, grfdex);                                                               \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) override { return core_.DeleteMemberByDispID(id); } \
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override { return E_NOTIMPL; }           \
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) override {                                      \
    return core_.GetMemberName(*this, id, name);                                                                 \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD grfdex, DISPID id, DISPID* next) override {                      \
    return core_.GetNextDispID(grfdex, id, next);                                                                \
  }                                                                                                              \
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** p) override {                                          \
    if (p) *p = nullptr;                                                                                         \
    return E_NOTIMPL;                                                                                            \
  }

// Reference counting for a class with a LONG ref_ member that deletes itself.
#define ZEQ_REFCOUNT_METHODS                                                                    \
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); } \
  ULONG STDMETHODCALLTYPE Release() override {                                                  \
    LONG r = InterlockedDecrement(&ref_);                                                       \
    if (r == 0) delete this;                                                                    \
    return static_cast<ULONG>(r);                                                               \
  }

}  // namespace dochost
