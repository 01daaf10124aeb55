#include "script_page.h"

#include <process.h>

#include "foundation/git_table.h"
#include "host/browser_container.h"
#include "host/browser_documents.h"
#include "host/dispatch_ex.h"
#include "host/script_calls.h"
#include "host/script_exec.h"
#include "host/script_namespace.h"
#include "script_host.h"
#include "sip/agent/user_agent.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"

namespace sipagent {
namespace {

constexpr wchar_t kAnswer[] = L"__sipAnswer";

void SetUpProcessOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  ZEQCreateGlobalInterfaceTable();
  RegisterDispatchExClassFactory();
  ZEQRegisterWindowClasses();
  ZEQInstallBrowserContainers();
  ZEQInstallScriptCalls();
  SIPInstallUserAgent();
}

// The script globals of the container's current page (one reference).
IDispatchEx* PageScript(const ZEQContainerHolder& container, IWebBrowser2** browserOut) {
  CZEQRenderer* site = ZEQGetContainerRenderer(container);
  if (!site) return nullptr;
  IWebBrowser2* browser = site->GetWebBrowser2();
  static_cast<IOleClientSite*>(site)->Release();
  if (!browser) return nullptr;
  IDispatchEx* script = GetDocumentScriptDispatchEx(browser);
  if (browserOut) *browserOut = browser;
  else browser->Release();
  return script;
}

struct ThreadWork {
  void (*work)(void*);
  void* context;
};

unsigned __stdcall ThreadMain(void* argument) {
  auto* work = static_cast<ThreadWork*>(argument);
  OleInitialize(nullptr);
  RegisterDispatchExClassFactory();
  work->work(work->context);
  RevokeDispatchExClassFactory();
  OleUninitialize();
  return 0;
}

}  // namespace

ScriptPage::ScriptPage(const std::string& pageScript) {
  SetUpProcessOnce();
  folder_.Write(L"sip.html", "<html><head><title>sip</title></head><body><script>" + pageScript +
                                 "\nvar loaded = 1;</script></body></html>");
  const std::wstring wide = folder_.Url(L"sip.html");
  const std::string url(wide.begin(), wide.end());
  RECT rect = {10, 20, 320, 240};
  if (ZEQCreateContainerWindow(nullptr, "SIP", url.c_str(), &rect, nullptr, "sip", WB_ALLOWSZEQ, 0, &window_,
                               ZEQContainerHolder(), ZEQContainerHolder()) != 0 ||
      !window_) {
    return;
  }
  container_ = ZEQGetBaseContainer(ZEQGetBodyWindow(window_));
  if (!container_.IsSet()) return;
  const bool loaded = dochost_test::PumpUntil(
      [&] {
        VARIANT value;
        VariantInit(&value);
        const bool done = Global(L"loaded", &value) && V_VT(&value) == VT_I4 && V_I4(&value) == 1;
        VariantClear(&value);
        return done;
      },
      20000);
  ready_ = loaded && ZEQDefineScriptNamespace(container_) == 1;
}

ScriptPage::~ScriptPage() {
  container_.Release();
  if (window_ && IsWindow(window_)) {
    DestroyWindowExt(window_, FALSE);
    dochost_test::PumpUntil([&] { return !IsWindow(window_); }, 10000);
  }
}

bool ScriptPage::Global(const wchar_t* name, VARIANT* value) {
  IDispatchEx* script = PageScript(container_, nullptr);
  if (!script) return false;
  const bool found = SUCCEEDED(DispatchExGetVariant(script, name, value));
  script->Release();
  return found;
}

HRESULT ScriptPage::Run(const std::wstring& code) {
  IWebBrowser2* browser = nullptr;
  IDispatchEx* script = PageScript(container_, &browser);
  if (!script) return E_FAIL;
  script->Release();
  const std::wstring guarded = std::wstring(L"try {\n") + code + L"\n;" + kAnswer + L" = 0; } catch (e) { " +
                               kAnswer + L" = e.number || -1; }";
  BSTR text = SysAllocString(guarded.c_str());
  const int ran = ZEQExecScript(text, browser);
  SysFreeString(text);
  browser->Release();
  if (ran != 0) return E_FAIL;
  VARIANT value;
  VariantInit(&value);
  HRESULT number = E_FAIL;
  if (Global(kAnswer, &value) && V_VT(&value) == VT_I4) number = V_I4(&value);
  VariantClear(&value);
  return number;
}

std::wstring ScriptPage::Eval(const std::wstring& expression) {
  const HRESULT number = Run(std::wstring(L"__sipText = String(") + expression + L"\n);");
  if (number != S_OK) {
    wchar_t text[32];
    swprintf(text, 32, L"error:%08lx", static_cast<unsigned long>(number));
    return text;
  }
  VARIANT value;
  VariantInit(&value);
  std::wstring text = L"<none>";
  if (Global(L"__sipText", &value) && V_VT(&value) == VT_BSTR) text = V_BSTR(&value) ? V_BSTR(&value) : L"";
  VariantClear(&value);
  return text;
}

SIPTransactionHolder ScriptPage::TransactionOf(const wchar_t* global) {
  VARIANT value;
  VariantInit(&value);
  SIPTransactionHolder holder;
  if (Global(global, &value)) holder = SIPTransactionFromVariant(&value);
  VariantClear(&value);
  return holder;
}

bool RunOnOtherThread(void (*work)(void* context), void* context, DWORD timeoutMs) {
  // The item outlives a thread that overstays (it is then left behind).
  auto* item = new ThreadWork{work, context};
  auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadMain, item, 0, nullptr));
  if (!thread) {
    delete item;
    return false;
  }
  const bool ended = host_test::PumpWait(thread, timeoutMs);
  CloseHandle(thread);
  if (ended) delete item;
  return ended;
}

}  // namespace sipagent
