// Decisions of the received-message dispatch. See sip/dispatch_rules.h.
#include "sip/dispatch_rules.h"

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock.h"
#include "sip_text.h"

namespace {

bool SameText(const char* a, const char* b) { return a[0] && b[0] && SIPCompareNoCase(a, b) == 0; }

// The host of a sent-by text: up to a colon, or the bracketed IPv6 address.
SIPSpan SentByHost(const char* sentBy) {
  SIPSpan s = SIPSpanOf(sentBy);
  if (s.n && s.p[0] == '[') {
    const char* close = static_cast<const char*>(memchr(s.p, ']', s.n));
    return {s.p, close ? static_cast<size_t>(close - s.p + 1) : s.n};
  }
  const char* colon = static_cast<const char*>(memchr(s.p, ':', s.n));
  return {s.p, colon ? static_cast<size_t>(colon - s.p) : s.n};
}

}  // namespace

bool SIPRequestIsForAccount(const SIPRecord* request, SIPRecord* root, const char* sourceHost) {
  const SIPAccountSettings* account = &root->account;
  const SIPConnectionSettings* connection = &root->connection;
  if (sourceHost && SameText(sourceHost, connection->serverAddressText)) return true;
  const SIPURI& uri = request->msg.requestURI;
  if (strcmp(uri.user, account->user) != 0) return false;
  return SameText(uri.host, account->domain) || SameText(uri.host, account->contactAddress) ||
         SameText(uri.host, connection->listenerAddressText);
}

void SIPMarkViaSource(SIPRecord* request, const char* sourceHost, int sourcePort) {
  SIPVia& via = request->msg.via[0];
  if (!via.used) return;
  SIPSpan host = SentByHost(via.sentBy);
  SIPSpan source = SIPSpanOf(sourceHost);
  if (source.n && !(host.n == source.n && SIPStartsWithNoCase(host.p, host.n, sourceHost)))
    SIPCopySpan(via.received, sizeof via.received, source);
  if (via.rport <= 0) via.rport = sourcePort;
}

SIPResponseHandler SIPChooseResponseHandler(int clientMethod, int status) {
  if (status >= 100 && status <= 199)
    return clientMethod == kSIPMethodInvite ? SIPResponseHandler::kInvite1xx : SIPResponseHandler::kProceeding;
  switch (status) {
    case 200:
      switch (clientMethod) {
        case kSIPMethodRegister: return SIPResponseHandler::kRegister200;
        case kSIPMethodOptions: return SIPResponseHandler::kOptions200;
        case kSIPMethodInvite: return SIPResponseHandler::kInvite200;
        case kSIPMethodBye: return SIPResponseHandler::kBye200;
        case kSIPMethodSubscribe: return SIPResponseHandler::kSubscribe2xx;
        case kSIPMethodRefer: return SIPResponseHandler::kRefer2xx;
        default: return SIPResponseHandler::kComplete;
      }
    case 202:
      if (clientMethod == kSIPMethodSubscribe) return SIPResponseHandler::kSubscribe2xx;
      if (clientMethod == kSIPMethodRefer) return SIPResponseHandler::kRefer2xx;
      return SIPResponseHandler::kComplete;
    case 301:
    case 302: return SIPResponseHandler::kRedirect;
    case 401:
    case 407: return SIPResponseHandler::kChallenge;
    default: return SIPResponseHandler::kFinalError;
  }
}

int SIPInviteProvisionalStatus(int status) {
  return status == 100 || status == 180 || status == 183 ? status : 183;
}

bool SIPResponseSetsDialogTarget(int clientMethod, int status) {
  return status == 200 && (clientMethod == kSIPMethodInvite || clientMethod == kSIPMethodSubscribe ||
                           clientMethod == kSIPMethodRefer || clientMethod == kSIPMethodNotify);
}

struct SIPLossSimulation::Entry {
  Entry* next;
  int counter;
  char callId[132];
};

SIPLossSimulation::SIPLossSimulation() : lock_(new ZEQLock) {}

SIPLossSimulation::~SIPLossSimulation() {
  while (entries_) {
    Entry* next = entries_->next;
    HeapFreeZ(entries_);
    entries_ = next;
  }
  delete lock_;
}

bool SIPLossSimulation::Drop(const char* callId) {
  ZEQLockScope scope(*lock_);
  Entry* entry = entries_;
  while (entry && strcmp(entry->callId, callId) != 0) entry = entry->next;
  if (!entry) {
    entry = static_cast<Entry*>(HeapAllocZ(sizeof(Entry)));
    snprintf(entry->callId, sizeof entry->callId, "%s", callId);
    entry->next = entries_;
    entries_ = entry;
  }
  if (++entry->counter > 4) entry->counter = 0;
  return entry->counter % 2 == 1;
}
