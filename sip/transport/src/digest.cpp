#include "sip/digest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/md5.h"
#include "sip/identifiers.h"
#include "sip/record.h"
#include "sip_text.h"

namespace {

void Feed(MD5Context* c, const char* text) { MD5Update(c, text, strlen(text)); }
void FeedColon(MD5Context* c, const char* text) {
  MD5Update(c, ":", 1);
  Feed(c, text);
}
void FinalHex(MD5Context* c, char out[33]) {
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, c);
  MD5ToHex(digest, out);
}

void Wipe(void* p, size_t n) {
  volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
  while (n--) *b++ = 0;
}

}  // namespace

void SIPDigestHA1(const char* algorithm, const char* username, const char* realm, const char* password,
                  const char* nonce, const char* cnonce, char out[33]) {
  MD5Context c;
  MD5Init(&c);
  Feed(&c, username);
  FeedColon(&c, realm);
  FeedColon(&c, password);
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &c);
  if (SIPCompareNoCase(algorithm ? algorithm : "", "MD5-sess") == 0) {
    MD5Init(&c);
    MD5Update(&c, digest, sizeof digest);
    FeedColon(&c, nonce);
    FeedColon(&c, cnonce);
    MD5Final(digest, &c);
  }
  MD5ToHex(digest, out);
  Wipe(digest, sizeof digest);
}

void SIPDigestResponse(const char ha1[33], const char* nonce, const char* nc, const char* cnonce, const char* qop,
                       const char* method, const char* uri, const char* entityDigest, char out[33]) {
  MD5Context c;
  MD5Init(&c);
  Feed(&c, method);
  FeedColon(&c, uri);
  if (qop && SIPCompareNoCase(qop, "auth-int") == 0) FeedColon(&c, entityDigest ? entityDigest : "");
  char ha2[33];
  FinalHex(&c, ha2);
  MD5Init(&c);
  MD5Update(&c, ha1, 32);
  FeedColon(&c, nonce);
  if (qop && qop[0]) {
    FeedColon(&c, nc);
    FeedColon(&c, cnonce);
    FeedColon(&c, qop);
  }
  FeedColon(&c, ha2);
  FinalHex(&c, out);
}

int SIPEnsureURIScheme(char* text, size_t size) {
  SIPSpan s = SIPUnquote(SIPTrim(SIPSpanOf(text)));
  bool hasScheme = false;
  for (size_t i = 0; i + 4 <= s.n && !hasScheme; ++i)
    hasScheme = memcmp(s.p + i, "sip:", 4) == 0 || (i + 5 <= s.n && memcmp(s.p + i, "sips:", 5) == 0);
  size_t prefix = hasScheme ? 0 : 4;
  if (s.n + prefix + 1 > size) return 0;
  memmove(text + prefix, s.p, s.n);
  if (prefix) memcpy(text, "sip:", 4);
  text[s.n + prefix] = 0;
  return 1;
}

int SIPComputeDigestResponse(SIPRecord* record, const char* uri, const char* method, const char* body,
                             size_t bodyLength) {
  SIPDigestChallenge& d = record->msg.digest;
  if (!d.realm[0]) return 1;
  SIPCopySpan(d.uri, sizeof d.uri, SIPSpanOf(uri));
  if (!SIPEnsureURIScheme(d.uri, sizeof d.uri)) d.uri[0] = 0;
  if (d.qop[0]) {
    if (!SIPGenerateTag(d.cnonce)) d.cnonce[0] = 0;
    // The nonce count is eight hexadecimal digits (RFC 2617 3.2.2) and goes
    // up by one with every answer to this challenge.
    unsigned long count = strtoul(d.nc, nullptr, 16);
    snprintf(d.nc, sizeof d.nc, "%08lx", (count + 1) & 0xFFFFFFFFul);
  }
  char ha1[33];
  SIPDigestHA1(d.algorithm, d.username, d.realm, d.password, d.nonce, d.cnonce, ha1);
  char entity[33] = {};
  if (SIPCompareNoCase(d.qop, "auth-int") == 0) MD5Buffer(body ? body : "", body ? bodyLength : 0, entity);
  SIPDigestResponse(ha1, d.nonce, d.nc, d.cnonce, d.qop, method, d.uri, entity, d.response);
  Wipe(ha1, sizeof ha1);
  return 1;
}

int SIPPrepareAuthenticateResponseHeader(SIPRecord* record, SIPTextOut* out) {
  const SIPDigestChallenge* chosen = nullptr;
  if (record->msg.digest.headerName[0]) chosen = &record->msg.digest;
  else if (record->related && record->related->msg.digest.headerName[0]) chosen = &record->related->msg.digest;
  if (!chosen) return 0;
  const SIPDigestChallenge& d = *chosen;
  char line[2048];
  SIPTextOut l(line, sizeof line);
  l.Printf("%s: %s username=\"%s\",realm=\"%s\",nonce=\"%s\",response=\"%s\",uri=\"%s\"", d.headerName, d.scheme,
           d.username, d.realm, d.nonce, d.response, d.uri);
  if (d.opaque[0]) l.Printf(",opaque=\"%s\"", d.opaque);
  if (d.algorithm[0]) l.Printf(",algorithm=%s", d.algorithm);
  if (d.qop[0]) l.Printf(",qop=%s,cnonce=\"%s\",nc=%s", d.qop, d.cnonce, d.nc);
  bool ok = !l.overflow && out->Append(line, l.length);
  Wipe(line, sizeof line);
  return ok ? 1 : 0;
}
