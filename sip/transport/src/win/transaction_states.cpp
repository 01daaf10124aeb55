// Transaction states and timers of the platform record: the machines of
// sip/transaction_machine.h driven by the runtime's timer thread, whose
// firings reach the main window's thread, under the global transaction
// lock.
#include "sip/transaction_states.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/timer_thread.h"
#include "sip/agent_services.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"

namespace {

CRITICAL_SECTION* TransactionLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
  }();
  return lock;
}

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

bool IsLiveTimer(const ZEQTimer* timer) { return timer && IsTimerRecord(timer) && timer->listed; }

SIPTimerCallback CallbackOf(SIPTimerKind kind) {
  switch (kind) {
    case SIPTimerKind::Retransmit: return SIPTransactionRetransmitTimer;
    case SIPTimerKind::Timeout: return SIPTransactionTimeoutTimer;
    default: return SIPTransactionTerminateTimer;
  }
}

// The machine's surroundings for one transaction.
class PlatformDriver : public SIPTransactionDriver {
 public:
  explicit PlatformDriver(const SIPTransactionHolder& holder) : holder_(holder), t_(holder.Get()) {}

  uint32_t RecordId(const SIPRecord*) override { return LogId(t_); }
  void Log(const char* line) override { ZEQLogPrintf("%s", line); }
  bool IsPushed(const SIPRecord*) override { return SIPIsRecordPushed(t_) != 0; }
  bool IsArmed(const SIPRecord*, int slot) override { return IsLiveTimer(t_->timers[slot]); }
  bool ArmTimer(SIPRecord*, int slot, uint32_t interval, SIPTimerKind kind) override {
    ZEQTimer* timer = ZEQSetTimer(nullptr, &t_->timers[slot], interval, CallbackOf(kind), SIPTimerReleaseContext,
                                  holder_.GetId(), 0);
    SIPLogTransactionTimer("SIPTransactionCreateTimer", timer, holder_);
    return timer != nullptr;
  }
  void ResetTimer(SIPRecord*, int slot, uint32_t interval) override {
    ZEQResetTimer(t_->timers[slot], interval);
    SIPLogTransactionTimer("ZEQResetTimer", t_->timers[slot], holder_);
  }
  void KillTimer(SIPRecord*, int slot) override {
    SIPLogTransactionTimer("ZEQKillTimer", t_->timers[slot], holder_);
    ZEQKillTimer(&t_->timers[slot]);
  }
  uint32_t TimerId(const SIPRecord*, int slot) override { return LogId(t_->timers[slot]); }
  void Terminate(SIPRecord*) override {
    SIPPopTransaction(holder_);
    if (!t_->record.userHandled || ZEQIsShuttingDown()) {
      ZEQLogPrintf("SIPSetTransactionState: SIP: %08X - [TERMINATED] - Destroying...", LogId(t_));
      ZEQLogPrintf("SIPDestroyTransaction %08X: Called from SIPSetTransactionState( TERMINATED )", LogId(t_));
      SIPDestroyTransaction(holder_);
    }
  }
  void Alert(SIPRecord*) override {
    SIPWriteTraceRecord("SIP:Alert", "", "", 0, "", "Label=\"Invalid Status\"", "", 0, 0, holder_);
  }
  void Resend(SIPRecord*) override { SIPGetAgentServices().resendLastMessage(holder_); }
  bool AskTerminateExpiredCalling(SIPRecord*) override {
    return SIPGetAgentServices().askTerminateExpiredCalling(holder_);
  }
  void ReportTransactionError(SIPRecord*, int code) override {
    SIPGetAgentServices().invokeTransactionError(holder_, code, 0);
  }
  void RaiseEndEvent(SIPRecord*) override { SIPGetAgentServices().invokeDestroyTransactionEvent(holder_, 0x200); }
  void Lock() override { SIPEnterTransactionLock(); }
  void Unlock() override { SIPLeaveTransactionLock(); }

 private:
  SIPTransactionHolder holder_;
  SIPTransaction* t_;
};

// The common start of the timer callbacks: the live transaction named by
// the timer's context and the slot that holds the timer; false when either
// is gone.
bool FindTimerTransaction(void* argument, SIPTransactionHolder* holder, int* slot) {
  auto* timer = static_cast<ZEQTimer*>(argument);
  uint32_t id = static_cast<uint32_t>(timer->context);
  if (!id) return false;
  holder->AssignAndDeleteSource(SIPTransactionHolder::NewFromId(id));
  if (!SIPTransactionHolderIsValid(*holder)) return false;
  for (int i = 0; i < kSIPTimerSlots; i++)
    if ((*holder)->timers[i] == timer) {
      *slot = i;
      return true;
    }
  return false;
}

}  // namespace

void SIPEnterTransactionLock() { EnterCriticalSection(TransactionLock()); }
void SIPLeaveTransactionLock() { LeaveCriticalSection(TransactionLock()); }

int SIPSetTransactionState(const SIPTransactionHolder& transaction, int32_t newState) {
  if (!SIPTransactionHolderIsValid(transaction)) return 0;
  PlatformDriver driver(transaction);
  return SIPMachineSetState(&driver, &transaction->record, newState);
}

int32_t SIPGetTransactionState(const SIPTransactionHolder& transaction) {
  SIPTransactionLockScope lock;
  return SIPTransactionHolderIsValid(transaction) ? transaction->record.state : -1;
}

int SIPGetUAMode(const SIPTransactionHolder& transaction) {
  return SIPTransactionHolderIsValid(transaction) ? SIPGetUAModeOf(&transaction->record) : -1;
}

ZEQTimer* SIPTransactionCreateTimer(int slot, uint32_t interval, SIPTimerCallback callback, uintptr_t,
                                    const SIPTransactionHolder& transaction) {
  if (slot < 0 || slot >= kSIPTimerSlots || !SIPTransactionHolderIsValid(transaction)) return nullptr;
  SIPTransaction* t = transaction.Get();
  SIPLogTransactionTimer("SIPTransactionCreateTimer: [BEFORE]", t->timers[slot], transaction);
  SIPTimerKind kind = callback == SIPTransactionRetransmitTimer ? SIPTimerKind::Retransmit
                      : callback == SIPTransactionTerminateTimer ? SIPTimerKind::Terminate
                                                                 : SIPTimerKind::Timeout;
  PlatformDriver driver(transaction);
  if (!SIPMachineArmTimer(&driver, &t->record, slot, interval, kind)) return nullptr;
  return t->timers[slot];
}

void SIPTransactionDestroyTimer(intptr_t id, const SIPTransactionHolder& transaction) {
  if (!transaction.IsSet()) return;
  SIPTransaction* t = transaction.Get();
  ZEQLogPrintf("SIPTransactionDestroyTimer: [ENTER] SIP: %08X, Id: %08X", LogId(t), static_cast<unsigned>(id));
  if (id == -1) {
    SIPGetAgentServices().objectListRemove(transaction);
    t->record.lastMessage.length = 0;
    if (t->record.lastMessage.text) t->record.lastMessage.text[0] = 0;
  }
  for (int slot = 0; slot < kSIPTimerSlots; slot++) {
    if (slot == kSIPTimerHold) continue;
    ZEQTimer* timer = t->timers[slot];
    if (!IsLiveTimer(timer) || (id != -1 && reinterpret_cast<intptr_t>(timer) != id)) continue;
    SIPLogTransactionTimer("ZEQKillTimer", timer, transaction);
    ZEQKillTimer(&t->timers[slot]);
  }
  ZEQLogPrintf("SIPTransactionDestroyTimer: [LEAVE] SIP: %08X, Id: %08X", LogId(t), static_cast<unsigned>(id));
}

void SIPKillRecordTimers(SIPTransaction* record) {
  for (int slot = 0; slot < kSIPTimerSlots; slot++)
    if (record->timers[slot]) ZEQKillTimer(&record->timers[slot]);
}

namespace {

// The common start of the three callbacks, then the machine's handling of
// the firing.
unsigned RunTimer(void* timer, SIPTimerKind kind) {
  SIPTransactionHolder holder;
  int slot = -1;
  if (!FindTimerTransaction(timer, &holder, &slot)) return 0;
  PlatformDriver driver(holder);
  if (kind == SIPTimerKind::Retransmit)
    SIPMachineRetransmitFired(&driver, &holder->record, slot, static_cast<ZEQTimer*>(timer)->fireCount);
  else if (kind == SIPTimerKind::Timeout)
    SIPMachineTimeoutFired(&driver, &holder->record, slot);
  else
    SIPMachineTerminateFired(&driver, &holder->record, slot);
  return 0;
}

}  // namespace

unsigned __stdcall SIPTransactionRetransmitTimer(void* timer) { return RunTimer(timer, SIPTimerKind::Retransmit); }
unsigned __stdcall SIPTransactionTimeoutTimer(void* timer) { return RunTimer(timer, SIPTimerKind::Timeout); }
unsigned __stdcall SIPTransactionTerminateTimer(void* timer) { return RunTimer(timer, SIPTimerKind::Terminate); }

// The context is a handle id, which holds no reference: nothing to release.
// It is cleared only when the timer is freed; the timer service also runs
// the clean-up when it re-arms a timer, after giving it its new context,
// which must survive.
void __stdcall SIPTimerReleaseContext(ZEQTimer* timer) {
  if (timer && !timer->listed) timer->context = 0;
}

void __stdcall SIPTimerNoOp(ZEQTimer*) {}

void SIPGetTimerName(const ZEQTimer* timer, const SIPTransactionHolder& transaction, char* out, size_t size) {
  if (!size) return;
  int found = -1;
  static const int kOrder[] = {kSIPTimerA, kSIPTimerB, kSIPTimerC, kSIPTimerD, kSIPTimerE,
                               kSIPTimerF, kSIPTimerG, kSIPTimerH, kSIPTimerI, kSIPTimerJ,
                               kSIPTimerK, kSIPTimerL, kSIPTimer2xx, kSIPTimerCancel, kSIPTimerHold};
  if (timer && transaction.IsSet())
    for (int slot : kOrder)
      if (transaction->timers[slot] == timer && IsLiveTimer(timer)) {
        found = slot;
        break;
      }
  snprintf(out, size < 64 ? size : 64, "%s", SIPTimerSlotName(found));
}

void SIPGetTransactionStateText(const SIPTransactionHolder& transaction, char* out, size_t size) {
  if (!size) return;
  if (!transaction.IsSet()) {
    out[0] = 0;
    return;
  }
  SIPFormatTransactionStateText(&transaction->record, out, size < 64 ? size : 64);
}

void SIPLogTransactionTimer(const char* caller, const ZEQTimer* timer, const SIPTransactionHolder& transaction) {
  if (!timer) return;
  char name[64];
  SIPGetTimerName(timer, transaction, name, sizeof name);
  ZEQLogPrintf("%s: SIP: %08X - %s - Id: %08X, Fire: %dms", caller, LogId(transaction.Get()), name, LogId(timer),
               IsLiveTimer(timer) ? static_cast<int>(timer->interval) : 0);
}
