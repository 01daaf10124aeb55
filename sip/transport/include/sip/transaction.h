// The SIP record of the platform, SIPTransaction ("+ZEQSIP"): one per
// transaction, registration, call and received or built message. It carries
// the record's own data (SIPRecord, sip/record.h) and what needs the
// platform: the typed-record header, the holders that link records into
// chains and keep them alive, and the named locks. Records cross threads
// only inside ZEQSharedHandle holders; the last release frees the record.
#pragma once
#include <cstdint>

#include "foundation/named_lock.h"
#include "foundation/shared_handle.h"
#include "sip/socket_holder.h"
#include "sip/record.h"

struct SIPTransaction;
struct ZEQTimer;
void SIPTransactionDelete(SIPTransaction* record);
template <>
struct ZEQPayloadTraits<SIPTransaction>
    : ZEQPayloadPolicy<SIPTransaction, SIPTransactionDelete, ZEQPayloadFree::ByDeleter> {};
using SIPTransactionHolder = ZEQSharedHandle<SIPTransaction>;

constexpr char kSIPTransactionTag[] = "+ZEQSIP";

struct SIPTransaction {
  char tag[65];
  uint32_t serial;
  char marker[8];  // "TRUE" while alive, "FALSE" once destroyed
  SIPTransactionHolder based;      // the record this one is based on
  SIPTransactionHolder related;    // whose credentials the authorization may borrow
  SIPTransactionHolder second;     // a further linked transaction
  SIPTransactionHolder companion;  // the record a server transaction answers with
  SIPTransactionHolder request;    // the request this record answers or acknowledges
  ZEQNamedLock* holdLock;          // "SIPHOLD"
  ZEQNamedLock* recordingLock;     // "SIPREC"
  ZEQNamedLock* rtpLock;           // "SIPRTP"
  // Timers of the timer service, by slot (A ... K, L, CANCEL, 2xx, HOLD);
  // 0 when not armed.
  ZEQTimer* volatile timers[kSIPTimerSlots];
  // The connection the record's messages go out on first: a request that
  // came on a stream connection is answered on it, and so is every record
  // made from it. Released when the transaction is popped.
  SIPSocketHolder connectionSocket;
  SIPRecord record;
};

// The identity written into User-Agent: the application's name and version
// when set, else "KESTO 3.7".
void SIPSetApplicationIdentity(const char* name, const char* version);

// A record based on base (which may be empty), counted among the allocated
// transactions, with its id words, User-Agent, named locks and a From tag
// (and From address when the root account has a user and a domain).
SIPTransactionHolder SIPTransactionCreate(const SIPTransactionHolder& base);
// A plain record (not counted, no locks) based on source's base, with
// source's message context; empty when that context is neither a request
// nor a response.
SIPTransactionHolder SIPCreateTransaction(const SIPTransactionHolder& source);
// Links record to base (nothing happens for an empty base). Returns 1.
int SIPTransactionSetBased(const SIPTransactionHolder& base, SIPTransaction* record);
// Links the credentials record and the acknowledged request.
void SIPTransactionSetRelated(SIPTransaction* record, const SIPTransactionHolder& related);
void SIPTransactionSetRequest(SIPTransaction* record, const SIPTransactionHolder& request);
SIPTransactionHolder SIPGetRootTransaction(const SIPTransactionHolder& holder);

// Live: writable over the whole record, tagged "+ZEQSIP", marker "TRUE".
bool IsValidSIPTransaction(const void* record);
bool SIPTransactionHolderIsValid(SIPTransactionHolder holder);
bool SIPTransactionHolderIsSet(SIPTransactionHolder holder);
// Marks the record destroyed (marker "FALSE"); a second call does nothing.
void SIPMarkTransactionDestroyed(SIPTransaction* record);
long SIPAllocatedTransactionCount();

// The account owner look-up of received messages: given the account text
// "user@domain" of a message, the record that owns a connection of it
// (the connection list installs it). Without one, a message parsed with a
// listener is refused.
using SIPConnectionOwnerLookup = SIPTransactionHolder (*)(const char* account);
void SIPSetConnectionOwnerLookup(SIPConnectionOwnerLookup lookup);
// "user@host" of the From URI of the record's root; empty when no host.
bool SIPGetConnectionUserAndDomain(SIPTransaction* record, const SIPTransactionHolder& listener, char* out,
                                   size_t size);

// Parses text (and body, when given) into the record of holder, or into a
// new record based on listener when holder is empty. With a listener, the
// record is based on the owner of the message's account, stored in base.
// Returns the record's holder, or an empty holder when the text is no
// message this stack reads.
SIPTransactionHolder SIPCreateParsed(const char* text, size_t length, const char* body, size_t bodyLength,
                                     const SIPTransactionHolder& holder, SIPTransactionHolder* base,
                                     const SIPTransactionHolder& listener);
