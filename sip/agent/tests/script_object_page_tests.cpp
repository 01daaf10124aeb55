// "ZEQSIP" as page script uses it: construction and its errors, the account
// settings with their defaults, cutting, trimming and unit conversions, the
// information members, the weak link from objects to their records, and SIP
// events raised on another thread reaching the page's handlers in order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/result_codes.h"
#include "host/js_array.h"
#include "script_page.h"
#include "sip/agent/user_agent.h"
#include "sip/transaction_list.h"

namespace {

using sipagent::ScriptPage;

// Handlers that write what they got into `seen`; `answers` gives each
// handler's return value by event name (undefined when not named).
constexpr char kPageScript[] =
    "var seen = [], answers = {};\n"
    "function Handler(name) {\n"
    "  return function (sip, number, first) {\n"
    "    seen.push(name + '/' + (sip ? sip.Id : 'none') + '/' + number + (first === undefined ? '' : '/' + first));\n"
    "    return answers[name];\n"
    "  };\n"
    "}\n"
    "var ZEQOnSIPFirst = Handler('First'), ZEQOnSIPSecond = Handler('Second'), ZEQOnSIPThird = Handler('Third');\n"
    "var ZEQOnSIPError = Handler('Error');\n";

class SipScriptObject : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    page_.reset(new ScriptPage(kPageScript));
    ASSERT_TRUE(page_->Ready());
  }
  void TearDown() override {
    page_.reset();
    OleUninitialize();
  }

  std::unique_ptr<ScriptPage> page_;
};

struct Case {
  const char* name;
  const wchar_t* expression;
  const wchar_t* expected;
};

void ExpectAll(ScriptPage& page, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.expected), page.Eval(c.expression)) << c.name;
}

TEST_F(SipScriptObject, PagesConstructAccountsAndTransactionsByTheRules) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); var call = new ZEQSIP(account);"));
  ExpectAll(*page_, {
      {"an account is an object", L"typeof account", L"object"},
      {"an account has no parent", L"account.BasedTransaction", L"null"},
      {"only a root record registers", L"account.StartListener(0) == 1", L"false"},
      {"a transaction of an account names it", L"call.BasedTransaction.Id == account.Id", L"true"},
      {"a transaction's parent is another object", L"call.BasedTransaction === account", L"false"},
      {"a transaction does not register", L"call.StartListener(0)", L"1"},
      {"each record has its own serial", L"call.Id != account.Id", L"true"},
      {"a new record is alive", L"account.Alive && call.Alive", L"true"},
      {"construction reports success", L"account.Success", L"true"},
      {"an argument of another class makes nothing", L"new ZEQSIP(new ZEQList())", L"null"},
      {"a plain value makes nothing", L"new ZEQSIP(5)", L"null"},
      {"two arguments are refused", L"new ZEQSIP(account, account)", L"error:8002000e"},
      {"an unknown member is undefined", L"typeof account.NoSuchMember", L"undefined"},
      {"a read-only member refuses a put", L"(account.CallID = 'x')", L"error:80020005"},
      {"a put-only member refuses a get", L"account.ReasonSIPError", L"error:80020005"},
      {"a method counts its arguments", L"call.SetHeader('in', 'X-A')", L"error:8002000e"},
  });
}

TEST_F(SipScriptObject, InformationMembersDescribeTheRecordAndItsHeaders) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); var call = new ZEQSIP(account);"));
  ExpectAll(*page_, {
      {"parties are objects", L"typeof call.To + typeof call.From + typeof call.Contact", L"objectobjectobject"},
      {"an unset party is empty", L"'[' + call.To.URI + call.To.DisplayName + ']'", L"[]"},
      {"no hold yet", L"[call.HoldState.LocalHold, call.HoldState.RemoteHold, call.HoldState.GlobalHold].join()",
       L"false,false,false"},
      {"a header to remove that is absent", L"call.SetHeader('out', 'X-Absent', '')", L"0"},
      {"a header is set", L"call.SetHeader(' out ', 'X-One', 'a')", L"1"},
      {"and replaced", L"call.SetHeader('OUT', 'X-One', 'b')", L"1"},
      {"and removed", L"call.SetHeader('out', 'x-one', '')", L"1"},
      {"removed once", L"call.SetHeader('out', 'X-One', '')", L"0"},
      {"an empty name clears the responses", L"call.SetHeader('out', '', '')", L"1"},
      {"nothing sent yet", L"'[' + call.GetHeader('out', 'Via') + ']'", L"[]"},
      {"nothing received yet", L"'[' + call.GetHeader('in', 'Via') + ']'", L"[]"},
  });
}

TEST_F(SipScriptObject, ObjectsOfOneRecordShareIdentityAndStoredValues) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); var call = new ZEQSIP(account);"
                             L"var again = call.BasedTransaction; account.note = 'kept';"));
  ExpectAll(*page_, {
      {"same serial", L"again.Id == account.Id", L"true"},
      {"same weak id", L"again.WeakId == account.WeakId", L"true"},
      {"a stored value is seen on the other object", L"again.note", L"kept"},
      {"another record does not see it", L"typeof call.note", L"undefined"},
  });
}

TEST_F(SipScriptObject, AccountSettingsStartWithTheirDefaults) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP();"));
  ExpectAll(*page_, {
      {"proxy port", L"account.ProxyRemotePort", L"5060"},
      {"registration expiry", L"account.RegisterExpiration", L"3600"},
      {"registration time-out", L"account.RegisterTimeout", L"32"},
      {"calling time-out", L"account.CallingTimeout", L"256"},
      {"telephone-event payload", L"account.DTMFPayload", L"101"},
      {"frame size", L"account.RTPFrameSize", L"-10"},
      {"keep-alive", L"account.NATKeepAlive", L"0"},
      {"options", L"account.Options + account.TestOptions + account.Outbound + account.RouteOptions", L"0"},
      {"user", L"'[' + account.User + ']'", L"[]"},
      {"status of a new record", L"account.Status", L"idle"},
      {"no reason received", L"account.Reason", L"null"},
      {"no call streams", L"account.IsBeforeFinalResponse || account.IsRTPMediaStreaming", L"false"},
      {"no error yet", L"account.LastError", L"0"},
      {"not a replacement", L"account.IsReplacement", L"false"},
  });
}

TEST_F(SipScriptObject, SettingsAreCutTrimmedAndConverted) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); var call = new ZEQSIP(account);"
                             L"var long = ''; for (var i = 0; i < 200; ++i) long += String.fromCharCode(65 + i % 26);"));
  struct Put {
    const char* name;
    const wchar_t* code;
    const wchar_t* expression;
    const wchar_t* expected;
  };
  const Put cases[] = {
      {"milliseconds become seconds", L"account.CallingTimeout = 30500", L"account.CallingTimeout", L"30"},
      {"less than a second is none", L"account.RegisterTimeout = 999", L"account.RegisterTimeout", L"0"},
      {"a frame size under 10 becomes 10", L"account.RTPFrameSize = 5", L"account.RTPFrameSize", L"10"},
      {"a zero frame size stays", L"account.RTPFrameSize = 0", L"account.RTPFrameSize", L"0"},
      {"a negative frame size stays", L"account.RTPFrameSize = -3", L"account.RTPFrameSize", L"-3"},
      {"the user is trimmed and unquoted", L"account.User = \"  'bob'\\t\"", L"account.User", L"bob"},
      {"the user is the authentication user", L"account.User = ' \"carol\" '", L"account.AuthenticationUser",
       L"carol"},
      {"the authentication user alone",
       L"account.User = 'dave'; account.AuthenticationUser = 'auth'", L"account.User + ',' + account.AuthenticationUser",
       L"dave,auth"},
      {"the proxy keeps blanks and quotes", L"account.ProxyURI = \" 'sip:proxy' \"", L"account.ProxyURI",
       L" 'sip:proxy' "},
      {"the domain loses them", L"account.Domain = \" 'zeq.test' \"", L"account.Domain", L"zeq.test"},
      {"a long name is cut to 127", L"account.DisplayName = long", L"account.DisplayName == long.substr(0, 127)",
       L"true"},
      {"a media address is cut to 31", L"account.SDPIP = long", L"account.SDPIP.length", L"31"},
      {"a number put converts text", L"account.ProxyRemotePort = '5070'", L"account.ProxyRemotePort", L"5070"},
      {"a text put ignores numbers", L"account.Domain = 'kept'; account.Domain = 42", L"account.Domain", L"kept"},
      {"a call's setting is its account's", L"call.Domain = 'shared'", L"account.Domain", L"shared"},
      {"the password comes back as set", L"account.AuthenticationPassword = 'p\\u00e4ss'",
       L"account.AuthenticationPassword == 'p\\u00e4ss'", L"true"},
      {"a number password is text", L"account.AuthenticationPassword = 1234", L"account.AuthenticationPassword",
       L"1234"},
      {"an early error code is ignored", L"call.ReasonSIPError = 486", L"call.LastError", L"0"},
  };
  for (const Put& c : cases) {
    ASSERT_EQ(S_OK, page_->Run(c.code)) << c.name;
    EXPECT_EQ(std::wstring(c.expected), page_->Eval(c.expression)) << c.name;
  }
}

// Raises the events of a table on another thread, one after the other, as
// the SIP stack's thread does.
struct Raised {
  const char* event;
  int number;
  int argument;  // -1: none
  uint32_t expected;
};
struct RaiseWork {
  SIPTransactionHolder transaction;
  std::vector<Raised> events;
  std::vector<uint32_t> answers;
};

void RaiseAll(void* context) {
  auto* work = static_cast<RaiseWork*>(context);
  for (const Raised& raised : work->events) {
    JSArray arguments;
    arguments.Init();
    if (raised.argument >= 0) arguments.AppendInt(raised.argument);
    work->answers.push_back(SIPInvokeEvent(work->transaction, raised.event, "", raised.number,
                                           raised.argument >= 0 ? &arguments : nullptr, 0));
    arguments.Destroy();
  }
}

TEST_F(SipScriptObject, EventsFromAnotherThreadReachThePageInOrder) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); answers.Second = 7; answers.Third = false;"));
  RaiseWork work;
  work.transaction = page_->TransactionOf(L"account");
  ASSERT_TRUE(work.transaction.Get());
  const std::wstring id = page_->Eval(L"account.Id");
  work.events = {
      {"!ZEQOnSIPFirst", 1, -1, ZEQERROR_NOTALLOWED},  // an undefined answer is no code
      {"ZEQOnSIPSecond", 2, -1, ZEQACTION_IGNORE},     // the account is not listening
      {"!ZEQOnSIPSecond", 2, 5, 7},
      {"!ZEQOnSIPThird", 1, -1, ZEQACTION_CANCEL},
      {"!ZEQOnSIPError", 2, 408, ZEQERROR_NOTALLOWED},
  };
  ASSERT_TRUE(sipagent::RunOnOtherThread(RaiseAll, &work));
  ASSERT_EQ(work.events.size(), work.answers.size());
  for (size_t i = 0; i < work.events.size(); ++i) EXPECT_EQ(work.events[i].expected, work.answers[i]) << i;
  EXPECT_EQ(L"First/" + id + L"/1,Second/" + id + L"/2/5,Third/" + id + L"/1,Error/" + id + L"/2/408",
            page_->Eval(L"seen.join()"));

  // Listening, the plain names are delivered too.
  SIPGetRootConnection(&work.transaction->record)->listening = 1;
  work.events = {{"ZEQOnSIPFirst", 2, 9, ZEQERROR_NOTALLOWED}};
  work.answers.clear();
  ASSERT_TRUE(sipagent::RunOnOtherThread(RaiseAll, &work));
  EXPECT_EQ(L"First/" + id + L"/2/9", page_->Eval(L"seen[seen.length - 1]"));
  SIPGetRootConnection(&work.transaction->record)->listening = 0;
}

TEST_F(SipScriptObject, ARecordOutlivesItsObjectsOnlyWhileHeld) {
  ASSERT_EQ(S_OK, page_->Run(L"var account = new ZEQSIP(); var call = new ZEQSIP(account);"));
  SIPTransactionHolder held = page_->TransactionOf(L"call");
  ASSERT_TRUE(held.Get());
  ASSERT_EQ(L"0", page_->Eval(L"call.CloseTransaction()"));
  ExpectAll(*page_, {
      {"a closed record is not alive", L"call.Alive", L"false"},
      {"but still answers", L"call.Id == call.Id && typeof call.Id", L"number"},
      {"a second close answers again", L"call.CloseTransaction()", L"0"},
  });
  // An event for a closed record is dropped, even a forced one.
  EXPECT_EQ(ZEQACTION_IGNORE, SIPInvokeEvent(held, "!ZEQOnSIPFirst", "", 1, nullptr, 0));
  EXPECT_EQ(L"", page_->Eval(L"seen.join()"));

  ASSERT_EQ(L"0", page_->Eval(L"call.DestroyTransaction()"));
  EXPECT_EQ(L"number", page_->Eval(L"typeof call.Id")) << "our holder keeps the record";
  held.Release();
  ExpectAll(*page_, {
      {"a freed record answers nothing", L"typeof call.Id", L"undefined"},
      {"not even Alive", L"typeof call.Alive", L"undefined"},
      {"nor a method", L"typeof call.CloseTransaction()", L"undefined"},
      {"its account lives on", L"account.Alive", L"true"},
  });
}

}  // namespace
