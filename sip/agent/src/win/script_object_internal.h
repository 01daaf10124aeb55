// What the files of the "ZEQSIP" object share inside the user agent.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "host/dispatch_ex.h"
#include "sip/agent/user_agent.h"
#include "sip/transaction.h"

// The object's native data: a weak link to its record.
namespace sipagent {
struct ObjectData {
  uint32_t transactionHandleId;
};
// The member store that every object of the record shares (empty before
// the first object), and keeping the first object's store for the others.
ZEQPropertyStoreHolder MemberStoreOf(const SIPTransactionHolder& transaction);
void KeepMemberStore(const SIPTransactionHolder& transaction, const ZEQPropertyStoreHolder& store);
size_t ObjectListSize();
}  // namespace sipagent
