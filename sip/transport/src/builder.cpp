// The message builders.
#include "sip/builder.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "sip/digest.h"
#include "sip/identifiers.h"
#include "sip/parser.h"
#include "sip_text.h"

namespace {

void (*g_buildLog)(const char* line) = nullptr;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  if (!g_buildLog) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_buildLog(line);
}

// The texts of one build. Values are written into texts of their own and
// joined in the fixed order by AppendHeaderBlock.
struct Build {
  SIPRecord* record;
  int32_t mode;
  const char* method;  // request method, or null for a response
  char startLine[2048];
  char via[kSIPMaxBuiltMessage + 1];
  char routes[kSIPMaxBuiltMessage + 1];
  char from[2048], to[2048], contact[2048];
  char authorization[2048];
  char callId[132];
};

// The URI as it appears in a start line.
bool UriText(const SIPURI& uri, char* out, size_t size) {
  SIPTextOut o(out, size);
  return SIPFormatURI(&uri, &o, 0) != 0;
}

void StartLine(Build* b, const char* uri) {
  SIPTextOut out(b->startLine, sizeof b->startLine);
  out.Append(b->method);
  out.AppendChar(' ');
  out.Append(uri);
  out.Append(" SIP/2.0");
  if (out.overflow) b->startLine[0] = 0;  // no start line: the build is refused
}

// Route lines and the start line's target under loose or strict routing.
bool RouteLines(Build* b, const SIPRouteSet& routes, const SIPURI& target, bool cancel) {
  SIPTextOut out(b->routes, sizeof b->routes);
  if (!SIPRouteSetCount(&routes)) return true;
  if (cancel) return SIPWriteRouteHeaders(&routes, "Route", &out, false, nullptr) != 0;
  char uri[2048];
  if (routes.entries[0].uri.looseRoute) {
    if (!UriText(target, uri, sizeof uri)) return false;
    StartLine(b, uri);
    return SIPWriteRouteHeaders(&routes, "Route", &out, false, nullptr) != 0;
  }
  // Strict routing: the first route is the target, the real target is the
  // last Route line.
  if (!UriText(routes.entries[0].uri, uri, sizeof uri)) return false;
  StartLine(b, uri);
  return SIPWriteRouteHeaders(&routes, "Route", &out, true, &target) != 0;
}

void Line(SIPTextOut* m, const char* text) {
  if (!text[0]) return;
  if (!m->Empty()) m->Append("\r\n");
  m->Append(text);
}

// The body without its TAB characters, in a heap copy.
char* StripTabs(const char* body, size_t length, size_t* outLength) {
  char* copy = static_cast<char*>(HeapAllocZ(length + 1));
  size_t n = 0;
  for (size_t i = 0; i < length; ++i)
    if (body[i] != '\t') copy[n++] = body[i];
  *outLength = n;
  return copy;
}

void AppendContent(SIPTextOut* m, const char* contentType, const char* body, size_t bodyLength) {
  if (body && bodyLength) {
    if (contentType && contentType[0]) {
      if (!m->Empty()) m->Append("\r\n");
      m->Printf("Content-Type: %s", contentType);
    }
    if (!m->Empty()) m->Append("\r\n");
    m->Append("Content-Length: ");
    m->AppendInt(static_cast<long>(bodyLength));
    m->Append("\r\n\r\n");
    m->Append(body, bodyLength);
  } else {
    if (!m->Empty()) m->Append("\r\n");
    m->Append("Content-Length: 0\r\n\r\n");
  }
}

void AppendHeaderBlock(SIPTextOut* m, Build* b, const char* contentType, const char* body, size_t bodyLength) {
  SIPRecord* r = b->record;
  bool request = SIPIsRequestMode(b->mode);
  Line(m, b->startLine);
  Line(m, b->via);
  Line(m, b->routes);
  if (b->from[0]) SIPAppendHeaderLine(m, "From: ", r, "%s", b->from);
  if (b->to[0]) SIPAppendHeaderLine(m, "To: ", r, "%s", b->to);
  if (b->contact[0]) SIPAppendHeaderLine(m, "Contact: ", r, "%s", b->contact);
  SIPAppendHeaderLine(m, "Call-ID: ", r, "%s", b->callId);
  m->Append("\r\nCSeq: ");
  m->AppendInt(r->msg.cseq);
  m->AppendChar(' ');
  m->Append(r->msg.cseqMethod);
  if (request) {
    m->Append("\r\nMax-Forwards: ");
    m->AppendInt(SIPGetRootAccount(r)->maxForwards);
  }
  SIPAppendEventHeader(m, r);
  SIPAppendSubscriptionStateHeader(m, r);
  SIPAppendExpiresHeader(m, r);
  SIPAppendReferToHeader(m, r);
  SIPAppendReferredByHeader(m, r);
  SIPAppendReplacesHeader(m, r);
  if (request) Line(m, b->authorization);
  SIPAppendHeaderLine(m, "User-Agent: ", r, "%s", r->msg.userAgent);
  SIPAppendAllowHeaders(m, r);
  SIPAppendCustomHeaders(m, r);
  AppendContent(m, contentType, body, bodyLength);
}

void Authorization(Build* b, const char* requestUri, const char* body, size_t bodyLength) {
  SIPRecord* r = b->record;
  if (r->msg.digest.headerName[0]) SIPComputeDigestResponse(r, requestUri, b->method, body, bodyLength);
  SIPTextOut out(b->authorization, sizeof b->authorization);
  if (!SIPPrepareAuthenticateResponseHeader(r, &out)) b->authorization[0] = 0;
}

// Writes the message, parses it back and keeps it as the prepared message.
int Finish(Build* b, const char* contentType, const char* body, size_t bodyLength, const char* logName) {
  SIPRecord* r = b->record;
  size_t cleanLength = 0;
  struct Clean {
    char* text = nullptr;
    ~Clean() { HeapFreeZ(text); }
  } owned;
  char* clean = owned.text = body && bodyLength ? StripTabs(body, bodyLength, &cleanLength) : nullptr;
  char text[kSIPMaxBuiltMessage + 1];
  SIPTextOut m(text, sizeof text);
  AppendHeaderBlock(&m, b, contentType, clean, cleanLength);
  // The credentials line is wiped (only as far as it was written).
  volatile char* auth = b->authorization;
  for (size_t i = 0, n = strlen(b->authorization); i < n; ++i) auth[i] = 0;
  int result = kSIPBuilt;
  if (m.overflow) {
    Log("%s: [FAILED] - message longer than %u characters", logName, static_cast<unsigned>(kSIPMaxBuiltMessage));
    result = kSIPBuildTooLong;
  } else {
    int32_t mode = b->mode;
    if (!r->parseWork) {
      r->parseWork = static_cast<SIPNormalizedMessage*>(HeapAllocZ(sizeof(SIPNormalizedMessage)));
      SIPNormalizedInit(r->parseWork);  // freed with the record
    }
    int parsed = SIPParseMessage(r, text, m.length, clean ? clean : "", cleanLength, nullptr, r->parseWork);
    if (parsed != kSIPParsed) {
      Log("%s: [FAILED] - %d\r\n%s", logName, parsed, text);
      result = kSIPBuildUnparsable;
    } else {
      r->messageMode = mode;  // the parse reads the start line only
      SIPCountedTextSet(&r->prepared, text, m.length);
    }
  }
  return result;
}

// The texts of a build live on the stack; each starts empty.
void StartBuild(Build* b, SIPRecord* record, int32_t mode, const char* method) {
  b->startLine[0] = b->via[0] = b->routes[0] = b->from[0] = b->to[0] = b->contact[0] = 0;
  b->authorization[0] = b->callId[0] = 0;
  b->record = record;
  b->mode = mode;
  b->method = method;
  record->messageMode = mode;
}

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}


}  // namespace

void SIPSetBuildLog(void (*log)(const char* line)) { g_buildLog = log; }

int SIPPrepareRequestBuffer(SIPRecord* r, const char* method, const char* contentType, const char* body,
                            size_t bodyLength) {
  Build build;
  Build* b = &build;
  StartBuild(b, r, kSIPModeRequest, method);
  bool ack = strcmp(method, "ACK") == 0, cancel = strcmp(method, "CANCEL") == 0;
  bool reg = strcmp(method, "REGISTER") == 0, subscribe = strcmp(method, "SUBSCRIBE") == 0;
  SIPRecord* request = r->request;
  if (ack && !request) {
    Log("SIPPrepareRequestBuffer: [FAILED] - ACK With no request");
    return kSIPBuildNoRequest;
  }
  char uri[2048];
  bool ok = true;
  if (ack) {
    ok = UriText(request->msg.requestURI, uri, sizeof uri);
  } else if (cancel) {
    ok = UriText(r->msg.requestURI, uri, sizeof uri);
  } else if (reg || subscribe) {
    ok = snprintf(uri, sizeof uri, "sip:%s", SIPGetRootAccount(r)->domain) < static_cast<int>(sizeof uri);
  } else {
    r->msg.requestURI = r->msg.to.uri;
    ok = UriText(r->msg.requestURI, uri, sizeof uri);
  }
  if (!ok) return kSIPBuildTooLong;
  StartLine(b, uri);
  SIPTextOut via(b->via, sizeof b->via);
  SIPFormatViaHeaders(&via, kSIPModeRequest, ack ? request : r);
  if (!reg && !RouteLines(b, r->msg.routes, r->msg.to.uri, cancel)) return kSIPBuildTooLong;
  SIPTextOut from(b->from, sizeof b->from), to(b->to, sizeof b->to), contact(b->contact, sizeof b->contact);
  SIPFormatFromValue(kSIPModeRequest, &from, ack ? request : r);
  SIPFormatToValue(kSIPModeRequest, &to, r);
  SIPFormatContactValue(&contact, r);
  if (from.overflow || to.overflow || contact.overflow || via.overflow) return kSIPBuildTooLong;
  SIPSetDefaultReferredBy(r, method);
  Authorization(b, uri, body, bodyLength);
  memcpy(b->callId, ack ? request->msg.callId : r->msg.callId, sizeof b->callId);
  if (ack) r->msg.cseq = request->msg.cseq;
  SIPCopySpan(r->msg.cseqMethod, sizeof r->msg.cseqMethod, SIPSpanOf(method));
  return Finish(b, contentType, body, bodyLength, "SIPPrepareRequestBuffer");
}

int SIPPrepareDialogRequestBuffer(SIPRecord* r, SIPDialog* dialog, const char* method, const char* contentType,
                                  const char* body, size_t bodyLength) {
  Build build;
  Build* b = &build;
  StartBuild(b, r, kSIPModeDialogRequest, method);
  SIPGenerateBranch(r);
  char uri[2048];
  if (!UriText(dialog->remoteTarget, uri, sizeof uri)) return kSIPBuildTooLong;
  StartLine(b, uri);
  SIPTextOut via(b->via, sizeof b->via);
  SIPFormatViaHeaders(&via, kSIPModeDialogRequest, r);
  if (!RouteLines(b, dialog->routes, dialog->remoteTarget, false)) return kSIPBuildTooLong;
  if (strcmp(method, "ACK") != 0 && strcmp(method, "CANCEL") != 0) {
    if (dialog->localCSeq == 0) dialog->localCSeq = static_cast<int32_t>(TickCount() & 0xFF) + r->msg.cseq;
    dialog->localCSeq += 1;
    r->msg.cseq = dialog->localCSeq;
  }
  SIPCopySpan(r->msg.cseqMethod, sizeof r->msg.cseqMethod, SIPSpanOf(method));
  SIPTextOut from(b->from, sizeof b->from), to(b->to, sizeof b->to), contact(b->contact, sizeof b->contact);
  SIPFormatDialogLocalParty(kSIPModeDialogRequest, &from, dialog);
  SIPFormatDialogRemoteParty(kSIPModeDialogRequest, &to, dialog);
  SIPFormatContactValue(&contact, r);
  if (from.overflow || to.overflow || contact.overflow || via.overflow) return kSIPBuildTooLong;
  SIPSetDefaultReferredBy(r, method);
  Authorization(b, uri, body, bodyLength);
  memcpy(b->callId, dialog->callId, sizeof b->callId);
  return Finish(b, contentType, body, bodyLength, "SIPPrepareDialogRequestBuffer");
}

static int Response(SIPRecord* r, const SIPRouteSet& routes, int32_t mode, int statusCode, const char* reason,
                    const char* contentType, const char* body, size_t bodyLength, SIPDialog* dialog) {
  Build build;
  Build* b = &build;
  StartBuild(b, r, mode, nullptr);
  r->msg.statusCode = statusCode;
  if (!reason) reason = statusCode == 100 ? "Trying" : SIPStatusCodeToText(statusCode);
  if (snprintf(b->startLine, sizeof b->startLine, "SIP/2.0 %d %s", statusCode, reason) >=
      static_cast<int>(sizeof b->startLine))
    return kSIPBuildTooLong;
  SIPTextOut via(b->via, sizeof b->via);
  SIPFormatViaHeaders(&via, mode, r);
  if ((statusCode >= 180 && statusCode <= 189) || (statusCode >= 200 && statusCode <= 299)) {
    SIPTextOut out(b->routes, sizeof b->routes);
    if (!SIPWriteRouteHeaders(&routes, "Record-Route", &out, false, nullptr)) return kSIPBuildTooLong;
  }
  if (dialog) {
    r->msg.cseq = dialog->lastRemoteCSeq;
    SIPCopySpan(r->msg.cseqMethod, sizeof r->msg.cseqMethod, SIPSpanOf(dialog->lastRemoteCSeqMethod));
  }
  SIPTextOut from(b->from, sizeof b->from), to(b->to, sizeof b->to), contact(b->contact, sizeof b->contact);
  SIPFormatFromValue(mode, &from, r);
  SIPFormatToValue(mode, &to, r);
  SIPFormatContactValue(&contact, r);
  if (from.overflow || to.overflow || contact.overflow || via.overflow) return kSIPBuildTooLong;
  memcpy(b->callId, r->msg.callId, sizeof b->callId);
  return Finish(b, contentType, body, bodyLength, "SIPPrepareResponseBuffer");
}

int SIPPrepareResponseBuffer(SIPRecord* r, int statusCode, const char* reason, const char* contentType,
                             const char* body, size_t bodyLength) {
  SIPRouteSet routes = r->msg.routes;
  return Response(r, routes, kSIPModeResponse, statusCode, reason, contentType, body, bodyLength, nullptr);
}

int SIPPrepareDialogResponseBuffer(SIPRecord* r, SIPDialog* dialog, int statusCode, const char* reason,
                                   const char* contentType, const char* body, size_t bodyLength) {
  int method = SIPTransactionKindToMethod(r);
  if ((method == kSIPMethodInvite || method == kSIPMethodSubscribe || method == kSIPMethodRefer ||
       method == kSIPMethodNotify) &&
      statusCode >= 200 && statusCode <= 299)
    SIPDialogSetRemoteTarget(dialog, r);
  return Response(r, dialog->routes, kSIPModeDialogResponse, statusCode, reason, contentType, body, bodyLength,
                  dialog);
}

int SIPInsertMessageHeader(SIPRecord* record, const char* name, const char* format, ...) {
  char value[1025];
  va_list args;
  va_start(args, format);
  vsnprintf(value, sizeof value, format, args);
  va_end(args);
  SIPCountedText& t = record->prepared;
  if (!value[0] || !t.text) return 0;
  // The last empty line of the whole text (a body may hold one too).
  const char* last = nullptr;
  for (const char* p = t.text; (p = strstr(p, "\r\n\r\n")) != nullptr; ++p) last = p;
  if (!last) return 0;
  size_t at = static_cast<size_t>(last - t.text);
  size_t nameLength = strlen(name), valueLength = strlen(value);
  size_t grown = t.length + 2 + nameLength + valueLength;
  if (grown > kSIPMaxBuiltMessage) return 0;
  char* text = static_cast<char*>(HeapAllocZ(grown + 1));
  memcpy(text, t.text, at);
  memcpy(text + at, "\r\n", 2);
  memcpy(text + at + 2, name, nameLength);
  memcpy(text + at + 2 + nameLength, value, valueLength);
  memcpy(text + at + 2 + nameLength + valueLength, t.text + at, t.length - at);
  HeapFreeZ(t.text);
  t.text = text;
  t.length = static_cast<uint32_t>(grown);
  return 1;
}
