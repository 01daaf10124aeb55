// HTTP digest answers to SIP challenges (RFC 2617, RFC 7616 with MD5 and
// MD5-sess). The challenge parser fills the record's digest block; these
// operations compute the response and write the Authorization or
// Proxy-Authorization line.
// Pure logic: standard headers and the foundation's MD5 only.
#pragma once
#include <cstddef>

#include "sip/text_out.h"

struct SIPRecord;
struct SIPDigestChallenge;

// HA1 as 32 lower-case hex digits: MD5(username:realm:password), and for
// MD5-sess (any case) MD5 over those 16 raw bytes, ":", nonce, ":", cnonce.
void SIPDigestHA1(const char* algorithm, const char* username, const char* realm, const char* password,
                  const char* nonce, const char* cnonce, char out[33]);
// The response as 32 lower-case hex digits. HA2 = MD5(method:uri), with
// ":" and entityDigest (the hex MD5 of the body) for qop auth-int. With a
// qop the response covers nonce:nc:cnonce:qop, without it nonce only.
void SIPDigestResponse(const char ha1[33], const char* nonce, const char* nc, const char* cnonce, const char* qop,
                       const char* method, const char* uri, const char* entityDigest, char out[33]);
// Trims the text, removes enclosing double quotes and puts "sip:" in front
// when it names neither "sip:" nor "sips:". Returns 0 when size is too
// small for the result (the text is then unchanged).
int SIPEnsureURIScheme(char* text, size_t size);
// When the record's digest block holds a challenge: stores the digest-uri,
// a new cnonce and the next nonce count (with a qop) and the response for
// method; body is the request's body (for auth-int). Returns 1.
int SIPComputeDigestResponse(SIPRecord* record, const char* uri, const char* method, const char* body,
                             size_t bodyLength);
// Writes the credentials line (no line end) of the record's own block, or
// of its related record's block, into out; 0 (out untouched) when neither
// has a header name set or the line does not fit.
int SIPPrepareAuthenticateResponseHeader(SIPRecord* record, SIPTextOut* out);
