#include "sip/header_values.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sip_text.h"

const char kSIPAllowedMethods[] = "INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY, MESSAGE, SUBSCRIBE, INFO";

namespace {

bool IsOpen(const SIPRecord* record) { return record->endReason == 0; }

// "\"display\"<uri>" of a block, or of the account's own address when the
// block's URI has no host.
void NameAddrValue(SIPTextOut* out, const SIPNameAddr& block, SIPRecord* record) {
  if (block.uri.host[0]) {
    char uri[2048];
    SIPTextOut u(uri, sizeof uri);
    if (!SIPFormatURI(&block.uri, &u, 0)) {
      out->overflow = true;
      return;
    }
    out->AppendChar('"');
    out->Append(block.uri.displayName);
    out->Append("\"<");
    out->Append(uri, u.length);
    out->AppendChar('>');
  } else {
    SIPAccountSettings* account = SIPGetRootAccount(record);
    char user[SIPEscapedSize(sizeof account->user)];
    SIPEscapeURIUser(account->user, user, sizeof user);
    out->Printf("\"%s\"<sip:%s@%s>", account->displayName, user, account->domain);
  }
}

void PartyValue(SIPTextOut* out, const char* display, const SIPURI& uri, const char* tag) {
  char text[2048];
  SIPTextOut u(text, sizeof text);
  if (!SIPFormatURI(&uri, &u, 0)) {
    out->overflow = true;
    return;
  }
  out->Printf("\"%s\"<%s>", display, text);
  if (tag[0]) out->Printf(";tag=%s", tag);
}

}  // namespace

bool SIPFormatFromValue(int32_t mode, SIPTextOut* out, SIPRecord* record) {
  if (mode == kSIPModeDialogRequest) return false;
  NameAddrValue(out, record->msg.from, record);
  if (record->msg.from.tag[0]) {
    out->Append(";tag=");
    out->Append(record->msg.from.tag);
  }
  return true;
}

bool SIPFormatToValue(int32_t mode, SIPTextOut* out, SIPRecord* record) {
  if (mode == kSIPModeDialogRequest) return false;
  NameAddrValue(out, record->msg.to, record);
  int method = SIPTransactionKindToMethod(record);
  if (record->msg.to.tag[0] &&
      (SIPIsResponseMode(mode) || method == kSIPMethodAck || method == kSIPMethodCancel))
    out->Printf(";tag=%s", record->msg.to.tag);
  return true;
}

bool SIPFormatDialogLocalParty(int32_t mode, SIPTextOut* out, const SIPDialog* dialog) {
  if (mode != kSIPModeDialogRequest) return false;
  PartyValue(out, dialog->localDisplayName, dialog->localURI, dialog->localTag);
  return true;
}

bool SIPFormatDialogRemoteParty(int32_t mode, SIPTextOut* out, const SIPDialog* dialog) {
  if (mode != kSIPModeDialogRequest && mode != kSIPModeDialogResponse) return false;
  PartyValue(out, dialog->remoteDisplayName, dialog->remoteURI, dialog->remoteTag);
  return true;
}

bool SIPFormatContactValue(SIPTextOut* out, SIPRecord* record) {
  size_t start = out->length;
  if (record->msg.statusCode == 302) {
    char uri[2048];
    SIPTextOut u(uri, sizeof uri);
    if (!SIPFormatURI(&record->msg.contact.uri, &u, kSIPURIDefaultScheme)) {
      out->overflow = true;
      return true;
    }
    out->Printf("\"%s\"<%s", record->msg.contact.uri.displayName, uri);
  } else {
    SIPAccountSettings* account = SIPGetRootAccount(record);
    char user[SIPEscapedSize(sizeof account->user)];
    SIPEscapeURIUser(account->user, user, sizeof user);
    out->AppendChar('"');
    out->Append(account->displayName);
    out->Append("\"<sip:");
    out->Append(user);
    out->Append("@%contact_ip%:%contact_port%");
  }
  if (SIPGetRootConnection(record)->transport == kSIPTransportTCP) {
    bool named = false;
    const char* value = out->buffer + start;
    for (size_t i = 0; value[i] && !named; ++i)
      named = SIPStartsWithNoCase(value + i, strlen(value + i), "transport=tcp");
    if (!named) out->Append(";transport=tcp");
  }
  out->AppendChar('>');
  if (record->kind == 2 && !IsOpen(record)) out->Append(";expires=0");
  return true;
}

int SIPViaCount(const SIPVia* list) {
  int n = 0;
  for (int i = 0; i < kSIPViaListSize; ++i)
    if (list[i].used) ++n;
  return n;
}

bool SIPFormatViaEntry(const SIPVia* via, SIPTextOut* out, int32_t mode) {
  out->Printf("Via: %s %s", via->protocol, via->sentBy);
  if (via->branch[0]) out->Printf(";branch=%s", via->branch);
  if (SIPIsResponseMode(mode)) {
    if (via->received[0]) out->Printf(";received=%s", via->received);
    if (via->rport >= 1) out->Printf(";rport=%d", static_cast<int>(via->rport));
  } else {
    out->Append(";rport");
  }
  if (via->otherParams[0]) out->Printf(";%s", via->otherParams);
  return true;
}

bool SIPFormatViaHeaders(SIPTextOut* out, int32_t mode, SIPRecord* record) {
  if (SIPIsRequestMode(mode)) {
    out->Append("Via: SIP/2.0/");
    out->Append(SIPGetTransportName(record));
    out->Append(" %listener_ip%:%listener_port%;branch=");
    out->Append(record->msg.via[0].branch);
    out->Append(";rport");
    return true;
  }
  int count = SIPViaCount(record->msg.via);
  for (int i = 0; i < count; ++i) {
    if (i) out->Append("\r\n");
    SIPFormatViaEntry(&record->msg.via[i], out, mode);
  }
  return true;
}

int SIPAppendHeaderLine(SIPTextOut* message, const char* name, SIPRecord* record, const char* format, ...) {
  int method = SIPTransactionKindToMethod(record);
  bool request = SIPIsRequestMode(record->messageMode);
  if (strcmp(name, "Contact: ") == 0 &&
      (record->kind == 0 || method == kSIPMethodCancel || (method == kSIPMethodAck && !request)))
    return 0;
  if (strcmp(name, "Expires: ") == 0 &&
      (record->kind == 0 || (method != kSIPMethodRegister && method != kSIPMethodSubscribe)))
    return 0;
  if (strcmp(name, "User-Agent: ") == 0 && !request) return 0;
  char value[1025];
  const char* text = value;
  size_t length;
  va_list args;
  va_start(args, format);
  if (strcmp(format, "%s") == 0) {
    text = va_arg(args, const char*);  // a plain text: no formatting
    length = strnlen(text, sizeof value - 1);  // longer values are cut
  } else {
    int n = vsnprintf(value, sizeof value, format, args);
    length = n <= 0 ? 0 : strlen(value);
  }
  va_end(args);
  if (!length) return 1;
  if (!message->Empty()) message->Append("\r\n");
  message->Append(name);
  message->Append(text, length);
  return 1;
}

int SIPAppendEventHeader(SIPTextOut* message, SIPRecord* record) {
  int method = SIPTransactionKindToMethod(record);
  const SIPEventBlock& e = record->msg.event;
  if (!SIPIsRequestMode(record->messageMode) || (method != kSIPMethodSubscribe && method != kSIPMethodNotify) ||
      !e.event[0])
    return 0;
  if (e.id[0]) SIPAppendHeaderLine(message, "Event: ", record, "%s;id=%s", e.event, e.id);
  else SIPAppendHeaderLine(message, "Event: ", record, "%s", e.event);
  return 1;
}

int SIPAppendSubscriptionStateHeader(SIPTextOut* message, SIPRecord* record) {
  const SIPSubscriptionStateBlock& s = record->msg.subscriptionState;
  if (!SIPIsRequestMode(record->messageMode) || SIPTransactionKindToMethod(record) != kSIPMethodNotify ||
      !s.state[0])
    return 0;
  char value[1025];
  SIPTextOut v(value, sizeof value);
  v.Append(s.state);
  if (s.expires[0]) v.Printf(";expires=%s", s.expires);
  if (s.reason[0]) v.Printf(";reason=%s", s.reason);
  if (s.retryAfter[0]) v.Printf(";retry-after=%s", s.retryAfter);
  SIPAppendHeaderLine(message, "Subscription-State: ", record, "%s", value);
  return 1;
}

int SIPAppendExpiresHeader(SIPTextOut* message, SIPRecord* record) {
  if (record->kind == 0) return 0;
  if (SIPTransactionKindToMethod(record) == kSIPMethodRegister) {
    if (!IsOpen(record)) return 0;
    SIPAppendHeaderLine(message, "Expires: ", record, "%d",
                        static_cast<int>(SIPGetRootAccount(record)->registerExpiration));
    return 1;
  }
  if (!record->msg.expires[0]) return 0;
  return SIPAppendHeaderLine(message, "Expires: ", record, "%s", record->msg.expires);
}

int SIPAppendReferToHeader(SIPTextOut* message, SIPRecord* record) {
  const SIPReferToBlock& r = record->msg.referTo;
  if (!SIPIsRequestMode(record->messageMode) || SIPTransactionKindToMethod(record) != kSIPMethodRefer ||
      !r.uri.host[0])
    return 0;
  char uri[2048];
  SIPTextOut u(uri, sizeof uri);
  SIPFormatURI(&r.uri, &u, 0);
  if (r.value[0]) SIPAppendHeaderLine(message, "Refer-To: ", record, "<%s;%s>", uri, r.value);
  else SIPAppendHeaderLine(message, "Refer-To: ", record, "<%s>", uri);
  return 1;
}

int SIPAppendReferredByHeader(SIPTextOut* message, SIPRecord* record) {
  const SIPReferredByBlock& r = record->msg.referredBy;
  int method = SIPTransactionKindToMethod(record);
  if (!SIPIsRequestMode(record->messageMode) || (method != kSIPMethodRefer && method != kSIPMethodInvite) ||
      !r.uri.host[0])
    return 0;
  char uri[2048];
  SIPTextOut u(uri, sizeof uri);
  SIPFormatURI(&r.uri, &u, 0);
  if (r.cid[0]) u.Printf(";cid=%s", r.cid);
  if (r.value[0]) u.Printf(";%s", r.value);
  SIPAppendHeaderLine(message, "Referred-By: ", record, "\"%s\"<%s>", SIPGetRootAccount(record)->displayName, uri);
  return 1;
}

int SIPAppendReplacesHeader(SIPTextOut* message, SIPRecord* record) {
  const SIPReplaces& r = record->msg.replaces;
  if (!SIPIsRequestMode(record->messageMode) || SIPTransactionKindToMethod(record) != kSIPMethodInvite ||
      !r.callId[0])
    return 0;
  char value[1025];
  SIPTextOut v(value, sizeof value);
  v.Append(r.callId);
  if (r.toTag[0]) v.Printf(";to-tag=%s", r.toTag);
  if (r.fromTag[0]) v.Printf(";from-tag=%s", r.fromTag);
  if (r.earlyOnly) v.Append(";early-only");
  if (r.value[0]) v.Printf(";%s", r.value);
  SIPAppendHeaderLine(message, "Replaces: ", record, "%s", value);
  return 1;
}

int SIPAppendAllowHeaders(SIPTextOut* message, SIPRecord* record) {
  int method = SIPTransactionKindToMethod(record);
  int32_t mode = record->messageMode;
  if (method == kSIPMethodOptions) {
    SIPAppendHeaderLine(message, "Allow: ", record, "%s", kSIPAllowedMethods);
    SIPAppendHeaderLine(message, "Accept: ", record, "%s", "application/sdp");
    SIPAppendHeaderLine(message, "Accept-Language: ", record, "%s", "en");
    return 1;
  }
  if (mode == kSIPModeRequest || mode == kSIPModeDialogRequest || mode == kSIPModeDialogResponse) {
    if (method != kSIPMethodRegister && method != kSIPMethodInvite) return 0;
  } else if (mode != kSIPModeResponse || record->msg.statusCode != 405) {
    return 0;
  }
  SIPAppendHeaderLine(message, "Allow: ", record, "%s", kSIPAllowedMethods);
  return 1;
}

int SIPAppendCustomHeaders(SIPTextOut* message, SIPRecord* record) {
  const SIPHeaderList& list = SIPIsRequestMode(record->messageMode) ? record->requestHeaders : record->responseHeaders;
  struct Context {
    SIPTextOut* message;
    int written;
  } context{message, 0};
  SIPHeaderListForEach(&list, [](void* c, const SIPHeaderItem* item) {
    auto* context = static_cast<Context*>(c);
    SIPTextOut* message = context->message;
    if (!message->Empty()) message->Append("\r\n");
    message->Append(item->name);
    message->Append(": ");
    message->Append(item->value, strnlen(item->value, 1024));  // cut at 1024 as every value
    context->written = 1;
  }, &context);
  return context.written;
}

int SIPSetDefaultReferredBy(SIPRecord* record, const char* method) {
  if (!method || strcmp(method, "REFER") != 0) return 0;
  SIPAccountSettings* account = SIPGetRootAccount(record);
  SIPURI& uri = record->msg.referredBy.uri;
  strcpy(uri.scheme, "sip");
  SIPCopySpan(uri.user, sizeof uri.user, SIPSpanOf(account->user));
  SIPCopySpan(uri.host, sizeof uri.host, SIPSpanOf(account->domain));
  return 1;
}

void SIPSetRequestTarget(SIPRecord* record, const SIPURI* uri) {
  SIPNameAddr& to = record->msg.to;
  SIPNameAddrClear(&to);
  if (uri) {
    to.uri = *uri;
    memcpy(to.uri.displayName, uri->user, sizeof to.uri.displayName);
    return;
  }
  SIPAccountSettings* account = SIPGetRootAccount(record);
  char user[SIPEscapedSize(sizeof account->user)];
  SIPEscapeURIUser(account->user, user, sizeof user);
  char text[sizeof user + sizeof account->domain + 8];
  snprintf(text, sizeof text, "sip:%s@%s", user, account->domain);
  SIPParseAddrSpec(&to.uri, text, strlen(text));
}

void SIPDialogSetRemoteTarget(SIPDialog* dialog, const SIPRecord* record) {
  if (record->msg.contact.uri.host[0]) dialog->remoteTarget = record->msg.contact.uri;
}
