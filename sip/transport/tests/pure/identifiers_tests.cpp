// Branches, tags and reason phrases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/identifiers.h"
#include "sip/record.h"
#include "sip_test_support.h"

namespace {

bool IsLowerHex(const std::string& text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

TEST(SipIdentifiers, BranchesAreMagicCookieAnd32HexDigitsAndDiffer) {
  TestRecord r;
  ASSERT_TRUE(SIPGenerateBranch(r.get()));
  std::string first = r->msg.via[0].branch;
  ASSERT_TRUE(SIPGenerateBranch(r.get()));
  std::string second = r->msg.via[0].branch;
  EXPECT_EQ(first.size(), kSIPBranchLength);
  EXPECT_EQ(first.rfind("z9hG4bK", 0), 0u);
  EXPECT_TRUE(IsLowerHex(first.substr(7)));
  EXPECT_NE(first, second);
}

TEST(SipIdentifiers, TagsAre16LowerHexDigits) {
  char tag[kSIPTagLength + 8];
  memset(tag, 'Z', sizeof tag);
  ASSERT_TRUE(SIPGenerateTag(tag));
  EXPECT_EQ(strlen(tag), kSIPTagLength);
  EXPECT_TRUE(IsLowerHex(tag));
  EXPECT_TRUE(SIPGenerateTag(nullptr));
}

TEST(SipIdentifiers, ReasonPhrasesComeFromTheTable) {
  struct {
    int code;
    const char* text;
  } cases[] = {{100, "Undefined"}, {199, "Undefined"}, {299, "Undefined"}, {180, "Ringing"},
               {481, "Call Transaction/Dialog Does Not Exist"}, {414, "Request URI Too Long"},
               {606, "Not Acceptable"}, {302, "Moved Temporarily"}};
  for (const auto& c : cases) EXPECT_STREQ(SIPStatusCodeToText(c.code), c.text) << c.code;
}

TEST(SipRecordData, KindsMapToTheirMethodCodes) {
  struct {
    int kind;
    int method;
  } cases[] = {{-1, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}, {5, 6}, {6, 6}, {7, 5}, {9, 13}, {11, 7}, {13, 8},
               {15, 10}, {17, 11}, {19, 9}, {21, 4}, {22, 4}, {23, 12}, {24, 12}, {25, 0}};
  for (const auto& c : cases) EXPECT_EQ(SIPKindToMethod(c.kind), c.method) << c.kind;
}

TEST(SipRecordData, ChainsReadTheirAccountAndConnectionFromTheRoot) {
  TestRecord root, middle, leaf;
  middle->based = root.get();
  leaf->based = middle.get();
  for (SIPRecord* r : {root.get(), middle.get(), leaf.get()}) {
    EXPECT_EQ(SIPGetRootAccount(r), &root->account);
    EXPECT_EQ(SIPGetRootConnection(r), &root->connection);
  }
  TestRecord alone;
  EXPECT_EQ(SIPGetRootAccount(alone.get()), &alone->account);
}

TEST(SipRecordData, TransportNamesAndReliability) {
  TestRecord r;
  struct {
    int transport;
    const char* name;
    bool reliable;
  } cases[] = {{0, "UDP", false}, {1, "UDP", false}, {2, "TCP", true}, {3, "TLS", false}, {9, "UDP", false}};
  for (const auto& c : cases) {
    r->connection.transport = c.transport;
    EXPECT_STREQ(SIPGetTransportName(r.get()), c.name);
    EXPECT_EQ(SIPIsReliableTransport(r.get()), c.reliable);
  }
}

TEST(SipRecordData, AContextIsCopiedOnlyFromARequestOrResponse) {
  TestRecord source, target;
  strcpy(source->msg.version, "SIP/2.0");
  strcpy(source->msg.callId, "c");
  source->messageMode = kSIPModeNone;
  EXPECT_FALSE(SIPCopyMessageContext(target.get(), source.get()));
  EXPECT_STREQ(target->msg.version, "SIP/2.0");
  EXPECT_STREQ(target->msg.callId, "");
  source->messageMode = kSIPModeResponse;
  source->msg.statusCode = 180;
  strcpy(source->msg.reason, "Ringing");
  EXPECT_TRUE(SIPCopyMessageContext(target.get(), source.get()));
  EXPECT_EQ(target->msg.statusCode, 180);
  EXPECT_STREQ(target->msg.callId, "c");
  EXPECT_STREQ(target->msg.reason, "");
}

TEST(SipRecordData, TheAccountStartsWithItsDefaultsAndWipesItsPassword) {
  SIPAccountSettings a;
  SIPAccountSettingsInit(&a);
  EXPECT_EQ(a.proxyRemotePort, 5060);
  EXPECT_EQ(a.registerExpiration, 3600);
  EXPECT_EQ(a.maxForwards, 70);
  EXPECT_EQ(a.rtpFrameSize, -10);
  SIPAccountSetPassword(&a, "pw");
  EXPECT_STREQ(a.password, "pw");
  EXPECT_EQ(a.passwordLength, 2u);
  SIPAccountSettingsDestroy(&a);
  EXPECT_EQ(a.password, nullptr);
  EXPECT_EQ(a.passwordLength, 0u);
}

}  // namespace
