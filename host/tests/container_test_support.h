// Shared pieces of the tests of browser containers: an external object that
// records the calls page script makes of it (with the calling thread), and
// the one-time set-up of window classes and container creation.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "windows/records.h"
#include "host/renderer.h"
#include "script_cases.h"
#include "test_support.h"

namespace container_test {

// window.external for the tests: Record(text) keeps the text and the thread
// that called.
class Recorder : public IDispatch {
 public:
  Recorder() { InitializeCriticalSection(&lock_); }
  ~Recorder() { DeleteCriticalSection(&lock_); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the test
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override;

  size_t Count();
  std::wstring TextAt(size_t index);
  DWORD ThreadAt(size_t index);

 private:
  CRITICAL_SECTION lock_;
  std::vector<std::wstring> texts_;
  std::vector<DWORD> threads_;
};

// Pumps this thread's messages and polls pred every 10 ms until it holds or
// the time runs out (work of other threads sends this one no message);
// pred's last value.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = 10000);

// A container window of the program's pages (WB_ALLOWSZEQ) on this thread
// showing a page of the given markup, made once its first recorded texts
// arrived; window.external records into TheRecorder().
class PageContainer {
 public:
  // Waits (bounded) until the page recorded `records` texts. Failed() tells
  // whether that happened.
  PageContainer(const std::string& markup, size_t records);
  ~PageContainer();
  PageContainer(const PageContainer&) = delete;
  PageContainer& operator=(const PageContainer&) = delete;

  bool Failed() const { return failed_; }
  // The texts recorded since the container was made.
  std::vector<std::string> Recorded() const;
  const std::string& Url() const { return url_; }
  HWND Window() const { return window_; }
  // The container record, its site and the site's browser (borrowed).
  ZEQBASECONTAINER* Record() const { return container_.Get(); }
  const ZEQContainerHolder& Container() const { return container_; }
  CZEQRenderer* Site() const { return site_; }
  IWebBrowser2* Browser() const { return browser_; }

 private:
  dochost_test::PageFolder folder_;
  std::string url_;
  size_t from_ = 0;
  HWND window_ = nullptr;
  ZEQContainerHolder container_;
  CZEQRenderer* site_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  bool failed_ = true;
};

using host_test::Narrow;

// The recorder every new container gets as its host dispatch object.
Recorder& TheRecorder();
// Window classes, container creation and the host object factory; once.
void SetUpContainers();
// Makes the recorder the host object of containers made from now on (as
// SetUpContainers does).
void UseRecorderAsHostObject();

// The page of the container of a window (its program window or its host
// window): code run with window.execScript, a global of its script as text
// ("<no page>" or "<unknown>" when there is none), and the site's host
// object (one reference, or null).
HRESULT PageExec(HWND window, const std::wstring& code);
std::wstring PageGlobal(HWND window, const std::wstring& name);
IDispatch* HostObjectOf(HWND window);
// Puts an object under a global name of the window's page; false when the
// page has no script.
bool PagePublish(HWND window, const wchar_t* name, IDispatch* object);
// The container of a program window's body (or of a host window itself).
ZEQContainerHolder ContainerOf(HWND window);
// The same container with its page marked ready, as the browser events mark
// a completed document in a running program; unset when the window has no
// container or its container no browser view.
ZEQContainerHolder ReadyContainerOf(HWND window);

// Container windows on the calling thread, each with a page of its own,
// destroyed with the object.
class ContainerPages {
 public:
  ~ContainerPages() { Close(); }
  // Destroys the windows made so far (before OLE ends on the thread).
  void Close();
  // A window whose page runs body and then sets "loaded"; null (with a test
  // failure) when it is not made or its page does not run in time.
  HWND Open(uint32_t options, const std::string& body = std::string(), HWND parent = nullptr);
  // The value of a script expression in the window's page as text; an error
  // reads "error:" and its number in hexadecimal.
  std::wstring Evaluate(HWND window, const std::wstring& expression);
  dochost_test::PageFolder& Folder() { return folder_; }

 private:
  dochost_test::PageFolder folder_;
  std::vector<HWND> windows_;
};

// A test with container pages on its thread: OLE and the container classes
// set up first, the pages closed before OLE ends.
class ContainerPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    SetUpContainers();
  }
  void TearDown() override {
    pages_.Close();
    OleUninitialize();
  }
  ContainerPages pages_;
};

}  // namespace container_test
