// The document and its window. The window is the global object of the
// document's script engine; the document's Script object is the window.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "dom.h"

namespace dochost {

class ScriptEngine;

class Window final : public IDispatchEx,
                     public IHTMLWindow2NotImpl,
                     public IHTMLWindow3NotImpl,
                     public IServiceProvider,
                     public DispatchCore::Owner {
 public:
  explicit Window(Document* doc);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  HRESULT OwnDispID(const std::wstring& name, DWORD grfdex, DISPID* id) override;
  HRESULT OwnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei,
                    IServiceProvider* caller) override;
  std::wstring OwnName(DISPID id) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }

  Document* Doc() const { return doc_; }
  ScriptEngine* Engine();  // created on first use; null when no engine
  DispatchCore& Core() { return core_; }
  Listeners& EventListeners() { return listeners_; }
  EventObj* CurrentEvent() const { return event_.Get(); }
  // Makes ev window.event until the returned previous value is restored.
  Ref<EventObj> SwapEvent(EventObj* ev);
  void Close();

  // IHTMLFramesCollection2 / IHTMLWindow2
  HRESULT STDMETHODCALLTYPE item(VARIANT* index, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;
  HRESULT STDMETHODCALLTYPE get_defaultStatus(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_status(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_status(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE setTimeout(BSTR expr, LONG msec, VARIANT* language, LONG* id) override;
  HRESULT STDMETHODCALLTYPE clearTimeout(LONG id) override;
  HRESULT STDMETHODCALLTYPE alert(BSTR message) override;
  HRESULT STDMETHODCALLTYPE confirm(BSTR message, VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE put_name(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_name(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_parent(IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE open(BSTR url, BSTR name, BSTR features, VARIANT_BOOL replace,
                                 IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE get_self(IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE get_top(IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE get_window(IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** p) override;
  HRESULT STDMETHODCALLTYPE get_event(IHTMLEventObj** p) override;
  HRESULT STDMETHODCALLTYPE close() override;
  HRESULT STDMETHODCALLTYPE execScript(BSTR code, BSTR language, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE toString(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_closed(VARIANT_BOOL* p) override;
  HRESULT STDMETHODCALLTYPE get_external(IDispatch** p) override;
  HRESULT STDMETHODCALLTYPE setInterval(BSTR expr, LONG msec, VARIANT* language, LONG* id) override;
  HRESULT STDMETHODCALLTYPE clearInterval(LONG id) override;
  // IHTMLWindow3
  HRESULT STDMETHODCALLTYPE attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE detachEvent(BSTR event, IDispatch* fn) override;
  HRESULT STDMETHODCALLTYPE setTimeout(VARIANT* expr, LONG msec, VARIANT* language, LONG* id) override;
  HRESULT STDMETHODCALLTYPE setInterval(VARIANT* expr, LONG msec, VARIANT* language, LONG* id) override;
  // IServiceProvider: passed on to the client site.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;

  // Timers: fired from the window's message window.
  void RunTimer(UINT_PTR id);

 private:
  ~Window();
  HRESULT StartTimer(const VARIANT* expr, LONG msec, const VARIANT* language, bool repeat, LONG* id);
  LONG AddTimer(const VARIANT* expr, LONG msec, bool repeat);
  void RemoveTimer(LONG id);
  HWND TimerWindow();

  struct Timer {
    Var expr;
    bool repeat = false;
  };
  LONG ref_ = 1;
  DispatchCore core_;
  Document* doc_;  // strong until Close
  Ref<ScriptEngine> engine_;
  bool engine_failed_ = false;
  Ref<EventObj> event_;
  Listeners listeners_;
  std::wstring name_, status_;
  std::map<LONG, Timer> timers_;
  LONG next_timer_ = 1;
  HWND timer_hwnd_ = nullptr;
  std::vector<std::wstring> global_names_;  // names of script globals by special id
  bool closed_ = false;
};

class Document final : public IDispatchEx,
                       public IHTMLDocument2NotImpl,
                       public IHTMLDocument3NotImpl,
                       public IHTMLDocument4NotImpl,
                       public IServiceProvider,
                       public DispatchCore::Owner {
 public:
  Document(DocumentHost* host, const std::wstring& url);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ZEQ_REFCOUNT_METHODS
  ZEQ_DISPATCH_METHODS
  size_t Faces(DispatchFace* out, size_t max) override;
  IDispatch* ThisObject() override { return static_cast<IDispatchEx*>(this); }

  // Native access.
  DocumentHost* Host() const { return host_; }
  Window* Win() const { return window_.Get(); }
  Element* Root() const { return root_.Get(); }
  void SetRoot(Element* root);
  Element* Body() const;
  Element* Head() const;
  Element* FirstByTag(const wchar_t* upper) const;
  Element* ById(const std::wstring& id) const;
  std::vector<Element*> AllElements() const;
  const std::wstring& Url() const { return url_; }
  std::wstring Title() const;
  void SetReadyState(const wchar_t* state);
  const std::wstring& ReadyState() const { return ready_state_; }
  Listeners& EventListeners() { return listeners_; }
  DispatchCore& Core() { return core_; }
  // Called when a SCRIPT element joins the document after loading: runs it.
  void ScriptInserted(Element* script);
  // Starts loading the pages of the document's FRAME and IFRAME elements.
  void LoadFrames();
  // Runs the document's scripts in order (deferred ones last) and marks the
  // document loaded. Afterwards inserted scripts run at once.
  void RunScripts();
  bool Loaded() const { return loaded_; }
  // Ends the document: unload event, script engine closed, tree dropped.
  void Close();
  bool Closed() const { return closed_; }

  // IHTMLDocument
  HRESULT STDMETHODCALLTYPE get_Script(IDispatch** p) override;
  // IHTMLDocument2
  HRESULT STDMETHODCALLTYPE get_all(IHTMLElementCollection** p) override;
  HRESULT STDMETHODCALLTYPE get_body(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE get_scripts(IHTMLElementCollection** p) override;
  HRESULT STDMETHODCALLTYPE get_readyState(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE put_title(BSTR v) override;
  HRESULT STDMETHODCALLTYPE get_title(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** p) override;
  HRESULT STDMETHODCALLTYPE get_URL(BSTR* p) override;
  HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation** p) override;
  HRESULT STDMETHODCALLTYPE createElement(BSTR tag, IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE elementFromPoint(LONG x, LONG y, IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE get_activeElement(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE toString(BSTR* p) override;
  // IHTMLDocument3
  HRESULT STDMETHODCALLTYPE get_documentElement(IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE attachEvent(BSTR event, IDispatch* fn, VARIANT_BOOL* ok) override;
  HRESULT STDMETHODCALLTYPE detachEvent(BSTR event, IDispatch* fn) override;
  HRESULT STDMETHODCALLTYPE createTextNode(BSTR text, IHTMLDOMNode** p) override;
  HRESULT STDMETHODCALLTYPE getElementById(BSTR id, IHTMLElement** p) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tag, IHTMLElementCollection** p) override;
  HRESULT STDMETHODCALLTYPE getElementsByName(BSTR name, IHTMLElementCollection** p) override;
  // IHTMLDocument4
  HRESULT STDMETHODCALLTYPE createEventObject(VARIANT* from, IHTMLEventObj** p) override;
  HRESULT STDMETHODCALLTYPE fireEvent(BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled) override;
  // IServiceProvider: passed on to the client site.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;

 private:
  ~Document();
  HRESULT RunScriptElement(Element* script);

  LONG ref_ = 1;
  DispatchCore core_;
  DocumentHost* host_;  // weak: cleared by Close
  std::wstring url_;
  std::wstring ready_state_ = L"loading";
  Ref<Window> window_;
  Ref<IHTMLElement> root_ref_;
  Ref<Element> root_;
  Listeners listeners_;
  bool loaded_ = false;
  bool closed_ = false;
};

// Fires an event at a target and its ancestors (elements, then the document),
// with window.event set for the handlers. Returns false when a handler
// cancelled it (returnValue false).
bool DispatchDomEvent(Document* doc, Element* target, const std::wstring& name, EventObj* ev);
// fireEvent of elements and documents: the event ("onclick") with the given
// event object or a new one; not_cancelled tells whether no handler cancelled.
HRESULT FireNamedEvent(Document* doc, Element* target, BSTR event, VARIANT* event_obj, VARIANT_BOOL* not_cancelled);
// Fires an event at the window only (load, unload, error handlers).
bool DispatchWindowEvent(Window* win, const std::wstring& name, EventObj* ev, const VARIANT* args, UINT count,
                         VARIANT* result);

}  // namespace dochost
