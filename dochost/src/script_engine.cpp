#include "script_engine.h"

#include <docobj.h>
#include <mshtmhst.h>

#include "document.h"
#include "dochost/platform_guids.h"
#include "foundation/com_guard.h"

namespace dochost {
namespace {

// Language version of pages shown in the newest document mode: the engine's
// ES5 level with the browser-host behaviour.
constexpr LONG kHtmlScriptVersion = 0x400 | 0x102;

}  // namespace

ScriptEngine::ScriptEngine(Window* window) : window_(window) {}

ScriptEngine::~ScriptEngine() = default;

ScriptEngine* ScriptEngine::Create(Window* window) {
  ScriptEngine* engine = new ScriptEngine(window);
  if (FAILED(engine->Start())) {
    engine->Close();
    engine->Release();
    return nullptr;
  }
  return engine;
}

HRESULT ScriptEngine::Start() try {
  HRESULT hr = CoCreateInstance(CLSID_JScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, script_.OutVoid());
  if (FAILED(hr)) return hr;
  if (Ref<IActiveScriptProperty> prop = script_.As<IActiveScriptProperty>(IID_IActiveScriptProperty)) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = kHtmlScriptVersion;
    prop->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &v);
  }
  parse_ = script_.As<IActiveScriptParse>(IID_IActiveScriptParse);
  if (!parse_) return E_NOINTERFACE;
  if (FAILED(hr = parse_->InitNew())) return hr;
  if (FAILED(hr = script_->SetScriptSite(this))) return hr;
  if (FAILED(hr = script_->AddNamedItem(L"window", SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS))) return hr;
  if (FAILED(hr = script_->SetScriptState(SCRIPTSTATE_STARTED))) return hr;
  Ref<IDispatch> global;
  if (SUCCEEDED(script_->GetScriptDispatch(nullptr, global.Out())) && global)
    globals_ = global.As<IDispatchEx>(IID_IDispatchEx);
  return S_OK;
} ZEQ_COM_CATCH("ScriptEngine::Start")

void ScriptEngine::Close() {
  if (closed_) return;
  closed_ = true;
  globals_.Reset();
  parse_.Reset();
  if (script_) {
    script_->SetScriptState(SCRIPTSTATE_DISCONNECTED);
    script_->Close();
    script_.Reset();
  }
  window_ = nullptr;
}

HRESULT ScriptEngine::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IActiveScriptSite)
    *out = static_cast<IActiveScriptSite*>(this);
  else if (iid == IID_IActiveScriptSiteWindow)
    *out = static_cast<IActiveScriptSiteWindow*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("ScriptEngine::QueryInterface")

ULONG ScriptEngine::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }

ULONG ScriptEngine::Release() {
  LONG r = InterlockedDecrement(&ref_);
  if (r == 0) delete this;
  return static_cast<ULONG>(r);
}

HRESULT ScriptEngine::GetLCID(LCID*) try { return E_NOTIMPL; } ZEQ_COM_CATCH("ScriptEngine::GetLCID")

HRESULT ScriptEngine::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** ti) try {
  if (unk) *unk = nullptr;
  if (ti) *ti = nullptr;
  if (!name || wcscmp(name, L"window") != 0 || !window_) return TYPE_E_ELEMENTNOTFOUND;
  if ((mask & SCRIPTINFO_IUNKNOWN) && unk) {
    *unk = static_cast<IDispatchEx*>(window_);
    (*unk)->AddRef();
  }
  if ((mask & SCRIPTINFO_ITYPEINFO) && ti) {
    if (ITypeInfo* info = MshtmlTypeInfo(IID_IHTMLWindow2)) {
      info->AddRef();
      *ti = info;
    }
  }
  return S_OK;
} ZEQ_COM_CATCH("ScriptEngine::GetItemInfo")

HRESULT ScriptEngine::GetDocVersionString(BSTR*) try { return E_NOTIMPL; } ZEQ_COM_CATCH("ScriptEngine::GetDocVersionString")
HRESULT ScriptEngine::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) try { return S_OK; } ZEQ_COM_CATCH("ScriptEngine::OnScriptTerminate")
HRESULT ScriptEngine::OnStateChange(SCRIPTSTATE) try { return S_OK; } ZEQ_COM_CATCH("ScriptEngine::OnStateChange")
HRESULT ScriptEngine::OnEnterScript() try { return S_OK; } ZEQ_COM_CATCH("ScriptEngine::OnEnterScript")
HRESULT ScriptEngine::OnLeaveScript() try { return S_OK; } ZEQ_COM_CATCH("ScriptEngine::OnLeaveScript")

// An uncaught script error: the window's onerror handlers see it first (true
// from one of them ends it); otherwise the client site's command target gets
// OLECMDID_SHOWSCRIPTERROR with the document, whose window.event carries the
// error fields, as the platform's browser reports it.
HRESULT ScriptEngine::OnScriptError(IActiveScriptError* error) try {
  if (!error || !window_ || !window_->Doc()) return S_OK;
  Ref<IDispatchEx> keep(window_);
  Window* win = window_;
  EXCEPINFO ei{};
  error->GetExceptionInfo(&ei);
  if (ei.pfnDeferredFillIn) ei.pfnDeferredFillIn(&ei);
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  error->GetSourcePosition(&context, &line, &column);
  std::wstring message = ei.bstrDescription ? std::wstring(ei.bstrDescription) : std::wstring(L"Script error");
  long code = ei.scode ? ei.scode : static_cast<long>(ei.wCode);
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);

  Ref<EventObj> ev = Ref<EventObj>::Adopt(new EventObj());
  ev->SetNumber(L"errorLine", static_cast<long>(line) + 1);
  ev->SetNumber(L"errorCharacter", column + 1);
  ev->SetNumber(L"errorCode", code);
  ev->SetText(L"errorMessage", message);
  ev->SetText(L"errorUrl", current_url_);

  Var args[3];
  SetVariantString(args[0].Get(), message);
  SetVariantString(args[1].Get(), current_url_);
  V_VT(args[2].Get()) = VT_I4;
  V_I4(args[2].Get()) = static_cast<long>(line) + 1;
  VARIANT plain[3] = {*args[0].Get(), *args[1].Get(), *args[2].Get()};
  Var handled;
  DispatchWindowEvent(win, L"onerror", ev.Get(), plain, 3, handled.Get());
  if (V_VT(handled.Get()) == VT_BOOL && V_BOOL(handled.Get()) != VARIANT_FALSE) return S_OK;

  Document* doc = win->Doc();
  IOleClientSite* site = doc && doc->Host() ? doc->Host()->ClientSite() : nullptr;
  Ref<IOleCommandTarget> target;
  if (site) site->QueryInterface(IID_IOleCommandTarget, target.OutVoid());
  if (!target) return S_OK;
  Ref<EventObj> previous = win->SwapEvent(ev.Get());
  VARIANT in, out;
  V_VT(&in) = VT_UNKNOWN;
  V_UNKNOWN(&in) = static_cast<IDispatchEx*>(doc);
  VariantInit(&out);
  target->Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, OLECMDEXECOPT_DODEFAULT, &in, &out);
  VariantClear(&out);
  win->SwapEvent(previous.Get());
  return S_OK;
} ZEQ_COM_CATCH("ScriptEngine::OnScriptError")

HRESULT ScriptEngine::GetWindow(HWND* hwnd) try {
  if (!hwnd) return E_POINTER;
  *hwnd = nullptr;
  Document* doc = window_ ? window_->Doc() : nullptr;
  IOleClientSite* site = doc && doc->Host() ? doc->Host()->ClientSite() : nullptr;
  Ref<IOleWindow> w;
  if (site) site->QueryInterface(IID_IOleWindow, w.OutVoid());
  if (w) w->GetWindow(hwnd);
  return S_OK;
} ZEQ_COM_CATCH("ScriptEngine::GetWindow")

HRESULT ScriptEngine::EnableModeless(BOOL) try { return S_OK; } ZEQ_COM_CATCH("ScriptEngine::EnableModeless")

HRESULT ScriptEngine::Execute(const std::wstring& code, const std::wstring& url, ULONG first_line, VARIANT* result) try {
  if (closed_ || !parse_) return E_UNEXPECTED;
  Ref<IActiveScriptSite> keep(this);
  std::wstring saved = current_url_;
  current_url_ = url;
  EXCEPINFO ei{};
  HRESULT hr = parse_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, first_line, SCRIPTTEXT_ISVISIBLE,
                                       result, &ei);
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);
  current_url_ = saved;
  return hr;
} ZEQ_COM_CATCH("ScriptEngine::Execute")

HRESULT ScriptEngine::CompileHandler(const std::wstring& code, const std::wstring& name, IDispatch** fn) try {
  if (!fn) return E_POINTER;
  *fn = nullptr;
  if (closed_ || !script_) return E_UNEXPECTED;
  Ref<IActiveScriptParseProcedure2> proc =
      script_.As<IActiveScriptParseProcedure2>(IID_IActiveScriptParseProcedure2);
  if (!proc) return E_NOINTERFACE;
  return proc->ParseProcedureText(code.c_str(), nullptr, name.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, fn);
} ZEQ_COM_CATCH("ScriptEngine::CompileHandler")

IDispatchEx* ScriptEngine::Globals() { return globals_.Get(); }

}  // namespace dochost
