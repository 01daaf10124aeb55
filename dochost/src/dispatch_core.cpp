#include "dispatch_core.h"

#include <map>
#include <mutex>

#include "dochost/platform_guids.h"
#include "foundation/com_guard.h"

namespace dochost {
namespace {

struct TypeInfoCache {
  std::mutex lock;
  ITypeLib* lib = nullptr;
  bool tried = false;
  std::map<GUID, ITypeInfo*, bool (*)(const GUID&, const GUID&)> infos{
      [](const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) < 0; }};
};

TypeInfoCache& Cache() {
  static TypeInfoCache cache;
  return cache;
}

// Members inherited from IUnknown and IDispatch carry these generated ids;
// script must not reach them.
bool IsHiddenMemId(DISPID id) { return id >= 0x60000000 && id < 0x60020000; }

bool IsEventName(const std::wstring& name) {
  return name.size() > 2 && (name[0] == L'o' || name[0] == L'O') && (name[1] == L'n' || name[1] == L'N');
}

// A copy of the call's arguments without the named "this" that script passes
// along with method calls; type-library calls refuse unknown named arguments.
struct PlainParams {
  DISPPARAMS dp{};
  std::vector<VARIANT> args;
  std::vector<DISPID> named;
  explicit PlainParams(const DISPPARAMS* in) {
    if (!in) return;
    for (UINT i = 0; i < in->cArgs; ++i) {
      if (i < in->cNamedArgs && in->rgdispidNamedArgs && in->rgdispidNamedArgs[i] == DISPID_THIS) continue;
      args.push_back(in->rgvarg[i]);
      if (i < in->cNamedArgs && in->rgdispidNamedArgs) named.push_back(in->rgdispidNamedArgs[i]);
    }
    dp.cArgs = static_cast<UINT>(args.size());
    dp.rgvarg = args.empty() ? nullptr : args.data();
    dp.cNamedArgs = static_cast<UINT>(named.size());
    dp.rgdispidNamedArgs = named.empty() ? nullptr : named.data();
  }
};

// A method read as a value (`if (el.attachEvent)`): a function object that
// calls the member on its object when script calls it.
class BoundMethod final : public IDispatch {
 public:
  BoundMethod(IDispatch* target, DISPID id) : target_(target), id_(id) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ZEQ_REFCOUNT_METHODS
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* res,
                                   EXCEPINFO* ei, UINT* argerr) override {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_METHOD) return target_->Invoke(id_, iid, lcid, DISPATCH_METHOD, dp, res, ei, argerr);
    if (res) {
      V_VT(res) = VT_BSTR;
      V_BSTR(res) = SysAllocString(L"function() { [native code] }");
    }
    return S_OK;
  }

 private:
  ~BoundMethod() = default;
  LONG ref_ = 1;
  Ref<IDispatch> target_;
  DISPID id_;
};

}  // namespace

ITypeInfo* MshtmlTypeInfo(REFIID iid) {
  TypeInfoCache& c = Cache();
  std::lock_guard<std::mutex> guard(c.lock);
  auto it = c.infos.find(iid);
  if (it != c.infos.end()) return it->second;
  if (!c.tried) {
    c.tried = true;
    if (FAILED(LoadRegTypeLib(LIBID_MSHTML, 4, 0, LOCALE_NEUTRAL, &c.lib))) c.lib = nullptr;
  }
  ITypeInfo* info = nullptr;
  if (c.lib && SUCCEEDED(c.lib->GetTypeInfoOfGuid(iid, &info))) {
    // A dual interface comes as its dispatch part; calls need the vtable part.
    HREFTYPE href = 0;
    ITypeInfo* vtable = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)) &&
        SUCCEEDED(info->GetRefTypeInfo(href, &vtable))) {
      info->Release();
      info = vtable;
    }
  }
  c.infos[iid] = info;
  return info;
}

std::wstring MshtmlMemberName(REFIID iid, DISPID id) {
  ITypeInfo* ti = MshtmlTypeInfo(iid);
  if (!ti) return std::wstring();
  BSTR name = nullptr;
  UINT n = 0;
  std::wstring s;
  if (SUCCEEDED(ti->GetNames(id, &name, 1, &n)) && n == 1 && name) s.assign(name, SysStringLen(name));
  SysFreeString(name);
  return s;
}

DispatchCore::~DispatchCore() { Clear(); }

void DispatchCore::Clear() {
  // Values are released outside the vectors' own destruction so that a
  // handler that reaches back into this object sees empty stores.
  std::vector<Stored> e, x;
  e.swap(events_);
  x.swap(expandos_);
}

DispatchCore::Stored* DispatchCore::FindExpando(const std::wstring& name, bool case_sensitive) {
  for (auto& s : expandos_)
    if (s.live && (case_sensitive ? s.name == name : EqualsNoCase(s.name, name))) return &s;
  return nullptr;
}

HRESULT DispatchCore::GetDispID(Owner& owner, BSTR name, DWORD grfdex, DISPID* id) try {
  if (!id) return E_POINTER;
  *id = DISPID_UNKNOWN;
  if (!name) return E_INVALIDARG;
  std::wstring n(name, SysStringLen(name));
  DispatchFace faces[8];
  size_t count = owner.Faces(faces, 8);
  for (size_t i = 0; i < count; ++i) {
    ITypeInfo* ti = MshtmlTypeInfo(*faces[i].iid);
    DISPID found = DISPID_UNKNOWN;
    LPOLESTR names[1] = {name};
    if (ti && SUCCEEDED(ti->GetIDsOfNames(names, 1, &found)) && !IsHiddenMemId(found)) {
      *id = found;
      return S_OK;
    }
  }
  if (owner.OwnDispID(n, grfdex, id) == S_OK) return S_OK;
  bool case_sensitive = (grfdex & fdexNameCaseSensitive) != 0;
  if (Stored* s = FindExpando(n, case_sensitive)) {
    *id = kExpandoFirst + static_cast<DISPID>(s - expandos_.data());
    return S_OK;
  }
  if ((grfdex & fdexNameEnsure) && expandos_.size() < static_cast<size_t>(kExpandoLast - kExpandoFirst)) {
    Stored s;
    s.name = n;
    expandos_.push_back(std::move(s));
    *id = kExpandoFirst + static_cast<DISPID>(expandos_.size() - 1);
    return S_OK;
  }
  return DISP_E_UNKNOWNNAME;
} ZEQ_COM_CATCH("DispatchCore::GetDispID")

HRESULT DispatchCore::GetIDsOfNames(Owner& owner, LPOLESTR* names, UINT count, DISPID* ids) try {
  if (!names || !ids || !count) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  BSTR b = SysAllocString(names[0]);
  HRESULT hr = GetDispID(owner, b, 0, ids);
  SysFreeString(b);
  return count > 1 && SUCCEEDED(hr) ? DISP_E_UNKNOWNNAME : hr;
} ZEQ_COM_CATCH("DispatchCore::GetIDsOfNames")

namespace {

HRESULT StoredValueCall(VARIANT* value, IDispatch* self, WORD flags, DISPPARAMS* dp, VARIANT* result) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!dp || dp->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    return VariantCopyInd(value, &dp->rgvarg[0]);
  }
  PlainParams plain(dp);
  if ((flags & DISPATCH_PROPERTYGET) && plain.dp.cArgs == 0) {
    if (!result) return S_OK;
    return VariantCopy(result, value);
  }
  if (flags & DISPATCH_METHOD) {
    Ref<IDispatch> fn = Ref<IDispatch>::Adopt(VariantDispatch(value));
    if (!fn) return DISP_E_TYPEMISMATCH;
    std::vector<VARIANT> args(plain.args.rbegin(), plain.args.rend());
    return CallFunction(fn.Get(), self, args.data(), static_cast<UINT>(args.size()), result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace

HRESULT DispatchCore::InvokeEx(Owner& owner, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* ei, IServiceProvider* caller) try {
  (void)lcid;
  if (result) VariantInit(result);
  if (id >= kExpandoFirst && id <= kExpandoLast) {
    size_t index = static_cast<size_t>(id - kExpandoFirst);
    if (index >= expandos_.size() || !expandos_[index].live) return DISP_E_MEMBERNOTFOUND;
    // The store may grow during a call: work on a copy of the value.
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
      return StoredValueCall(expandos_[index].value.Get(), owner.ThisObject(), flags, params, result);
    Var copy = expandos_[index].value;
    return StoredValueCall(copy.Get(), owner.ThisObject(), flags, params, result);
  }
  if ((id >= kSpecialFirst && id <= kSpecialLast) || (id >= kCollectionIndexFirst && id <= kCollectionIndexLast))
    return owner.OwnInvoke(id, flags, params, result, ei, caller);

  DispatchFace faces[8];
  size_t count = owner.Faces(faces, 8);
  for (size_t i = 0; i < count; ++i) {
    std::wstring name = MshtmlMemberName(*faces[i].iid, id);
    if (name.empty()) continue;
    if (IsEventName(name)) {
      std::wstring key = Lower(name);
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
        SetEventProperty(key, &params->rgvarg[0]);
        return S_OK;
      }
      const VARIANT* v = EventProperty(key);
      if (!v) {
        if (result) V_VT(result) = VT_NULL;
        return S_OK;
      }
      Var copy;
      VariantCopy(copy.Get(), const_cast<VARIANT*>(v));
      return StoredValueCall(copy.Get(), owner.ThisObject(), flags, params, result);
    }
    ITypeInfo* ti = MshtmlTypeInfo(*faces[i].iid);
    PlainParams plain(params);
    UINT argerr = 0;
    HRESULT hr = ti->Invoke(faces[i].self, id, flags, &plain.dp, result, ei, &argerr);
    if (hr == DISP_E_MEMBERNOTFOUND && (flags & DISPATCH_PROPERTYGET) && plain.dp.cArgs == 0 && result) {
      // A method read as a property.
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = new BoundMethod(owner.ThisObject(), id);
      return S_OK;
    }
    return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
} ZEQ_COM_CATCH("DispatchCore::InvokeEx")

HRESULT DispatchCore::GetTypeInfo(Owner& owner, UINT index, ITypeInfo** info) try {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  DispatchFace faces[8];
  if (!owner.Faces(faces, 8)) return E_NOTIMPL;
  ITypeInfo* ti = MshtmlTypeInfo(*faces[0].iid);
  if (!ti) return E_NOTIMPL;
  ti->AddRef();
  *info = ti;
  return S_OK;
} ZEQ_COM_CATCH("DispatchCore::GetTypeInfo")

HRESULT DispatchCore::DeleteMemberByName(BSTR name, DWORD grfdex) try {
  if (!name) return E_INVALIDARG;
  Stored* s = FindExpando(std::wstring(name, SysStringLen(name)), (grfdex & fdexNameCaseSensitive) != 0);
  if (!s) return S_FALSE;
  s->live = false;
  VariantClear(s->value.Get());
  return S_OK;
} ZEQ_COM_CATCH("DispatchCore::DeleteMemberByName")

HRESULT DispatchCore::DeleteMemberByDispID(DISPID id) try {
  if (id < kExpandoFirst || id > kExpandoLast) return S_FALSE;
  size_t index = static_cast<size_t>(id - kExpandoFirst);
  if (index >= expandos_.size()) return S_FALSE;
  expandos_[index].live = false;
  VariantClear(expandos_[index].value.Get());
  return S_OK;
} ZEQ_COM_CATCH("DispatchCore::DeleteMemberByDispID")

HRESULT DispatchCore::GetMemberName(Owner& owner, DISPID id, BSTR* name) try {
  if (!name) return E_POINTER;
  *name = nullptr;
  if (id >= kExpandoFirst && id <= kExpandoLast) {
    size_t index = static_cast<size_t>(id - kExpandoFirst);
    if (index >= expandos_.size() || !expandos_[index].live) return DISP_E_MEMBERNOTFOUND;
    return ReturnBstr(expandos_[index].name, name);
  }
  if ((id >= kSpecialFirst && id <= kSpecialLast) || (id >= kCollectionIndexFirst && id <= kCollectionIndexLast)) {
    std::wstring n = owner.OwnName(id);
    return n.empty() ? DISP_E_MEMBERNOTFOUND : ReturnBstr(n, name);
  }
  DispatchFace faces[8];
  size_t count = owner.Faces(faces, 8);
  for (size_t i = 0; i < count; ++i) {
    std::wstring n = MshtmlMemberName(*faces[i].iid, id);
    if (!n.empty()) return ReturnBstr(n, name);
  }
  return DISP_E_MEMBERNOTFOUND;
} ZEQ_COM_CATCH("DispatchCore::GetMemberName")

HRESULT DispatchCore::GetNextDispID(DWORD grfdex, DISPID id, DISPID* next) try {
  (void)grfdex;
  if (!next) return E_POINTER;
  *next = DISPID_STARTENUM;
  size_t start = 0;
  if (id >= kExpandoFirst && id <= kExpandoLast) start = static_cast<size_t>(id - kExpandoFirst) + 1;
  for (size_t i = start; i < expandos_.size(); ++i) {
    if (expandos_[i].live) {
      *next = kExpandoFirst + static_cast<DISPID>(i);
      return S_OK;
    }
  }
  return S_FALSE;
} ZEQ_COM_CATCH("DispatchCore::GetNextDispID")

const VARIANT* DispatchCore::EventProperty(const std::wstring& name) const {
  std::wstring key = Lower(name);
  for (const auto& s : events_)
    if (s.live && s.name == key && V_VT(s.value.Get()) != VT_EMPTY && V_VT(s.value.Get()) != VT_NULL)
      return s.value.Get();
  return nullptr;
}

void DispatchCore::SetEventProperty(const std::wstring& name, const VARIANT* value) {
  std::wstring key = Lower(name);
  for (auto& s : events_) {
    if (s.name == key) {
      VariantCopyInd(s.value.Out(), const_cast<VARIANT*>(value));
      s.live = true;
      return;
    }
  }
  Stored s;
  s.name = key;
  VariantCopyInd(s.value.Get(), const_cast<VARIANT*>(value));
  events_.push_back(std::move(s));
}

const VARIANT* DispatchCore::Expando(const std::wstring& name) const {
  for (const auto& s : expandos_)
    if (s.live && s.name == name) return s.value.Get();
  return nullptr;
}

void DispatchCore::SetExpando(const std::wstring& name, const VARIANT* value) {
  if (Stored* s = FindExpando(name, true)) {
    VariantCopyInd(s->value.Out(), const_cast<VARIANT*>(value));
    return;
  }
  Stored s;
  s.name = name;
  VariantCopyInd(s.value.Get(), const_cast<VARIANT*>(value));
  expandos_.push_back(std::move(s));
}

HRESULT CallFunction(IDispatch* fn, IDispatch* self, const VARIANT* args, UINT count, VARIANT* result) {
  if (!fn) return E_POINTER;
  // Arguments go in reverse order; "this" is a named argument at the front.
  std::vector<VARIANT> rg;
  DISPID this_id = DISPID_THIS;
  if (self) {
    VARIANT t;
    V_VT(&t) = VT_DISPATCH;
    V_DISPATCH(&t) = self;
    rg.push_back(t);
  }
  for (UINT i = count; i > 0; --i) rg.push_back(args[i - 1]);
  DISPPARAMS dp{};
  dp.rgvarg = rg.empty() ? nullptr : rg.data();
  dp.cArgs = static_cast<UINT>(rg.size());
  dp.rgdispidNamedArgs = self ? &this_id : nullptr;
  dp.cNamedArgs = self ? 1 : 0;
  Var local;
  VARIANT* out = result ? result : local.Get();
  Ref<IDispatchEx> ex;
  fn->QueryInterface(IID_IDispatchEx, ex.OutVoid());
  if (ex) return ex->InvokeEx(DISPID_VALUE, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, out, nullptr, nullptr);
  // Plain IDispatch: no named "this".
  if (self) {
    dp.rgvarg = rg.size() > 1 ? rg.data() + 1 : nullptr;
    dp.cArgs -= 1;
    dp.rgdispidNamedArgs = nullptr;
    dp.cNamedArgs = 0;
  }
  return fn->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, out, nullptr, nullptr);
}

}  // namespace dochost
