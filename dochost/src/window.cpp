// The document's window: the script global object (its own members, then the
// script's functions and variables), timers, dialogs and window.external.
#include <mshtmhst.h>

#include <mutex>

#include "document.h"
#include "dochost/platform_guids.h"
#include "foundation/com_guard.h"
#include "script_engine.h"
#include "window_classes.h"

namespace dochost {
namespace {

LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) try {
  if (msg == WM_TIMER) {
    Window* win = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (win) win->RunTimer(static_cast<UINT_PTR>(wp));
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
} ZEQ_CALLBACK_CATCH("TimerWindowProc", 0)

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&TimerWindowProc), &module);
  return module;
}

void RegisterTimerClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = kTimerWindowClass;
    RegisterClassW(&wc);
  });
}

std::wstring LanguageOf(const VARIANT* v) {
  return v && (V_VT(v) == VT_BSTR || V_VT(v) == (VT_BSTR | VT_BYREF)) ? Lower(Trim(VariantText(v))) : std::wstring();
}

bool IsJScriptName(const std::wstring& language) {
  return language.empty() || language == L"jscript" || language.compare(0, 10, L"javascript") == 0 ||
         language == L"ecmascript";
}

}  // namespace

Window::Window(Document* doc) : doc_(doc) {
  // The document owns the window; the window's reference to the document is
  // taken only for the time script runs in it (see Close).
}

Window::~Window() {
  if (timer_hwnd_) DestroyWindow(timer_hwnd_);
}

HRESULT Window::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLWindow2 || iid == IID_IHTMLFramesCollection2)
    *out = static_cast<IHTMLWindow2*>(this);
  else if (iid == IID_IHTMLWindow3)
    *out = static_cast<IHTMLWindow3*>(this);
  else if (iid == IID_IServiceProvider)
    *out = static_cast<IServiceProvider*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Window::QueryInterface")

size_t Window::Faces(DispatchFace* out, size_t max) {
  if (max < 2) return 0;
  // Window3 first: its setTimeout and setInterval take functions as well as text.
  out[0] = {&IID_IHTMLWindow3, static_cast<IHTMLWindow3*>(this)};
  out[1] = {&IID_IHTMLWindow2, static_cast<IHTMLWindow2*>(this)};
  return 2;
}

ScriptEngine* Window::Engine() {
  if (!engine_ && !engine_failed_ && !closed_) {
    engine_ = Ref<ScriptEngine>::Adopt(ScriptEngine::Create(this));
    engine_failed_ = !engine_;
  }
  return engine_.Get();
}

// Script globals seen as members of the window, as the host reaches page
// functions and variables through document.Script.
HRESULT Window::OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) try {
  ScriptEngine* engine = Engine();
  IDispatchEx* globals = engine ? engine->Globals() : nullptr;
  if (!globals) return DISP_E_UNKNOWNNAME;
  Bstr b(name);
  DISPID gid = DISPID_UNKNOWN;
  HRESULT hr = globals->GetDispID(b.Get(), (grfdex & ~fdexNameEnsure) | fdexNameCaseSensitive, &gid);
  if (FAILED(hr) && (grfdex & fdexNameEnsure))
    hr = globals->GetDispID(b.Get(), fdexNameEnsure | fdexNameCaseSensitive, &gid);
  if (FAILED(hr)) return DISP_E_UNKNOWNNAME;
  for (size_t i = 0; i < global_names_.size(); ++i) {
    if (global_names_[i] == name) {
      *id = kSpecialFirst + static_cast<DISPID>(i);
      return S_OK;
    }
  }
  if (global_names_.size() >= static_cast<size_t>(kSpecialLast - kSpecialFirst)) return DISP_E_UNKNOWNNAME;
  global_names_.push_back(name);
  *id = kSpecialFirst + static_cast<DISPID>(global_names_.size() - 1);
  return S_OK;
} ZEQ_COM_CATCH("Window::OwnDispID")

HRESULT Window::OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                          IServiceProvider* caller) try {
  size_t index = static_cast<size_t>(id - kSpecialFirst);
  if (id < kSpecialFirst || index >= global_names_.size()) return DISP_E_MEMBERNOTFOUND;
  ScriptEngine* engine = engine_.Get();
  IDispatchEx* globals = engine ? engine->Globals() : nullptr;
  if (!globals) return DISP_E_MEMBERNOTFOUND;
  Ref<IDispatchEx> keep(globals);
  Bstr b(global_names_[index]);
  DISPID gid = DISPID_UNKNOWN;
  if (FAILED(globals->GetDispID(b.Get(), fdexNameCaseSensitive, &gid))) return DISP_E_MEMBERNOTFOUND;
  return globals->InvokeEx(gid, LOCALE_USER_DEFAULT, flags, params, result, ei, caller);
} ZEQ_COM_CATCH("Window::OwnInvoke")

std::wstring Window::OwnName(DISPID id) {
  size_t index = static_cast<size_t>(id - kSpecialFirst);
  return id >= kSpecialFirst && index < global_names_.size() ? global_names_[index] : std::wstring();
}

Ref<EventObj> Window::SwapEvent(EventObj* ev) {
  Ref<EventObj> previous = event_;
  event_ = ev;
  return previous;
}

void Window::Close() {
  if (closed_) return;
  closed_ = true;
  Ref<IDispatchEx> keep(this);
  for (auto& t : timers_)
    if (timer_hwnd_) KillTimer(timer_hwnd_, static_cast<UINT_PTR>(t.first));
  timers_.clear();
  if (timer_hwnd_) {
    SetWindowLongPtrW(timer_hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(timer_hwnd_);
    timer_hwnd_ = nullptr;
  }
  if (engine_) {
    engine_->Close();
    engine_.Reset();
  }
  event_.Reset();
  listeners_.Clear();
  core_.Clear();
  doc_ = nullptr;
}

HWND Window::TimerWindow() {
  if (!timer_hwnd_ && !closed_) {
    RegisterTimerClass();
    timer_hwnd_ = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), nullptr);
    if (timer_hwnd_) SetWindowLongPtrW(timer_hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  return timer_hwnd_;
}

LONG Window::AddTimer(const VARIANT* expr, LONG msec, bool repeat) {
  HWND hwnd = TimerWindow();
  if (!hwnd || !expr) return 0;
  LONG id = next_timer_++;
  Timer t;
  VariantCopyInd(t.expr.Get(), const_cast<VARIANT*>(expr));
  t.repeat = repeat;
  timers_[id] = t;
  SetTimer(hwnd, static_cast<UINT_PTR>(id), msec < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : msec, nullptr);
  return id;
}

void Window::RemoveTimer(LONG id) {
  if (timers_.erase(id) && timer_hwnd_) KillTimer(timer_hwnd_, static_cast<UINT_PTR>(id));
}

void Window::RunTimer(UINT_PTR id) {
  auto it = timers_.find(static_cast<LONG>(id));
  if (it == timers_.end() || closed_) {
    if (timer_hwnd_) KillTimer(timer_hwnd_, id);
    return;
  }
  Ref<IDispatchEx> keep(this);
  Var expr = it->second.expr;
  if (!it->second.repeat) RemoveTimer(static_cast<LONG>(id));
  try {
    if (Ref<IDispatch> fn = Ref<IDispatch>::Adopt(VariantDispatch(expr.Get()))) {
      CallFunction(fn.Get(), nullptr, nullptr, 0, nullptr);
    } else if (ScriptEngine* engine = Engine()) {
      engine->Execute(VariantText(expr.Get()), doc_ ? doc_->Url() : std::wstring(), 0, nullptr);
    }
  } catch (...) {
    // An allocation failure ends this timer's run only.
  }
}

// ---- IHTMLFramesCollection2, IHTMLWindow2

HRESULT Window::item(VARIANT*, VARIANT* result) try {
  if (result) VariantInit(result);
  return E_INVALIDARG;  // no frames
} ZEQ_COM_CATCH("Window::item")

HRESULT Window::get_length(LONG* p) try {
  if (!p) return E_POINTER;
  *p = 0;
  return S_OK;
} ZEQ_COM_CATCH("Window::get_length")

HRESULT Window::get_defaultStatus(BSTR* p) try { return ReturnBstr(L"", p); } ZEQ_COM_CATCH("Window::get_defaultStatus")

HRESULT Window::put_status(BSTR v) try {
  status_ = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
  if (doc_ && doc_->Host()) doc_->Host()->StatusTextChanged(status_);
  return S_OK;
} ZEQ_COM_CATCH("Window::put_status")

HRESULT Window::get_status(BSTR* p) try { return ReturnBstr(status_, p); } ZEQ_COM_CATCH("Window::get_status")

HRESULT Window::setTimeout(BSTR expr, LONG msec, VARIANT* language, LONG* id) try {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = expr;
  return StartTimer(&v, msec, language, false, id);
} ZEQ_COM_CATCH("Window::setTimeout")

HRESULT Window::setTimeout(VARIANT* expr, LONG msec, VARIANT* language, LONG* id) try {
  return StartTimer(expr, msec, language, false, id);
} ZEQ_COM_CATCH("Window::setTimeout")

HRESULT Window::setInterval(BSTR expr, LONG msec, VARIANT* language, LONG* id) try {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = expr;
  return StartTimer(&v, msec, language, true, id);
} ZEQ_COM_CATCH("Window::setInterval")

HRESULT Window::setInterval(VARIANT* expr, LONG msec, VARIANT* language, LONG* id) try {
  return StartTimer(expr, msec, language, true, id);
} ZEQ_COM_CATCH("Window::setInterval")

HRESULT Window::StartTimer(const VARIANT* expr, LONG msec, const VARIANT* language, bool repeat, LONG* id) try {
  if (!id) return E_POINTER;
  if (!IsJScriptName(LanguageOf(language))) return E_INVALIDARG;
  *id = AddTimer(expr, msec, repeat);
  return *id ? S_OK : E_FAIL;
} ZEQ_COM_CATCH("Window::StartTimer")

HRESULT Window::clearTimeout(LONG id) try {
  RemoveTimer(id);
  return S_OK;
} ZEQ_COM_CATCH("Window::clearTimeout")

HRESULT Window::clearInterval(LONG id) try {
  RemoveTimer(id);
  return S_OK;
} ZEQ_COM_CATCH("Window::clearInterval")

namespace {

// Dialogs go to the client site's IDocHostShowUI first, as the platform's
// browser does; a site that does not show them leaves it to a message box.
LRESULT ShowDialog(Document* doc, const std::wstring& text, UINT type) {
  IOleClientSite* site = doc && doc->Host() ? doc->Host()->ClientSite() : nullptr;
  HWND owner = nullptr;
  Ref<IOleWindow> w;
  if (site) site->QueryInterface(IID_IOleWindow, w.OutVoid());
  if (w) w->GetWindow(&owner);
  Ref<IDocHostShowUI> ui;
  if (site) site->QueryInterface(IID_IDocHostShowUI, ui.OutVoid());
  LRESULT result = 0;
  std::wstring caption = L"Message from webpage";
  if (ui && ui->ShowMessage(owner, const_cast<LPOLESTR>(text.c_str()), const_cast<LPOLESTR>(caption.c_str()), type,
                            nullptr, 0, &result) == S_OK)
    return result;
  return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

}  // namespace

HRESULT Window::alert(BSTR message) try {
  ShowDialog(doc_, message ? std::wstring(message, SysStringLen(message)) : std::wstring(), MB_OK | MB_ICONWARNING);
  return S_OK;
} ZEQ_COM_CATCH("Window::alert")

HRESULT Window::confirm(BSTR message, VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  LRESULT r = ShowDialog(doc_, message ? std::wstring(message, SysStringLen(message)) : std::wstring(),
                         MB_OKCANCEL | MB_ICONQUESTION);
  *p = r == IDOK ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Window::confirm")

HRESULT Window::put_name(BSTR v) try {
  name_ = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
  return S_OK;
} ZEQ_COM_CATCH("Window::put_name")

HRESULT Window::get_name(BSTR* p) try {
  if (!p) return E_POINTER;
  // An unnamed window answers null, as the platform's does.
  *p = name_.empty() ? nullptr : SysAllocString(name_.c_str());
  return S_OK;
} ZEQ_COM_CATCH("Window::get_name")

HRESULT Window::get_parent(IHTMLWindow2** p) try { return get_self(p); } ZEQ_COM_CATCH("Window::get_parent")
HRESULT Window::get_top(IHTMLWindow2** p) try { return get_self(p); } ZEQ_COM_CATCH("Window::get_top")
HRESULT Window::get_window(IHTMLWindow2** p) try { return get_self(p); } ZEQ_COM_CATCH("Window::get_window")

HRESULT Window::get_self(IHTMLWindow2** p) try {
  if (!p) return E_POINTER;
  *p = static_cast<IHTMLWindow2*>(this);
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Window::get_self")

HRESULT Window::open(BSTR url, BSTR, BSTR, VARIANT_BOOL, IHTMLWindow2** p) try {
  if (!p) return E_POINTER;
  *p = nullptr;
  if (!doc_ || !doc_->Host()) return S_OK;
  return doc_->Host()->OpenNewWindow(url ? std::wstring(url, SysStringLen(url)) : std::wstring(), p);
} ZEQ_COM_CATCH("Window::open")

HRESULT Window::get_document(IHTMLDocument2** p) try {
  if (!p) return E_POINTER;
  *p = doc_ ? static_cast<IHTMLDocument2*>(doc_) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Window::get_document")

HRESULT Window::get_event(IHTMLEventObj** p) try {
  if (!p) return E_POINTER;
  *p = event_ ? static_cast<IHTMLEventObj*>(event_.Get()) : nullptr;
  if (*p) (*p)->AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Window::get_event")

HRESULT Window::close() try {
  if (doc_ && doc_->Host()) doc_->Host()->CloseRequested();
  return S_OK;
} ZEQ_COM_CATCH("Window::close")

HRESULT Window::execScript(BSTR code, BSTR language, VARIANT* result) try {
  if (result) VariantInit(result);
  if (!code) return E_INVALIDARG;
  if (!IsJScriptName(Lower(Trim(language ? std::wstring(language, SysStringLen(language)) : std::wstring()))))
    return E_INVALIDARG;
  ScriptEngine* engine = Engine();
  if (!engine) return E_FAIL;
  return engine->Execute(std::wstring(code, SysStringLen(code)), doc_ ? doc_->Url() : std::wstring(), 0, nullptr);
} ZEQ_COM_CATCH("Window::execScript")

HRESULT Window::toString(BSTR* p) try { return ReturnBstr(L"[object Window]", p); } ZEQ_COM_CATCH("Window::toString")

HRESULT Window::get_closed(VARIANT_BOOL* p) try {
  if (!p) return E_POINTER;
  *p = closed_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Window::get_closed")

HRESULT Window::get_external(IDispatch** p) try {
  if (!p) return E_POINTER;
  *p = nullptr;
  IOleClientSite* site = doc_ && doc_->Host() ? doc_->Host()->ClientSite() : nullptr;
  Ref<IDocHostUIHandler> handler;
  if (site) site->QueryInterface(IID_IDocHostUIHandler, handler.OutVoid());
  if (handler) handler->GetExternal(p);
  return S_OK;
} ZEQ_COM_CATCH("Window::get_external")

// ---- IHTMLWindow3

HRESULT Window::attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) try {
  if (!event || !fn) return E_INVALIDARG;
  listeners_.Add(std::wstring(event, SysStringLen(event)), fn);
  if (ok) *ok = VARIANT_TRUE;
  return S_OK;
} ZEQ_COM_CATCH("Window::attachEvent")

HRESULT Window::detachEvent(BSTR event, IDispatch* fn) try {
  if (!event) return E_INVALIDARG;
  listeners_.Remove(std::wstring(event, SysStringLen(event)), fn);
  return S_OK;
} ZEQ_COM_CATCH("Window::detachEvent")

HRESULT Window::QueryService(REFGUID service, REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  IOleClientSite* site = doc_ && doc_->Host() ? doc_->Host()->ClientSite() : nullptr;
  Ref<IServiceProvider> sp;
  if (site) site->QueryInterface(IID_IServiceProvider, sp.OutVoid());
  return sp ? sp->QueryService(service, iid, out) : E_NOINTERFACE;
} ZEQ_COM_CATCH("Window::QueryService")

}  // namespace dochost
