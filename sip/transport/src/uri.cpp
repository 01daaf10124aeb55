// SIP URI and name-address text: parsing, writing, escaping.
#include "sip/uri.h"

#include <cstring>

#include "sip_text.h"

static bool Take(char* field, size_t size, SIPSpan s, bool* fitted) {
  bool ok = SIPCopySpan(field, size, s);
  if (!ok) *fitted = false;
  return ok;
}

int SIPParseAddrSpec(SIPURI* uri, const char* text, size_t length, bool* fitted) {
  bool fit = true;
  char keep = uri->displayName[0];
  SIPURIClear(uri);  // all but the display name
  uri->displayName[0] = keep;

  SIPSpan s = SIPTrim({text, length});
  // 1. Scheme: the text before the first ":".
  size_t colon = SIPFindOutsideQuotes(s, ':');
  if (colon < s.n) {
    Take(uri->scheme, sizeof uri->scheme, SIPTrim({s.p, colon}), &fit);
    s = {s.p + colon + 1, s.n - colon - 1};
  }
  // 2. User: the text before the last "@" that comes before any headers.
  size_t question = SIPFindOutsideQuotes(s, '?');
  size_t at = s.n;
  {
    bool quoted = false;
    for (size_t i = 0; i < question; ++i) {
      if (s.p[i] == '"') quoted = !quoted;
      else if (!quoted && s.p[i] == '@') at = i;
    }
  }
  if (at < s.n) {
    Take(uri->user, sizeof uri->user, {s.p, at}, &fit);
    s = {s.p + at + 1, s.n - at - 1};
    question = SIPFindOutsideQuotes(s, '?');
  }
  // 3. Headers: the text after "?".
  if (question < s.n) {
    Take(uri->headers, sizeof uri->headers, {s.p + question + 1, s.n - question - 1}, &fit);
    s.n = question;
  }
  // 4. Host and port. An IPv6 reference keeps its brackets and its colons.
  size_t semicolon = SIPFindOutsideQuotes(s, ';');
  SIPSpan hostPort = {s.p, semicolon};
  SIPSpan params = semicolon < s.n ? SIPSpan{s.p + semicolon + 1, s.n - semicolon - 1} : SIPSpan{s.p + s.n, 0};
  size_t portColon = hostPort.n;
  if (hostPort.n && hostPort.p[0] == '[') {
    const char* close = static_cast<const char*>(memchr(hostPort.p, ']', hostPort.n));
    if (close) {
      size_t after = static_cast<size_t>(close - hostPort.p) + 1;
      if (after < hostPort.n && hostPort.p[after] == ':') portColon = after;
    }
  } else {
    const char* c = static_cast<const char*>(memchr(hostPort.p, ':', hostPort.n));
    if (c) portColon = static_cast<size_t>(c - hostPort.p);
  }
  Take(uri->host, sizeof uri->host, SIPTrim({hostPort.p, portColon}), &fit);
  if (portColon < hostPort.n)
    Take(uri->port, sizeof uri->port, SIPTrim({hostPort.p + portColon + 1, hostPort.n - portColon - 1}), &fit);

  // 5. and 6. Named parameters; the rest is kept without blanks.
  char* other = uri->otherParams;
  size_t used = 0;
  SIPParam param;
  while (SIPNextParam(&params, ';', &param)) {
    if (SIPSpanIs(param.name, "transport")) {
      Take(uri->transport, sizeof uri->transport, param.value, &fit);
    } else if (SIPSpanIs(param.name, "user")) {
      Take(uri->userParam, sizeof uri->userParam, param.value, &fit);
    } else if (SIPSpanIs(param.name, "method")) {
      Take(uri->method, sizeof uri->method, param.value, &fit);
    } else if (SIPSpanIs(param.name, "ttl")) {
      long v = 0;
      uri->ttl = SIPSpanToInt(param.value, &v) ? static_cast<int32_t>(v) : 0;
    } else if (SIPSpanIs(param.name, "maddr")) {
      Take(uri->maddr, sizeof uri->maddr, param.value, &fit);
    } else if (SIPSpanIs(param.name, "lr")) {
      uri->looseRoute = 1;
    } else {
      size_t start = param.name.p - text;
      size_t end = (param.hasValue ? param.value.p + param.value.n : param.name.p + param.name.n) - text;
      char piece[sizeof uri->otherParams];
      bool ok = SIPCopyWithoutBlanks(piece, sizeof piece, {text + start, end - start});
      size_t n = strlen(piece);
      size_t need = n + (used ? 1 : 0);
      if (!ok || used + need >= sizeof uri->otherParams) {
        fit = false;
        continue;
      }
      if (used) other[used++] = ';';
      memcpy(other + used, piece, n);
      used += n;
      other[used] = 0;
    }
  }
  if (fitted) *fitted = fit;
  return 1;
}

int SIPParseNameAddrText(SIPURI* uri, const char* text, size_t length, bool* fitted) {
  bool fit = true;
  SIPURIClear(uri);
  SIPSpan s = SIPTrim({text, length});
  size_t lt = SIPFindOutsideQuotes(s, '<');
  if (lt < s.n) {
    Take(uri->displayName, sizeof uri->displayName, SIPUnquote({s.p, lt}), &fit);
    SIPSpan inner = {s.p + lt + 1, s.n - lt - 1};
    const char* gt = static_cast<const char*>(memchr(inner.p, '>', inner.n));
    if (gt) inner.n = static_cast<size_t>(gt - inner.p);
    bool specFit = true;
    SIPParseAddrSpec(uri, inner.p, inner.n, &specFit);
    fit = fit && specFit;
  } else {
    bool specFit = true;
    SIPParseAddrSpec(uri, s.p, s.n, &specFit);
    fit = fit && specFit;
  }
  if (fitted) *fitted = fit;
  return 1;
}

void SIPSplitNameAddr(const char* value, size_t length, const char** nameAddr, size_t* nameAddrLength,
                      const char** params, size_t* paramsLength) {
  SIPSpan s = {value, length};
  size_t end;
  size_t lt = SIPFindOutsideQuotes(s, '<');
  if (lt < s.n) {
    const char* gt = static_cast<const char*>(memchr(value + lt, '>', length - lt));
    end = gt ? static_cast<size_t>(gt - value) + 1 : length;
  } else {
    end = SIPFindOutsideQuotes(s, ';');
  }
  *nameAddr = value;
  *nameAddrLength = end;
  SIPSpan rest = SIPTrim({value + end, length - end});
  if (rest.n && rest.p[0] == ';') rest = SIPTrim({rest.p + 1, rest.n - 1});
  *params = rest.p;
  *paramsLength = rest.n;
}

int SIPFormatURI(const SIPURI* uri, SIPTextOut* out, unsigned flags) {
  out->Clear();
  if (!(flags & kSIPURINoScheme)) {
    if ((flags & kSIPURIDefaultScheme) && !uri->scheme[0]) out->Append("sip:");
    else {
      out->Append(uri->scheme);
      out->AppendChar(':');
    }
  }
  if (uri->user[0]) {
    char escaped[SIPEscapedSize(sizeof uri->user)];
    if (!SIPEscapeURIUser(uri->user, escaped, sizeof escaped)) return 0;
    out->Append(escaped);
    out->AppendChar('@');
  }
  if (uri->host[0]) out->Append(uri->host);
  if (!(flags & kSIPURIHostOnly)) {
    auto part = [out](const char* prefix, const char* value) {
      if (!value[0]) return;
      out->Append(prefix);
      out->Append(value);
    };
    part(":", uri->port);
    part(";maddr=", uri->maddr);
    part(";transport=", uri->transport);
    part(";user=", uri->userParam);
    part(";method=", uri->method);
    if (uri->ttl) out->Printf(";ttl=%d", static_cast<int>(uri->ttl));
    if (uri->looseRoute) out->Append(";lr");
    part(";", uri->otherParams);
    part("?", uri->headers);
  }
  return out->overflow ? 0 : 1;
}

int SIPWriteNameAddrHeader(const SIPRouteEntry* entry, const char* name, SIPTextOut* out) {
  if (!out->Empty()) out->Append("\r\n");
  out->Printf("%s: ", name);
  if (entry->uri.displayName[0]) out->Printf("\"%s\"", entry->uri.displayName);
  if (entry->uri.host[0]) {
    char uriText[2048];
    SIPTextOut uriOut(uriText, sizeof uriText);
    if (!SIPFormatURI(&entry->uri, &uriOut, 0)) {
      out->overflow = true;
      return 0;
    }
    out->AppendChar('<');
    out->Append(uriText, uriOut.length);
    out->AppendChar('>');
  }
  return out->overflow ? 0 : 1;
}

int SIPRouteSetCount(const SIPRouteSet* routes) {
  int n = 0;
  for (const SIPRouteEntry& e : routes->entries)
    if (e.used) ++n;
  return n;
}

int SIPWriteRouteHeaders(const SIPRouteSet* routes, const char* name, SIPTextOut* out, bool skipFirst,
                         const SIPURI* extra) {
  int count = SIPRouteSetCount(routes);
  if (!count) return 1;
  for (int i = skipFirst ? 1 : 0; i < count; ++i)
    if (!SIPWriteNameAddrHeader(&routes->entries[i], name, out)) return 0;
  if (extra) {
    SIPRouteEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.used = 1;
    entry.uri = *extra;
    return SIPWriteNameAddrHeader(&entry, name, out);
  }
  return 1;
}

int SIPEscapeReservedChars(const char* text, bool keepColon, char* out, size_t size) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t o = 0;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    bool escape = c == ';' || c == '/' || c == '?' || (c == ':' && !keepColon) || c == '@' || c == '&' ||
                  c == '=' || c == '+' || c == '$' || c == ',';
    size_t need = escape ? 3 : 1;
    if (o + need >= size) {
      if (size) out[0] = 0;
      return 0;
    }
    if (escape) {
      out[o++] = '%';
      out[o++] = kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out[o++] = kHex[c & 0xF];
    } else {
      out[o++] = c;
    }
  }
  if (!size) return 0;
  out[o] = 0;
  return 1;
}

static bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int SIPEscapeURIUser(const char* user, char* out, size_t size) {
  const char* percent = strchr(user, '%');
  if (percent && IsHex(percent[1]) && IsHex(percent[2])) {
    size_t n = strlen(user);
    if (n >= size) {
      if (size) out[0] = 0;
      return 0;
    }
    memcpy(out, user, n + 1);
    return 1;
  }
  return SIPEscapeReservedChars(user, true, out, size);
}
