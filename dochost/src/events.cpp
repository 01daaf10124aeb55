// Event objects and event delivery: handlers set as properties ("onclick"),
// written in markup (onclick="..."), or attached with attachEvent; delivery
// bubbles from the target to its ancestors and the document.
#include "document.h"
#include "dom_ids.h"
#include "foundation/com_guard.h"
#include "script_engine.h"

namespace dochost {
namespace {

bool Bubbles(const std::wstring& name) {
  static const wchar_t* const kNonBubbling[] = {L"onload", L"onunload", L"onfocus", L"onblur",
                                                 L"onreadystatechange", L"onpropertychange", L"onerror",
                                                 L"onmouseenter", L"onmouseleave", L"onresize", L"onscroll"};
  for (const wchar_t* n : kNonBubbling)
    if (name == n) return false;
  return true;
}

bool IsFalse(const VARIANT* v) { return v && V_VT(v) == VT_BOOL && V_BOOL(v) == VARIANT_FALSE; }

// The handler property of an object; for an element without one, its markup
// attribute compiled once into a function.
Ref<IDispatch> PropertyHandler(DispatchCore& core, Element* element, const std::wstring& name, Window* win) {
  if (const VARIANT* v = core.EventProperty(name)) {
    if (IDispatch* d = VariantDispatch(v)) return Ref<IDispatch>::Adopt(d);
    // A text handler (el.onclick = "code") compiles like markup.
    std::wstring code = VariantText(v);
    Ref<IDispatch> fn;
    ScriptEngine* engine = win ? win->Engine() : nullptr;
    if (!code.empty() && engine && SUCCEEDED(engine->CompileHandler(code, name, fn.Out()))) {
      VARIANT f;
      V_VT(&f) = VT_DISPATCH;
      V_DISPATCH(&f) = fn.Get();
      core.SetEventProperty(name, &f);
    }
    return fn;
  }
  if (!element) return Ref<IDispatch>();
  const Attr* a = element->FindAttr(name);
  if (!a || V_VT(a->value.Get()) != VT_BSTR) return Ref<IDispatch>();
  std::wstring code = VariantText(a->value.Get());
  ScriptEngine* engine = win ? win->Engine() : nullptr;
  Ref<IDispatch> fn;
  if (code.empty() || !engine || FAILED(engine->CompileHandler(code, name, fn.Out()))) return Ref<IDispatch>();
  VARIANT f;
  V_VT(&f) = VT_DISPATCH;
  V_DISPATCH(&f) = fn.Get();
  core.SetEventProperty(name, &f);
  return fn;
}

void RunHandlers(DispatchCore& core, Listeners& listeners, Element* element, IDispatch* self,
                 const std::wstring& name, EventObj* ev, Window* win, const VARIANT* args, UINT count,
                 VARIANT* result) {
  if (Ref<IDispatch> fn = PropertyHandler(core, element, name, win)) {
    Var res;
    if (SUCCEEDED(CallFunction(fn.Get(), self, args, count, res.Get()))) {
      // Returning false from a handler property cancels the event.
      if (IsFalse(res.Get()) && V_VT(ev->ReturnValue()) == VT_EMPTY) ev->SetReturnValue(res.Get());
      if (result) VariantCopy(result, res.Get());
    }
  }
  for (const Ref<IDispatch>& fn : listeners.For(name)) {
    Var res;
    if (SUCCEEDED(CallFunction(fn.Get(), nullptr, args, count, res.Get())) && result &&
        V_VT(res.Get()) != VT_EMPTY)
      VariantCopy(result, res.Get());
  }
}

}  // namespace

bool DispatchDomEvent(Document* doc, Element* target, const std::wstring& name, EventObj* ev) {
  Ref<IDispatchEx> keep_doc(doc);
  Window* win = doc ? doc->Win() : nullptr;
  Ref<IDispatchEx> keep_win(win);
  if (!ev->HasSource() && target) ev->SetSource(target);
  ev->SetType(name.substr(2));
  Ref<EventObj> previous;
  if (win) previous = win->SwapEvent(ev);
  // The chain is fixed before the first handler runs: handlers may move nodes.
  std::vector<Ref<IHTMLElement>> chain;
  for (Element* e = target; e; e = e->ParentElement()) chain.emplace_back(static_cast<IHTMLElement*>(e));
  bool bubbles = Bubbles(name);
  bool reached_end = true;
  for (const auto& ref : chain) {
    Element* e = static_cast<Element*>(ref.Get());
    RunHandlers(e->Core(), e->EventListeners(), e, e->ThisObject(), name, ev, win, nullptr, 0, nullptr);
    if (!bubbles || ev->CancelBubble()) {
      reached_end = false;
      break;
    }
  }
  if (doc && reached_end && bubbles && !doc->Closed())
    RunHandlers(doc->Core(), doc->EventListeners(), nullptr, doc->ThisObject(), name, ev, win, nullptr, 0,
                nullptr);
  if (win) win->SwapEvent(previous.Get());
  return !IsFalse(ev->ReturnValue());
}

HRESULT FireNamedEvent(Document* doc, Element* target, BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled) {
  if (!event) return E_INVALIDARG;
  std::wstring name = Lower(std::wstring(event, SysStringLen(event)));
  if (name.size() < 3 || name.compare(0, 2, L"on") != 0) return E_INVALIDARG;
  Ref<EventObj> ev;
  if (event_obj) {
    Ref<IDispatch> d = Ref<IDispatch>::Adopt(VariantDispatch(event_obj));
    if (EventObj* given = EventObjFromUnknown(d.Get())) ev = given;
  }
  if (!ev) ev = Ref<EventObj>::Adopt(new EventObj());
  bool ok = DispatchDomEvent(doc, target, name, ev.Get());
  if (not_cancelled) *not_cancelled = ok ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

bool DispatchWindowEvent(Window* win, const std::wstring& name, EventObj* ev, const VARIANT* args, UINT count,
                         VARIANT* result) {
  if (!win) return true;
  Ref<IDispatchEx> keep(win);
  ev->SetType(name.substr(2));
  Ref<EventObj> previous = win->SwapEvent(ev);
  RunHandlers(win->Core(), win->EventListeners(), nullptr, win->ThisObject(), name, ev, win, args, count, result);
  win->SwapEvent(previous.Get());
  return !IsFalse(ev->ReturnValue());
}

// ---- EventObj

EventObj::EventObj() = default;

EventObj* EventObjFromUnknown(IUnknown* unk) {
  if (!unk) return nullptr;
  EventObj* ev = nullptr;
  if (FAILED(unk->QueryInterface(IID_DocHostEventObj, reinterpret_cast<void**>(&ev))) || !ev) return nullptr;
  ev->Release();  // borrowed: the caller holds the object
  return ev;
}

HRESULT EventObj::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLEventObj)
    *out = static_cast<IHTMLEventObj*>(this);
  else if (iid == IID_IHTMLEventObj2)
    *out = static_cast<IHTMLEventObj2*>(this);
  else if (iid == IID_DocHostEventObj)
    *out = this;
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("EventObj::QueryInterface")

size_t EventObj::Faces(DispatchFace* out, size_t max) {
  if (max < 2) return 0;
  out[0] = {&IID_IHTMLEventObj, static_cast<IHTMLEventObj*>(this)};
  out[1] = {&IID_IHTMLEventObj2, static_cast<IHTMLEventObj2*>(this)};
  return 2;
}

void EventObj::SetText(const std::wstring& name, const std::wstring& text) {
  Var v;
  SetVariantString(v.Get(), text);
  core_.SetExpando(name, v.Get());
}

void EventObj::SetNumber(const std::wstring& name, long n) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  core_.SetExpando(name, &v);
}

HRESULT EventObj::get_srcElement(IHTMLElement** p) try {
  if (!p) return E_POINTER;
  *p = src_.Get();
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_srcElement")

HRESULT EventObj::put_returnValue(VARIANT v) try { return VariantCopyInd(return_value_.Out(), &v); } ZEQ_COM_CATCH("EventObj::put_returnValue")

HRESULT EventObj::get_returnValue(VARIANT* p) try {
  if (!p) return E_POINTER;
  VariantInit(p);
  return VariantCopy(p, return_value_.Get());
} ZEQ_COM_CATCH("EventObj::get_returnValue")

HRESULT EventObj::put_cancelBubble(VARIANT_BOOL v) try {
  cancel_bubble_ = v != VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::put_cancelBubble")

HRESULT EventObj::get_cancelBubble(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = cancel_bubble_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_cancelBubble")

HRESULT EventObj::get_type(BSTR* p) try { return ReturnBstr(type_, p); } ZEQ_COM_CATCH("EventObj::get_type")

HRESULT EventObj::put_type(BSTR v) try {
  type_ = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
  return S_OK;
} ZEQ_COM_CATCH("EventObj::put_type")

HRESULT EventObj::get_keyCode(LONG* p) try {
  if (!p) return E_POINTER;
  *p = key_code_;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_keyCode")

HRESULT EventObj::put_keyCode(LONG v) try {
  key_code_ = v;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::put_keyCode")

HRESULT EventObj::get_button(LONG* p) try {
  if (!p) return E_POINTER;
  *p = 0;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_button")

HRESULT EventObj::get_clientX(LONG* p) try {
  if (!p) return E_POINTER;
  *p = 0;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_clientX")

HRESULT EventObj::get_clientY(LONG* p) try {
  if (!p) return E_POINTER;
  *p = 0;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::get_clientY")

HRESULT EventObj::setAttribute(BSTR name, VARIANT value, LONG) try {
  if (!name) return E_INVALIDARG;
  core_.SetExpando(std::wstring(name, SysStringLen(name)), &value);
  return S_OK;
} ZEQ_COM_CATCH("EventObj::setAttribute")

HRESULT EventObj::getAttribute(BSTR name, LONG, VARIANT* value) try {
  if (!value) return E_POINTER;
  VariantInit(value);
  const VARIANT* v = name ? core_.Expando(std::wstring(name, SysStringLen(name))) : nullptr;
  if (!v) {
    V_VT(value) = VT_NULL;
    return S_OK;
  }
  return VariantCopy(value, const_cast<VARIANT*>(v));
} ZEQ_COM_CATCH("EventObj::getAttribute")

HRESULT EventObj::removeAttribute(BSTR name, LONG, VARIANT_BOOL* ok) try {
  HRESULT hr = core_.DeleteMemberByName(name, fdexNameCaseSensitive);
  if (ok) *ok = hr == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("EventObj::removeAttribute")

}  // namespace dochost
