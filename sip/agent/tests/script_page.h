// A program container whose page has the script namespace with "ZEQSIP", as
// the application's pages get it, for the tests that drive the user agent
// from page script: code run in the page, expressions read back as text,
// script values handed to native code.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <string>

#include "sip/transaction.h"
#include "test_support.h"
#include "windows/records.h"

namespace sipagent {

class ScriptPage {
 public:
  // Makes the container (the process's one-time set-up first) showing a
  // page of the given script and waits, bounded, for it to run.
  explicit ScriptPage(const std::string& pageScript);
  ~ScriptPage();
  ScriptPage(const ScriptPage&) = delete;
  ScriptPage& operator=(const ScriptPage&) = delete;

  bool Ready() const { return ready_; }
  HWND Window() const { return window_; }

  // Runs code; S_OK, or the number of the error it raised.
  HRESULT Run(const std::wstring& code);
  // String(expression), or "error:" and the error's number in hexadecimal.
  std::wstring Eval(const std::wstring& expression);
  // The transaction of the ZEQSIP object that a global of the page holds.
  SIPTransactionHolder TransactionOf(const wchar_t* global);

 private:
  bool Global(const wchar_t* name, VARIANT* value);

  dochost_test::PageFolder folder_;
  HWND window_ = nullptr;
  ZEQContainerHolder container_;
  bool ready_ = false;
};

// Runs work on a thread of its own (with OLE and the class factory, as the
// SIP stack's threads have them) while this thread pumps its messages;
// false when the work did not end in time.
bool RunOnOtherThread(void (*work)(void* context), void* context, DWORD timeoutMs = 20000);

}  // namespace sipagent
