// SIP addresses in parsed form: the URI record, the name-address blocks of
// To, From and Contact, route entries and the route set, with their parser,
// writers and the escaping of user parts.
//
// Every field is a fixed-size text; a received value that is longer is cut
// to its field (the parsers report it, see SIPParseNameAddrText), never
// written past it. The writers append to a bounded SIPTextOut.
// Pure logic: standard headers only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/text_out.h"

struct SIPURI {
  char displayName[129];  // unquoted
  char scheme[17];        // without the colon
  char user[129];         // as written (escaped or not)
  char host[129];         // a URI is present when its host is not empty
  char port[17];          // as written; empty when none
  char maddr[129];
  char transport[17];
  char userParam[129];
  char method[516];
  int32_t ttl;            // 0 when absent
  int32_t looseRoute;     // 1 when "lr" is present
  char otherParams[513];  // parameters left over, blanks outside quotes removed
  char headers[515];      // the text after "?"
};

struct SIPNameAddr {
  SIPURI uri;
  char tag[132];
  double q;           // 0 when absent
  int32_t expires;    // 0 when absent
  char params[516];   // header parameters left after tag, q and expires
};

struct SIPRouteEntry {
  int32_t used;
  SIPURI uri;
  char value[516];  // the header value as received, blanks outside quotes removed
};

constexpr int kSIPRouteSetSize = 10;
struct SIPRouteSet {
  SIPRouteEntry entries[kSIPRouteSetSize];
};

// Flags of SIPFormatURI.
constexpr unsigned kSIPURINoScheme = 0x1;
constexpr unsigned kSIPURIDefaultScheme = 0x8;  // "sip:" when the scheme is empty
constexpr unsigned kSIPURIHostOnly = 0x20;      // stop after the host

inline bool SIPURIIsPresent(const SIPURI& uri) { return uri.host[0] != 0; }

// Empties every field (texts become "", numbers 0) without touching the
// bytes after the terminators.
inline void SIPURIClear(SIPURI* uri) {
  uri->displayName[0] = uri->scheme[0] = uri->user[0] = uri->host[0] = uri->port[0] = 0;
  uri->maddr[0] = uri->transport[0] = uri->userParam[0] = uri->method[0] = 0;
  uri->ttl = uri->looseRoute = 0;
  uri->otherParams[0] = uri->headers[0] = 0;
}
inline void SIPNameAddrClear(SIPNameAddr* block) {
  SIPURIClear(&block->uri);
  block->tag[0] = 0;
  block->q = 0;
  block->expires = 0;
  block->params[0] = 0;
}

// Fills a URI from a name-address (display name and URI in angle brackets)
// or from a bare address-spec. Returns 1; *fitted (optional) is false when
// some part was longer than its field and was cut.
int SIPParseNameAddrText(SIPURI* uri, const char* text, size_t length, bool* fitted = nullptr);
inline int SIPParseNameAddrText(SIPURI* uri, const char* text);
// The URI fields (all but the display name) from an address-spec.
int SIPParseAddrSpec(SIPURI* uri, const char* text, size_t length, bool* fitted = nullptr);

// Splits a header value into its name-address part (up to and with the
// first ">" when the value holds "<" outside quotes, else up to the first
// ";") and the header parameters that follow (trimmed, leading ";" removed).
// Both are views into value.
void SIPSplitNameAddr(const char* value, size_t length, const char** nameAddr, size_t* nameAddrLength,
                      const char** params, size_t* paramsLength);

// Writes a URI; returns 1 (0 when the output overflowed).
int SIPFormatURI(const SIPURI* uri, SIPTextOut* out, unsigned flags);
// Appends "name: " and the name-address of the entry as one header line
// (CRLF in front when the output is not empty).
int SIPWriteNameAddrHeader(const SIPRouteEntry* entry, const char* name, SIPTextOut* out);
// Appends the Route or Record-Route lines of a route set.
int SIPWriteRouteHeaders(const SIPRouteSet* routes, const char* name, SIPTextOut* out, bool skipFirst,
                         const SIPURI* extra);
int SIPRouteSetCount(const SIPRouteSet* routes);

// Escapes the reserved characters ; / ? : @ & = + $ , of text into out
// (":" kept when keepColon); "%" is never escaped. Returns 0 when out is too
// small (out then holds nothing).
int SIPEscapeReservedChars(const char* text, bool keepColon, char* out, size_t size);
// The user part made safe for a SIP URI: unchanged when its first "%" is
// followed by two hexadecimal digits (already escaped), else escaped with
// the colon kept. Returns 0 when out is too small.
int SIPEscapeURIUser(const char* user, char* out, size_t size);
// Room an escaped user of a text of n characters can need.
constexpr size_t SIPEscapedSize(size_t n) { return n * 3 + 1; }

inline int SIPParseNameAddrText(SIPURI* uri, const char* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return SIPParseNameAddrText(uri, text ? text : "", n);
}
