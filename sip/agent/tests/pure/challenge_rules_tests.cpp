// Challenges without the platform: the credentials header, the resend of
// each request kind, and the bounded re-authentication (the first
// challenge of an attempt answered, later ones only when stale with a new
// nonce, never more than a few in all).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sip/challenge_rules.h"

namespace {

using sipagent::ChallengeLedger;
using sipagent::ChallengeResend;
using sipagent::ChallengeVerdict;

TEST(SipChallengeRules, CredentialsGoUnderTheHeaderTheStatusAsksFor) {
  EXPECT_STREQ(sipagent::CredentialsHeaderName(401), "Authorization");
  EXPECT_STREQ(sipagent::CredentialsHeaderName(407), "Proxy-Authorization");
  for (int status : {400, 403, 408, 200})
    EXPECT_EQ(sipagent::CredentialsHeaderName(status), nullptr) << status;
}

TEST(SipChallengeRules, EachRequestKindIsSentAgainItsOwnWay) {
  struct {
    const char* name;
    int32_t kind;
    bool open;
    bool relatedLive;
    ChallengeResend resend;
  } cases[] = {
      {"open REGISTER", 2, true, false, ChallengeResend::kRegister},
      {"ended REGISTER (un-REGISTER)", 2, false, false, ChallengeResend::kUnregister},
      {"INVITE of a new call", 4, true, false, ChallengeResend::kInvite},
      {"re-INVITE of a live call", 4, true, true, ChallengeResend::kReInvite},
      {"SUBSCRIBE", 16, true, false, ChallengeResend::kSubscribe},
      {"REFER", 18, true, false, ChallengeResend::kRefer},
      {"NOTIFY", 12, true, false, ChallengeResend::kNotify},
      {"OPTIONS", 14, true, false, ChallengeResend::kNone},
      {"INFO", 20, true, false, ChallengeResend::kNone},
      {"MESSAGE", 10, true, false, ChallengeResend::kNone},
      {"BYE", 8, true, false, ChallengeResend::kNone},
      {"a server kind", 3, true, false, ChallengeResend::kNone},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sipagent::ChooseChallengeResend(c.kind, c.open, c.relatedLive), c.resend) << c.name;
}

struct Challenge {
  const char* stale;
  const char* nonce;
};

// Runs one attempt's challenges as the dispatch sees them (the count of
// answers rises with each answer) and gives the verdicts.
std::vector<ChallengeVerdict> RunAttempt(ChallengeLedger& ledger, uint32_t key, const std::vector<Challenge>& challenges) {
  std::vector<ChallengeVerdict> verdicts;
  int32_t attempts = 0;
  for (const Challenge& c : challenges) {
    ChallengeVerdict v = ledger.Decide(key, attempts, c.stale, "zeq.test", c.nonce);
    verdicts.push_back(v);
    if (v == ChallengeVerdict::kAnswer) ++attempts;
    else break;  // the attempt ends in its final error
  }
  return verdicts;
}

TEST(SipChallengeRules, ReAuthenticationIsBoundedPerAttempt) {
  const auto A = ChallengeVerdict::kAnswer;
  struct {
    const char* name;
    std::vector<Challenge> challenges;
    std::vector<ChallengeVerdict> verdicts;
  } cases[] = {
      {"the first challenge is answered", {{"", "n1"}}, {A}},
      {"a wrong password: the second challenge is not stale", {{"", "n1"}, {"", "n2"}},
       {A, ChallengeVerdict::kNotStale}},
      {"stale=false counts as not stale", {{"", "n1"}, {"false", "n2"}}, {A, ChallengeVerdict::kNotStale}},
      {"a stale challenge with a new nonce is answered", {{"", "n1"}, {"TRUE", "n2"}}, {A, A}},
      {"stale in any letter case", {{"", "n1"}, {"true", "n2"}}, {A, A}},
      {"a stale challenge repeating the answered nonce", {{"", "n1"}, {"TRUE", "n1"}},
       {A, ChallengeVerdict::kNonceRepeated}},
      {"a stale nonce answered earlier in the attempt", {{"", "n1"}, {"TRUE", "n2"}, {"TRUE", "n1"}},
       {A, A, ChallengeVerdict::kNonceRepeated}},
      {"a server that keeps challenging with new stale nonces",
       {{"", "n1"}, {"TRUE", "n2"}, {"TRUE", "n3"}, {"TRUE", "n4"}, {"TRUE", "n5"}, {"TRUE", "n6"}},
       {A, A, A, A, ChallengeVerdict::kTooMany}},
  };
  for (const auto& c : cases) {
    ChallengeLedger ledger;
    EXPECT_EQ(RunAttempt(ledger, 7, c.challenges), c.verdicts) << c.name;
  }
}

TEST(SipChallengeRules, ANewAttemptStartsAfreshAndTransactionsAreCountedApart) {
  ChallengeLedger ledger;
  EXPECT_EQ(RunAttempt(ledger, 1, {{"", "n1"}, {"TRUE", "n1"}}),
            (std::vector<ChallengeVerdict>{ChallengeVerdict::kAnswer, ChallengeVerdict::kNonceRepeated}));
  // Another transaction's challenge with the same nonce is its own first.
  EXPECT_EQ(ledger.Decide(2, 0, "", "zeq.test", "n1"), ChallengeVerdict::kAnswer);
  // The first transaction pushed again (a refresh): its count is back to 0.
  EXPECT_EQ(ledger.Decide(1, 0, "", "zeq.test", "n1"), ChallengeVerdict::kAnswer);
  EXPECT_EQ(ledger.Decide(1, 1, "TRUE", "zeq.test", "n2"), ChallengeVerdict::kAnswer);
}

TEST(SipChallengeRules, TheSameNonceOfAnotherRealmIsANewOne) {
  ChallengeLedger ledger;
  ASSERT_EQ(ledger.Decide(3, 0, "", "one.test", "n1"), ChallengeVerdict::kAnswer);
  EXPECT_EQ(ledger.Decide(3, 1, "TRUE", "two.test", "n1"), ChallengeVerdict::kAnswer);
}

TEST(SipChallengeRules, TheLedgerForgetsEndedTransactionsAndStaysBounded) {
  ChallengeLedger ledger;
  ASSERT_EQ(ledger.Decide(5, 0, "", "r", "n1"), ChallengeVerdict::kAnswer);
  ledger.Forget(5);
  EXPECT_EQ(ledger.Size(), 0u);
  ledger.Forget(5);  // forgetting twice changes nothing
  for (uint32_t key = 100; key < 100 + 3 * ChallengeLedger::kCapacity; ++key)
    ASSERT_EQ(ledger.Decide(key, 0, "", "r", "n"), ChallengeVerdict::kAnswer) << key;
  EXPECT_EQ(ledger.Size(), ChallengeLedger::kCapacity);
  // A transaction forgotten to make room still ends when its challenges
  // are not stale, and is still bounded when they are.
  EXPECT_EQ(ledger.Decide(100, 1, "", "r", "n2"), ChallengeVerdict::kNotStale);
  EXPECT_EQ(ledger.Decide(100, sipagent::kMaxChallengeAnswers, "TRUE", "r", "n2"), ChallengeVerdict::kTooMany);
  EXPECT_EQ(ledger.Decide(101, 1, "TRUE", "r", "n2"), ChallengeVerdict::kAnswer);
}

TEST(SipChallengeRules, EveryVerdictHasALogText) {
  for (ChallengeVerdict v : {ChallengeVerdict::kAnswer, ChallengeVerdict::kNotStale,
                             ChallengeVerdict::kNonceRepeated, ChallengeVerdict::kTooMany})
    EXPECT_STRNE(sipagent::ChallengeVerdictText(v), "");
}

}  // namespace
