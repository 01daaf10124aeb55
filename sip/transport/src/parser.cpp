// The message parser: start lines and the headers the stack uses.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "sip/parser.h"
#include "sip/record.h"
#include "sip_text.h"

namespace {

struct Reader {
  const SIPNormalizedMessage* m;
  SIPSpan Value(const SIPHeaderLine& line) const { return {line.value, line.valueLength}; }
  const SIPHeaderLine* First(int id) const {
    for (size_t i = 0; i < m->lineCount; ++i)
      if (m->lines[i].id == id) return &m->lines[i];
    return nullptr;
  }
};

// Copies an identifier; false when it does not fit its field.
bool TakeId(char* field, size_t size, SIPSpan value) { return SIPCopySpan(field, size, value); }

// A start line: method SP Request-URI SP SIP-version, one blank each.
int ParseRequestLine(SIPRecord* r, SIPSpan line) {
  SIPMessageFields& f = r->msg;
  const char* sp1 = static_cast<const char*>(memchr(line.p, ' ', line.n));
  if (!sp1) return kSIPParseBadStartLine;
  SIPSpan method = {line.p, static_cast<size_t>(sp1 - line.p)};
  SIPSpan rest = {sp1 + 1, line.n - method.n - 1};
  const char* sp2 = static_cast<const char*>(memchr(rest.p, ' ', rest.n));
  if (!sp2) return kSIPParseBadStartLine;
  SIPSpan uri = {rest.p, static_cast<size_t>(sp2 - rest.p)};
  SIPSpan version = {sp2 + 1, rest.n - uri.n - 1};
  if (!method.n || !uri.n || !SIPIsVersionToken(version)) return kSIPParseBadStartLine;
  // A Request-URI is one addr-spec: no blanks, no angle brackets or quotes,
  // no headers, a numeric port, no empty IPv6 groups beyond "::".
  for (size_t i = 0; i < uri.n; ++i) {
    unsigned char c = static_cast<unsigned char>(uri.p[i]);
    if (c < 0x21 || c == '<' || c == '>' || c == '"' || c == '?') return kSIPParseBadStartLine;
    if (c == ':' && i + 2 < uri.n && uri.p[i + 1] == ':' && uri.p[i + 2] == ':') return kSIPParseBadStartLine;
  }
  if (!TakeId(f.method, sizeof f.method, method)) return kSIPParseFieldTooLong;
  if (!TakeId(f.version, sizeof f.version, version)) return kSIPParseFieldTooLong;
  SIPParseNameAddrText(&f.requestURI, uri.p, uri.n);
  for (const char* p = f.requestURI.port; *p; ++p)
    if (*p < '0' || *p > '9') return kSIPParseBadStartLine;
  return kSIPParsed;
}

int ParseStatusLine(SIPRecord* r, SIPSpan line) {
  SIPMessageFields& f = r->msg;
  TakeId(f.version, sizeof f.version, {line.p, 7});
  f.statusCode = (line.p[8] - '0') * 100 + (line.p[9] - '0') * 10 + (line.p[10] - '0');
  // The reason phrase is the rest of the line, not its first word.
  SIPSpan reason = line.n > 12 ? SIPSpan{line.p + 12, line.n - 12} : SIPSpan{line.p + line.n, 0};
  SIPCopySpan(f.reason, sizeof f.reason, SIPTrim(reason));
  return kSIPParsed;
}

int ParseNameAddrHeader(const Reader& rd, int id, SIPNameAddr* block) {
  const SIPHeaderLine* line = rd.First(id);
  if (!line) return kSIPParsed;
  SIPNameAddrClear(block);
  SIPSpan value = rd.Value(*line);
  const char* na;
  size_t naLength;
  const char* params;
  size_t paramsLength;
  SIPSplitNameAddr(value.p, value.n, &na, &naLength, &params, &paramsLength);
  // An address with headers must be enclosed in angle brackets.
  if (SIPFindOutsideQuotes({na, naLength}, '<') == naLength && memchr(na, '?', naLength)) return kSIPParseBadHeader;
  SIPParseNameAddrText(&block->uri, na, naLength);
  SIPSpan rest = {params, paramsLength};
  size_t used = 0;
  SIPParam param;
  while (SIPNextParam(&rest, ';', &param)) {
    if (SIPSpanIs(param.name, "tag")) {
      if (!TakeId(block->tag, sizeof block->tag, param.value)) return kSIPParseFieldTooLong;
    } else if (SIPSpanIs(param.name, "q")) {
      char number[32];
      SIPCopySpan(number, sizeof number, param.value);
      block->q = strtod(number, nullptr);
    } else if (SIPSpanIs(param.name, "expires")) {
      long v = 0;
      block->expires = SIPSpanToInt(param.value, &v) ? static_cast<int32_t>(v) : 0;
    } else {
      const char* end = param.hasValue ? param.value.p + param.value.n : param.name.p + param.name.n;
      char piece[sizeof block->params];
      SIPCopyWithoutBlanks(piece, sizeof piece, {param.name.p, static_cast<size_t>(end - param.name.p)});
      size_t n = strlen(piece);
      if (used + n + 1 >= sizeof block->params) continue;  // cut: no room left
      if (used) block->params[used++] = ';';
      memcpy(block->params + used, piece, n + 1);
      used += n;
    }
  }
  return kSIPParsed;
}

int ParseVia(const Reader& rd, SIPRecord* r) {
  SIPVia* list = r->msg.via;
  SIPViaClear(&list[0]);
  int index = 0;
  for (size_t i = 0; i < rd.m->lineCount && index < kSIPViaListSize; ++i) {
    const SIPHeaderLine& line = rd.m->lines[i];
    if (line.id != kSIPHVia) continue;
    SIPVia& via = list[index];
    SIPViaClear(&via);
    via.used = 1;
    SIPSpan v = rd.Value(line);
    // Protocol name, version and transport: three tokens separated by "/".
    SIPSpan part[3];
    size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
      while (pos < v.n && SIPIsBlank(v.p[pos])) ++pos;
      size_t start = pos;
      while (pos < v.n && !SIPIsBlank(v.p[pos]) && v.p[pos] != '/' && v.p[pos] != ';') ++pos;
      part[k] = {v.p + start, pos - start};
      while (pos < v.n && SIPIsBlank(v.p[pos])) ++pos;
      if (k < 2) {
        if (pos >= v.n || v.p[pos] != '/') return kSIPParseBadHeader;
        ++pos;
      }
    }
    if (!part[0].n || !part[1].n || !part[2].n) return kSIPParseBadHeader;
    char protocol[64];
    SIPTextOut out(protocol, sizeof protocol);
    out.Append(part[0].p, part[0].n);
    out.AppendChar('/');
    out.Append(part[1].p, part[1].n);
    out.AppendChar('/');
    out.Append(part[2].p, part[2].n);
    if (out.overflow || !SIPCopySpan(via.protocol, sizeof via.protocol, {protocol, out.length}))
      return kSIPParseFieldTooLong;
    SIPSpan rest = {v.p + pos, v.n - pos};
    size_t semi = SIPFindOutsideQuotes(rest, ';');
    SIPCopySpan(via.sentBy, sizeof via.sentBy, SIPTrim({rest.p, semi}));
    if (!via.sentBy[0]) return kSIPParseBadHeader;
    SIPSpan params = semi < rest.n ? SIPSpan{rest.p + semi + 1, rest.n - semi - 1} : SIPSpan{rest.p + rest.n, 0};
    size_t used = 0;
    SIPParam param;
    while (SIPNextParam(&params, ';', &param)) {
      long number = 0;
      if (SIPSpanIs(param.name, "branch")) {
        if (!TakeId(via.branch, sizeof via.branch, param.value)) return kSIPParseFieldTooLong;
      } else if (SIPSpanIs(param.name, "ttl")) {
        via.ttl = SIPSpanToInt(param.value, &number) ? static_cast<int32_t>(number) : 0;
      } else if (SIPSpanIs(param.name, "maddr")) {
        SIPCopySpan(via.maddr, sizeof via.maddr, param.value);
      } else if (SIPSpanIs(param.name, "received")) {
        SIPCopySpan(via.received, sizeof via.received, param.value);
      } else if (SIPSpanIs(param.name, "rport")) {
        if (param.hasValue) via.rport = SIPSpanToInt(param.value, &number) ? static_cast<int32_t>(number) : 0;
      } else if (SIPSpanIs(param.name, "lr")) {
      } else {
        const char* end = param.hasValue ? param.value.p + param.value.n : param.name.p + param.name.n;
        char piece[sizeof via.otherParams];
        SIPCopyWithoutBlanks(piece, sizeof piece, {param.name.p, static_cast<size_t>(end - param.name.p)});
        size_t n = strlen(piece);
        if (used + n + 1 >= sizeof via.otherParams) continue;
        if (used) via.otherParams[used++] = ';';
        memcpy(via.otherParams + used, piece, n + 1);
        used += n;
      }
    }
    ++index;
    if (index < kSIPViaListSize) SIPViaClear(&list[index]);
  }
  return kSIPParsed;
}

int ParseCSeq(const Reader& rd, SIPRecord* r) {
  const SIPHeaderLine* line = rd.First(kSIPHCSeq);
  if (!line) return kSIPParsed;
  SIPSpan v = rd.Value(*line);
  size_t i = 0;
  while (i < v.n && v.p[i] >= '0' && v.p[i] <= '9') ++i;
  long number = 0;
  // RFC 3261: the sequence number is below 2**31.
  if (!i || i > 10 || !SIPSpanToInt({v.p, i}, &number) || number < 0) return kSIPParseBadNumber;
  SIPSpan method = SIPTrim({v.p + i, v.n - i});
  for (size_t k = 0; k < method.n; ++k)
    if (SIPIsBlank(method.p[k])) return kSIPParseBadHeader;
  r->msg.cseq = static_cast<int32_t>(number);
  if (!TakeId(r->msg.cseqMethod, sizeof r->msg.cseqMethod, method)) return kSIPParseFieldTooLong;
  return kSIPParsed;
}

// Chooses the quality of protection this stack answers: "auth" before
// "auth-int"; empty when the challenge offers neither.
void ChooseQop(SIPSpan offered, char* out, size_t size) {
  bool auth = false, authInt = false;
  SIPSpan rest = SIPUnquote(offered);
  SIPParam option;
  while (SIPNextParam(&rest, ',', &option)) {
    if (SIPSpanIs(option.name, "auth")) auth = true;
    else if (SIPSpanIs(option.name, "auth-int")) authInt = true;
  }
  SIPCopySpan(out, size, auth ? SIPSpanOf("auth") : authInt ? SIPSpanOf("auth-int") : SIPSpanOf(""));
}

int ParseDigestChallenge(const Reader& rd, SIPRecord* r, int id) {
  SIPDigestChallenge& d = r->msg.digest;
  const SIPHeaderLine* line = rd.First(id);
  if (!line) return kSIPParsed;
  memset(&d, 0, sizeof d);
  SIPSpan v = rd.Value(*line);
  size_t i = 0;
  while (i < v.n && !SIPIsBlank(v.p[i])) ++i;
  bool fits = SIPCopySpan(d.scheme, sizeof d.scheme, {v.p, i});
  SIPSpan params = {v.p + i, v.n - i};
  SIPParam param;
  while (SIPNextParam(&params, ',', &param)) {
    SIPSpan value = SIPUnquote(param.value);
    if (SIPSpanIs(param.name, "realm")) fits &= SIPCopySpan(d.realm, sizeof d.realm, value);
    else if (SIPSpanIs(param.name, "domain")) SIPCopySpan(d.domain, sizeof d.domain, value);
    else if (SIPSpanIs(param.name, "nc")) fits &= SIPCopySpan(d.nc, sizeof d.nc, value);
    else if (SIPSpanIs(param.name, "nonce")) fits &= SIPCopySpan(d.nonce, sizeof d.nonce, value);
    else if (SIPSpanIs(param.name, "opaque")) fits &= SIPCopySpan(d.opaque, sizeof d.opaque, value);
    else if (SIPSpanIs(param.name, "stale")) SIPCopySpan(d.stale, sizeof d.stale, value);
    else if (SIPSpanIs(param.name, "algorithm")) fits &= SIPCopySpan(d.algorithm, sizeof d.algorithm, value);
    else if (SIPSpanIs(param.name, "qop")) ChooseQop(param.value, d.qop, sizeof d.qop);
  }
  SIPAccountSettings* account = SIPGetRootAccount(r);
  SIPCopySpan(d.uri, sizeof d.uri, SIPSpanOf(d.domain));
  fits &= SIPCopySpan(d.username, sizeof d.username, SIPSpanOf(account->authenticationUser));
  fits &= SIPCopySpan(d.password, sizeof d.password, {account->password ? account->password : "",
                                                      account->password ? account->passwordLength : 0});
  if (!d.algorithm[0]) strcpy(d.algorithm, "MD5");
  // A challenge that cannot be answered exactly (a value longer than its
  // field) is not kept: an answer from a cut nonce or password would only
  // be refused again.
  if (!fits) {
    volatile char* p = reinterpret_cast<volatile char*>(&d);
    for (size_t k = 0; k < sizeof d; ++k) p[k] = 0;
  }
  return kSIPParsed;
}

int ParseRouteSet(const Reader& rd, SIPRecord* r, int id) {
  SIPRouteSet& routes = r->msg.routes;
  memset(&routes.entries[0], 0, sizeof routes.entries[0]);
  SIPConnectionSettings* connection = SIPGetRootConnection(r);
  int index = 0;
  for (size_t i = 0; i < rd.m->lineCount && index < kSIPRouteSetSize; ++i) {
    const SIPHeaderLine& line = rd.m->lines[i];
    if (line.id != id) continue;
    SIPRouteEntry& entry = routes.entries[index];
    memset(&entry, 0, sizeof entry);
    SIPSpan v = rd.Value(line);
    const char* na;
    size_t naLength;
    const char* params;
    size_t paramsLength;
    SIPSplitNameAddr(v.p, v.n, &na, &naLength, &params, &paramsLength);
    SIPParseNameAddrText(&entry.uri, na, naLength);
    if (id == kSIPHRoute && connection->listenerAddressText[0] &&
        SIPCompareNoCase(entry.uri.host, connection->listenerAddressText) == 0 &&
        atoi(entry.uri.port[0] ? entry.uri.port : "5060") == connection->listenerPort) {
      memset(&entry, 0, sizeof entry);  // a route to this system itself
      continue;
    }
    entry.used = 1;
    SIPCopyWithoutBlanks(entry.value, sizeof entry.value, v);
    ++index;
    if (index < kSIPRouteSetSize) memset(&routes.entries[index], 0, sizeof routes.entries[index]);
  }
  return kSIPParsed;
}

SIPSpan UpTo(SIPSpan v, char c, SIPSpan* rest) {
  size_t i = SIPFindOutsideQuotes(v, c);
  *rest = i < v.n ? SIPSpan{v.p + i + 1, v.n - i - 1} : SIPSpan{v.p + v.n, 0};
  return SIPTrim({v.p, i});
}

void ParseEvent(SIPSpan v, SIPEventBlock* b) {
  memset(b, 0, sizeof *b);
  SIPSpan params;
  SIPCopySpan(b->event, sizeof b->event, UpTo(v, ';', &params));
  SIPParam p;
  while (SIPNextParam(&params, ';', &p))
    if (SIPSpanIs(p.name, "id")) SIPCopySpan(b->id, sizeof b->id, p.value);
}

void ParseSubscriptionState(SIPSpan v, SIPSubscriptionStateBlock* b) {
  memset(b, 0, sizeof *b);
  SIPSpan params;
  SIPCopySpan(b->state, sizeof b->state, UpTo(v, ';', &params));
  SIPParam p;
  while (SIPNextParam(&params, ';', &p)) {
    if (SIPSpanIs(p.name, "reason")) SIPCopySpan(b->reason, sizeof b->reason, p.value);
    else if (SIPSpanIs(p.name, "retry-after")) SIPCopySpan(b->retryAfter, sizeof b->retryAfter, p.value);
    else if (SIPSpanIs(p.name, "expires")) SIPCopySpan(b->expires, sizeof b->expires, p.value);
  }
}

// The name-address of Refer-To or Referred-By; the parameters other than
// those named (cid) are kept, blanks outside quotes removed.
void ParseReferAddress(SIPSpan v, SIPURI* uri, char* value, size_t valueSize, char* cid, size_t cidSize) {
  const char* na;
  size_t naLength;
  const char* params;
  size_t paramsLength;
  SIPSplitNameAddr(v.p, v.n, &na, &naLength, &params, &paramsLength);
  SIPParseNameAddrText(uri, na, naLength);
  SIPSpan rest = {params, paramsLength};
  size_t used = 0;
  value[0] = 0;
  SIPParam p;
  while (SIPNextParam(&rest, ';', &p)) {
    if (cid && SIPSpanIs(p.name, "cid")) {
      SIPCopySpan(cid, cidSize, p.value);
      continue;
    }
    const char* end = p.hasValue ? p.value.p + p.value.n : p.name.p + p.name.n;
    char piece[516];
    SIPCopyWithoutBlanks(piece, sizeof piece, {p.name.p, static_cast<size_t>(end - p.name.p)});
    size_t n = strlen(piece);
    if (used + n + 1 >= valueSize) continue;
    if (used) value[used++] = ';';
    memcpy(value + used, piece, n + 1);
    used += n;
  }
}

void ParseReplaces(SIPSpan v, SIPReplaces* b) {
  memset(b, 0, sizeof *b);
  SIPSpan params;
  SIPCopySpan(b->callId, sizeof b->callId, UpTo(v, ';', &params));
  size_t used = 0;
  SIPParam p;
  while (SIPNextParam(&params, ';', &p)) {
    if (SIPSpanIs(p.name, "to-tag")) SIPCopySpan(b->toTag, sizeof b->toTag, p.value);
    else if (SIPSpanIs(p.name, "from-tag")) SIPCopySpan(b->fromTag, sizeof b->fromTag, p.value);
    else if (SIPSpanIs(p.name, "early-only")) b->earlyOnly = 1;
    else {
      const char* end = p.hasValue ? p.value.p + p.value.n : p.name.p + p.name.n;
      char piece[sizeof b->value];
      SIPCopyWithoutBlanks(piece, sizeof piece, {p.name.p, static_cast<size_t>(end - p.name.p)});
      size_t n = strlen(piece);
      if (used + n + 1 >= sizeof b->value) continue;
      if (used) b->value[used++] = ';';
      memcpy(b->value + used, piece, n + 1);
      used += n;
    }
  }
}

void ParseReason(SIPSpan v, SIPReasonBlock* b) {
  memset(b, 0, sizeof *b);
  SIPSpan params;
  SIPCopySpan(b->protocol, sizeof b->protocol, SIPUnquote(UpTo(v, ';', &params)));
  SIPParam p;
  while (SIPNextParam(&params, ';', &p)) {
    long cause = 0;
    if (SIPSpanIs(p.name, "cause")) b->cause = SIPSpanToInt(p.value, &cause) ? static_cast<int32_t>(cause) : 0;
    else if (SIPSpanIs(p.name, "text")) SIPCopySpan(b->text, sizeof b->text, SIPUnquote(p.value));
  }
}

int ParseMessage(SIPRecord* r, const char* text, size_t length, const char* body, size_t bodyLength,
                 const SIPParseHooks* hooks, SIPNormalizedMessage* m) {
  if (length > kSIPMaxParsedMessage) return kSIPParseTooLarge;
  int method = SIPGetRequestMethod(text, length);
  int status = method ? -1 : SIPGetStatusCode(text, length);
  if (!method && status == -1) return kSIPParseNotSIP;
  if (!SIPNormalizeMessageLines(text, length, m)) return kSIPParseBadHeader;
  Reader rd{m};
  SIPSpan start = {m->startLine, m->startLineLength};
  int result;
  if (method) {
    r->messageMode = kSIPModeRequest;
    result = ParseRequestLine(r, start);
  } else {
    r->messageMode = kSIPModeResponse;
    result = ParseStatusLine(r, start);
  }
  if (result != kSIPParsed) return result;
  for (int id : {kSIPHFrom, kSIPHTo, kSIPHCallID, kSIPHCSeq, kSIPHVia})
    if (!SIPHasHeader(m, id)) return kSIPParseMissingHeader;
  for (int id : {kSIPHFrom, kSIPHTo, kSIPHCallID, kSIPHCSeq, kSIPHContentLength})
    if ((m->duplicates >> id) & 1) return kSIPParseDuplicateHeader;
  SIPMessageFields& f = r->msg;
  if (SIPHasHeader(m, kSIPHFrom) && (result = ParseNameAddrHeader(rd, kSIPHFrom, &f.from)) != kSIPParsed) return result;
  if (SIPHasHeader(m, kSIPHTo) && (result = ParseNameAddrHeader(rd, kSIPHTo, &f.to)) != kSIPParsed) return result;
  if (SIPHasHeader(m, kSIPHVia) && (result = ParseVia(rd, r)) != kSIPParsed) return result;
  if (SIPHasHeader(m, kSIPHContact) && (result = ParseNameAddrHeader(rd, kSIPHContact, &f.contact)) != kSIPParsed)
    return result;
  if (SIPHasHeader(m, kSIPHCSeq) && (result = ParseCSeq(rd, r)) != kSIPParsed) return result;
  if (method && SIPHasHeader(m, kSIPHCSeq) && strcmp(f.cseqMethod, f.method) != 0) return kSIPParseMethodMismatch;
  if (const SIPHeaderLine* line = rd.First(kSIPHCallID)) {
    if (!TakeId(f.callId, sizeof f.callId, rd.Value(*line))) return kSIPParseFieldTooLong;
  }
  if (hooks && hooks->account && !hooks->account(hooks->context, r)) return kSIPParseAccountRefused;

  if (SIPHasHeader(m, kSIPHWWWAuthenticate)) ParseDigestChallenge(rd, r, kSIPHWWWAuthenticate);
  if (SIPHasHeader(m, kSIPHProxyAuthenticate) && !(SIPHasHeader(m, kSIPHWWWAuthenticate) && f.digest.scheme[0]))
    ParseDigestChallenge(rd, r, kSIPHProxyAuthenticate);
  if (SIPHasHeader(m, kSIPHRecordRoute)) ParseRouteSet(rd, r, kSIPHRecordRoute);
  if (SIPHasHeader(m, kSIPHRoute) && !SIPRouteSetCount(&f.routes)) ParseRouteSet(rd, r, kSIPHRoute);
  if (const SIPHeaderLine* line = rd.First(kSIPHEvent)) ParseEvent(rd.Value(*line), &f.event);
  if (const SIPHeaderLine* line = rd.First(kSIPHSubscriptionState))
    ParseSubscriptionState(rd.Value(*line), &f.subscriptionState);
  if (const SIPHeaderLine* line = rd.First(kSIPHReferTo)) {
    memset(&f.referTo, 0, sizeof f.referTo);
    ParseReferAddress(rd.Value(*line), &f.referTo.uri, f.referTo.value, sizeof f.referTo.value, nullptr, 0);
  }
  if (const SIPHeaderLine* line = rd.First(kSIPHReferredBy)) {
    memset(&f.referredBy, 0, sizeof f.referredBy);
    ParseReferAddress(rd.Value(*line), &f.referredBy.uri, f.referredBy.value, sizeof f.referredBy.value,
                      f.referredBy.cid, sizeof f.referredBy.cid);
  }
  if (const SIPHeaderLine* line = rd.First(kSIPHReplaces)) ParseReplaces(rd.Value(*line), &f.replaces);
  if (const SIPHeaderLine* line = rd.First(kSIPHExpires)) {
    SIPSpan rest;
    SIPCopySpan(f.expires, sizeof f.expires, UpTo(rd.Value(*line), ';', &rest));
  }
  if (const SIPHeaderLine* line = rd.First(kSIPHReason)) ParseReason(rd.Value(*line), &f.reasonHeader);
  if (const SIPHeaderLine* line = rd.First(kSIPHContentType))
    SIPCopySpan(f.contentType, sizeof f.contentType, rd.Value(*line));

  // Content-Length: a valid number no larger than the body at hand; extra
  // bytes after the declared length are not part of the message.
  SIPSpan ownBody = {m->body, m->bodyLength};
  if (const SIPHeaderLine* line = rd.First(kSIPHContentLength)) {
    SIPSpan v = rd.Value(*line);
    long declared = -1;
    for (size_t k = 0; k < v.n; ++k)
      if (v.p[k] < '0' || v.p[k] > '9') return kSIPParseBadNumber;
    if (!SIPSpanToInt(v, &declared) || declared < 0 || !SIPCopySpan(f.contentLength, sizeof f.contentLength, v))
      return kSIPParseBadNumber;
    if (!body) {
      if (static_cast<size_t>(declared) > ownBody.n) return kSIPParseBodyShort;
      ownBody.n = static_cast<size_t>(declared);
    }
  }
  if (!body) {
    body = ownBody.p;
    bodyLength = ownBody.n;
  }
  if (bodyLength) SIPCountedTextSet(&f.body, body, bodyLength);
  else SIPCountedTextFree(&f.body);
  return kSIPParsed;
}

}  // namespace

int SIPParseMessage(SIPRecord* record, const char* text, size_t length, const char* body, size_t bodyLength,
                    const SIPParseHooks* hooks, SIPNormalizedMessage* work) {
  if (work) return ParseMessage(record, text, length, body, bodyLength, hooks, work);
  struct Own {
    SIPNormalizedMessage m;
    Own() { SIPNormalizedInit(&m); }
    ~Own() { SIPNormalizedFree(&m); }
  } own;
  return ParseMessage(record, text, length, body, bodyLength, hooks, &own.m);
}

bool SIPHasSipfragBody(const SIPRecord* record) {
  long length = 0;
  if (!SIPSpanToInt(SIPSpanOf(record->msg.contentLength), &length) || length <= 0) return false;
  const char* type = record->msg.contentType;
  return SIPStartsWithNoCase(type, strlen(type), "application/sipfrag") ||
         SIPStartsWithNoCase(type, strlen(type), "message/sipfrag");
}

bool SIPGetSipfragStatusCode(const SIPRecord* record, int* code) {
  if (!SIPHasSipfragBody(record) || !record->msg.body.text) return false;
  const char* body = record->msg.body.text;
  size_t n = record->msg.body.length;
  if (n < 11 || !SIPStartsWithNoCase(body, n, "SIP/2.0 ")) return false;
  long value = 0;
  if (!SIPSpanToInt({body + 8, n - 8}, &value)) return false;
  *code = static_cast<int>(value);
  return true;
}
