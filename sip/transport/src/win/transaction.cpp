// The platform SIP record: creation, chains, liveness, parsing into holders.
#include "sip/transaction.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/records.h"
#include "sip/builder.h"
#include "sip/identifiers.h"
#include "sip/parser.h"
#include "sip/transaction_states.h"

namespace {

volatile long g_serial = 0;
volatile long g_allocated = 0;
char g_appName[132] = "";
char g_appVersion[132] = "";
SIPConnectionOwnerLookup g_ownerLookup = nullptr;

// The builders' failure lines go to the process log.
void LogBuildLine(const char* line) { ZEQLogPrintf("%s", line); }
struct BuildLogInstaller {
  BuildLogInstaller() { SIPSetBuildLog(LogBuildLine); }
} g_buildLogInstaller;

// Log lines name a record by the low 32 bits of its address (never mapped back).
unsigned LogId(const void* record) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(record)); }

SIPTransaction* NewRecord() {
  auto* t = static_cast<SIPTransaction*>(HeapAllocZ(sizeof(SIPTransaction)));
  try {
    SIPRecordInit(&t->record);
  } catch (...) {
    HeapFreeZ(t);
    throw;
  }
  SIPTransactionHolder::InitEmpty(&t->based);
  SIPTransactionHolder::InitEmpty(&t->related);
  SIPTransactionHolder::InitEmpty(&t->second);
  SIPTransactionHolder::InitEmpty(&t->companion);
  SIPTransactionHolder::InitEmpty(&t->request);
  SIPSocketHolder::InitEmpty(&t->connectionSocket);
  strcpy(t->tag, kSIPTransactionTag);
  t->serial = static_cast<uint32_t>(InterlockedIncrement(&g_serial));
  strcpy(t->marker, "TRUE");
  return t;
}

ZEQNamedLock* NewLock(const char* name) {
  auto* lock = static_cast<ZEQNamedLock*>(HeapAllocZ(sizeof(ZEQNamedLock)));
  lock->Init(name);
  return lock;
}

void FreeLock(ZEQNamedLock* lock) {
  if (!lock) return;
  lock->Delete();
  HeapFreeZ(lock);
}

}  // namespace

void SIPSetApplicationIdentity(const char* name, const char* version) {
  snprintf(g_appName, sizeof g_appName, "%s", name ? name : "");
  snprintf(g_appVersion, sizeof g_appVersion, "%s", version ? version : "");
}

int SIPTransactionSetBased(const SIPTransactionHolder& base, SIPTransaction* record) {
  if (!base.IsSet()) return 1;
  ZEQLogPrintf("SIPTransaction::SetBased - SIP: %08X, Based: %08X", LogId(record),
               LogId(base.Get()));
  record->based = base;
  record->record.based = &base.Get()->record;
  return 1;
}

void SIPTransactionSetRelated(SIPTransaction* record, const SIPTransactionHolder& related) {
  record->related = related;
  record->record.related = related.IsSet() ? &related.Get()->record : nullptr;
}

void SIPTransactionSetRequest(SIPTransaction* record, const SIPTransactionHolder& request) {
  record->request = request;
  record->record.request = request.IsSet() ? &request.Get()->record : nullptr;
}

SIPTransactionHolder SIPTransactionCreate(const SIPTransactionHolder& base) {
  SIPTransaction* t = NewRecord();
  SIPRecord& r = t->record;
  InterlockedIncrement(&g_allocated);
  r.notCounted = 0;
  // From here on the holder owns the record: a failed allocation below
  // releases it whole.
  SIPTransactionHolder holder(t);
  r.kind = -1;
  r.messageMode = kSIPModeNone;
  DWORD tick = GetTickCount();
  uint32_t a = ((static_cast<uint32_t>(reinterpret_cast<uintptr_t>(t)) + tick + GetCurrentProcessId()) & 0xFFFF0000u) |
               (t->serial & 0xFFFFu);
  r.idWords[0] = r.idWords[1] = a;
  r.idWords[2] = (GetTickCount() & 0xFFFF0000u) + (a & 0xFFFFu);
  r.inputDevice = r.outputDevice = -1;
  if (g_appName[0]) snprintf(r.msg.userAgent, sizeof r.msg.userAgent, "%s %s", g_appName, g_appVersion);
  else snprintf(r.msg.userAgent, sizeof r.msg.userAgent, "KESTO %d.%d", 3, 7);
  r.lastMessage.text = static_cast<char*>(HeapAllocZ(kSIPMaxParsedMessage + 1));
  t->rtpLock = NewLock("SIPRTP");
  t->recordingLock = NewLock("SIPREC");
  t->holdLock = NewLock("SIPHOLD");
  ZEQLogPrintf("SIPTransaction::Create - SIP: %08X Based on %08X", LogId(t),
               LogId(base.Get()));
  SIPTransactionSetBased(base, t);
  // Local identity: a From tag, and the account's address when it has one.
  SIPGenerateTag(r.msg.from.tag);
  SIPAccountSettings* account = SIPGetRootAccount(&r);
  if (account->user[0] && account->domain[0]) {
    char user[SIPEscapedSize(sizeof account->user)];
    SIPEscapeURIUser(account->user, user, sizeof user);
    char text[sizeof account->displayName + sizeof user + sizeof account->domain + 16];
    snprintf(text, sizeof text, "\"%s\"<sip:%s@%s>", account->displayName, user, account->domain);
    SIPParseNameAddrText(&r.msg.from.uri, text);
  }
  return holder;
}

SIPTransactionHolder SIPCreateTransaction(const SIPTransactionHolder& source) {
  SIPTransaction* t = NewRecord();
  t->record.notCounted = 1;
  SIPTransactionHolder holder(t);
  ZEQLogPrintf("SIPTransaction::Create - SIP: %08X", LogId(t));
  if (!source.IsSet()) return SIPTransactionHolder();
  SIPTransactionSetBased(source.Get()->based, t);
  if (!SIPCopyMessageContext(&t->record, &source.Get()->record)) return SIPTransactionHolder();
  t->connectionSocket = source.Get()->connectionSocket;
  return holder;
}

void SIPTransactionDelete(SIPTransaction* t) {
  if (!t) return;
  // The timer service keeps the slots' addresses: no timer outlives them.
  SIPKillRecordTimers(t);
  FreeLock(t->rtpLock);
  FreeLock(t->recordingLock);
  FreeLock(t->holdLock);
  if (!t->record.notCounted) InterlockedDecrement(&g_allocated);
  ZEQLogPrintf("SIPTransaction::Delete - SIP: %08X", LogId(t));
  SIPRecordFree(&t->record);
  t->tag[0] = '-';
  t->connectionSocket.~SIPSocketHolder();
  t->request.~SIPTransactionHolder();
  t->companion.~SIPTransactionHolder();
  t->second.~SIPTransactionHolder();
  t->related.~SIPTransactionHolder();
  t->based.~SIPTransactionHolder();
  HeapFreeZ(t);
}

SIPTransactionHolder SIPGetRootTransaction(const SIPTransactionHolder& holder) {
  SIPTransactionHolder root = holder;
  while (root.IsSet() && root.Get()->based.IsSet()) {
    SIPTransactionHolder next = root.Get()->based;
    root = next;
  }
  return root;
}

bool IsValidSIPTransaction(const void* record) {
  return IsTaggedRecord(record, sizeof(SIPTransaction), kSIPTransactionTag) &&
         strcmp(static_cast<const SIPTransaction*>(record)->marker, "TRUE") == 0;
}

bool SIPTransactionHolderIsValid(SIPTransactionHolder holder) {
  return holder.IsSet() && IsValidSIPTransaction(holder.Get());
}

bool SIPTransactionHolderIsSet(SIPTransactionHolder holder) { return holder.IsSet(); }

void SIPMarkTransactionDestroyed(SIPTransaction* record) {
  if (strcmp(record->marker, "FALSE") == 0) return;
  record->record.destroyed = 1;
  record->record.alive = 0;
  strcpy(record->marker, "FALSE");
}

long SIPAllocatedTransactionCount() { return g_allocated; }

void SIPSetConnectionOwnerLookup(SIPConnectionOwnerLookup lookup) { g_ownerLookup = lookup; }

bool SIPGetConnectionUserAndDomain(SIPTransaction* record, const SIPTransactionHolder& listener, char* out,
                                   size_t size) {
  // The record whose account the message belongs to: a record of no mode
  // or a client request is its own; a server request belongs to the
  // listener. (Responses are matched to their transactions by the
  // transaction list, which passes the matched record here.)
  SIPTransaction* owner = record;
  if (SIPIsRequestMode(record->record.messageMode) && listener.IsSet()) owner = listener.Get();
  SIPRecord* root = SIPGetRootRecord(&owner->record);
  const SIPURI& from = root->msg.from.uri;
  if (!from.host[0]) return false;
  return snprintf(out, size, "%s@%s", from.user, from.host) < static_cast<int>(size);
}

namespace {

struct AccountContext {
  SIPTransaction* record;
  const SIPTransactionHolder* listener;
  SIPTransactionHolder* base;
};

bool FindAccount(void* context, SIPRecord*) {
  auto* c = static_cast<AccountContext*>(context);
  char account[300];
  if (!g_ownerLookup || !SIPGetConnectionUserAndDomain(c->record, *c->listener, account, sizeof account)) return false;
  SIPTransactionHolder owner = g_ownerLookup(account);
  if (!owner.IsSet()) return false;
  *c->base = owner;
  SIPTransactionSetBased(owner, c->record);
  return true;
}

}  // namespace

SIPTransactionHolder SIPCreateParsed(const char* text, size_t length, const char* body, size_t bodyLength,
                                     const SIPTransactionHolder& holder, SIPTransactionHolder* base,
                                     const SIPTransactionHolder& listener) {
  if (!SIPIsRequestLine(text, length) && !SIPIsStatusLine(text, length)) return SIPTransactionHolder();
  SIPTransactionHolder target = holder.IsSet() ? holder : SIPTransactionCreate(listener);
  SIPTransactionHolder ownBase;
  AccountContext context{target.Get(), &listener, base ? base : &ownBase};
  SIPParseHooks hooks{&context, FindAccount};
  int result = SIPParseMessage(&target.Get()->record, text, length, body, bodyLength,
                               listener.IsSet() ? &hooks : nullptr);
  if (result != kSIPParsed) {
    ZEQLogPrintf("SIPCreateParsed: [FAILED] SIP: %08X - %d", LogId(target.Get()), result);
    return SIPTransactionHolder();
  }
  ZEQLogPrintf("SIPCreateParsed: SIP: %08X", LogId(target.Get()));
  return target;
}
