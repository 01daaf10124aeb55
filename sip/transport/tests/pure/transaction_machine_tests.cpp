// Transaction state machines driven by a clock of the test's own: the
// retransmission schedules, the time-outs and the terminations over
// unreliable and reliable transports, and the refused transitions.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sip/transaction_machine.h"
#include "sip_test_support.h"

namespace {

// A driver with a virtual clock: timers are periodic, as the runtime's are,
// and fire in time order (slot order at equal times).
class ClockDriver : public SIPTransactionDriver {
 public:
  struct Timer {
    bool armed = false;
    uint64_t due = 0;
    uint32_t interval = 0;
    SIPTimerKind kind = SIPTimerKind::Retransmit;
    long fires = 0;
    uint32_t id = 0;
  };
  uint64_t now = 0;
  Timer timers[kSIPTimerSlots];
  bool pushed = true;
  bool keepExpiredCall = false;
  uint32_t nextId = 0x100;
  std::vector<uint64_t> resends;
  std::vector<uint64_t> errors;     // times of error 504 reports
  std::vector<uint64_t> endEvents;  // times of end events
  std::vector<uint64_t> terminations;
  int alerts = 0, asks = 0;
  std::vector<std::string> lines;

  uint32_t RecordId(const SIPRecord*) override { return 0xABCD0001; }
  void Log(const char* line) override { lines.emplace_back(line); }
  bool IsPushed(const SIPRecord*) override { return pushed; }
  bool IsArmed(const SIPRecord*, int slot) override { return timers[slot].armed; }
  bool ArmTimer(SIPRecord*, int slot, uint32_t interval, SIPTimerKind kind) override {
    Timer& t = timers[slot];
    if (!t.armed) t = Timer{true, 0, 0, kind, 0, nextId++};
    t.due = now + interval;
    t.interval = interval;
    t.kind = kind;
    return true;
  }
  void ResetTimer(SIPRecord*, int slot, uint32_t interval) override {
    timers[slot].interval = interval;
    timers[slot].due = now + interval;
  }
  void KillTimer(SIPRecord*, int slot) override { timers[slot] = Timer{}; }
  uint32_t TimerId(const SIPRecord*, int slot) override { return timers[slot].id; }
  void Terminate(SIPRecord*) override {
    terminations.push_back(now);
    pushed = false;
    for (int slot = 0; slot < kSIPTimerSlots; slot++)
      if (slot != kSIPTimerHold) timers[slot] = Timer{};
  }
  void Alert(SIPRecord*) override { alerts++; }
  void Resend(SIPRecord*) override { resends.push_back(now); }
  bool AskTerminateExpiredCalling(SIPRecord*) override {
    asks++;
    return !keepExpiredCall;
  }
  void ReportTransactionError(SIPRecord*, int code) override {
    if (code == 504) errors.push_back(now);
  }
  void RaiseEndEvent(SIPRecord*) override { endEvents.push_back(now); }
  void Lock() override { depth++; }
  void Unlock() override { depth--; }
  int depth = 0;

  // Fires every timer due up to `until`, in time order.
  void RunUntil(SIPRecord* record, uint64_t until) {
    for (;;) {
      int next = -1;
      for (int slot = 0; slot < kSIPTimerSlots; slot++)
        if (timers[slot].armed && timers[slot].due <= until && (next < 0 || timers[slot].due < timers[next].due))
          next = slot;
      if (next < 0) break;
      Timer& t = timers[next];
      now = t.due;
      t.fires++;
      t.due = now + t.interval;  // periodic until killed or reset
      switch (t.kind) {
        case SIPTimerKind::Retransmit: SIPMachineRetransmitFired(this, record, next, t.fires); break;
        case SIPTimerKind::Timeout: SIPMachineTimeoutFired(this, record, next); break;
        case SIPTimerKind::Terminate: SIPMachineTerminateFired(this, record, next); break;
      }
    }
    now = until;
  }
};

struct Transaction {
  TestRecord record;
  ClockDriver driver;
  Transaction(int32_t kind, int32_t transport) {
    record->kind = kind;
    record->state = kSIPStateReady;
    record->connection.transport = transport;
    record->account.callingTimeout = 32;
    record->account.registerTimeout = 32;
  }
  // Moves through the states in order; each step must be allowed.
  void Walk(const std::vector<int32_t>& states) {
    for (int32_t s : states) ASSERT_EQ(SIPMachineSetState(&driver, record.get(), s), 1) << "to state " << s;
  }
};

constexpr int32_t kUDP = kSIPTransportUDP;
constexpr int32_t kTCP = kSIPTransportTCP;
constexpr int32_t kInviteClient = 4, kInviteServer = 3, kRegisterClient = 2, kOptionsClient = 14,
                  kOptionsServer = 13;

struct ScheduleCase {
  const char* name;
  int32_t kind;
  int32_t transport;
  std::vector<int32_t> states;    // walked at time 0
  std::vector<uint64_t> resends;  // ms after the walk
  uint64_t timeoutAt;             // when the error and the end event come
};

TEST(SipTransactionMachine, RetransmissionsFollowTheirScheduleUntilTheTimeOut) {
  const ScheduleCase cases[] = {
      {"INVITE client: A doubles without bound until B", kInviteClient, kUDP, {kSIPStateCalling},
       {500, 1500, 3500, 7500, 15500, 31500}, 32000},
      {"REGISTER client: E doubles up to T2 until F", kRegisterClient, kUDP, {kSIPStateTrying},
       {500, 1500, 3500, 7500, 11500, 15500, 19500, 23500, 27500, 31500}, 32000},
      {"OPTIONS client after a 1xx: E every T2", kOptionsClient, kUDP, {kSIPStateTrying, kSIPStateProceeding},
       {500, 4500, 8500, 12500, 16500, 20500, 24500, 28500}, 32000},
      {"INVITE server after a non-2xx final: G until H", kInviteServer, kUDP,
       {kSIPStateProceeding, kSIPStateCompleted}, {500, 1500, 3500, 7500, 11500, 15500, 19500, 23500, 27500, 31500},
       32000},
      {"INVITE server after a 2xx: the 2xx until L", kInviteServer, kUDP, {kSIPStateProceeding, kSIPStateAccepted},
       {500, 1500, 3500, 7500, 11500, 15500, 19500, 23500, 27500, 31500}, 32000},
      {"INVITE client over TCP: no retransmission, B still ends it", kInviteClient, kTCP, {kSIPStateCalling}, {},
       32000},
      {"REGISTER client over TCP: no retransmission, F still ends it", kRegisterClient, kTCP, {kSIPStateTrying}, {},
       32000},
  };
  for (const ScheduleCase& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t(c.kind, c.transport);
    t.Walk(c.states);
    t.driver.RunUntil(t.record.get(), c.timeoutAt - 1);
    EXPECT_EQ(t.driver.resends, c.resends);
    EXPECT_TRUE(t.driver.errors.empty());
    t.driver.RunUntil(t.record.get(), c.timeoutAt + 60000);
    EXPECT_EQ(t.driver.resends, c.resends) << "retransmitted after the time-out";
    EXPECT_EQ(t.driver.errors, std::vector<uint64_t>{c.timeoutAt});
    EXPECT_EQ(t.driver.endEvents, std::vector<uint64_t>{c.timeoutAt});
    EXPECT_EQ(t.record->endReason, kSIPEndExpired);
    EXPECT_EQ(t.driver.depth, 0);
  }
}

TEST(SipTransactionMachine, TheTimeOutsFollowTheAccountsTimesAndFireOnce) {
  Transaction invite(kInviteClient, kUDP);
  invite.record->account.callingTimeout = 7;
  invite.Walk({kSIPStateCalling});
  Transaction registration(kRegisterClient, kUDP);
  registration.record->account.registerTimeout = 9;
  registration.Walk({kSIPStateTrying});
  Transaction options(kOptionsClient, kUDP);
  options.record->account.registerTimeout = 9;  // not a REGISTER: 64*T1
  options.Walk({kSIPStateTrying});
  for (Transaction* t : {&invite, &registration, &options}) t->driver.RunUntil(t->record.get(), 200000);
  EXPECT_EQ(invite.driver.errors, std::vector<uint64_t>{7000});
  EXPECT_EQ(registration.driver.errors, std::vector<uint64_t>{9000});
  EXPECT_EQ(options.driver.errors, std::vector<uint64_t>{32000});
}

struct TerminationCase {
  const char* name;
  int32_t kind;
  int32_t transport;
  std::vector<int32_t> states;
  uint64_t endsAt;
};

TEST(SipTransactionMachine, CompletedTransactionsTerminateAfterTheirWaitOrAtOnceOverTCP) {
  const TerminationCase cases[] = {
      {"INVITE client, D over UDP", kInviteClient, kUDP, {kSIPStateCalling, kSIPStateCompleted}, 32000},
      {"INVITE client, D over TCP", kInviteClient, kTCP, {kSIPStateCalling, kSIPStateProceeding, kSIPStateCompleted}, 0},
      {"non-INVITE client, K over UDP", kOptionsClient, kUDP, {kSIPStateTrying, kSIPStateCompleted}, 5000},
      {"non-INVITE client, K over TCP", kRegisterClient, kTCP, {kSIPStateTrying, kSIPStateProceeding, kSIPStateCompleted}, 0},
      {"INVITE server, I over UDP after the ACK of a non-2xx", kInviteServer, kUDP,
       {kSIPStateProceeding, kSIPStateCompleted, kSIPStateConfirmed}, 5000},
      {"INVITE server, I over UDP after the ACK of a 2xx", kInviteServer, kUDP,
       {kSIPStateProceeding, kSIPStateAccepted, kSIPStateConfirmed}, 5000},
      {"INVITE server, I over TCP", kInviteServer, kTCP, {kSIPStateProceeding, kSIPStateCompleted, kSIPStateConfirmed}, 0},
      {"non-INVITE server, J over UDP", kOptionsServer, kUDP, {kSIPStateTrying, kSIPStateCompleted}, 32000},
      {"non-INVITE server, J over TCP", kOptionsServer, kTCP, {kSIPStateTrying, kSIPStateProceeding, kSIPStateCompleted}, 0},
  };
  for (const TerminationCase& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t(c.kind, c.transport);
    t.Walk(c.states);
    if (c.endsAt > 0) {
      t.driver.RunUntil(t.record.get(), c.endsAt - 1);
      EXPECT_TRUE(t.driver.terminations.empty());
    }
    t.driver.RunUntil(t.record.get(), c.endsAt + 100000);
    EXPECT_EQ(t.driver.terminations, std::vector<uint64_t>{c.endsAt});
    EXPECT_EQ(t.record->state, kSIPStateTerminated);
    EXPECT_TRUE(t.driver.errors.empty()) << "a completed transaction timed out";
    EXPECT_TRUE(t.driver.endEvents.empty());
    // Retransmissions of a completed INVITE server over UDP stop at the ACK.
    for (uint64_t at : t.driver.resends) EXPECT_LT(at, 1u) << "resent after the ACK";
  }
}

struct RefusedCase {
  const char* name;
  int32_t kind;
  int32_t messageMode;
  std::vector<int32_t> walk;
  int32_t refused;
};

TEST(SipTransactionMachine, TransitionsOutsideTheTablesAreRefusedWithOneAlert) {
  const RefusedCase cases[] = {
      {"INVITE client COMPLETED from READY", kInviteClient, kSIPModeNone, {}, kSIPStateCompleted},
      {"INVITE client PROCEEDING from PROCEEDING", kInviteClient, kSIPModeNone, {kSIPStateCalling, kSIPStateProceeding},
       kSIPStateProceeding},
      {"non-INVITE client CONFIRMED", kOptionsClient, kSIPModeNone, {kSIPStateTrying}, kSIPStateConfirmed},
      {"INVITE server ACCEPTED from COMPLETED", kInviteServer, kSIPModeNone,
       {kSIPStateProceeding, kSIPStateCompleted}, kSIPStateAccepted},
      {"non-INVITE server ACCEPTED", kOptionsServer, kSIPModeNone, {kSIPStateTrying}, kSIPStateAccepted},
      {"TERMINATED twice", kOptionsServer, kSIPModeNone, {kSIPStateTerminated}, kSIPStateTerminated},
      {"no kind and no message mode", -1, kSIPModeNone, {}, kSIPStateTrying},
      {"an unknown state number", kOptionsClient, kSIPModeNone, {}, 9},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    Transaction t(c.kind, kUDP);
    t.record->messageMode = c.messageMode;
    t.Walk(c.walk);
    int32_t before = t.record->state;
    int alerts = t.driver.alerts;
    EXPECT_EQ(SIPMachineSetState(&t.driver, t.record.get(), c.refused), 0);
    EXPECT_EQ(t.record->state, before);
    EXPECT_EQ(t.driver.alerts, alerts + 1);
    char line[128];
    snprintf(line, sizeof line, "SIPSetTransactionState: SIP: ABCD0001 - Invalid State - Current: %d to New: %d",
             static_cast<int>(before), static_cast<int>(c.refused));
    EXPECT_EQ(t.driver.lines.back(), line);
  }
}

TEST(SipTransactionMachine, AnExpiredCallingCallThatScriptKeepsWaitsAnotherCallingTimeout) {
  Transaction t(kInviteClient, kUDP);
  t.driver.keepExpiredCall = true;
  t.Walk({kSIPStateCalling, kSIPStateProceeding});
  t.driver.RunUntil(t.record.get(), 32000);
  EXPECT_EQ(t.driver.asks, 1);
  EXPECT_TRUE(t.driver.endEvents.empty());
  EXPECT_FALSE(t.driver.timers[kSIPTimerA].armed);
  EXPECT_EQ(t.record->endReason, 0u);
  // Script gives up at the next expiry.
  t.driver.keepExpiredCall = false;
  t.driver.RunUntil(t.record.get(), 64000);
  EXPECT_EQ(t.driver.asks, 2);
  EXPECT_EQ(t.driver.errors, std::vector<uint64_t>{64000});
  EXPECT_EQ(t.driver.endEvents, std::vector<uint64_t>{64000});
}

TEST(SipTransactionMachine, TheCancelTimerExpiresTheInviteWithoutAnError) {
  Transaction t(kInviteClient, kUDP);
  t.record->account.callingTimeout = 256;
  t.Walk({kSIPStateCalling, kSIPStateProceeding});
  t.driver.now = 1000;
  ASSERT_TRUE(SIPMachineArmTimer(&t.driver, t.record.get(), kSIPTimerCancel, kSIPTimer64T1, SIPTimerKind::Timeout));
  t.driver.RunUntil(t.record.get(), 31999);
  EXPECT_TRUE(t.driver.endEvents.empty());
  t.driver.RunUntil(t.record.get(), 33000);
  EXPECT_EQ(t.driver.endEvents, std::vector<uint64_t>{33000});
  EXPECT_TRUE(t.driver.errors.empty());
  EXPECT_EQ(t.record->endReason, kSIPEndExpired);
}

TEST(SipTransactionMachine, ATransactionOutsideThePushedListGetsOnlyItsLAndHoldTimers) {
  Transaction t(kInviteServer, kUDP);
  t.driver.pushed = false;
  t.Walk({kSIPStateProceeding, kSIPStateAccepted});
  EXPECT_FALSE(t.driver.timers[kSIPTimer2xx].armed);
  EXPECT_TRUE(t.driver.timers[kSIPTimerL].armed);
  EXPECT_TRUE(SIPMachineArmTimer(&t.driver, t.record.get(), kSIPTimerHold, 1000, SIPTimerKind::Timeout));
  EXPECT_FALSE(SIPMachineArmTimer(&t.driver, t.record.get(), kSIPTimerCancel, 1000, SIPTimerKind::Timeout));
}

TEST(SipTransactionMachine, AFinalizedEndReasonFollowsTheAccountsTestOptions) {
  struct Case {
    uint32_t options;
    uint32_t stored;
  } cases[] = {{0, kSIPEndFinalized},
               {0x10000, kSIPEndRefused},
               {0x20000, kSIPEndCancelled},
               {0x40000, kSIPEndExpired},
               {0x80000, kSIPEndRedirected},
               {0x60000, kSIPEndCancelled}};
  for (const Case& c : cases) {
    TestRecord r;
    r->account.testOptions = c.options;
    EXPECT_EQ(SIPSetEndReasonOf(r.get(), kSIPEndFinalized, false), 1);
    EXPECT_EQ(r->endReason, c.stored) << std::hex << c.options;
    // An ended transaction keeps its reason unless forced.
    EXPECT_EQ(SIPSetEndReasonOf(r.get(), kSIPEndCancelled, false), 0);
    EXPECT_EQ(r->endReason, c.stored);
    EXPECT_EQ(SIPSetEndReasonOf(r.get(), kSIPEndExpired, true), 1);
    EXPECT_EQ(r->endReason, kSIPEndExpired);
  }
}

TEST(SipTransactionMachine, StatusTextsNameTheStateTheKindAndTheSide) {
  struct Case {
    int32_t kind, state;
    const char* text;
  } cases[] = {{4, 1, "CALLING, Kind: 4, UAC"},   {2, 1, "TRYING, Kind: 2, UAC"},
               {3, 5, "ACCEPTED, Kind: 3, UAS"},  {13, 6, "TERMINATED, Kind: 13, UAS"},
               {14, 42, "STATUS: 42, Kind: 14, UAC"}};
  for (const Case& c : cases) {
    TestRecord r;
    r->kind = c.kind;
    r->state = c.state;
    char text[64];
    SIPFormatTransactionStateText(r.get(), text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
  EXPECT_STREQ(SIPTimerSlotName(kSIPTimer2xx), "Timer 2xx (RETRY)");
  EXPECT_STREQ(SIPTimerSlotName(kSIPTimerCancel), "Timer CANCEL (RETRY)");
  EXPECT_STREQ(SIPTimerSlotName(-1), "Unknown Timer");
}

}  // namespace
