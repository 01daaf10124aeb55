// The platform SIP record: creation, chains, liveness, counting, parsing
// into holders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/parser.h"
#include "sip/transaction.h"

namespace {

const char kOptions[] =
    "OPTIONS sip:alice@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.2;branch=z9hG4bK1\r\n"
    "From: <sip:bob@example.com>;tag=b\r\nTo: <sip:alice@example.com>\r\nCall-ID: opt-1\r\n"
    "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";

SIPTransactionHolder MakeAccount() {
  SIPTransactionHolder account = SIPTransactionCreate(SIPTransactionHolder());
  SIPAccountSettings& a = account->record.account;
  strcpy(a.displayName, "Alice");
  strcpy(a.user, "alice;x");
  strcpy(a.domain, "example.com");
  // A registration record's From names the account once its REGISTER was built.
  SIPParseNameAddrText(&account->record.msg.from.uri, "\"Alice\"<sip:alice%3Bx@example.com>");
  return account;
}

TEST(SipTransaction, ACreatedRecordIsLiveCountedAndIdentified) {
  long before = SIPAllocatedTransactionCount();
  {
    SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
    EXPECT_EQ(SIPAllocatedTransactionCount(), before + 1);
    EXPECT_TRUE(SIPTransactionHolderIsValid(t));
    EXPECT_STREQ(t->tag, "+ZEQSIP");
    EXPECT_EQ(t->record.kind, -1);
    EXPECT_EQ(t->record.messageMode, kSIPModeNone);
    EXPECT_EQ(t->record.idWords[0], t->record.idWords[1]);
    EXPECT_EQ(t->record.idWords[0] & 0xFFFF, t->serial & 0xFFFF);
    EXPECT_EQ(t->record.inputDevice, -1);
    EXPECT_STREQ(t->record.msg.userAgent, "KESTO 3.7");
    EXPECT_EQ(strlen(t->record.msg.from.tag), 16u);  // no account: a tag all the same
    EXPECT_STREQ(t->record.msg.from.uri.host, "");
    SIPMarkTransactionDestroyed(t.Get());
    EXPECT_FALSE(SIPTransactionHolderIsValid(t));
    EXPECT_TRUE(SIPTransactionHolderIsSet(t));
  }
  EXPECT_EQ(SIPAllocatedTransactionCount(), before);
}

TEST(SipTransaction, ABasedRecordTakesItsIdentityFromTheRootAccount) {
  SIPTransactionHolder account = MakeAccount();
  SIPTransactionHolder call = SIPTransactionCreate(account);
  SIPTransactionHolder message = SIPTransactionCreate(call);
  EXPECT_STREQ(message->record.msg.from.uri.displayName, "Alice");
  EXPECT_STREQ(message->record.msg.from.uri.user, "alice%3Bx");
  EXPECT_STREQ(message->record.msg.from.uri.host, "example.com");
  EXPECT_EQ(SIPGetRootTransaction(message).Get(), account.Get());
  EXPECT_EQ(SIPGetRootAccount(&message->record), &account->record.account);
  EXPECT_NE(std::string(message->record.msg.from.tag), std::string(call->record.msg.from.tag));
}

TEST(SipTransaction, APlainRecordIsNotCountedAndCopiesOnlyARealContext) {
  long before = SIPAllocatedTransactionCount();
  SIPTransactionHolder source = SIPTransactionCreate(MakeAccount());
  EXPECT_FALSE(SIPCreateTransaction(source).IsSet());  // mode -1
  ASSERT_EQ(SIPParseMessage(&source->record, kOptions, strlen(kOptions), nullptr, 0), kSIPParsed);
  {
    SIPTransactionHolder copy = SIPCreateTransaction(source);
    ASSERT_TRUE(copy.IsSet());
    EXPECT_STREQ(copy->record.msg.callId, "opt-1");
    EXPECT_EQ(copy->record.notCounted, 1);
    EXPECT_EQ(SIPGetRootTransaction(copy).Get(), SIPGetRootTransaction(source).Get());
  }
  EXPECT_EQ(SIPAllocatedTransactionCount(), before + 2);  // the source and its account
}

TEST(SipTransaction, ParsingIntoANewRecordNeedsTheAccountsOwner) {
  SIPTransactionHolder listener = MakeAccount();
  SIPTransactionHolder base;
  SIPSetConnectionOwnerLookup(nullptr);
  EXPECT_FALSE(SIPCreateParsed(kOptions, strlen(kOptions), nullptr, 0, SIPTransactionHolder(), &base, listener).IsSet());
  static SIPTransactionHolder* owner;
  owner = &listener;
  static std::string asked;
  SIPSetConnectionOwnerLookup([](const char* account) {
    asked = account;
    return *owner;
  });
  SIPTransactionHolder parsed = SIPCreateParsed(kOptions, strlen(kOptions), nullptr, 0, SIPTransactionHolder(), &base,
                                                listener);
  SIPSetConnectionOwnerLookup(nullptr);
  ASSERT_TRUE(parsed.IsSet());
  EXPECT_EQ(asked, "alice%3Bx@example.com");
  EXPECT_EQ(base.Get(), listener.Get());
  EXPECT_STREQ(parsed->record.msg.method, "OPTIONS");
  EXPECT_EQ(SIPGetRootTransaction(parsed).Get(), listener.Get());
}

TEST(SipTransaction, ParsingIntoAGivenRecordKeepsIt) {
  SIPTransactionHolder record = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder parsed =
      SIPCreateParsed(kOptions, strlen(kOptions), nullptr, 0, record, nullptr, SIPTransactionHolder());
  EXPECT_EQ(parsed.Get(), record.Get());
  EXPECT_FALSE(SIPCreateParsed("hello\r\n", 7, nullptr, 0, record, nullptr, SIPTransactionHolder()).IsSet());
}

}  // namespace
