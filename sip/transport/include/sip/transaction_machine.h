// The four transaction state machines (INVITE and non-INVITE, client and
// server) with their timers. The server INVITE machine has one state more
// than the standard one: ACCEPTED, entered when a 2xx was sent, in which the
// 2xx is retransmitted until its ACK arrives.
//
// The machine knows no clock, no lock and no socket: it runs against a
// driver that arms and kills the record's timers, sends the last message
// again and tells the user agent. The platform drives it with the runtime's
// timer thread; tests drive it with a clock of their own.
// Pure logic: standard headers only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/record.h"

enum SIPTransactionStateValue : int32_t {
  kSIPStateReady = 0,
  kSIPStateCalling = 1,  // TRYING for every machine but the INVITE client
  kSIPStateTrying = 1,
  kSIPStateProceeding = 2,
  kSIPStateCompleted = 3,
  kSIPStateConfirmed = 4,
  kSIPStateAccepted = 5,
  kSIPStateTerminated = 6,
};

// Timer values in milliseconds.
constexpr uint32_t kSIPTimerT1 = 500;
constexpr uint32_t kSIPTimerT2 = 4000;
constexpr uint32_t kSIPTimerT4 = 5000;
constexpr uint32_t kSIPTimer64T1 = 64 * kSIPTimerT1;  // D, F, H, J, L and CANCEL

enum class SIPMachine { Unknown, InviteClient, NonInviteClient, InviteServer, NonInviteServer };
enum class SIPTimerKind { Retransmit, Timeout, Terminate };

// 1 client (even kind), 0 server (odd kind); without a kind the message
// mode decides (request 0, response 1), else -1.
int SIPGetUAModeOf(const SIPRecord* record);
SIPMachine SIPGetMachine(const SIPRecord* record);

// "Timer A (RETRY)" ... for a slot; "Unknown Timer" for any other number.
const char* SIPTimerSlotName(int slot);
// The state's name ("CALLING" for state 1 of an INVITE kind, else
// "TRYING"; "STATUS: %d" for other numbers), the kind and "UAC" or "UAS";
// at most size - 1 characters.
void SIPFormatTransactionStateText(const SIPRecord* record, char* out, size_t size);

// What the machine needs of its surroundings.
class SIPTransactionDriver {
 public:
  virtual ~SIPTransactionDriver() = default;
  // The identity that log lines print after "SIP: ".
  virtual uint32_t RecordId(const SIPRecord* record) = 0;
  virtual void Log(const char* line) = 0;
  virtual bool IsPushed(const SIPRecord* record) = 0;
  // Timers: a slot is armed while it holds a live timer.
  virtual bool IsArmed(const SIPRecord* record, int slot) = 0;
  // Arms (or re-arms) the slot's timer; false when none could be armed.
  virtual bool ArmTimer(SIPRecord* record, int slot, uint32_t interval, SIPTimerKind kind) = 0;
  // Restarts an armed timer from now with a new interval.
  virtual void ResetTimer(SIPRecord* record, int slot, uint32_t interval) = 0;
  virtual void KillTimer(SIPRecord* record, int slot) = 0;
  // The id of the slot's timer (log lines only); 0 when not armed.
  virtual uint32_t TimerId(const SIPRecord* record, int slot) = 0;
  // TERMINATED reached: leave the pushed list, kill every timer, and
  // destroy the transaction unless script holds it.
  virtual void Terminate(SIPRecord* record) = 0;
  // A refused state change (the "SIP:Alert" trace record).
  virtual void Alert(SIPRecord* record) = 0;
  // Sends the last sent message again.
  virtual void Resend(SIPRecord* record) = 0;
  // The time-out's questions and reports to the user agent. The machine
  // calls them without its lock.
  virtual bool AskTerminateExpiredCalling(SIPRecord* record) = 0;
  virtual void ReportTransactionError(SIPRecord* record, int code) = 0;
  virtual void RaiseEndEvent(SIPRecord* record) = 0;
  // The global transaction lock (recursive).
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

// One transition; 1 when made, 0 when refused (state unchanged, logged and
// alerted). TERMINATED is always allowed once.
int SIPMachineSetState(SIPTransactionDriver* driver, SIPRecord* record, int32_t newState);

// Arms a slot as the transaction timers are armed: nothing for a
// retransmission over a reliable transport, nothing for slots A to K,
// CANCEL and 2xx while the transaction is not pushed.
bool SIPMachineArmTimer(SIPTransactionDriver* driver, SIPRecord* record, int slot, uint32_t interval,
                        SIPTimerKind kind);

// The interval after the fireCount-th firing of a retransmission timer,
// or 0 when the machine retransmits nothing in that state.
uint32_t SIPRetransmitInterval(SIPMachine machine, int32_t state, long fireCount);

// The timer callbacks, given the slot of the timer that fired and its
// fire count (1 at its first firing).
void SIPMachineRetransmitFired(SIPTransactionDriver* driver, SIPRecord* record, int slot, long fireCount);
void SIPMachineTerminateFired(SIPTransactionDriver* driver, SIPRecord* record, int slot);
void SIPMachineTimeoutFired(SIPTransactionDriver* driver, SIPRecord* record, int slot);

// Sets the end reason; without force nothing is set once the transaction
// has ended. A finalized reason may be replaced by the root account's test
// options (0x10000 refused, 0x20000 cancelled, 0x40000 expired, 0x80000
// redirected). 1 when set.
int SIPSetEndReasonOf(SIPRecord* record, uint32_t reason, bool force);
