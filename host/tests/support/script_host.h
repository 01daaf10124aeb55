// A JScript host for tests of script objects: a page of the document host
// (the platform's JScript engine through IActiveScript, with the page's
// window as the global object) owned by a window registered as a container,
// with the program's script classes published in the page's script
// namespace as a container's pages have them. Test scripts create objects by
// class name, call members, read results and arrays; ScriptThread runs a
// second host on an apartment thread of its own, for objects handed across
// threads.
#pragma once
#include <dispex.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/dispatch_ex.h"
#include "test_support.h"

namespace host_test {

class ScriptHost {
 public:
  // Needs OLE on the calling thread. Makes the process interface table,
  // registers the thread's class factory, an owner window registered as a
  // container with the given options, and a blank page.
  explicit ScriptHost(uint32_t containerOptions = 0);
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  bool Ready() const { return ready_; }
  HWND Owner() const { return owner_; }

  // Publishes a class object (flags 0, the owner window, the callbacks)
  // under its class name; the host keeps a reference until it ends.
  CZEQDispatchEx* PublishClass(const wchar_t* className, ZEQGetIDsOfNamesCallback getIds, ZEQInvokeCallback invoke);
  // Any object (or, with null, null) under a name of the script namespace.
  void Publish(const wchar_t* name, IDispatch* object);

  // Runs code as a script block; false when it did not run or raised an
  // error that it did not catch (LastError() says which).
  bool Run(const std::wstring& code);
  // The value of an expression, as String(expression) gives it; the text
  // "<error N: message>" when evaluating it raised one.
  std::wstring Eval(const std::wstring& expression);
  // The value of an expression in an initialised VARIANT; the error number
  // when evaluating it raised one.
  HRESULT EvalVariant(const std::wstring& expression, VARIANT* value);
  // The number of the error that running code raised (as an HRESULT), or
  // S_OK when it raised none.
  HRESULT ErrorOf(const std::wstring& code);
  const std::wstring& LastError() const { return lastError_; }

  // The page's script globals (no reference for the caller).
  IDispatchEx* Globals();
  dochost_test::Harness& Browser() { return *harness_; }

 private:
  bool RunGuarded(const std::wstring& code, HRESULT* number);

  HWND owner_ = nullptr;
  bool ready_ = false;
  dochost_test::PageFolder folder_;
  std::unique_ptr<dochost_test::Harness> harness_;
  IDispatchEx* globals_ = nullptr;
  std::wstring lastError_;
  CZEQDispatchEx* classes_[32] = {};
  size_t classCount_ = 0;
};

// A ScriptHost on an apartment thread of its own. Work runs there while the
// caller pumps its own messages, so calls between the two threads' objects
// go through in both directions.
class ScriptThread {
 public:
  explicit ScriptThread(uint32_t containerOptions = 0);
  ~ScriptThread();
  ScriptThread(const ScriptThread&) = delete;
  ScriptThread& operator=(const ScriptThread&) = delete;

  bool Ready() const { return ready_; }
  DWORD ThreadId() const { return threadId_; }
  // Runs work with the thread's host and waits for it; false when it did not
  // finish in time.
  bool Call(const std::function<void(ScriptHost&)>& work, DWORD timeoutMs = 10000);

 private:
  static unsigned __stdcall Main(void* self);

  uint32_t options_;
  HANDLE thread_ = nullptr;
  HANDLE started_ = nullptr;
  DWORD threadId_ = 0;
  bool ready_ = false;
};

// Waits for the handle while pumping the calling thread's messages; false
// on time-out.
bool PumpWait(HANDLE handle, DWORD timeoutMs);

}  // namespace host_test
