// The SIP record's own data: initialisation, chains, kinds, context copies.
#include "sip/record.h"

#include <cstring>
#include <new>

#include "foundation/heap.h"
#include "foundation/lock.h"
#include "sip/parser.h"

void SIPCountedTextSet(SIPCountedText* target, const char* text, size_t length) {
  SIPCountedTextFree(target);
  if (!text) return;
  char* copy = static_cast<char*>(HeapAllocZ(length + 1));
  memcpy(copy, text, length);
  target->text = copy;
  target->length = static_cast<uint32_t>(length);
}

void SIPCountedTextFree(SIPCountedText* target) {
  HeapFreeZ(target->text);
  target->text = nullptr;
  target->length = 0;
}

void SIPAccountSetPassword(SIPAccountSettings* account, const char* password) {
  if (account->password) HeapFreeSecure(account->password, account->passwordLength + 1, true);
  account->password = nullptr;
  account->passwordLength = 0;
  if (!password) return;
  size_t n = strlen(password);
  account->password = static_cast<char*>(HeapAllocZ(n + 1));
  memcpy(account->password, password, n);
  account->passwordLength = static_cast<uint32_t>(n);
}

void SIPAccountSettingsInit(SIPAccountSettings* account) {
  memset(account, 0, sizeof *account);
  account->proxyRemotePort = 5060;
  account->dtmfPayloadType = 101;
  account->dtmfType = 1;
  account->rtpFrameSize = -10;
  account->registerExpiration = 3600;
  account->maxForwards = 70;
  account->registerTimeout = 32;
  account->callingTimeout = 256;
}

void SIPAccountSettingsDestroy(SIPAccountSettings* account) { SIPAccountSetPassword(account, nullptr); }

void SIPHeaderListInit(SIPHeaderList* list) {
  list->head = list->tail = nullptr;
  void* block = HeapAllocZ(sizeof(ZEQLock));
  list->lock = new (block) ZEQLock();
}

void SIPHeaderListDestroy(SIPHeaderList* list) {
  SIPHeaderListClear(list);
  if (list->lock) {
    list->lock->~ZEQLock();
    HeapFreeZ(list->lock);
    list->lock = nullptr;
  }
}

namespace {
// Holds a list's lock when it has one.
struct ListScope {
  ZEQLock* lock;
  explicit ListScope(ZEQLock* l) : lock(l) {
    if (lock) lock->Enter();
  }
  ~ListScope() {
    if (lock) lock->Leave();
  }
};
}  // namespace

void SIPHeaderListForEach(const SIPHeaderList* list, void (*visit)(void* context, const SIPHeaderItem* item),
                          void* context) {
  ListScope scope(list->lock);
  for (const SIPHeaderItem* item = list->head; item; item = item->next) visit(context, item);
}

void SIPHeaderListAdd(SIPHeaderList* list, const char* name, const char* value) {
  size_t n = strlen(name), v = strlen(value ? value : "");
  auto* item = static_cast<SIPHeaderItem*>(HeapAllocZ(sizeof(SIPHeaderItem)));
  try {
    item->name = static_cast<char*>(HeapAllocZ(n + 1));
    item->value = static_cast<char*>(HeapAllocZ(v + 1));
  } catch (...) {
    HeapFreeZ(item->name);
    HeapFreeZ(item);
    throw;
  }
  memcpy(item->name, name, n);
  if (v) memcpy(item->value, value, v);
  ListScope scope(list->lock);
  if (list->tail) list->tail->next = item;
  else list->head = item;
  list->tail = item;
}

void SIPHeaderListClear(SIPHeaderList* list) {
  ListScope scope(list->lock);
  for (SIPHeaderItem* item = list->head; item;) {
    SIPHeaderItem* next = item->next;
    HeapFreeZ(item->name);
    HeapFreeZ(item->value);
    HeapFreeZ(item);
    item = next;
  }
  list->head = list->tail = nullptr;
}

void SIPRecordInit(SIPRecord* record) {
  memset(record, 0, sizeof *record);
  SIPAccountSettingsInit(&record->account);
  SIPHeaderListInit(&record->requestHeaders);
  try {
    SIPHeaderListInit(&record->responseHeaders);
  } catch (...) {
    SIPHeaderListDestroy(&record->requestHeaders);
    throw;
  }
  record->alive = 1;
}

void SIPRecordFree(SIPRecord* record) {
  SIPCountedTextFree(&record->prepared);
  SIPCountedTextFree(&record->lastMessage);
  SIPCountedTextFree(&record->sent);
  SIPCountedTextFree(&record->received);
  SIPCountedTextFree(&record->msg.body);
  SIPHeaderListDestroy(&record->requestHeaders);
  SIPHeaderListDestroy(&record->responseHeaders);
  // The digest block holds copies of the credentials.
  volatile char* user = record->msg.digest.username;
  for (size_t i = 0; i < sizeof record->msg.digest.username; ++i) user[i] = 0;
  volatile char* password = record->msg.digest.password;
  for (size_t i = 0; i < sizeof record->msg.digest.password; ++i) password[i] = 0;
  SIPAccountSettingsDestroy(&record->account);
  if (record->parseWork) {
    SIPNormalizedFree(record->parseWork);
    HeapFreeZ(record->parseWork);
    record->parseWork = nullptr;
  }
}

SIPRecord* SIPGetRootRecord(SIPRecord* record) {
  if (!record->based) return record;
  SIPRecord* root = record->based;
  while (root->based && root->based->alive) root = root->based;
  return root;
}

SIPAccountSettings* SIPGetRootAccount(SIPRecord* record) { return &SIPGetRootRecord(record)->account; }
SIPConnectionSettings* SIPGetRootConnection(SIPRecord* record) { return &SIPGetRootRecord(record)->connection; }

const char* SIPGetServiceDomain(SIPRecord* record) {
  SIPAccountSettings* account = SIPGetRootAccount(record);
  return account->outboundMode == 2 ? account->proxyHost : account->domain;
}

const char* SIPGetTransportName(SIPRecord* record) {
  switch (SIPGetRootConnection(record)->transport) {
    case kSIPTransportTCP: return "TCP";
    case kSIPTransportTLS: return "TLS";
    default: return "UDP";
  }
}

bool SIPIsReliableTransport(SIPRecord* record) {
  return SIPGetRootConnection(record)->transport == kSIPTransportTCP;
}

int SIPKindToMethod(int32_t kind) {
  static const int kMethods[] = {kSIPMethodRegister, kSIPMethodInvite, kSIPMethodCancel, kSIPMethodBye,
                                 kSIPMethodMessage, kSIPMethodNotify, kSIPMethodOptions, kSIPMethodSubscribe,
                                 kSIPMethodRefer, kSIPMethodInfo, kSIPMethodAck, kSIPMethodPrack};
  if (kind == 0) return kSIPMethodProbeRegister;
  if (kind < 1 || kind > 24) return kSIPMethodNone;
  return kMethods[(kind - 1) / 2];
}

const char* SIPMethodName(int code) {
  static const char* const kNames[] = {"",       "REGISTER", "REGISTER", "INVITE",    "ACK",
                                       "BYE",    "CANCEL",   "NOTIFY",   "OPTIONS",   "INFO",
                                       "SUBSCRIBE", "REFER", "PRACK",    "MESSAGE"};
  if (code < 0 || code > kSIPMethodMessage) return "";
  return kNames[code];
}

bool SIPCopyMessageContext(SIPRecord* target, const SIPRecord* source) {
  const SIPMessageFields& s = source->msg;
  SIPMessageFields& t = target->msg;
  memcpy(t.version, s.version, sizeof t.version);
  if (SIPIsRequestMode(source->messageMode)) {
    memcpy(t.method, s.method, sizeof t.method);
    t.requestURI = s.requestURI;
  } else if (SIPIsResponseMode(source->messageMode)) {
    t.statusCode = s.statusCode;
  } else {
    return false;
  }
  t.cseq = s.cseq;
  memcpy(t.cseqMethod, s.cseqMethod, sizeof t.cseqMethod);
  memcpy(t.via, s.via, sizeof t.via);
  t.routes = s.routes;
  memcpy(t.callId, s.callId, sizeof t.callId);
  if (s.to.uri.host[0]) t.to = s.to;
  if (s.from.uri.host[0]) t.from = s.from;
  if (s.contact.uri.host[0]) t.contact = s.contact;
  if (s.event.event[0]) t.event = s.event;
  if (s.subscriptionState.state[0]) t.subscriptionState = s.subscriptionState;
  if (s.reasonHeader.protocol[0]) t.reasonHeader = s.reasonHeader;
  if (s.expires[0]) memcpy(t.expires, s.expires, sizeof t.expires);
  if (s.digest.scheme[0]) t.digest = s.digest;
  if (s.userAgent[0]) memcpy(t.userAgent, s.userAgent, sizeof t.userAgent);
  if (s.referTo.uri.host[0]) t.referTo = s.referTo;
  if (s.referredBy.uri.host[0]) t.referredBy = s.referredBy;
  if (s.replaces.callId[0]) t.replaces = s.replaces;
  if (s.contentType[0]) memcpy(t.contentType, s.contentType, sizeof t.contentType);
  if (s.contentLength[0]) memcpy(t.contentLength, s.contentLength, sizeof t.contentLength);
  return true;
}
