// Element collections: index and name look-up as script uses them
// (all[0], all.item("id"), all.myId, tags("DIV")).
#include "document.h"

#include "dom_ids.h"
#include "foundation/com_guard.h"

namespace dochost {

ElementCollection::ElementCollection(std::vector<Element*> items) : items_(std::move(items)) {
  for (Element* e : items_) e->AddRef();
}

ElementCollection::~ElementCollection() {
  for (Element* e : items_) e->Release();
}

HRESULT ElementCollection::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLElementCollection)
    *out = static_cast<IHTMLElementCollection*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("ElementCollection::QueryInterface")

size_t ElementCollection::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLElementCollection, static_cast<IHTMLElementCollection*>(this)};
  return 1;
}

std::vector<Element*> ElementCollection::Named(const std::wstring& name) const {
  std::vector<Element*> out;
  for (Element* e : items_)
    if (e->AttrText(L"id") == name || e->AttrText(L"name") == name) out.push_back(e);
  return out;
}

HRESULT ElementCollection::OwnDispID(const std::wstring& name, DWORD, DISPID* id) try {
  long index = 0;
  if (ParseIndexName(name, &index)) {
    if (index >= static_cast<long>(items_.size())) return DISP_E_UNKNOWNNAME;
    *id = kCollectionIndexFirst + index;
    return S_OK;
  }
  // A name stands for the first element with that id or name; the special id
  // carries its position.
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->AttrText(L"id") == name || items_[i]->AttrText(L"name") == name) {
      *id = kSpecialFirst + static_cast<DISPID>(i);
      return S_OK;
    }
  }
  return DISP_E_UNKNOWNNAME;
} ZEQ_COM_CATCH("ElementCollection::OwnDispID")

HRESULT ElementCollection::OwnInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     IServiceProvider*) try {
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  size_t index;
  if (id >= kCollectionIndexFirst && id <= kCollectionIndexLast)
    index = static_cast<size_t>(id - kCollectionIndexFirst);
  else
    index = static_cast<size_t>(id - kSpecialFirst);
  if (index >= items_.size()) return DISP_E_MEMBERNOTFOUND;
  if (result) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = static_cast<IDispatchEx*>(items_[index]);
    items_[index]->AddRef();
  }
  return S_OK;
} ZEQ_COM_CATCH("ElementCollection::OwnInvoke")

std::wstring ElementCollection::OwnName(DISPID id) {
  if (id >= kCollectionIndexFirst && id <= kCollectionIndexLast) return std::to_wstring(id - kCollectionIndexFirst);
  size_t index = static_cast<size_t>(id - kSpecialFirst);
  return index < items_.size() ? items_[index]->AttrText(L"id") : std::wstring();
}

HRESULT ElementCollection::toString(BSTR* p) try { return ReturnBstr(L"[object]", p); } ZEQ_COM_CATCH("ElementCollection::toString")

HRESULT ElementCollection::get_length(LONG* p) try {
  if (!p) return E_POINTER;
  *p = static_cast<LONG>(items_.size());
  return S_OK;
} ZEQ_COM_CATCH("ElementCollection::get_length")

HRESULT ElementCollection::get__newEnum(IUnknown** p) try {
  if (p) *p = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("ElementCollection::get__newEnum")

HRESULT ElementCollection::item(VARIANT name, VARIANT index, IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = nullptr;
  VARIANT* n = V_VT(&name) == (VT_VARIANT | VT_BYREF) ? V_VARIANTREF(&name) : &name;
  if (V_VT(n) == VT_BSTR) {
    std::vector<Element*> named = Named(VariantText(n));
    if (named.empty()) return S_OK;
    long which = V_VT(&index) == VT_ERROR || V_VT(&index) == VT_EMPTY ? -1 : VariantLong(&index, -1);
    if (which >= 0) {
      if (which < static_cast<long>(named.size())) {
        *p = static_cast<IDispatchEx*>(named[which]);
        (*p)->AddRef();
      }
      return S_OK;
    }
    if (named.size() == 1) {
      *p = static_cast<IDispatchEx*>(named[0]);
      (*p)->AddRef();
    } else {
      *p = static_cast<IDispatchEx*>(new ElementCollection(std::move(named)));
    }
    return S_OK;
  }
  long i = VariantLong(n, -1);
  if (i >= 0 && i < static_cast<long>(items_.size())) {
    *p = static_cast<IDispatchEx*>(items_[i]);
    (*p)->AddRef();
  }
  return S_OK;
} ZEQ_COM_CATCH("ElementCollection::item")

HRESULT ElementCollection::tags(VARIANT tag, IDispatch** p) try {
  if (!p) return E_POINTER;
  std::wstring t = Upper(VariantText(&tag));
  std::vector<Element*> match;
  for (Element* e : items_)
    if (Upper(e->Tag()) == t) match.push_back(e);
  *p = static_cast<IDispatchEx*>(new ElementCollection(std::move(match)));
  return S_OK;
} ZEQ_COM_CATCH("ElementCollection::tags")

}  // namespace dochost
