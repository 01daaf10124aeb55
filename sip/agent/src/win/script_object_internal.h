// What the files of the "ZEQSIP" object share inside the user agent.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

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

// The information members' objects: a party block (DisplayName, URI with
// scheme, user and host only, Tag) and the hold state (LocalHold,
// RemoteHold, GlobalHold).
HRESULT PartyToVariant(HWND owner, const SIPNameAddr& party, VARIANT* result);
HRESULT HoldStateToVariant(HWND owner, const SIPRecord& record, VARIANT* result);
// SetHeader: an empty name clears the response list (1); kind "out" names
// the request list, any other the response list; an empty value removes
// the name (0 when it was not there), another sets it. 1 when changed.
int SetExtraHeader(SIPRecord* record, const char* kind, const char* name, const char* value);
// GetHeader: the trimmed value of the named header line of the last sent
// (kind "out") or received message; empty when there is none.
std::string MessageHeaderValue(const SIPRecord& record, const char* kind, const char* name);
}  // namespace sipagent
