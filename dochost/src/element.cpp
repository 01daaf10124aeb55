// Elements: attributes, the tree, markup and text, geometry from style.
#include <cwctype>

#include "css_text.h"
#include "document.h"
#include "dom_ids.h"
#include "foundation/com_guard.h"
#include "html_tree.h"

namespace dochost {
namespace {

std::wstring NormalizeTag(const std::wstring& tag) {
  // Prefixed names (KESTO:Button) keep their case; HTML names are upper case.
  return tag.find(L':') == std::wstring::npos ? Upper(tag) : tag;
}

// Script names of attributes that differ from the markup names.
std::wstring AttrName(const std::wstring& name) {
  std::wstring n = Lower(name);
  if (n == L"classname") return L"class";
  if (n == L"htmlfor") return L"for";
  return n;
}

bool IsInDocument(const Element* e, const Document* doc) {
  if (!doc || !doc->Root()) return false;
  const Element* top = e;
  while (top->ParentElement()) top = top->ParentElement();
  return top == doc->Root();
}

HRESULT ReturnElement(Element* e, IHTMLElement** p) {
  if (!p) return E_POINTER;
  *p = e ? static_cast<IHTMLElement*>(e) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
}

HRESULT ReturnLong(LONG v, LONG* p) {
  if (!p) return E_POINTER;
  *p = v;
  return S_OK;
}

void CollectScripts(Node* n, std::vector<Element*>* out) {
  if (n->NodeKind() != Node::Kind::kElement) return;
  Element* e = static_cast<Element*>(n);
  if (e->IsTag(L"SCRIPT")) out->push_back(e);
  for (Node* c : e->Children()) CollectScripts(c, out);
}

}  // namespace

// Properties that are the text of an attribute.
#define ZEQ_TEXT_ATTRIBUTE(prop, attr)                                             \
  HRESULT Element::put_##prop(BSTR v) try {                                        \
    SetAttrText(attr, v ? v : L"");                                                \
    return S_OK;                                                                   \
  } ZEQ_COM_CATCH("Element::put_" #prop)                                           \
  HRESULT Element::get_##prop(BSTR* p) try { return ReturnBstr(AttrText(attr), p); } \
  ZEQ_COM_CATCH("Element::get_" #prop)

// Boolean properties that are the presence of an attribute.
#define ZEQ_FLAG_ATTRIBUTE(prop, attr)                 \
  HRESULT Element::put_##prop(VARIANT_BOOL v) try {    \
    if (v)                                             \
      SetAttrText(attr, attr);                         \
    else                                               \
      RemoveAttr(attr);                                \
    return S_OK;                                       \
  } ZEQ_COM_CATCH("Element::put_" #prop)               \
  HRESULT Element::get_##prop(VARIANT_BOOL* p) try {   \
    if (!p) return E_POINTER;                          \
    *p = HasAttr(attr) ? VARIANT_TRUE : VARIANT_FALSE; \
    return S_OK;                                       \
  } ZEQ_COM_CATCH("Element::get_" #prop)

Element::Element(Document* doc, const std::wstring& tag) : Node(doc), tag_(NormalizeTag(tag)) {}

Element::~Element() {
  for (Node* c : children_) {
    c->SetParent(nullptr);
    c->NodeRelease();
  }
}

HRESULT Element::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLElement)
    *out = static_cast<IHTMLElement*>(this);
  else if (iid == IID_IHTMLElement2)
    *out = static_cast<IHTMLElement2*>(this);
  else if (iid == IID_IHTMLElement3)
    *out = static_cast<IHTMLElement3*>(this);
  else if (iid == IID_IHTMLDOMNode)
    *out = static_cast<IHTMLDOMNode*>(this);
  else if (iid == IID_IHTMLScriptElement && IsTag(L"SCRIPT"))
    *out = static_cast<IHTMLScriptElement*>(this);
  else if (iid == IID_DocHostNode)
    *out = static_cast<Node*>(this);
  else if (frame_ && (iid == IID_IWebBrowser2 || iid == IID_IWebBrowserApp || iid == IID_IWebBrowser))
    return frame_->QueryInterface(iid, out);  // the frame's page, as the platform answers
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::QueryInterface")

size_t Element::Faces(DispatchFace* out, size_t max) {
  size_t n = 0;
  if (max < 5) return 0;
  out[n++] = {&IID_IHTMLElement, static_cast<IHTMLElement*>(this)};
  out[n++] = {&IID_IHTMLElement2, static_cast<IHTMLElement2*>(this)};
  out[n++] = {&IID_IHTMLElement3, static_cast<IHTMLElement3*>(this)};
  out[n++] = {&IID_IHTMLDOMNode, static_cast<IHTMLDOMNode*>(this)};
  if (IsTag(L"SCRIPT")) out[n++] = {&IID_IHTMLScriptElement, static_cast<IHTMLScriptElement*>(this)};
  return n;
}

// Names that are not members of the element's interfaces are its attributes,
// as expando properties of elements are in the platform's engine.
HRESULT Element::OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) try {
  std::wstring key = AttrName(name);
  for (size_t i = 0; i < attrs_.size(); ++i) {
    if (attrs_[i].name == key) {
      *id = kSpecialFirst + static_cast<DISPID>(i);
      return S_OK;
    }
  }
  if (!(grfdex & fdexNameEnsure)) return DISP_E_UNKNOWNNAME;
  Attr a;
  a.name = key;
  attrs_.push_back(std::move(a));
  *id = kSpecialFirst + static_cast<DISPID>(attrs_.size() - 1);
  return S_OK;
} ZEQ_COM_CATCH("Element::OwnDispID")

HRESULT Element::OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           IServiceProvider*) try {
  size_t index = static_cast<size_t>(id - kSpecialFirst);
  if (id < kSpecialFirst || index >= attrs_.size()) return DISP_E_MEMBERNOTFOUND;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    return VariantCopyInd(attrs_[index].value.Get(), &params->rgvarg[0]);
  }
  Var copy = attrs_[index].value;
  if ((flags & DISPATCH_PROPERTYGET) && (!params || params->cArgs == 0 ||
                                         (params->cArgs == params->cNamedArgs))) {
    return result ? VariantCopy(result, copy.Get()) : S_OK;
  }
  if (flags & DISPATCH_METHOD) {
    Ref<IDispatch> fn = Ref<IDispatch>::Adopt(VariantDispatch(copy.Get()));
    if (!fn) return DISP_E_TYPEMISMATCH;
    std::vector<VARIANT> args;
    for (UINT i = params ? params->cArgs : 0; i > (params ? params->cNamedArgs : 0); --i)
      args.push_back(params->rgvarg[i - 1]);
    return CallFunction(fn.Get(), ThisObject(), args.data(), static_cast<UINT>(args.size()), result);
  }
  return DISP_E_MEMBERNOTFOUND;
} ZEQ_COM_CATCH("Element::OwnInvoke")

std::wstring Element::OwnName(DISPID id) {
  size_t index = static_cast<size_t>(id - kSpecialFirst);
  return id >= kSpecialFirst && index < attrs_.size() ? attrs_[index].name : std::wstring();
}

std::wstring Element::TextContent() const {
  std::wstring s;
  for (Node* c : children_) s += c->TextContent();
  return s;
}

void Element::Detach() {
  std::vector<Node*> kids;
  kids.swap(children_);
  for (Node* c : kids) {
    c->Detach();
    c->SetParent(nullptr);
    c->NodeRelease();
  }
  parent_ = nullptr;
  if (frame_) {
    Ref<IWebBrowser2> frame = frame_;
    frame_.Reset();
    frame->Quit();
    if (Ref<IOleObject> ole = frame.As<IOleObject>(IID_IOleObject)) ole->SetClientSite(nullptr);
  }
  listeners_.Clear();
  core_.Clear();
  for (auto& a : attrs_) VariantClear(a.value.Get());
  DropDocument();
}

const Attr* Element::FindAttr(const std::wstring& name) const {
  std::wstring key = AttrName(name);
  for (const auto& a : attrs_)
    if (a.name == key) return &a;
  return nullptr;
}

bool Element::HasAttr(const std::wstring& name) const {
  const Attr* a = FindAttr(name);
  return a && V_VT(a->value.Get()) != VT_EMPTY;
}

std::wstring Element::AttrText(const std::wstring& name) const {
  const Attr* a = FindAttr(name);
  return a ? VariantText(a->value.Get()) : std::wstring();
}

void Element::SetAttr(const std::wstring& name, const VARIANT* value) {
  std::wstring key = AttrName(name);
  for (auto& a : attrs_) {
    if (a.name == key) {
      VariantCopyInd(a.value.Out(), const_cast<VARIANT*>(value));
      return;
    }
  }
  Attr a;
  a.name = key;
  VariantCopyInd(a.value.Get(), const_cast<VARIANT*>(value));
  attrs_.push_back(std::move(a));
}

void Element::SetAttrText(const std::wstring& name, const std::wstring& value) {
  Var v;
  SetVariantString(v.Get(), value);
  SetAttr(name, v.Get());
}

bool Element::RemoveAttr(const std::wstring& name) {
  std::wstring key = AttrName(name);
  for (auto& a : attrs_) {
    if (a.name == key && V_VT(a.value.Get()) != VT_EMPTY) {
      // The slot stays so that DISPIDs given out for later names keep their
      // meaning; an empty slot reads as absent.
      VariantClear(a.value.Get());
      return true;
    }
  }
  return false;
}

size_t Element::IndexOf(const Node* child) const {
  for (size_t i = 0; i < children_.size(); ++i)
    if (children_[i] == child) return i;
  return static_cast<size_t>(-1);
}

HRESULT Element::InsertChild(Node* child, Node* before) try {
  if (!child || child == this) return E_INVALIDARG;
  // A node cannot become its own descendant.
  for (Element* a = this; a; a = a->ParentElement())
    if (a == child) return E_INVALIDARG;
  size_t pos = children_.size();
  if (before) {
    pos = IndexOf(before);
    if (pos == static_cast<size_t>(-1)) return E_INVALIDARG;
  }
  child->NodeAddRef();
  if (Element* old = child->ParentElement()) {
    old->RemoveChild(child);
    if (before) pos = IndexOf(before);
    if (pos == static_cast<size_t>(-1)) pos = children_.size();
  }
  children_.insert(children_.begin() + static_cast<long>(pos), child);
  child->SetParent(this);
  // Scripts that join a loaded document run now.
  Document* doc = OwnerDocument();
  if (doc && doc->Loaded() && IsInDocument(this, doc)) {
    std::vector<Element*> scripts;
    CollectScripts(child, &scripts);
    for (Element* s : scripts) doc->ScriptInserted(s);
  }
  return S_OK;
} ZEQ_COM_CATCH("Element::InsertChild")

HRESULT Element::RemoveChild(Node* child) try {
  size_t pos = IndexOf(child);
  if (pos == static_cast<size_t>(-1)) return E_INVALIDARG;
  children_.erase(children_.begin() + static_cast<long>(pos));
  child->SetParent(nullptr);
  child->NodeRelease();
  return S_OK;
} ZEQ_COM_CATCH("Element::RemoveChild")

void Element::RemoveAllChildren() {
  std::vector<Node*> kids;
  kids.swap(children_);
  for (Node* c : kids) {
    c->SetParent(nullptr);
    c->NodeRelease();
  }
}

void Element::CollectElements(std::vector<Element*>* out, bool include_self) {
  if (include_self) out->push_back(this);
  for (Node* c : children_)
    if (c->NodeKind() == Kind::kElement) static_cast<Element*>(c)->CollectElements(out, true);
}

RECT Element::OffsetRect() {
  CssDeclarations style = ParseCssDeclarations(AttrText(L"style"));
  long left = 0, top = 0, width = 0, height = 0;
  CssPixels(CssValue(style, L"left"), &left);
  CssPixels(CssValue(style, L"top"), &top);
  bool has_width = CssPixels(CssValue(style, L"width"), &width);
  bool has_height = CssPixels(CssValue(style, L"height"), &height);
  if ((!has_width || !has_height) && (IsTag(L"BODY") || IsTag(L"HTML")) && OwnerDocument() &&
      OwnerDocument()->Host()) {
    SIZE view = OwnerDocument()->Host()->ViewSize();
    if (!has_width) width = view.cx;
    if (!has_height) height = view.cy;
  }
  return RECT{left, top, left + width, top + height};
}

POINT Element::PagePosition() {
  POINT p{0, 0};
  for (Element* e = this; e; e = e->ParentElement()) {
    RECT r = e->OffsetRect();
    p.x += r.left;
    p.y += r.top;
  }
  return p;
}

// ---- IHTMLElement

HRESULT Element::setAttribute(BSTR name, VARIANT value, LONG) try {
  if (!name) return E_INVALIDARG;
  SetAttr(std::wstring(name, SysStringLen(name)), &value);
  return S_OK;
} ZEQ_COM_CATCH("Element::setAttribute")

HRESULT Element::getAttribute(BSTR name, LONG flags, VARIANT* value) try {
  if (!value) return E_POINTER;
  VariantInit(value);
  if (!name) return E_INVALIDARG;
  const Attr* a = FindAttr(std::wstring(name, SysStringLen(name)));
  if (!a || V_VT(a->value.Get()) == VT_EMPTY) {
    V_VT(value) = VT_NULL;
    return S_OK;
  }
  if (flags & 2) {  // as text
    SetVariantString(value, VariantText(a->value.Get()));
    return S_OK;
  }
  return VariantCopy(value, const_cast<VARIANT*>(a->value.Get()));
} ZEQ_COM_CATCH("Element::getAttribute")

HRESULT Element::removeAttribute(BSTR name, LONG, VARIANT_BOOL* ok) try {
  bool removed = name && RemoveAttr(std::wstring(name, SysStringLen(name)));
  if (ok) *ok = removed ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Element::removeAttribute")

ZEQ_TEXT_ATTRIBUTE(className, L"class")
ZEQ_TEXT_ATTRIBUTE(id, L"id")

HRESULT Element::get_tagName(BSTR* p) try {
  size_t colon = tag_.find(L':');
  return ReturnBstr(colon == std::wstring::npos ? tag_ : tag_.substr(colon + 1), p);
} ZEQ_COM_CATCH("Element::get_tagName")

HRESULT Element::get_parentElement(IHTMLElement** p) try { return ReturnElement(parent_, p); } ZEQ_COM_CATCH("Element::get_parentElement")

HRESULT Element::get_style(IHTMLStyle** p) try {
  if (!p) return E_POINTER;
  *p = new Style(this);
  return S_OK;
} ZEQ_COM_CATCH("Element::get_style")

HRESULT Element::get_document(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = doc_ ? static_cast<IDispatchEx*>(doc_) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_document")

ZEQ_TEXT_ATTRIBUTE(title, L"title")
ZEQ_TEXT_ATTRIBUTE(language, L"language")

HRESULT Element::contains(IHTMLElement* child, VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = VARIANT_FALSE;
  for (Element* e = ElementFromUnknown(child); e; e = e->ParentElement())
    if (e == this) *p = VARIANT_TRUE;
  return S_OK;
} ZEQ_COM_CATCH("Element::contains")

HRESULT Element::get_sourceIndex(LONG* p) try {
  if (!p) return E_POINTER;
  *p = -1;
  if (!doc_) return S_OK;
  std::vector<Element*> all = doc_->AllElements();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == this) *p = static_cast<LONG>(i);
  return S_OK;
} ZEQ_COM_CATCH("Element::get_sourceIndex")

HRESULT Element::get_offsetLeft(LONG* p) try { return ReturnLong(OffsetRect().left, p); } ZEQ_COM_CATCH("Element::get_offsetLeft")
HRESULT Element::get_offsetTop(LONG* p) try { return ReturnLong(OffsetRect().top, p); } ZEQ_COM_CATCH("Element::get_offsetTop")
HRESULT Element::get_offsetWidth(LONG* p) try {
  RECT r = OffsetRect();
  return ReturnLong(r.right - r.left, p);
} ZEQ_COM_CATCH("Element::get_offsetWidth")
HRESULT Element::get_offsetHeight(LONG* p) try {
  RECT r = OffsetRect();
  return ReturnLong(r.bottom - r.top, p);
} ZEQ_COM_CATCH("Element::get_offsetHeight")
HRESULT Element::get_offsetParent(IHTMLElement** p) try { return ReturnElement(parent_, p); } ZEQ_COM_CATCH("Element::get_offsetParent")

HRESULT Element::put_innerHTML(BSTR v) try {
  if (!doc_) return E_FAIL;
  try {
    std::vector<Node*> nodes =
        ParseFragmentNodes(doc_, WideToUtf8(v ? std::wstring(v, SysStringLen(v)) : std::wstring()), tag_);
    RemoveAllChildren();
    for (Node* n : nodes) {
      // Scripts written as markup do not run.
      std::vector<Element*> scripts;
      CollectScripts(n, &scripts);
      for (Element* s : scripts) s->MarkScriptStarted();
      InsertChild(n, nullptr);
      n->NodeRelease();
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
} ZEQ_COM_CATCH("Element::put_innerHTML")

HRESULT Element::get_innerHTML(BSTR* p) try { return ReturnBstr(SerializeChildren(this), p); } ZEQ_COM_CATCH("Element::get_innerHTML")

HRESULT Element::put_innerText(BSTR v) try {
  RemoveAllChildren();
  if (v && SysStringLen(v)) {
    TextNode* t = new TextNode(doc_, std::wstring(v, SysStringLen(v)));
    InsertChild(t, nullptr);
    t->Release();
  }
  return S_OK;
} ZEQ_COM_CATCH("Element::put_innerText")

HRESULT Element::get_innerText(BSTR* p) try {
  if (IsTag(L"SCRIPT") || IsTag(L"STYLE")) return ReturnBstr(L"", p);
  return ReturnBstr(TextContent(), p);
} ZEQ_COM_CATCH("Element::get_innerText")

HRESULT Element::put_outerHTML(BSTR v) try {
  if (!parent_ || !doc_) return E_FAIL;
  Ref<IHTMLElement> keep(static_cast<IHTMLElement*>(this));
  Element* parent = parent_;
  std::vector<Node*> nodes =
      ParseFragmentNodes(doc_, WideToUtf8(v ? std::wstring(v, SysStringLen(v)) : std::wstring()), parent->Tag());
  for (Node* n : nodes) {
    parent->InsertChild(n, this);
    n->NodeRelease();
  }
  parent->RemoveChild(this);
  return S_OK;
} ZEQ_COM_CATCH("Element::put_outerHTML")

HRESULT Element::get_outerHTML(BSTR* p) try { return ReturnBstr(SerializeElement(this), p); } ZEQ_COM_CATCH("Element::get_outerHTML")
HRESULT Element::get_outerText(BSTR* p) try { return get_innerText(p); } ZEQ_COM_CATCH("Element::get_outerText")

HRESULT Element::insertAdjacentHTML(BSTR where, BSTR html) try {
  if (!where || !doc_) return E_INVALIDARG;
  std::wstring w = Lower(std::wstring(where, SysStringLen(where)));
  Element* target = (w == L"beforebegin" || w == L"afterend") ? parent_ : this;
  if (!target) return E_FAIL;
  Node* before = nullptr;
  if (w == L"beforebegin") {
    before = this;
  } else if (w == L"afterend") {
    size_t i = parent_->IndexOf(this);
    before = i + 1 < parent_->children_.size() ? parent_->children_[i + 1] : nullptr;
  } else if (w == L"afterbegin") {
    before = children_.empty() ? nullptr : children_[0];
  } else if (w != L"beforeend") {
    return E_INVALIDARG;
  }
  std::vector<Node*> nodes =
      ParseFragmentNodes(doc_, WideToUtf8(html ? std::wstring(html, SysStringLen(html)) : std::wstring()),
                         target->Tag());
  for (Node* n : nodes) {
    target->InsertChild(n, before);
    n->NodeRelease();
  }
  return S_OK;
} ZEQ_COM_CATCH("Element::insertAdjacentHTML")

HRESULT Element::click() try {
  VARIANT_BOOL ok;
  Bstr name(L"onclick");
  return fireEvent(name.Get(), nullptr, &ok);
} ZEQ_COM_CATCH("Element::click")

HRESULT Element::toString(BSTR* p) try { return ReturnBstr(L"[object]", p); } ZEQ_COM_CATCH("Element::toString")

HRESULT Element::get_children(IDispatch** p) try {
  if (!p) return E_POINTER;
  std::vector<Element*> kids;
  for (Node* c : children_)
    if (c->NodeKind() == Kind::kElement) kids.push_back(static_cast<Element*>(c));
  *p = static_cast<IDispatchEx*>(new ElementCollection(std::move(kids)));
  return S_OK;
} ZEQ_COM_CATCH("Element::get_children")

HRESULT Element::get_all(IDispatch** p) try {
  if (!p) return E_POINTER;
  std::vector<Element*> all;
  CollectElements(&all, false);
  *p = static_cast<IDispatchEx*>(new ElementCollection(std::move(all)));
  return S_OK;
} ZEQ_COM_CATCH("Element::get_all")

// ---- IHTMLElement2

HRESULT Element::get_currentStyle(IHTMLCurrentStyle** p) try {
  if (!p) return E_POINTER;
  *p = new CurrentStyle(this);
  return S_OK;
} ZEQ_COM_CATCH("Element::get_currentStyle")

HRESULT Element::get_clientHeight(LONG* p) try { return get_offsetHeight(p); } ZEQ_COM_CATCH("Element::get_clientHeight")
HRESULT Element::get_clientWidth(LONG* p) try { return get_offsetWidth(p); } ZEQ_COM_CATCH("Element::get_clientWidth")
HRESULT Element::get_clientTop(LONG* p) try { return ReturnLong(0, p); } ZEQ_COM_CATCH("Element::get_clientTop")
HRESULT Element::get_clientLeft(LONG* p) try { return ReturnLong(0, p); } ZEQ_COM_CATCH("Element::get_clientLeft")
HRESULT Element::get_scrollHeight(LONG* p) try { return get_offsetHeight(p); } ZEQ_COM_CATCH("Element::get_scrollHeight")
HRESULT Element::get_scrollWidth(LONG* p) try { return get_offsetWidth(p); } ZEQ_COM_CATCH("Element::get_scrollWidth")
HRESULT Element::get_scrollTop(LONG* p) try { return ReturnLong(0, p); } ZEQ_COM_CATCH("Element::get_scrollTop")
HRESULT Element::get_scrollLeft(LONG* p) try { return ReturnLong(0, p); } ZEQ_COM_CATCH("Element::get_scrollLeft")

HRESULT Element::getBoundingClientRect(IHTMLRect** p) try {
  if (!p) return E_POINTER;
  RECT r = OffsetRect();
  POINT at = PagePosition();
  *p = new Rect(RECT{at.x, at.y, at.x + (r.right - r.left), at.y + (r.bottom - r.top)});
  return S_OK;
} ZEQ_COM_CATCH("Element::getBoundingClientRect")

HRESULT Element::attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) try {
  if (!event || !fn) return E_INVALIDARG;
  listeners_.Add(std::wstring(event, SysStringLen(event)), fn);
  if (ok) *ok = VARIANT_TRUE;
  return S_OK;
} ZEQ_COM_CATCH("Element::attachEvent")

HRESULT Element::detachEvent(BSTR event, IDispatch* fn) try {
  if (!event) return E_INVALIDARG;
  listeners_.Remove(std::wstring(event, SysStringLen(event)), fn);
  return S_OK;
} ZEQ_COM_CATCH("Element::detachEvent")

HRESULT Element::get_readyState(VARIANT* p) try {
  if (!p) return E_POINTER;
  SetVariantString(p, L"complete");
  return S_OK;
} ZEQ_COM_CATCH("Element::get_readyState")

HRESULT Element::getElementsByTagName(BSTR tag, IHTMLElementCollection** p) try {
  if (!p) return E_POINTER;
  std::wstring t = Upper(tag ? std::wstring(tag, SysStringLen(tag)) : std::wstring());
  std::vector<Element*> all, match;
  CollectElements(&all, false);
  for (Element* e : all)
    if (t == L"*" || Upper(e->Tag()) == t) match.push_back(e);
  *p = new ElementCollection(std::move(match));
  return S_OK;
} ZEQ_COM_CATCH("Element::getElementsByTagName")

HRESULT Element::get_tagUrn(BSTR* p) try { return ReturnBstr(L"", p); } ZEQ_COM_CATCH("Element::get_tagUrn")

HRESULT Element::get_scopeName(BSTR* p) try {
  size_t colon = tag_.find(L':');
  return ReturnBstr(colon == std::wstring::npos ? std::wstring(L"HTML") : tag_.substr(0, colon), p);
} ZEQ_COM_CATCH("Element::get_scopeName")

// ---- IHTMLElement3

HRESULT Element::fireEvent(BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled) try {
  return FireNamedEvent(doc_, this, event, event_obj, not_cancelled);
} ZEQ_COM_CATCH("Element::fireEvent")

ZEQ_FLAG_ATTRIBUTE(disabled, L"disabled")

// ---- IHTMLDOMNode

HRESULT Element::get_nodeType(LONG* p) try { return ReturnLong(1, p); } ZEQ_COM_CATCH("Element::get_nodeType")

HRESULT Element::get_parentNode(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  *p = parent_ ? parent_->DomNode() : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_parentNode")

HRESULT Element::hasChildNodes(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = children_.empty() ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
} ZEQ_COM_CATCH("Element::hasChildNodes")

HRESULT Element::get_childNodes(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = static_cast<IDispatchEx*>(new NodeList(children_));
  return S_OK;
} ZEQ_COM_CATCH("Element::get_childNodes")

HRESULT Element::insertBefore(IHTMLDOMNode* node, VARIANT before, IHTMLDOMNode** p) try {
  if (p) *p = nullptr;
  Node* child = NodeFromUnknown(node);
  if (!child) return E_INVALIDARG;
  Node* ref = nullptr;
  Ref<IDispatch> ref_disp = Ref<IDispatch>::Adopt(VariantDispatch(&before));
  if (ref_disp) {
    ref = NodeFromUnknown(ref_disp.Get());
    if (!ref) return E_INVALIDARG;
  }
  HRESULT hr = InsertChild(child, ref);
  if (SUCCEEDED(hr) && p) {
    *p = child->DomNode();
    (*p)->AddRef();
  }
  return hr;
} ZEQ_COM_CATCH("Element::insertBefore")

HRESULT Element::appendChild(IHTMLDOMNode* node, IHTMLDOMNode** p) try {
  VARIANT none;
  VariantInit(&none);
  return insertBefore(node, none, p);
} ZEQ_COM_CATCH("Element::appendChild")

HRESULT Element::removeChild(IHTMLDOMNode* node, IHTMLDOMNode** p) try {
  if (p) *p = nullptr;
  Node* child = NodeFromUnknown(node);
  if (!child || child->ParentElement() != this) return E_INVALIDARG;
  Ref<IHTMLDOMNode> keep(child->DomNode());
  HRESULT hr = RemoveChild(child);
  if (SUCCEEDED(hr) && p) *p = keep.Detach();
  return hr;
} ZEQ_COM_CATCH("Element::removeChild")

HRESULT Element::replaceChild(IHTMLDOMNode* fresh, IHTMLDOMNode* old, IHTMLDOMNode** p) try {
  if (p) *p = nullptr;
  Node* n = NodeFromUnknown(fresh);
  Node* o = NodeFromUnknown(old);
  if (!n || !o || o->ParentElement() != this) return E_INVALIDARG;
  Ref<IHTMLDOMNode> keep(o->DomNode());
  HRESULT hr = InsertChild(n, o);
  if (SUCCEEDED(hr)) hr = RemoveChild(o);
  if (SUCCEEDED(hr) && p) *p = keep.Detach();
  return hr;
} ZEQ_COM_CATCH("Element::replaceChild")

HRESULT Element::cloneNode(VARIANT_BOOL deep, IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  Element* copy = new Element(doc_, tag_);
  for (const Attr& a : attrs_)
    if (V_VT(a.value.Get()) != VT_EMPTY) copy->SetAttr(a.name, a.value.Get());
  if (deep) {
    for (Node* c : children_) {
      Ref<IHTMLDOMNode> child;
      if (c->NodeKind() == Kind::kText) {
        TextNode* t = new TextNode(doc_, c->TextContent());
        copy->InsertChild(t, nullptr);
        t->Release();
      } else if (SUCCEEDED(static_cast<Element*>(c)->cloneNode(VARIANT_TRUE, child.Out()))) {
        copy->InsertChild(NodeFromUnknown(child.Get()), nullptr);
      }
    }
  }
  *p = copy->DomNode();
  return S_OK;
} ZEQ_COM_CATCH("Element::cloneNode")

HRESULT Element::removeNode(VARIANT_BOOL deep, IHTMLDOMNode** p) try {
  Ref<IHTMLDOMNode> keep(DomNode());
  if (Element* parent = parent_) {
    if (!deep) {
      // The children take the element's place.
      std::vector<Node*> kids = children_;
      for (Node* c : kids) parent->InsertChild(c, this);
    }
    parent->RemoveChild(this);
  }
  if (p) *p = keep.Detach();
  return S_OK;
} ZEQ_COM_CATCH("Element::removeNode")

HRESULT Element::get_nodeName(BSTR* p) try { return get_tagName(p); } ZEQ_COM_CATCH("Element::get_nodeName")

HRESULT Element::get_nodeValue(VARIANT* p) try {
  if (!p) return E_POINTER;
  VariantInit(p);
  V_VT(p) = VT_NULL;
  return S_OK;
} ZEQ_COM_CATCH("Element::get_nodeValue")

HRESULT Element::get_firstChild(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  *p = children_.empty() ? nullptr : children_.front()->DomNode();
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_firstChild")

HRESULT Element::get_lastChild(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  *p = children_.empty() ? nullptr : children_.back()->DomNode();
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_lastChild")

Node* Element::Sibling(int delta) const {
  if (!parent_) return nullptr;
  size_t i = parent_->IndexOf(this);
  long j = static_cast<long>(i) + delta;
  if (i == static_cast<size_t>(-1) || j < 0 || j >= static_cast<long>(parent_->children_.size())) return nullptr;
  return parent_->children_[j];
}

HRESULT Element::get_previousSibling(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  Node* n = Sibling(-1);
  *p = n ? n->DomNode() : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_previousSibling")

HRESULT Element::get_nextSibling(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  Node* n = Sibling(1);
  *p = n ? n->DomNode() : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Element::get_nextSibling")

// ---- IHTMLScriptElement

ZEQ_TEXT_ATTRIBUTE(src, L"src")
ZEQ_TEXT_ATTRIBUTE(htmlFor, L"for")
ZEQ_TEXT_ATTRIBUTE(event, L"event")
HRESULT Element::put_text(BSTR v) try { return put_innerText(v); } ZEQ_COM_CATCH("Element::put_text")
HRESULT Element::get_text(BSTR* p) try { return ReturnBstr(TextContent(), p); } ZEQ_COM_CATCH("Element::get_text")
ZEQ_FLAG_ATTRIBUTE(defer, L"defer")
ZEQ_TEXT_ATTRIBUTE(type, L"type")

}  // namespace dochost

namespace dochost {

HRESULT Rect::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLRect)
    *out = static_cast<IHTMLRect*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Rect::QueryInterface")

size_t Rect::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLRect, static_cast<IHTMLRect*>(this)};
  return 1;
}

HRESULT Rect::get_left(LONG* p) try { return ReturnLong(r_.left, p); } ZEQ_COM_CATCH("Rect::get_left")
HRESULT Rect::get_top(LONG* p) try { return ReturnLong(r_.top, p); } ZEQ_COM_CATCH("Rect::get_top")
HRESULT Rect::get_right(LONG* p) try { return ReturnLong(r_.right, p); } ZEQ_COM_CATCH("Rect::get_right")
HRESULT Rect::get_bottom(LONG* p) try { return ReturnLong(r_.bottom, p); } ZEQ_COM_CATCH("Rect::get_bottom")

}  // namespace dochost
