// The document's script engine: the platform's JScript through IActiveScript,
// with the document's window as its global object. Script errors go to the
// window's onerror handlers and then to the client site's command target, as
// the platform's browser reports them.
#pragma once
#include <windows.h>
#include <activscp.h>
#include <dispex.h>

#include <string>

#include "com_util.h"

namespace dochost {

class Window;

class ScriptEngine final : public IActiveScriptSite, public IActiveScriptSiteWindow {
 public:
  // Creates and starts the engine for the window; null when JScript cannot be
  // created.
  static ScriptEngine* Create(Window* window);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IActiveScriptSite
  HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override;
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** ti) override;
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override;
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT* result, const EXCEPINFO* ei) override;
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE state) override;
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override;
  HRESULT STDMETHODCALLTYPE OnEnterScript() override;
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override;
  // IActiveScriptSiteWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // Runs a piece of global code; the URL and first line name it in errors.
  HRESULT Execute(const std::wstring& code, const std::wstring& url, ULONG first_line, VARIANT* result);
  // Compiles a handler body ("onclick" attribute) into a function object.
  HRESULT CompileHandler(const std::wstring& code, const std::wstring& name, IDispatch** fn);
  // The engine's global object: script's own functions and variables.
  IDispatchEx* Globals();
  void Close();

 private:
  explicit ScriptEngine(Window* window);
  ~ScriptEngine();
  HRESULT Start();

  LONG ref_ = 1;
  Window* window_;  // weak: the window owns the engine
  Ref<IActiveScript> script_;
  Ref<IActiveScriptParse> parse_;
  Ref<IDispatchEx> globals_;
  std::wstring current_url_;
  bool closed_ = false;
};

}  // namespace dochost
