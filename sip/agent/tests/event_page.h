// The page of the user agent's event tests: a script page of the test host
// that takes the SIP events of one account and notes each as a line
// "name number [argument]" (end events also check that they carry their
// transaction's object), answering with the value of `answer`.
#pragma once
#include <gtest/gtest.h>
#include <ole2.h>

#include <string>

#include "callable_page.h"
#include "script_host.h"
#include "sip/agent/user_agent.h"
#include "sip/transaction_list.h"
#include "sip_runtime_support.h"
#include "windows/records.h"

namespace sipagent_test {

inline void InitOle() {
  static const HRESULT ole = OleInitialize(nullptr);
  (void)ole;
}

class EventPage {
 public:
  EventPage() : host_((InitOle(), 0)) {
    host_test::MakeCallablePage(host_);
    std::wstring script =
        L"var log = [], answer = true;"
        L"function note(name, o, n, a, end) {"
        L"  var s = name + ' ' + n;"
        L"  if (a !== undefined) s += ' ' + (typeof a == 'object' ? 'object' : a);"
        L"  if (end && typeof o != 'object') s += ' <no object>';"
        L"  log.push(s); return answer; }";
    const wchar_t* plain[] = {L"ZEQOnSIPError", L"ZEQOnSIPUnRegister", L"ZEQOnSIPRemoteDisconnect"};
    for (const wchar_t* name : plain)
      script += std::wstring(L"function ") + name + L"(o, n, a) { return note('" + name + L"', o, n, a, false); }";
    const wchar_t* ends[] = {L"ZEQOnSIPRegisterRefused",  L"ZEQOnSIPInviteRefused",    L"ZEQOnSIPInviteFinalized",
                             L"ZEQOnSIPInviteCancelled",  L"ZEQOnSIPOptionsRefused",   L"ZEQOnSIPSubscribeRefused",
                             L"ZEQOnSIPTransferRefused",  L"ZEQOnSIPSubscribeExpired", L"ZEQOnSIPRegisterFinalized"};
    for (const wchar_t* name : ends)
      script += std::wstring(L"function ") + name + L"(o, n, a) { return note('" + name + L"', o, n, a, true); }";
    ready_ = host_.Ready() && host_.Run(script);
    root_ = SIPTransactionCreate(SIPTransactionHolder());
    root_->record.kind = 2;
    SIPGetRootConnection(&root_->record)->listening = 1;
    // The account's container record, whose host window is the page's.
    ZEQBaseContainerInit(&container_, host_.Owner());
    SIPSetAccountContainer(root_, container_);
  }
  ~EventPage() { SIPDestroyTransaction(root_); }
  EventPage(const EventPage&) = delete;
  EventPage& operator=(const EventPage&) = delete;

  bool Ready() const { return ready_; }
  const SIPTransactionHolder& Root() const { return root_; }
  // A transaction of the account, of the kind, held by script.
  SIPTransactionHolder Transaction(int32_t kind) {
    SIPTransactionHolder t = SIPCreateBasedTransaction(root_, SIPTransactionHolder(), SIPTransactionHolder());
    t->record.kind = kind;
    t->record.userHandled = 1;
    return t;
  }
  // The lines noted so far, joined by " | ", and a fresh start.
  std::string Take() {
    std::wstring text = host_.Eval(L"log.join(' | ')");
    host_.Run(L"log = [];");
    return std::string(text.begin(), text.end());
  }
  void Answer(const wchar_t* value) { host_.Run(std::wstring(L"answer = ") + value + L";"); }

 private:
  host_test::ScriptHost host_;
  bool ready_ = false;
  ZEQContainerHolder container_;
  SIPTransactionHolder root_;
};

}  // namespace sipagent_test
