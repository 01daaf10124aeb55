// Dialog and subscription rules. See sip/dialog_rules.h.
#include "sip/dialog_rules.h"

#include <cstring>

#include "sip/builder.h"

namespace sipagent {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The entries in use, in the order given or reversed, packed to the front
// of a cleared set.
void CopyRoutes(SIPRouteSet* target, const SIPRouteSet& source, bool reversed) {
  memset(target, 0, sizeof *target);
  int count = 0;
  for (int i = 0; i < kSIPRouteSetSize; ++i) {
    const SIPRouteEntry& entry = source.entries[reversed ? kSIPRouteSetSize - 1 - i : i];
    if (!entry.used) continue;
    target->entries[count++] = entry;
  }
}

void CopyParty(SIPURI* uri, char* tag, size_t tagSize, char* displayName, size_t displaySize,
               const SIPNameAddr& party) {
  *uri = party.uri;
  CopyField(tag, tagSize, party.tag);
  CopyField(displayName, displaySize, party.uri.displayName);
}

}  // namespace

void CopyField(char* field, size_t size, const char* text) {
  if (!size) return;
  text = OrEmpty(text);
  size_t n = strnlen(text, size - 1);
  memcpy(field, text, n);
  field[n] = 0;
}

bool EqualNoCase(const char* a, const char* b) {
  a = OrEmpty(a);
  b = OrEmpty(b);
  for (; *a && *b; ++a, ++b)
    if (Lower(*a) != Lower(*b)) return false;
  return *a == *b;
}

bool DialogMatches(int mode, const SIPDialog& dialog, const char* callId, const char* tagA, const char* tagB) {
  if (!EqualNoCase(dialog.callId, callId)) return false;
  if (mode == kUAModeServer) return EqualNoCase(tagA, dialog.localTag) && EqualNoCase(tagB, dialog.remoteTag);
  return EqualNoCase(tagA, dialog.remoteTag) && EqualNoCase(tagB, dialog.localTag);
}

bool FillDialog(SIPDialog* dialog, const SIPRecord& t, int mode) {
  if (!t.msg.to.tag[0]) return false;
  const SIPMessageFields& m = t.msg;
  if (mode != kUAModeServer) {
    CopyRoutes(&dialog->routes, m.routes, true);
    CopyParty(&dialog->localURI, dialog->localTag, sizeof dialog->localTag, dialog->localDisplayName,
              sizeof dialog->localDisplayName, m.from);
    dialog->localCSeq = m.cseq;
    CopyParty(&dialog->remoteURI, dialog->remoteTag, sizeof dialog->remoteTag, dialog->remoteDisplayName,
              sizeof dialog->remoteDisplayName, m.to);
    dialog->lastRemoteCSeq = 0;
  } else {
    CopyRoutes(&dialog->routes, m.routes, false);
    CopyParty(&dialog->localURI, dialog->localTag, sizeof dialog->localTag, dialog->localDisplayName,
              sizeof dialog->localDisplayName, m.to);
    dialog->localCSeq = 0;
    CopyParty(&dialog->remoteURI, dialog->remoteTag, sizeof dialog->remoteTag, dialog->remoteDisplayName,
              sizeof dialog->remoteDisplayName, m.from);
    dialog->lastRemoteCSeq = m.cseq;
    CopyField(dialog->lastRemoteCSeqMethod, sizeof dialog->lastRemoteCSeqMethod, m.cseqMethod);
  }
  CopyField(dialog->callId, sizeof dialog->callId, m.callId);
  SIPDialogSetRemoteTarget(dialog, &t);
  return true;
}

bool RemoteCSeqAccepted(const SIPDialog& dialog, uint32_t cseq) {
  uint32_t last = static_cast<uint32_t>(dialog.lastRemoteCSeq);
  return last == 0 || cseq >= last;
}

void NoteRemoteCSeq(SIPDialog* dialog, uint32_t cseq, const char* method) {
  dialog->lastRemoteCSeq = static_cast<int32_t>(cseq);
  CopyField(dialog->lastRemoteCSeqMethod, sizeof dialog->lastRemoteCSeqMethod, method);
}

int PrepareCSeqRefusal(SIPRecord* request, SIPDialog* dialog) {
  // The refusal answers the request as received: its own CSeq, not the
  // dialog's, so the peer can match it to its transaction.
  SIPDialog answering = *dialog;
  NoteRemoteCSeq(&answering, static_cast<uint32_t>(request->msg.cseq), request->msg.cseqMethod);
  return SIPPrepareDialogResponseBuffer(request, &answering, kCSeqRefusalStatus, kCSeqRefusalReason, nullptr,
                                        nullptr, 0);
}

DialogAnswer PrepareDialogAnswer(SIPRecord* request, SIPDialog* dialog, int status, const char* reason,
                                 const char* contentType, const char* body, size_t bodyLength) {
  uint32_t cseq = static_cast<uint32_t>(request->msg.cseq);
  if (!RemoteCSeqAccepted(*dialog, cseq))
    return PrepareCSeqRefusal(request, dialog) == kSIPBuilt ? DialogAnswer::kRefused : DialogAnswer::kNotBuilt;
  // Built on a copy first, so that a failed build leaves the dialog as it was.
  SIPDialog next = *dialog;
  NoteRemoteCSeq(&next, cseq, request->msg.cseqMethod);
  if (SIPPrepareDialogResponseBuffer(request, &next, status, reason, contentType, body, bodyLength) != kSIPBuilt)
    return DialogAnswer::kNotBuilt;
  *dialog = next;
  return DialogAnswer::kBuilt;
}

SubscriptionMatch MatchSubscription(const SubscriptionKey& s, const SIPRecord& r, bool sameDialog) {
  if (s.hasDialog) return sameDialog ? SubscriptionMatch::kCandidate : SubscriptionMatch::kNone;
  const char* fromTag = OrEmpty(s.fromTag);
  if (EqualNoCase(r.msg.method, "NOTIFY")) {
    // A NOTIFY comes from the other side: its To tag is the From tag of the
    // request that made the subscription.
    bool tags = !r.msg.to.tag[0] || !fromTag[0] || strcmp(r.msg.to.tag, fromTag) == 0;
    return tags && strcmp(r.msg.callId, OrEmpty(s.callId)) == 0 ? SubscriptionMatch::kCandidate
                                                                  : SubscriptionMatch::kNone;
  }
  bool tags = !r.msg.from.tag[0] || !fromTag[0] || strcmp(r.msg.from.tag, fromTag) == 0;
  return static_cast<uint32_t>(r.msg.cseq) == s.requestCSeq && tags && strcmp(r.msg.callId, OrEmpty(s.callId)) == 0
             ? SubscriptionMatch::kAtOnce
             : SubscriptionMatch::kNone;
}

bool SubscriptionEventMatches(const SubscriptionKey& s, const SIPRecord& r) {
  const char* name = s.isRefer ? "refer" : r.msg.event.event;
  return EqualNoCase(name, s.eventName) && strcmp(r.msg.event.id, OrEmpty(s.eventId)) == 0;
}

}  // namespace sipagent
