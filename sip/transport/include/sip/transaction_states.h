// Transaction states and timers of the platform record: state changes
// under the global transaction lock, timers of the runtime's timer thread
// delivered to the main window's thread, and their log lines. The machines
// themselves are in sip/transaction_machine.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/transaction.h"
#include "sip/transaction_machine.h"

// One transition; 1 when made, 0 when refused (logged, "SIP:Alert" trace).
int SIPSetTransactionState(const SIPTransactionHolder& transaction, int32_t newState);
// The state, read under the global transaction lock; -1 for no record.
int32_t SIPGetTransactionState(const SIPTransactionHolder& transaction);
// 1 client, 0 server, -1 unknown.
int SIPGetUAMode(const SIPTransactionHolder& transaction);

// Arms (or re-arms) the timer of the slot; its id (the caller keeps it in
// the slot), or 0 when none was armed.
using SIPTimerCallback = unsigned(__stdcall*)(void* timer);
ZEQTimer* SIPTransactionCreateTimer(int slot, uint32_t interval, SIPTimerCallback callback, uintptr_t reserved,
                                    const SIPTransactionHolder& transaction);
// Kills the record's timer with that id, or with -1 every timer but HOLD
// (and then also empties the last sent message).
void SIPTransactionDestroyTimer(intptr_t id, const SIPTransactionHolder& transaction);
// Kills every timer of a record that is being freed, HOLD included.
void SIPKillRecordTimers(SIPTransaction* record);

unsigned __stdcall SIPTransactionRetransmitTimer(void* timer);
unsigned __stdcall SIPTransactionTimeoutTimer(void* timer);
unsigned __stdcall SIPTransactionTerminateTimer(void* timer);
void __stdcall SIPTimerReleaseContext(ZEQTimer* timer);
void __stdcall SIPTimerNoOp(ZEQTimer* timer);

// Log texts, at most 64 characters with the terminator.
void SIPGetTimerName(const ZEQTimer* timer, const SIPTransactionHolder& transaction, char* out, size_t size);
void SIPGetTransactionStateText(const SIPTransactionHolder& transaction, char* out, size_t size);
void SIPLogTransactionTimer(const char* caller, const ZEQTimer* timer, const SIPTransactionHolder& transaction);

// The global transaction lock (recursive): the lock of the pushed list.
void SIPEnterTransactionLock();
void SIPLeaveTransactionLock();
struct SIPTransactionLockScope {
  SIPTransactionLockScope() { SIPEnterTransactionLock(); }
  ~SIPTransactionLockScope() { SIPLeaveTransactionLock(); }
  SIPTransactionLockScope(const SIPTransactionLockScope&) = delete;
  SIPTransactionLockScope& operator=(const SIPTransactionLockScope&) = delete;
};
