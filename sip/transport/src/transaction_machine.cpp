// Transaction states and timers: the transition tables of the four
// machines and what each timer does when it fires.
#include "sip/transaction_machine.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kSlotNames[kSIPTimerSlots] = {
    "Timer A (RETRY)",     "Timer B (TIMEOUT)",   "Timer C (?)",          "Timer D (TERMINATE)",
    "Timer E (RETRY)",     "Timer F (TIMEOUT)",   "Timer G (RETRY)",      "Timer H (TIMEOUT)",
    "Timer I (TERMINATE)", "Timer J (TERMINATE)", "Timer K (TERMINATE)",  "Timer L (TIMEOUT)",
    "Timer CANCEL (RETRY)", "Timer 2xx (RETRY)",  "Timer HOLD (RETRY)"};

// One row of a machine's table: from which states, to which state, the log
// line's machine and state names, and the timers killed and armed in order.
struct TimerStep {
  bool arm;
  int slot;
  SIPTimerKind kind;
};
struct Row {
  SIPMachine machine;
  uint32_t fromStates;  // bit per state
  int32_t to;
  const char* title;
  const char* stateName;
  TimerStep steps[3];
  int stepCount;
};

constexpr uint32_t Bit(int32_t state) { return 1u << state; }
constexpr TimerStep Kill(int slot) { return {false, slot, SIPTimerKind::Retransmit}; }
constexpr TimerStep Arm(int slot, SIPTimerKind kind) { return {true, slot, kind}; }

constexpr const char* kInviteClient = "INVITE Client Transaction";
constexpr const char* kRegularClient = "Regular Client Transaction";
constexpr const char* kInviteServer = "INVITE Server Transaction";
constexpr const char* kRegularServer = "Regular Server Transaction";

const Row kRows[] = {
    {SIPMachine::InviteClient, Bit(kSIPStateReady), kSIPStateCalling, kInviteClient, "CALLING",
     {Arm(kSIPTimerA, SIPTimerKind::Retransmit), Arm(kSIPTimerB, SIPTimerKind::Timeout)}, 2},
    {SIPMachine::InviteClient, Bit(kSIPStateCalling), kSIPStateProceeding, kInviteClient, "PROCEEDING",
     {Kill(kSIPTimerA)}, 1},
    {SIPMachine::InviteClient, Bit(kSIPStateCalling) | Bit(kSIPStateProceeding), kSIPStateCompleted, kInviteClient,
     "COMPLETED", {Kill(kSIPTimerA), Kill(kSIPTimerB), Arm(kSIPTimerD, SIPTimerKind::Terminate)}, 3},

    {SIPMachine::NonInviteClient, Bit(kSIPStateReady), kSIPStateTrying, kRegularClient, "TRYING",
     {Arm(kSIPTimerE, SIPTimerKind::Retransmit), Arm(kSIPTimerF, SIPTimerKind::Timeout)}, 2},
    // E goes on, at T2 from now on.
    {SIPMachine::NonInviteClient, Bit(kSIPStateTrying), kSIPStateProceeding, kRegularClient, "PROCEEDING", {}, 0},
    // F stays armed; K normally ends the transaction first.
    {SIPMachine::NonInviteClient, Bit(kSIPStateTrying) | Bit(kSIPStateProceeding), kSIPStateCompleted,
     kRegularClient, "COMPLETED", {Kill(kSIPTimerE), Arm(kSIPTimerK, SIPTimerKind::Terminate)}, 2},

    {SIPMachine::InviteServer, Bit(kSIPStateReady), kSIPStateProceeding, kInviteServer, "PROCEEDING", {}, 0},
    {SIPMachine::InviteServer, Bit(kSIPStateProceeding), kSIPStateCompleted, kInviteServer, "COMPLETED",
     {Arm(kSIPTimerG, SIPTimerKind::Retransmit), Arm(kSIPTimerH, SIPTimerKind::Timeout)}, 2},
    {SIPMachine::InviteServer, Bit(kSIPStateCompleted) | Bit(kSIPStateAccepted), kSIPStateConfirmed, kInviteServer,
     "CONFIRMED", {Kill(kSIPTimerG), Arm(kSIPTimerI, SIPTimerKind::Terminate)}, 2},
    {SIPMachine::InviteServer, Bit(kSIPStateProceeding), kSIPStateAccepted, kInviteServer, "ACCEPTED",
     {Kill(kSIPTimerG), Arm(kSIPTimerL, SIPTimerKind::Timeout), Arm(kSIPTimer2xx, SIPTimerKind::Retransmit)}, 3},

    {SIPMachine::NonInviteServer, Bit(kSIPStateReady), kSIPStateTrying, kRegularServer, "TRYING", {}, 0},
    {SIPMachine::NonInviteServer, Bit(kSIPStateTrying), kSIPStateProceeding, kRegularServer, "PROCEEDING", {}, 0},
    {SIPMachine::NonInviteServer, Bit(kSIPStateTrying) | Bit(kSIPStateProceeding), kSIPStateCompleted,
     kRegularServer, "COMPLETED", {Arm(kSIPTimerJ, SIPTimerKind::Terminate)}, 1},
};

// The interval a slot is armed with by a transition.
uint32_t ArmInterval(SIPRecord* record, int slot) {
  bool reliable = SIPIsReliableTransport(record);
  const SIPAccountSettings* account = SIPGetRootAccount(record);
  switch (slot) {
    case kSIPTimerA:
    case kSIPTimerE:
    case kSIPTimerG:
    case kSIPTimer2xx:
      return kSIPTimerT1;
    case kSIPTimerB:
      return static_cast<uint32_t>(account->callingTimeout > 0 ? account->callingTimeout : 0) * 1000u;
    case kSIPTimerF:
      if (record->kind == 2)
        return static_cast<uint32_t>(account->registerTimeout > 0 ? account->registerTimeout : 0) * 1000u;
      return kSIPTimer64T1;
    case kSIPTimerD:
    case kSIPTimerJ:
      return reliable ? 0 : kSIPTimer64T1;
    case kSIPTimerI:
    case kSIPTimerK:
      return reliable ? 0 : kSIPTimerT4;
    default:  // H, L, CANCEL
      return kSIPTimer64T1;
  }
}

void Logf(SIPTransactionDriver* driver, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Logf(SIPTransactionDriver* driver, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  driver->Log(line);
}

// The first line of the last sent message, carriage returns removed.
void FirstLine(const SIPRecord* record, char* out, size_t size) {
  size_t n = 0;
  const char* text = record->lastMessage.text;
  for (uint32_t i = 0; text && i < record->lastMessage.length && text[i] && text[i] != '\n' && n + 1 < size; i++)
    if (text[i] != '\r') out[n++] = text[i];
  out[n] = 0;
}

bool IsRetransmitSlotGuarded(int slot) {
  return (slot >= kSIPTimerA && slot <= kSIPTimerK) || slot == kSIPTimerCancel || slot == kSIPTimer2xx;
}

}  // namespace

int SIPGetUAModeOf(const SIPRecord* record) {
  if (record->kind >= 0) return record->kind % 2 == 0 ? 1 : 0;
  if (SIPIsRequestMode(record->messageMode)) return 0;
  if (SIPIsResponseMode(record->messageMode)) return 1;
  return -1;
}

SIPMachine SIPGetMachine(const SIPRecord* record) {
  switch (SIPGetUAModeOf(record)) {
    case 1:
      return record->kind == 4 ? SIPMachine::InviteClient : SIPMachine::NonInviteClient;
    case 0:
      return record->kind == 3 ? SIPMachine::InviteServer : SIPMachine::NonInviteServer;
    default:
      return SIPMachine::Unknown;
  }
}

const char* SIPTimerSlotName(int slot) {
  if (slot < 0 || slot >= kSIPTimerSlots) return "Unknown Timer";
  return kSlotNames[slot];
}

void SIPFormatTransactionStateText(const SIPRecord* record, char* out, size_t size) {
  if (!size) return;
  static const char* const kNames[] = {"READY", nullptr, "PROCEEDING", "COMPLETED", "CONFIRMED", "ACCEPTED",
                                       "TERMINATED"};
  char name[24];
  int32_t state = record->state;
  if (state == kSIPStateCalling)
    snprintf(name, sizeof name, "%s", SIPKindToMethod(record->kind) == kSIPMethodInvite ? "CALLING" : "TRYING");
  else if (state >= 0 && state <= kSIPStateTerminated)
    snprintf(name, sizeof name, "%s", kNames[state]);
  else
    snprintf(name, sizeof name, "STATUS: %d", static_cast<int>(state));
  int mode = SIPGetUAModeOf(record);
  snprintf(out, size, "%s, Kind: %d, %s", name, static_cast<int>(record->kind),
           mode == 1 ? "UAC" : mode == 0 ? "UAS" : "?");
}

bool SIPMachineArmTimer(SIPTransactionDriver* driver, SIPRecord* record, int slot, uint32_t interval,
                        SIPTimerKind kind) {
  // No retransmission over a reliable transport.
  if (kind == SIPTimerKind::Retransmit && SIPIsReliableTransport(record)) return false;
  if (IsRetransmitSlotGuarded(slot) && !driver->IsPushed(record)) {
    Logf(driver, "*** SIPTransactionCreateTimer: SIP: %08X, Id: %08X - Invalid state", driver->RecordId(record),
         driver->TimerId(record, slot));
    return false;
  }
  return driver->ArmTimer(record, slot, interval, kind);
}

int SIPMachineSetState(SIPTransactionDriver* driver, SIPRecord* record, int32_t newState) {
  driver->Lock();
  int result = 0;
  uint32_t id = driver->RecordId(record);
  if (newState == kSIPStateTerminated && record->state != kSIPStateTerminated) {
    record->state = kSIPStateTerminated;
    Logf(driver, "SIPSetTransactionState: SIP: %08X - [TERMINATED] - User Handled: %d", id,
         static_cast<int>(record->userHandled));
    driver->Terminate(record);
    result = 1;
  } else if (newState != kSIPStateTerminated) {
    SIPMachine machine = SIPGetMachine(record);
    for (const Row& row : kRows) {
      if (row.machine != machine || row.to != newState) continue;
      if (record->state < 0 || record->state > 31 || !(row.fromStates & Bit(record->state))) continue;
      record->state = newState;
      Logf(driver, "SIPSetTransactionState: %s: SIP: %08X - [%s]", row.title, id, row.stateName);
      for (int i = 0; i < row.stepCount; i++) {
        const TimerStep& step = row.steps[i];
        if (step.arm)
          SIPMachineArmTimer(driver, record, step.slot, ArmInterval(record, step.slot), step.kind);
        else if (driver->IsArmed(record, step.slot))
          driver->KillTimer(record, step.slot);
      }
      result = 1;
      break;
    }
  }
  if (!result) {
    Logf(driver, "SIPSetTransactionState: SIP: %08X - Invalid State - Current: %d to New: %d", id,
         static_cast<int>(record->state), static_cast<int>(newState));
    driver->Alert(record);
  }
  driver->Unlock();
  return result;
}

uint32_t SIPRetransmitInterval(SIPMachine machine, int32_t state, long fireCount) {
  // 500 x 2^n, kept within a timer's range when a long calling time-out
  // lets the doubling run on.
  long n = fireCount < 0 ? 0 : fireCount > 22 ? 22 : fireCount;
  uint32_t doubled = kSIPTimerT1 << n;
  uint32_t capped = doubled < kSIPTimerT2 ? doubled : kSIPTimerT2;
  switch (machine) {
    case SIPMachine::InviteClient:
      return state == kSIPStateCalling ? doubled : 0;
    case SIPMachine::NonInviteClient:
      return state == kSIPStateTrying ? capped : state == kSIPStateProceeding ? kSIPTimerT2 : 0;
    case SIPMachine::InviteServer:
      return state == kSIPStateCompleted || state == kSIPStateAccepted ? capped : 0;
    default:
      return 0;
  }
}

void SIPMachineRetransmitFired(SIPTransactionDriver* driver, SIPRecord* record, int slot, long fireCount) {
  driver->Lock();
  char status[64], line[128];
  SIPFormatTransactionStateText(record, status, sizeof status);
  FirstLine(record, line, sizeof line);
  uint32_t id = driver->RecordId(record);
  Logf(driver,
       "SIPTransactionRetransmitTimer: SIP: %08X, %s - Id: %08X, Retry: %ld ( \"%s\" ) - Current Transaction "
       "Status: [%s]",
       id, SIPTimerSlotName(slot), driver->TimerId(record, slot), fireCount, line, status);
  SIPMachine machine = SIPGetMachine(record);
  if (machine == SIPMachine::Unknown) {
    Logf(driver, "SIPTransactionRetransmitTimer: SIP: %08X - Invalid UA Mode - Timer: %d, Current Transaction Status: %d",
         id, static_cast<int>(driver->TimerId(record, slot)), static_cast<int>(record->state));
  } else if (uint32_t interval = SIPRetransmitInterval(machine, record->state, fireCount)) {
    driver->ResetTimer(record, slot, interval);
    driver->Resend(record);
  }
  driver->Unlock();
}

void SIPMachineTerminateFired(SIPTransactionDriver* driver, SIPRecord* record, int slot) {
  driver->Lock();
  char status[64], line[128];
  SIPFormatTransactionStateText(record, status, sizeof status);
  FirstLine(record, line, sizeof line);
  uint32_t id = driver->RecordId(record);
  Logf(driver, "SIPTransactionTerminateTimer: SIP: %08X - %s - Id: %08X, Current Transaction Status: [%s] ( %s... )",
       id, SIPTimerSlotName(slot), driver->TimerId(record, slot), status, line);
  SIPMachine machine = SIPGetMachine(record);
  int32_t state = record->state;
  bool ends = false;
  switch (machine) {
    case SIPMachine::InviteClient:
    case SIPMachine::NonInviteClient:
    case SIPMachine::NonInviteServer:
      ends = state == kSIPStateCompleted;
      break;
    case SIPMachine::InviteServer:
      ends = state == kSIPStateConfirmed;
      break;
    case SIPMachine::Unknown:
      Logf(driver, "SIPTransactionTerminateTimer: SIP: %08X - Invalid UA Mode - Timer: %d, Current Transaction Status: %d",
           id, static_cast<int>(driver->TimerId(record, slot)), static_cast<int>(state));
      break;
  }
  if (ends) SIPMachineSetState(driver, record, kSIPStateTerminated);
  driver->Unlock();
}

void SIPMachineTimeoutFired(SIPTransactionDriver* driver, SIPRecord* record, int slot) {
  uint32_t id = driver->RecordId(record);
  driver->Lock();
  char status[64];
  SIPFormatTransactionStateText(record, status, sizeof status);
  int timer = static_cast<int>(driver->TimerId(record, slot));
  Logf(driver, "SIPTransactionTimeoutTimer: [ENTER] SIP: %08X - %s - Id: %08X, Current Transaction Status: [%s]", id,
       SIPTimerSlotName(slot), static_cast<unsigned>(timer), status);
  // A time-out fires once.
  if (driver->IsArmed(record, slot)) driver->KillTimer(record, slot);
  SIPMachine machine = SIPGetMachine(record);
  int32_t state = record->state;
  int error = 504;
  int killSlot = -1;
  bool ask = false, valid = true;
  if (machine == SIPMachine::InviteClient && slot == kSIPTimerCancel) {
    error = 0;
  } else if (machine == SIPMachine::InviteClient) {
    if (state == kSIPStateCalling) killSlot = kSIPTimerA;
    else if (state == kSIPStateProceeding) ask = true;
    else valid = state == kSIPStateCompleted;
  } else if (machine == SIPMachine::NonInviteClient) {
    // E stops in PROCEEDING too: an expired request is not sent again.
    if (state == kSIPStateTrying || state == kSIPStateProceeding) killSlot = kSIPTimerE;
    else valid = false;
  } else if (machine == SIPMachine::InviteServer) {
    if (state == kSIPStateCompleted) killSlot = kSIPTimerG;
    else if (state == kSIPStateAccepted) killSlot = kSIPTimer2xx;
    else valid = false;
  } else {
    if (machine == SIPMachine::Unknown)
      Logf(driver, "SIPTransactionTimeoutTimer: SIP: %08X - Invalid UA Mode - Timer: %d, Current Transaction Status: %d",
           id, timer, static_cast<int>(state));
    valid = false;
  }
  if (!valid) {
    Logf(driver, "SIPTransactionTimeoutTimer: [LEAVE - INVALID STATE] SIP: %08X - Timer: %d, Current Transaction Status: %d",
         id, timer, static_cast<int>(state));
    driver->Unlock();
    return;
  }
  if (killSlot >= 0 && driver->IsArmed(record, killSlot)) driver->KillTimer(record, killSlot);
  driver->Unlock();

  // The user agent is asked and told without the lock.
  if (ask && !driver->AskTerminateExpiredCalling(record)) {
    driver->Lock();
    SIPMachineArmTimer(driver, record, kSIPTimerB, ArmInterval(record, kSIPTimerB), SIPTimerKind::Timeout);
    if (driver->IsArmed(record, kSIPTimerA)) driver->KillTimer(record, kSIPTimerA);
    Logf(driver, "SIPTransactionTimeoutTimer: [CANCELLED] SIP: %08X - Timer: %d, Current Transaction Status: %d", id,
         timer, static_cast<int>(record->state));
    driver->Unlock();
    return;
  }
  SIPSetEndReasonOf(record, kSIPEndExpired, true);
  if (error) driver->ReportTransactionError(record, error);
  driver->RaiseEndEvent(record);
  Logf(driver, "SIPTransactionTimeoutTimer: [LEAVE] SIP: %08X - Timer: %d, Current Transaction Status: %d", id, timer,
       static_cast<int>(record->state));
}

int SIPSetEndReasonOf(SIPRecord* record, uint32_t reason, bool force) {
  if (!force && record->endReason != 0) return 0;
  if (reason == kSIPEndFinalized) {
    uint32_t options = SIPGetRootAccount(record)->testOptions;
    if (options & 0x10000) reason = kSIPEndRefused;
    else if (options & 0x20000) reason = kSIPEndCancelled;
    else if (options & 0x40000) reason = kSIPEndExpired;
    else if (options & 0x80000) reason = kSIPEndRedirected;
  }
  record->endReason = reason;
  return 1;
}
