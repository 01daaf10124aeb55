// The page model of the document host: elements and text nodes in a tree
// owned by their document, the document's window with its script engine,
// collections, styles and event objects. Every object lives on the thread of
// the browser that made its document.
#pragma once
#include <windows.h>
#include <activscp.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>

#include <memory>
#include <string>
#include <vector>

#include "com_util.h"
#include "dispatch_core.h"
#include "interface_stubs.h"

namespace dochost {

class Document;
class Element;
class EventObj;
class ScriptEngine;
class Window;

// What a document needs of the browser that shows it.
class DocumentHost {
 public:
  virtual IOleClientSite* ClientSite() = 0;  // no reference added; may be null
  virtual void TitleChanged(const std::wstring& title) = 0;
  virtual void StatusTextChanged(const std::wstring& text) = 0;
  // window.open: asks the host's sink for a browser; null when refused.
  virtual HRESULT OpenNewWindow(const std::wstring& url, IHTMLWindow2** out) = 0;
  virtual void CloseRequested() = 0;
  virtual SIZE ViewSize() = 0;

 protected:
  ~DocumentHost() = default;
};

// Handlers attached with attachEvent, by lower-case event name.
class Listeners {
 public:
  void Add(const std::wstring& name, IDispatch* fn);
  void Remove(const std::wstring& name, IDispatch* fn);
  std::vector<Ref<IDispatch>> For(const std::wstring& name) const;
  void Clear();

 private:
  std::vector<std::pair<std::wstring, Ref<IDispatch>>> list_;
};

struct Attr {
  std::wstring name;  // lower case
  Var value;
};

class Node {
 public:
  enum class Kind { kElement, kText };
  virtual Kind NodeKind() const = 0;
  virtual IHTMLDOMNode* DomNode() = 0;  // no reference added
  virtual ULONG NodeAddRef() = 0;
  virtual ULONG NodeRelease() = 0;
  Element* ParentElement() const { return parent_; }
  Document* OwnerDocument() const { return doc_; }
  void SetParent(Element* parent) { parent_ = parent; }
  // Text content of the node and its descendants.
  virtual std::wstring TextContent() const = 0;
  // Drops the tree below the node and the document reference (teardown).
  virtual void Detach() = 0;

 protected:
  explicit Node(Document* doc);
  virtual ~Node();
  void DropDocument();
  Element* parent_ = nullptr;  // weak: the parent owns its children
  Document* doc_ = nullptr;    // strong, dropped by Detach
};

// A node of the platform DOM given by a script or native caller: ours, or null.
Node* NodeFromUnknown(IUnknown* unk);
Element* ElementFromUnknown(IUnknown* unk);

class TextNode final : public IDispatchEx,
                       public IHTMLDOMNodeNotImpl,
                       public IHTMLDOMTextNodeNotImpl,
                       public Node,
                       public DispatchCore::Owner {
 public:
  TextNode(Document* doc, std::wstring text);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }
  Kind NodeKind() const override { return Kind::kText; }
  IHTMLDOMNode* DomNode() override { return static_cast<IHTMLDOMNode*>(this); }
  ULONG NodeAddRef() override { return AddRef(); }
  ULONG NodeRelease() override { return Release(); }
  std::wstring TextContent() const override { return text_; }
  void Detach() override;
  const std::wstring& Text() const { return text_; }

  // IHTMLDOMNode
  HRESULT STDMETHODCALLTYPE get_nodeType(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_parentNode(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT v) override;
  HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* p) override;
  HRESULT STDMETHODCALLTYPE get_previousSibling(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE get_nextSibling(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE removeNode(VARIANT_BOOL deep, IHTMLDOMNode** p) override;
  // IHTMLDOMTextNode
  HRESULT STDMETHODCALLTYPE put_data(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_data(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;

 private:
  ~TextNode() override = default;
  LONG ref_ = 1;
  DispatchCore core_;
  std::wstring text_;
};

class Element final : public IDispatchEx,
                      public IHTMLElementNotImpl,
                      public IHTMLElement2NotImpl,
                      public IHTMLElement3NotImpl,
                      public IHTMLDOMNodeNotImpl,
                      public IHTMLScriptElementNotImpl,
                      public Node,
                      public DispatchCore::Owner {
 public:
  // tag: the element's name as parsed (lower case for HTML elements).
  Element(Document* doc, const std::wstring& tag);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  HRESULT OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) override;
  HRESULT OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                    IServiceProvider* caller) override;
  std::wstring OwnName(DISPID id) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }
  Kind NodeKind() const override { return Kind::kElement; }
  IHTMLDOMNode* DomNode() override { return static_cast<IHTMLDOMNode*>(this); }
  ULONG NodeAddRef() override { return AddRef(); }
  ULONG NodeRelease() override { return Release(); }
  std::wstring TextContent() const override;
  void Detach() override;

  // Native access (the parser, the document and the tests use these).
  const std::wstring& Tag() const { return tag_; }  // upper case
  bool IsTag(const wchar_t* upper) const { return tag_ == upper; }
  const Attr* FindAttr(const std::wstring& name) const;
  bool HasAttr(const std::wstring& name) const;  // present and not removed
  std::wstring AttrText(const std::wstring& name) const;
  void SetAttr(const std::wstring& name, const VARIANT* value);
  void SetAttrText(const std::wstring& name, const std::wstring& value);
  bool RemoveAttr(const std::wstring& name);
  const std::vector<Attr>& Attrs() const { return attrs_; }
  const std::vector<Node*>& Children() const { return children_; }
  // Appends (before == null) or inserts a node, taking it out of its old place.
  HRESULT InsertChild(Node* child, Node* before);
  HRESULT RemoveChild(Node* child);
  void RemoveAllChildren();
  // This element and its descendants in document order.
  void CollectElements(std::vector<Element*>* out, bool include_self);
  Listeners& EventListeners() { return listeners_; }
  DispatchCore& Core() { return core_; }
  // Geometry taken from the element's own style (pixels).
  RECT OffsetRect();
  POINT PagePosition();
  // FRAME and IFRAME elements answer IWebBrowser2 with the browser of their page.
  void SetFrameBrowser(IWebBrowser2* browser) { frame_ = browser; }
  // Script elements run once.
  bool ScriptStarted() const { return script_started_; }
  void MarkScriptStarted() { script_started_ = true; }
  // Line of the page on which a script's text begins (1-based; 0 unknown).
  ULONG SourceLine() const { return source_line_; }
  void SetSourceLine(ULONG line) { source_line_ = line; }

  // IHTMLElement
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG flags) override;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE put_className(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_className(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_id(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_id(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_tagName(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_parentElement(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE get_style(IHTMLStyle** p) override;
  HRESULT STDMETHODCALLTYPE get_document(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE put_title(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_title(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_language(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_language(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE contains(IHTMLElement* child, VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_sourceIndex(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_offsetLeft(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_offsetTop(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_offsetWidth(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_offsetHeight(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_offsetParent(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE put_innerHTML(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_innerHTML(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_innerText(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_innerText(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_outerHTML(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_outerHTML(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_outerText(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE insertAdjacentHTML(BSTR where, BSTR html) override;
  HRESULT STDMETHODCALLTYPE click() override;
  HRESULT STDMETHODCALLTYPE toString(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_children(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE get_all(IDispatch** p) override;
  // IHTMLElement2
  HRESULT STDMETHODCALLTYPE get_currentStyle(IHTMLCurrentStyle** p) override;
  HRESULT STDMETHODCALLTYPE get_clientHeight(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_clientWidth(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_clientTop(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_clientLeft(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_scrollHeight(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_scrollWidth(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_scrollTop(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_scrollLeft(LONG* p) override;
  HRESULT STDMETHODCALLTYPE getBoundingClientRect(IHTMLRect** p) override;
  HRESULT STDMETHODCALLTYPE attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE detachEvent(BSTR event, IDispatch* fn) override;
  HRESULT STDMETHODCALLTYPE get_readyState(VARIANT* p) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tag, IHTMLElementCollection** p) override;
  HRESULT STDMETHODCALLTYPE get_tagUrn(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_scopeName(BSTR* p) override;
  // IHTMLElement3
  HRESULT STDMETHODCALLTYPE fireEvent(BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled) override;
  HRESULT STDMETHODCALLTYPE put_disabled(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_disabled(VARIANT_BOOL* p) override;
  // IHTMLDOMNode
  HRESULT STDMETHODCALLTYPE get_nodeType(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_parentNode(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_childNodes(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE insertBefore(IHTMLDOMNode* node, VARIANT before, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE removeChild(IHTMLDOMNode* node, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE replaceChild(IHTMLDOMNode* fresh, IHTMLDOMNode* old, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL deep, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE removeNode(VARIANT_BOOL deep, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE appendChild(IHTMLDOMNode* node, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* p) override;
  HRESULT STDMETHODCALLTYPE get_firstChild(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE get_lastChild(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE get_previousSibling(IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE get_nextSibling(IHTMLDOMNode** p) override;
  // IHTMLScriptElement (answered by SCRIPT elements only)
  HRESULT STDMETHODCALLTYPE put_src(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_src(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_htmlFor(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_htmlFor(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_event(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_event(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_text(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_text(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_defer(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_defer(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_type(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_type(BSTR* p) override;

 private:
  ~Element() override;
  size_t IndexOf(const Node* child) const;
  Node* Sibling(int delta) const;
  LONG ref_ = 1;
  DispatchCore core_;
  std::wstring tag_;
  std::vector<Attr> attrs_;
  std::vector<Node*> children_;  // each holds a reference
  Listeners listeners_;
  bool script_started_ = false;
  ULONG source_line_ = 0;
  Ref<IWebBrowser2> frame_;
};

// A fixed list of elements (getElementsByTagName, children, all).
class ElementCollection final : public IDispatchEx,
                                public IHTMLElementCollectionNotImpl,
                                public DispatchCore::Owner {
 public:
  explicit ElementCollection(std::vector<Element*> items);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  HRESULT OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) override;
  HRESULT OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                    IServiceProvider* caller) override;
  std::wstring OwnName(DISPID id) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }

  HRESULT STDMETHODCALLTYPE toString(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** p) override;
  HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE tags(VARIANT tag, IDispatch** p) override;

 private:
  ~ElementCollection();
  std::vector<Element*> Named(const std::wstring& name) const;
  LONG ref_ = 1;
  DispatchCore core_;
  std::vector<Element*> items_;  // each holds a reference
};

// childNodes: elements and text nodes.
class NodeList final : public IDispatchEx, public IHTMLDOMChildrenCollectionNotImpl, public DispatchCore::Owner {
 public:
  explicit NodeList(std::vector<Node*> items);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  HRESULT OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) override;
  HRESULT OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                    IServiceProvider* caller) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }
  HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;
  HRESULT STDMETHODCALLTYPE item(LONG index, IDispatch** p) override;

 private:
  ~NodeList();
  LONG ref_ = 1;
  DispatchCore core_;
  std::vector<Node*> items_;
};

// element.style: reads and writes the element's style attribute.
class Style final : public IDispatchEx, public IHTMLStyleNotImpl, public DispatchCore::Owner {
 public:
  explicit Style(Element* owner);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }

  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG flags) override;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE put_cssText(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_cssText(BSTR* p) override;
#define ZEQ_STYLE_TEXT(prop)                                  \
  HRESULT STDMETHODCALLTYPE put_##prop(BSTR v) override;      \
  HRESULT STDMETHODCALLTYPE get_##prop(BSTR* p) override;
#define ZEQ_STYLE_VAR(prop)                                   \
  HRESULT STDMETHODCALLTYPE put_##prop(VARIANT v) override;   \
  HRESULT STDMETHODCALLTYPE get_##prop(VARIANT* p) override;
#define ZEQ_STYLE_PIXEL(prop)                                 \
  HRESULT STDMETHODCALLTYPE put_##prop(LONG v) override;      \
  HRESULT STDMETHODCALLTYPE get_##prop(LONG* p) override;
  ZEQ_STYLE_TEXT(display)
  ZEQ_STYLE_TEXT(visibility)
  ZEQ_STYLE_TEXT(overflow)
  ZEQ_STYLE_TEXT(cursor)
  ZEQ_STYLE_TEXT(fontFamily)
  ZEQ_STYLE_TEXT(background)
  ZEQ_STYLE_TEXT(border)
  HRESULT STDMETHODCALLTYPE get_position(BSTR* p) override;
  ZEQ_STYLE_VAR(left)
  ZEQ_STYLE_VAR(top)
  ZEQ_STYLE_VAR(width)
  ZEQ_STYLE_VAR(height)
  ZEQ_STYLE_VAR(color)
  ZEQ_STYLE_VAR(backgroundColor)
  ZEQ_STYLE_VAR(fontSize)
  ZEQ_STYLE_VAR(zIndex)
  ZEQ_STYLE_PIXEL(pixelLeft)
  ZEQ_STYLE_PIXEL(pixelTop)
  ZEQ_STYLE_PIXEL(pixelWidth)
  ZEQ_STYLE_PIXEL(pixelHeight)
#undef ZEQ_STYLE_TEXT
#undef ZEQ_STYLE_VAR
#undef ZEQ_STYLE_PIXEL

 private:
  ~Style() = default;
  HRESULT PutText(const wchar_t* css, const std::wstring& value);
  HRESULT GetText(const wchar_t* css, BSTR* p);
  HRESULT PutVar(const wchar_t* css, const VARIANT* v, bool pixels);
  HRESULT GetVar(const wchar_t* css, VARIANT* p);
  HRESULT PutPixels(const wchar_t* css, LONG v);
  HRESULT GetPixels(const wchar_t* css, LONG* p);
  LONG ref_ = 1;
  DispatchCore core_;
  Ref<IHTMLElement> owner_ref_;
  Element* owner_;
};

// element.currentStyle: the element's own style over the defaults of its tag.
class CurrentStyle final : public IDispatchEx, public IHTMLCurrentStyleNotImpl, public DispatchCore::Owner {
 public:
  explicit CurrentStyle(Element* owner);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;
#define ZEQ_CURRENT_TEXT(prop) HRESULT STDMETHODCALLTYPE get_##prop(BSTR* p) override;
#define ZEQ_CURRENT_VAR(prop) HRESULT STDMETHODCALLTYPE get_##prop(VARIANT* p) override;
  ZEQ_CURRENT_TEXT(display)
  ZEQ_CURRENT_TEXT(visibility)
  ZEQ_CURRENT_TEXT(position)
  ZEQ_CURRENT_TEXT(overflow)
  ZEQ_CURRENT_TEXT(cursor)
  ZEQ_CURRENT_TEXT(fontFamily)
  ZEQ_CURRENT_VAR(left)
  ZEQ_CURRENT_VAR(top)
  ZEQ_CURRENT_VAR(width)
  ZEQ_CURRENT_VAR(height)
  ZEQ_CURRENT_VAR(color)
  ZEQ_CURRENT_VAR(backgroundColor)
  ZEQ_CURRENT_VAR(fontSize)
  ZEQ_CURRENT_VAR(zIndex)
#undef ZEQ_CURRENT_TEXT
#undef ZEQ_CURRENT_VAR

 private:
  ~CurrentStyle() = default;
  std::wstring Value(const std::wstring& css) const;
  HRESULT Text(const wchar_t* css, BSTR* p) const;
  HRESULT Variant(const wchar_t* css, VARIANT* p) const;
  LONG ref_ = 1;
  DispatchCore core_;
  Ref<IHTMLElement> owner_ref_;
  Element* owner_;
};

// getBoundingClientRect: a fixed rectangle in page coordinates.
class Rect final : public IDispatchEx, public IHTMLRectNotImpl, public DispatchCore::Owner {
 public:
  explicit Rect(const RECT& r) : r_(r) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }
  HRESULT STDMETHODCALLTYPE get_left(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_top(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_right(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_bottom(LONG* p) override;

 private:
  ~Rect() = default;
  LONG ref_ = 1;
  DispatchCore core_;
  RECT r_;
};

// window.event and the objects of fireEvent and createEventObject. Names that
// script or the host add (errorLine, errorMessage ...) are expandos.
class EventObj final : public IDispatchEx,
                       public IHTMLEventObjNotImpl,
                       public IHTMLEventObj2NotImpl,
                       public DispatchCore::Owner {
 public:
  EventObj();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }

  void SetType(const std::wstring& type) { type_ = type; }
  void SetSource(IHTMLElement* src) { src_ = src; }
  bool HasSource() const { return static_cast<bool>(src_); }
  bool CancelBubble() const { return cancel_bubble_; }
  const VARIANT* ReturnValue() const { return return_value_.Get(); }
  void SetReturnValue(const VARIANT* v) { VariantCopy(return_value_.Out(), const_cast<VARIANT*>(v)); }
  void SetValue(const std::wstring& name, const VARIANT* v) { core_.SetExpando(name, v); }
  void SetText(const std::wstring& name, const std::wstring& text);
  void SetNumber(const std::wstring& name, long n);
  void Clear() { core_.Clear(); src_.Reset(); }

  // IHTMLEventObj
  HRESULT STDMETHODCALLTYPE get_srcElement(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE put_returnValue(VARIANT v) override;
  HRESULT STDMETHODCALLTYPE get_returnValue(VARIANT* p) override;
  HRESULT STDMETHODCALLTYPE put_cancelBubble(VARIANT_BOOL v) override;
  HRESULT STDMETHODCALLTYPE get_cancelBubble(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_type(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_keyCode(LONG* p) override;
  HRESULT STDMETHODCALLTYPE put_keyCode(LONG v) override;
  HRESULT STDMETHODCALLTYPE get_button(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_clientX(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_clientY(LONG* p) override;
  // IHTMLEventObj2
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG flags) override;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE put_type(BSTR v) override;

 private:
  ~EventObj() = default;
  LONG ref_ = 1;
  DispatchCore core_;
  std::wstring type_;
  Ref<IHTMLElement> src_;
  Var return_value_;
  bool cancel_bubble_ = false;
  LONG key_code_ = 0;
};

EventObj* EventObjFromUnknown(IUnknown* unk);

}  // namespace dochost
