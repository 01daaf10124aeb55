// The document: look-ups over its tree, its scripts, and its end.
#include "document.h"

#include "dochost/dochost.h"
#include "foundation/com_guard.h"
#include "html_tree.h"
#include "script_engine.h"
#include "url_loader.h"

namespace dochost {
namespace {

bool IsJScript(const Element* script) {
  std::wstring language = Lower(Trim(script->AttrText(L"language")));
  std::wstring type = Lower(Trim(script->AttrText(L"type")));
  if (!language.empty())
    return language.compare(0, 10, L"javascript") == 0 || language == L"jscript" || language == L"ecmascript";
  if (!type.empty()) {
    size_t semi = type.find(L';');
    if (semi != std::wstring::npos) type = Trim(type.substr(0, semi));
    return type == L"text/javascript" || type == L"text/jscript" || type == L"application/javascript" ||
           type == L"application/x-javascript" || type == L"text/ecmascript" || type == L"application/ecmascript";
  }
  return true;
}

// Markup comment delimiters around old inline scripts are not script.
std::wstring StripCommentDelimiters(std::wstring code) {
  size_t b = 0;
  while (b < code.size() && iswspace(code[b])) ++b;
  if (code.compare(b, 4, L"<!--") == 0) code.replace(b, 4, L"//");
  size_t e = code.find_last_not_of(L" \t\r\n");
  if (e != std::wstring::npos && e >= 2 && code.compare(e - 2, 3, L"-->") == 0) code.erase(e - 2, 3);
  return code;
}

HRESULT ReturnElementPtr(Element* e, IHTMLElement** p) {
  if (!p) return E_POINTER;
  *p = e ? static_cast<IHTMLElement*>(e) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
}

}  // namespace

Document::Document(DocumentHost* host, const std::wstring& url) : host_(host), url_(url) {
  window_ = Ref<Window>::Adopt(new Window(this));
}

Document::~Document() {
  // Normally closed by its browser; a document dropped without that still
  // ends its window, whose engine would otherwise outlive it.
  if (window_) window_->Close();
}

HRESULT Document::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLDocument || iid == IID_IHTMLDocument2)
    *out = static_cast<IHTMLDocument2*>(this);
  else if (iid == IID_IHTMLDocument3)
    *out = static_cast<IHTMLDocument3*>(this);
  else if (iid == IID_IHTMLDocument4)
    *out = static_cast<IHTMLDocument4*>(this);
  else if (iid == IID_IServiceProvider)
    *out = static_cast<IServiceProvider*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Document::QueryInterface")

size_t Document::Faces(DispatchFace* out, size_t max) {
  if (max < 3) return 0;
  out[0] = {&IID_IHTMLDocument2, static_cast<IHTMLDocument2*>(this)};
  out[1] = {&IID_IHTMLDocument3, static_cast<IHTMLDocument3*>(this)};
  out[2] = {&IID_IHTMLDocument4, static_cast<IHTMLDocument4*>(this)};
  return 3;
}

void Document::SetRoot(Element* root) {
  root_ = root;
  root_ref_ = root ? static_cast<IHTMLElement*>(root) : nullptr;
}

Element* Document::FirstByTag(const wchar_t* upper) const {
  for (Element* e : AllElements())
    if (e->IsTag(upper)) return e;
  return nullptr;
}

Element* Document::Body() const {
  if (!root_) return nullptr;
  for (Node* n : root_->Children())
    if (n->NodeKind() == Node::Kind::kElement && static_cast<Element*>(n)->IsTag(L"BODY"))
      return static_cast<Element*>(n);
  return nullptr;
}

Element* Document::Head() const {
  if (!root_) return nullptr;
  for (Node* n : root_->Children())
    if (n->NodeKind() == Node::Kind::kElement && static_cast<Element*>(n)->IsTag(L"HEAD"))
      return static_cast<Element*>(n);
  return nullptr;
}

Element* Document::ById(const std::wstring& id) const {
  if (id.empty()) return nullptr;
  for (Element* e : AllElements())
    if (e->AttrText(L"id") == id) return e;
  return nullptr;
}

std::vector<Element*> Document::AllElements() const {
  std::vector<Element*> all;
  if (root_) root_->CollectElements(&all, true);
  return all;
}

std::wstring Document::Title() const {
  Element* title = FirstByTag(L"TITLE");
  return title ? Trim(title->TextContent()) : std::wstring();
}

void Document::SetReadyState(const wchar_t* state) { ready_state_ = state; }

HRESULT Document::RunScriptElement(Element* script) try {
  if (script->ScriptStarted() || closed_) return S_FALSE;
  script->MarkScriptStarted();
  if (!IsJScript(script)) return S_FALSE;
  Ref<IHTMLElement> keep(static_cast<IHTMLElement*>(script));
  ScriptEngine* engine = window_ ? window_->Engine() : nullptr;
  if (!engine) return E_FAIL;
  std::wstring target = Lower(Trim(script->AttrText(L"for")));
  std::wstring event = Lower(Trim(script->AttrText(L"event")));
  if (!target.empty() && !event.empty()) {
    // A handler script: its text becomes a handler of the named object.
    size_t paren = event.find(L'(');
    if (paren != std::wstring::npos) event.erase(paren);
    Ref<IDispatch> fn;
    if (FAILED(engine->CompileHandler(script->TextContent(), event, fn.Out()))) return E_FAIL;
    if (target == L"window")
      window_->EventListeners().Add(event, fn.Get());
    else if (target == L"document")
      listeners_.Add(event, fn.Get());
    else if (Element* e = ById(script->AttrText(L"for")))
      e->EventListeners().Add(event, fn.Get());
    return S_OK;
  }
  std::wstring src = Trim(script->AttrText(L"src"));
  if (!src.empty()) {
    std::wstring url = CombineUrl(url_, src);
    std::string bytes;
    // A script that cannot be read is left out, as the platform's browser does.
    if (FAILED(LoadUrlBytes(url, &bytes))) return S_FALSE;
    if (closed_) return S_FALSE;
    return engine->Execute(DecodeText(bytes), url, 0, nullptr);
  }
  ULONG line = script->SourceLine();
  return engine->Execute(StripCommentDelimiters(script->TextContent()), url_, line ? line - 1 : 0, nullptr);
} ZEQ_COM_CATCH("Document::RunScriptElement")

void Document::LoadFrames() {
  for (Element* e : AllElements()) {
    if (!e->IsTag(L"IFRAME") && !e->IsTag(L"FRAME")) continue;
    Ref<IWebBrowser2> frame;
    if (FAILED(DocHostCreateOwnBrowser(IID_IWebBrowser2, frame.OutVoid())) || !frame) continue;
    // The frame shares its page's site: the same host services and external object.
    if (Ref<IOleObject> ole = frame.As<IOleObject>(IID_IOleObject))
      ole->SetClientSite(host_ ? host_->ClientSite() : nullptr);
    e->SetFrameBrowser(frame.Get());
    std::wstring src = Trim(e->AttrText(L"src"));
    Var url;
    SetVariantString(url.Get(), src.empty() ? std::wstring(L"about:blank") : CombineUrl(url_, src));
    frame->Navigate2(url.Get(), nullptr, nullptr, nullptr, nullptr);
  }
}

void Document::ScriptInserted(Element* script) {
  if (loaded_ && !closed_) RunScriptElement(script);
}

void Document::RunScripts() {
  Ref<IDispatchEx> keep(this);
  std::vector<Element*> all = AllElements();
  std::vector<Ref<IHTMLElement>> scripts, deferred;
  for (Element* e : all) {
    if (!e->IsTag(L"SCRIPT")) continue;
    bool defer = e->HasAttr(L"defer");
    (defer ? deferred : scripts).emplace_back(static_cast<IHTMLElement*>(e));
  }
  for (auto& s : scripts) {
    if (closed_) return;
    RunScriptElement(static_cast<Element*>(s.Get()));
  }
  for (auto& s : deferred) {
    if (closed_) return;
    RunScriptElement(static_cast<Element*>(s.Get()));
  }
  loaded_ = true;
}

void Document::Close() {
  if (closed_) return;
  Ref<IDispatchEx> keep(this);
  if (loaded_ && window_) {
    Ref<EventObj> ev = Ref<EventObj>::Adopt(new EventObj());
    DispatchWindowEvent(window_.Get(), L"onunload", ev.Get(), nullptr, 0, nullptr);
  }
  closed_ = true;
  if (window_) window_->Close();
  if (root_) root_->Detach();
  root_.Reset();
  root_ref_.Reset();
  listeners_.Clear();
  core_.Clear();
  host_ = nullptr;
}

// ---- IHTMLDocument, IHTMLDocument2

HRESULT Document::get_Script(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = window_ ? static_cast<IDispatchEx*>(window_.Get()) : nullptr;
  if (*p) (*p)->AddRef();
  return *p ? S_OK : E_FAIL;
} ZEQ_COM_CATCH("Document::get_Script")

HRESULT Document::get_all(IHTMLElementCollection** p) try {
  if (!p) return E_POINTER;
  *p = new ElementCollection(AllElements());
  return S_OK;
} ZEQ_COM_CATCH("Document::get_all")

HRESULT Document::get_body(IHTMLElement** p) try { return ReturnElementPtr(Body(), p); } ZEQ_COM_CATCH("Document::get_body")

HRESULT Document::get_scripts(IHTMLElementCollection** p) try {
  if (!p) return E_POINTER;
  std::vector<Element*> scripts;
  for (Element* e : AllElements())
    if (e->IsTag(L"SCRIPT")) scripts.push_back(e);
  *p = new ElementCollection(std::move(scripts));
  return S_OK;
} ZEQ_COM_CATCH("Document::get_scripts")

HRESULT Document::get_readyState(BSTR* p) try { return ReturnBstr(ready_state_, p); } ZEQ_COM_CATCH("Document::get_readyState")

HRESULT Document::put_title(BSTR v) try {
  std::wstring text = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
  Element* title = FirstByTag(L"TITLE");
  if (!title) {
    Element* head = Head();
    if (!head) return E_FAIL;
    title = new Element(this, L"title");
    head->InsertChild(title, nullptr);
    title->Release();
  }
  Bstr b(text);
  title->put_innerText(b.Get());
  if (host_) host_->TitleChanged(text);
  return S_OK;
} ZEQ_COM_CATCH("Document::put_title")

HRESULT Document::get_title(BSTR* p) try { return ReturnBstr(Title(), p); } ZEQ_COM_CATCH("Document::get_title")

HRESULT Document::get_parentWindow(IHTMLWindow2** p) try {
  if (!p) return E_POINTER;
  *p = window_ ? static_cast<IHTMLWindow2*>(window_.Get()) : nullptr;
  if (*p) (*p)->AddRef();
  return *p ? S_OK : E_FAIL;
} ZEQ_COM_CATCH("Document::get_parentWindow")

HRESULT Document::get_URL(BSTR* p) try { return ReturnBstr(url_, p); } ZEQ_COM_CATCH("Document::get_URL")

HRESULT Document::get_location(IHTMLLocation** p) try {
  if (p) *p = nullptr;
  return E_NOTIMPL;
} ZEQ_COM_CATCH("Document::get_location")

HRESULT Document::createElement(BSTR tag, IHTMLElement** p) try {
  if (!p) return E_POINTER;
  *p = nullptr;
  std::wstring t = Trim(tag ? std::wstring(tag, SysStringLen(tag)) : std::wstring());
  if (t.empty()) return E_INVALIDARG;
  if (t[0] == L'<') {
    // createElement("<div id=a>") as the platform allows: markup of one element.
    std::vector<Node*> nodes = ParseFragmentNodes(this, WideToUtf8(t), L"div");
    for (Node* n : nodes) {
      if (!*p && n->NodeKind() == Node::Kind::kElement) {
        *p = static_cast<Element*>(n);
        continue;
      }
      n->NodeRelease();
    }
    return *p ? S_OK : E_INVALIDARG;
  }
  *p = new Element(this, t);
  return S_OK;
} ZEQ_COM_CATCH("Document::createElement")

HRESULT Document::elementFromPoint(LONG x, LONG y, IHTMLElement** p) try {
  if (!p) return E_POINTER;
  Element* hit = nullptr;
  for (Element* e : AllElements()) {
    if (e->IsTag(L"HTML")) continue;
    RECT r = e->OffsetRect();
    POINT at = e->PagePosition();
    LONG w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) continue;
    // Later elements in document order lie above earlier ones.
    if (x >= at.x && x < at.x + w && y >= at.y && y < at.y + h) hit = e;
  }
  return ReturnElementPtr(hit ? hit : Body(), p);
} ZEQ_COM_CATCH("Document::elementFromPoint")

HRESULT Document::get_activeElement(IHTMLElement** p) try { return ReturnElementPtr(Body(), p); } ZEQ_COM_CATCH("Document::get_activeElement")

HRESULT Document::toString(BSTR* p) try { return ReturnBstr(L"[object Document]", p); } ZEQ_COM_CATCH("Document::toString")

// ---- IHTMLDocument3

HRESULT Document::get_documentElement(IHTMLElement** p) try { return ReturnElementPtr(root_.Get(), p); } ZEQ_COM_CATCH("Document::get_documentElement")

HRESULT Document::attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) try {
  if (!event || !fn) return E_INVALIDARG;
  listeners_.Add(std::wstring(event, SysStringLen(event)), fn);
  if (ok) *ok = VARIANT_TRUE;
  return S_OK;
} ZEQ_COM_CATCH("Document::attachEvent")

HRESULT Document::detachEvent(BSTR event, IDispatch* fn) try {
  if (!event) return E_INVALIDARG;
  listeners_.Remove(std::wstring(event, SysStringLen(event)), fn);
  return S_OK;
} ZEQ_COM_CATCH("Document::detachEvent")

HRESULT Document::createTextNode(BSTR text, IHTMLDOMNode** p) try {
  if (!p) return E_POINTER;
  *p = new TextNode(this, text ? std::wstring(text, SysStringLen(text)) : std::wstring());
  return S_OK;
} ZEQ_COM_CATCH("Document::createTextNode")

HRESULT Document::getElementById(BSTR id, IHTMLElement** p) try {
  return ReturnElementPtr(ById(id ? std::wstring(id, SysStringLen(id)) : std::wstring()), p);
} ZEQ_COM_CATCH("Document::getElementById")

HRESULT Document::getElementsByTagName(BSTR tag, IHTMLElementCollection** p) try {
  if (!p) return E_POINTER;
  if (!root_) {
    *p = new ElementCollection({});
    return S_OK;
  }
  // The root element itself counts too.
  std::wstring t = Upper(tag ? std::wstring(tag, SysStringLen(tag)) : std::wstring());
  std::vector<Element*> match;
  for (Element* e : AllElements())
    if (t == L"*" || Upper(e->Tag()) == t) match.push_back(e);
  *p = new ElementCollection(std::move(match));
  return S_OK;
} ZEQ_COM_CATCH("Document::getElementsByTagName")

HRESULT Document::getElementsByName(BSTR name, IHTMLElementCollection** p) try {
  if (!p) return E_POINTER;
  std::wstring n = name ? std::wstring(name, SysStringLen(name)) : std::wstring();
  std::vector<Element*> match;
  for (Element* e : AllElements())
    if (!n.empty() && e->AttrText(L"name") == n) match.push_back(e);
  *p = new ElementCollection(std::move(match));
  return S_OK;
} ZEQ_COM_CATCH("Document::getElementsByName")

// ---- IHTMLDocument4

HRESULT Document::createEventObject(VARIANT*, IHTMLEventObj** p) try {
  if (!p) return E_POINTER;
  *p = new EventObj();
  return S_OK;
} ZEQ_COM_CATCH("Document::createEventObject")

HRESULT Document::fireEvent(BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled) try {
  return FireNamedEvent(this, nullptr, event, event_obj, not_cancelled);
} ZEQ_COM_CATCH("Document::fireEvent")

HRESULT Document::QueryService(REFGUID service, REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  IOleClientSite* site = host_ ? host_->ClientSite() : nullptr;
  Ref<IServiceProvider> sp;
  if (site) site->QueryInterface(IID_IServiceProvider, sp.OutVoid());
  return sp ? sp->QueryService(service, iid, out) : E_NOINTERFACE;
} ZEQ_COM_CATCH("Document::QueryService")

}  // namespace dochost
