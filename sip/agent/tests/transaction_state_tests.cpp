// The state tests of a transaction over the transaction's machine states.
#include <gtest/gtest.h>

#include "sip/agent/helpers.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {

struct StateCase {
  const char* name;
  int32_t state;
  bool beforeFinal, proceeding, completedState, accepted, completed;
};

class TransactionStateTests : public ::testing::TestWithParam<StateCase> {};

TEST_P(TransactionStateTests, EachTestAnswersForTheStateWord) {
  const StateCase& c = GetParam();
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  t->record.state = c.state;
  EXPECT_EQ(c.beforeFinal, IsSIPBeforeFinalResponse(t));
  EXPECT_EQ(c.proceeding, IsSIPTransactionProceeding(t));
  EXPECT_EQ(c.completedState, IsSIPTransactionCompletedState(t));
  EXPECT_EQ(c.accepted, IsSIPTransactionAccepted(t));
  EXPECT_EQ(c.completed, IsSIPTransactionCompleted(t));
}

const StateCase kStateCases[] = {
    {"Ready", 0, false, false, false, false, false},
    {"CallingOrTrying", 1, true, false, false, false, false},
    {"Proceeding", 2, true, true, false, false, false},
    {"Completed", 3, false, false, true, false, true},
    {"Confirmed", 4, false, false, false, false, true},
    {"Accepted", 5, false, false, false, true, true},
    {"Terminated", 6, false, false, false, false, true},
};

INSTANTIATE_TEST_SUITE_P(States, TransactionStateTests, ::testing::ValuesIn(kStateCases),
                         [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

TEST(SipAgentTransactionTests, ATransactionIsOpenUntilItHasAnEndReason) {
  SIPTransactionHolder t = SIPTransactionCreate(SIPTransactionHolder());
  EXPECT_TRUE(IsSIPTransactionOpen(t));
  t->record.endReason = kSIPEndCancelled;
  EXPECT_FALSE(IsSIPTransactionOpen(t));
  EXPECT_FALSE(IsSIPTransactionOpen(SIPTransactionHolder()));
}

TEST(SipAgentTransactionTests, TwoHoldersAreOtherTransactionsOnlyForDifferentRecords) {
  SIPTransactionHolder a = SIPTransactionCreate(SIPTransactionHolder());
  SIPTransactionHolder copy = a;
  SIPTransactionHolder b = SIPTransactionCreate(SIPTransactionHolder());
  EXPECT_FALSE(SIPIsOtherTransaction(a, copy));
  EXPECT_TRUE(SIPIsOtherTransaction(a, b));
}

}  // namespace
