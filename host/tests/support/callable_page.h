// Test support: turns the owner window of a ScriptHost into a program
// window whose page takes cross-thread script calls (the runtime messages
// are handled first, the container is marked ready with its browser).
#pragma once
#include <windows.h>

#include "host/containers.h"
#include "host/script_calls.h"
#include "script_host.h"
#include "windows/runtime_messages.h"

namespace host_test {

inline WNDPROC& CallablePagePreviousProc() {
  static WNDPROC previous = nullptr;
  return previous;
}

inline LRESULT CALLBACK CallablePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  return CallWindowProcW(CallablePagePreviousProc(), window, message, wParam, lParam);
}

// Every owner window of the tests is of one class, so one previous
// procedure serves them all.
inline void MakeCallablePage(ScriptHost& host) {
  ZEQInstallScriptCalls();
  auto old = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(host.Owner(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CallablePageProc)));
  if (old != CallablePageProc) CallablePagePreviousProc() = old;
  ZEQSetWindowContainerReady(host.Owner(), true, true, host.Browser().browser);
}

}  // namespace host_test
