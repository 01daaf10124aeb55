// Nodes in general, text nodes, child-node lists and attached handlers.
#include "document.h"

#include "dom_ids.h"
#include "foundation/com_guard.h"

namespace dochost {

Node::Node(Document* doc) : doc_(doc) {
  if (doc_) doc_->AddRef();
}

Node::~Node() { DropDocument(); }

void Node::DropDocument() {
  Document* d = doc_;
  doc_ = nullptr;
  if (d) d->Release();
}

Node* NodeFromUnknown(IUnknown* unk) {
  if (!unk) return nullptr;
  Node* node = nullptr;
  if (FAILED(unk->QueryInterface(IID_DocHostNode, reinterpret_cast<void**>(&node))) || !node) return nullptr;
  // Borrowed: the caller's reference keeps the node alive.
  node->NodeRelease();
  return node;
}

Element* ElementFromUnknown(IUnknown* unk) {
  Node* n = NodeFromUnknown(unk);
  return n && n->NodeKind() == Node::Kind::kElement ? static_cast<Element*>(n) : nullptr;
}

void Listeners::Add(const std::wstring& name, IDispatch* fn) {
  if (fn) list_.emplace_back(Lower(name), Ref<IDispatch>(fn));
}

void Listeners::Remove(const std::wstring& name, IDispatch* fn) {
  std::wstring key = Lower(name);
  for (auto it = list_.begin(); it != list_.end(); ++it) {
    if (it->first == key && it->second.Get() == fn) {
      list_.erase(it);
      return;
    }
  }
}

std::vector<Ref<IDispatch>> Listeners::For(const std::wstring& name) const {
  std::wstring key = Lower(name);
  std::vector<Ref<IDispatch>> out;
  for (const auto& l : list_)
    if (l.first == key) out.push_back(l.second);
  return out;
}

void Listeners::Clear() {
  std::vector<std::pair<std::wstring, Ref<IDispatch>>> old;
  old.swap(list_);
}

// ---- TextNode

TextNode::TextNode(Document* doc, std::wstring text) : Node(doc), text_(std::move(text)) {}

HRESULT TextNode::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLDOMNode)
    *out = static_cast<IHTMLDOMNode*>(this);
  else if (iid == IID_IHTMLDOMTextNode)
    *out = static_cast<IHTMLDOMTextNode*>(this);
  else if (iid == IID_DocHostNode)
    *out = static_cast<Node*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("TextNode::QueryInterface")

size_t TextNode::Faces(DispatchFace* out, size_t max) {
  if (max < 2) return 0;
  out[0] = {&IID_IHTMLDOMTextNode, static_cast<IHTMLDOMTextNode*>(this)};
  out[1] = {&IID_IHTMLDOMNode, static_cast<IHTMLDOMNode*>(this)};
  return 2;
}

void TextNode::Detach() {
  parent_ = nullptr;
  core_.Clear();
  DropDocument();
}

HRESULT TextNode::get_nodeType(LONG* p) try {
  if (!p) return E_POINTER;
  *p = 3;
  return S_OK;
} ZEQ_COM_CATCH("TextNode::get_nodeType")

HRESULT TextNode::get_parentNode(IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  *p = parent_ ? parent_->DomNode() : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("TextNode::get_parentNode")

HRESULT TextNode::hasChildNodes(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("TextNode::hasChildNodes")

HRESULT TextNode::get_nodeName(BSTR* p) try { return ReturnBstr(L"#text", p); } ZEQ_COM_CATCH("TextNode::get_nodeName")

HRESULT TextNode::put_nodeValue(VARIANT v) try {
  text_ = VariantText(&v);
  return S_OK;
} ZEQ_COM_CATCH("TextNode::put_nodeValue")

HRESULT TextNode::get_nodeValue(VARIANT* p) try {
  if (!p) return E_POINTER;
  SetVariantString(p, text_);
  return S_OK;
} ZEQ_COM_CATCH("TextNode::get_nodeValue")

namespace {

HRESULT SiblingOf(Node* self, int delta, IHTMLDOMNode** p) {
  if (!p) return E_POINTER;
  *p = nullptr;
  Element* parent = self->ParentElement();
  if (!parent) return S_OK;
  const auto& kids = parent->Children();
  for (size_t i = 0; i < kids.size(); ++i) {
    if (kids[i] != self) continue;
    long j = static_cast<long>(i) + delta;
    if (j >= 0 && j < static_cast<long>(kids.size())) {
      *p = kids[j]->DomNode();
      (*p)->AddRef();
    }
    break;
  }
  return S_OK;
}

}  // namespace

HRESULT TextNode::get_previousSibling(IHTMLDOMNode** p) try { return SiblingOf(this, -1, p); } ZEQ_COM_CATCH("TextNode::get_previousSibling")
HRESULT TextNode::get_nextSibling(IHTMLDOMNode** p) try { return SiblingOf(this, 1, p); } ZEQ_COM_CATCH("TextNode::get_nextSibling")

HRESULT TextNode::removeNode(VARIANT_BOOL, IHTMLDOMNode** p) try {
  Ref<IHTMLDOMNode> keep(DomNode());
  if (parent_) parent_->RemoveChild(this);
  if (p) *p = keep.Detach();
  return S_OK;
} ZEQ_COM_CATCH("TextNode::removeNode")

HRESULT TextNode::put_data(BSTR v) try {
  text_ = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
  return S_OK;
} ZEQ_COM_CATCH("TextNode::put_data")

HRESULT TextNode::get_data(BSTR* p) try { return ReturnBstr(text_, p); } ZEQ_COM_CATCH("TextNode::get_data")

HRESULT TextNode::get_length(LONG* p) try {
  if (!p) return E_POINTER;
  *p = static_cast<LONG>(text_.size());
  return S_OK;
} ZEQ_COM_CATCH("TextNode::get_length")

// ---- NodeList

NodeList::NodeList(std::vector<Node*> items) : items_(std::move(items)) {
  for (Node* n : items_) n->NodeAddRef();
}

NodeList::~NodeList() {
  for (Node* n : items_) n->NodeRelease();
}

HRESULT NodeList::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLDOMChildrenCollection)
    *out = static_cast<IHTMLDOMChildrenCollection*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("NodeList::QueryInterface")

size_t NodeList::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLDOMChildrenCollection, static_cast<IHTMLDOMChildrenCollection*>(this)};
  return 1;
}

HRESULT NodeList::OwnDispID(const std::wstring& name, DWORD, DISPID* id) try {
  long index = 0;
  if (!ParseIndexName(name, &index) || index >= static_cast<long>(items_.size())) return DISP_E_UNKNOWNNAME;
  *id = kCollectionIndexFirst + index;
  return S_OK;
} ZEQ_COM_CATCH("NodeList::OwnDispID")

HRESULT NodeList::OwnInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, IServiceProvider*) try {
  size_t index = static_cast<size_t>(id - kCollectionIndexFirst);
  if (id < kCollectionIndexFirst || index >= items_.size()) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (result) {
    V_VT(result) = VT_DISPATCH;
    items_[index]->DomNode()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&V_DISPATCH(result)));
  }
  return S_OK;
} ZEQ_COM_CATCH("NodeList::OwnInvoke")

HRESULT NodeList::get_length(LONG* p) try {
  if (!p) return E_POINTER;
  *p = static_cast<LONG>(items_.size());
  return S_OK;
} ZEQ_COM_CATCH("NodeList::get_length")

HRESULT NodeList::item(LONG index, IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = nullptr;
  if (index < 0 || index >= static_cast<LONG>(items_.size())) return E_INVALIDARG;
  return items_[index]->DomNode()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(p));
} ZEQ_COM_CATCH("NodeList::item")

}  // namespace dochost
