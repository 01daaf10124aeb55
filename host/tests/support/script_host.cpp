#include "script_host.h"

#include <process.h>

#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/containers.h"
#include "host/script_exec.h"

namespace host_test {
namespace {

constexpr UINT kRunWork = WM_APP + 0x51;
constexpr wchar_t kErrorVar[] = L"__zeqHostError";
constexpr wchar_t kMessageVar[] = L"__zeqHostMessage";
constexpr wchar_t kValueVar[] = L"__zeqHostValue";

HWND MakeOwnerWindow() {
  return CreateWindowExW(0, L"STATIC", L"script host", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

std::wstring Text(const VARIANT* v) {
  char* text = VariantToUtf8Dup(v, 0);
  std::wstring out;
  if (text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n > 1) {
      out.resize(static_cast<size_t>(n - 1));
      MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], n);
    }
    HeapFreeZ(text);
  }
  return out;
}

struct Work {
  std::function<void(ScriptHost&)> fn;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~Work() { CloseHandle(done); }
};

}  // namespace

bool PumpWait(HANDLE handle, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    const DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

// ---------------------------------------------------------------------------
// ScriptHost

ScriptHost::ScriptHost(uint32_t containerOptions) {
  ZEQCreateGlobalInterfaceTable();
  RegisterDispatchExClassFactory();
  owner_ = MakeOwnerWindow();
  if (!owner_) return;
  ZEQSetWindowContainer(owner_, ZEQWindowContainer{containerOptions, true, 0x44070, false, false, nullptr, 0, 0});
  harness_ = std::make_unique<dochost_test::Harness>(owner_);
  std::wstring page = folder_.Write(L"host.html",
                                    "<html><body><script>var __zeqHostError = 0, "
                                    "__zeqHostMessage = '', __zeqHostValue;</script></body></html>");
  (void)page;
  if (!harness_->browser || !harness_->Load(folder_.Url(L"host.html"))) return;
  IDispatch* script = nullptr;
  if (harness_->Doc() && SUCCEEDED(harness_->Doc()->get_Script(&script)) && script) {
    script->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&globals_));
    script->Release();
  }
  ready_ = globals_ != nullptr;
}

ScriptHost::~ScriptHost() {
  for (size_t i = 0; i < classCount_; ++i) classes_[i]->Release();
  if (globals_) globals_->Release();
  harness_.reset();
  if (owner_) {
    ZEQRemoveWindowContainer(owner_);
    DestroyWindow(owner_);
  }
}

IDispatchEx* ScriptHost::Globals() { return globals_; }

CZEQDispatchEx* ScriptHost::PublishClass(const wchar_t* className, ZEQGetIDsOfNamesCallback getIds,
                                         ZEQInvokeCallback invoke) {
  if (classCount_ >= sizeof(classes_) / sizeof(classes_[0])) return nullptr;
  CZEQDispatchEx* object = CZEQDispatchEx::Create(className, owner_, getIds, invoke, kZEQDispClassObject);
  classes_[classCount_++] = object;
  Publish(className, object);
  return object;
}

void ScriptHost::Publish(const wchar_t* name, IDispatch* object) {
  VARIANT v;
  VariantInitDispatch(&v, object);
  DispatchExPutVariant(globals_, name, &v);
  VariantClear(&v);
}

bool ScriptHost::RunGuarded(const std::wstring& code, HRESULT* number) {
  *number = S_OK;
  lastError_.clear();
  if (!ready_) {
    lastError_ = L"<no page>";
    return false;
  }
  const std::wstring wrapped = std::wstring(L"try {\n") + code + L"\n;" + kErrorVar +
                               L" = 0; } catch (__zeqHostException) { " + kErrorVar +
                               L" = (__zeqHostException && __zeqHostException.number) || -1; " + kMessageVar +
                               L" = String(__zeqHostException && __zeqHostException.message); }";
  if (FAILED(harness_->Exec(wrapped))) {
    lastError_ = L"<did not run>";
    *number = E_FAIL;
    return false;
  }
  VARIANT v;
  VariantInit(&v);
  DispatchExGetVariant(globals_, kErrorVar, &v);
  *number = static_cast<HRESULT>(VariantToInt(&v));
  VariantClear(&v);
  if (*number == S_OK) return true;
  VariantInit(&v);
  DispatchExGetVariant(globals_, kMessageVar, &v);
  wchar_t head[32];
  swprintf(head, 32, L"%ld: ", static_cast<long>(*number));
  lastError_ = head + Text(&v);
  VariantClear(&v);
  return false;
}

bool ScriptHost::Run(const std::wstring& code) {
  HRESULT number;
  return RunGuarded(code, &number);
}

HRESULT ScriptHost::ErrorOf(const std::wstring& code) {
  HRESULT number;
  RunGuarded(code, &number);
  return number;
}

HRESULT ScriptHost::EvalVariant(const std::wstring& expression, VARIANT* value) {
  VariantInit(value);
  HRESULT number;
  if (!RunGuarded(std::wstring(kValueVar) + L" = (" + expression + L"\n);", &number)) return number;
  HRESULT hr = DispatchExGetVariant(globals_, kValueVar, value);
  // The global lets the value go, so the test holds the only reference.
  VARIANT empty;
  VariantInit(&empty);
  DispatchExPutVariant(globals_, kValueVar, &empty);
  return hr;
}

std::wstring ScriptHost::Eval(const std::wstring& expression) {
  VARIANT v;
  HRESULT hr = EvalVariant(L"String(" + expression + L"\n)", &v);
  if (FAILED(hr)) return L"<error " + lastError_ + L">";
  std::wstring text = Text(&v);
  VariantClear(&v);
  return text;
}

// ---------------------------------------------------------------------------
// ScriptThread

ScriptThread::ScriptThread(uint32_t containerOptions) : options_(containerOptions) {
  started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  unsigned id = 0;
  thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, this, 0, &id));
  threadId_ = id;
  ready_ = thread_ && PumpWait(started_, 20000) && ready_;
}

ScriptThread::~ScriptThread() {
  if (thread_) {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    PumpWait(thread_, 20000);
    CloseHandle(thread_);
  }
  CloseHandle(started_);
}

unsigned __stdcall ScriptThread::Main(void* self) {
  auto* me = static_cast<ScriptThread*>(self);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue
  OleInitialize(nullptr);
  {
    ScriptHost host(me->options_);
    me->ready_ = host.Ready();
    SetEvent(me->started_);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.hwnd == nullptr && msg.message == kRunWork) {
        auto* work = reinterpret_cast<std::shared_ptr<Work>*>(msg.lParam);
        (*work)->fn(host);
        SetEvent((*work)->done);
        delete work;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  RevokeDispatchExClassFactory();
  OleUninitialize();
  return 0;
}

bool ScriptThread::Call(const std::function<void(ScriptHost&)>& work, DWORD timeoutMs) {
  if (!thread_) return false;
  auto item = std::make_shared<Work>();
  item->fn = work;
  auto* carried = new std::shared_ptr<Work>(item);
  if (!PostThreadMessageW(threadId_, kRunWork, 0, reinterpret_cast<LPARAM>(carried))) {
    delete carried;
    return false;
  }
  return PumpWait(item->done, timeoutMs);
}

}  // namespace host_test
