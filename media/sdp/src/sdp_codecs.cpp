// The codec list, the choice of the call codec from the peer's SDP, DTMF
// negotiation and the session-change test.
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "media/sdp.h"
#include "sdp_text.h"

namespace {

using sdptext::Range;

bool NameIs(const webrtc::CodecInst& c, const char* name) {
  return strncasecmp(c.plname, name, sizeof c.plname) == 0 && strlen(name) < sizeof c.plname;
}

// The encoding name the text maps payload type pt to: the first
// "a=rtpmap:<pt> " line (the number whole, so 1 never finds 101), read up
// to the "/". False without such a line.
bool RtpmapName(const char* text, int pt, char* name, size_t size) {
  char key[24];
  snprintf(key, sizeof key, "a=rtpmap:%d ", pt);
  const char* end = text + strnlen(text, sizeof(SIPSessionDescription::text));
  for (const char* p = text; (p = sdptext::Find(p, end, key)) != nullptr; ++p) {
    if (p != text && p[-1] != '\n') continue;
    const char* b = p + strlen(key);
    while (b < end && *b == ' ') ++b;
    const char* e = b;
    while (e < end && *e != '/' && *e != '\r' && *e != '\n' && *e != ' ') ++e;
    size_t n = static_cast<size_t>(e - b);
    if (n >= size) n = size - 1;
    memcpy(name, b, n);
    name[n] = 0;
    return n > 0;
  }
  return false;
}

// The payload type of a token of the formats list; false when it is no
// number a payload type can be.
bool PayloadToken(Range t, int* pt) {
  if (t.begin == t.end || t.end - t.begin > 3) return false;
  int v = 0;
  for (const char* p = t.begin; p < t.end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
  }
  if (v > 127) return false;
  *pt = v;
  return true;
}

// The list entry a candidate payload type of the peer's SDP matches, or -1.
int MatchEntry(const SDPCodecList& list, const SIPSessionDescription* sdp, int pt) {
  char name[33];
  const bool named = RtpmapName(sdp->text, pt, name, sizeof name);
  for (int i = 0; i < list.count; ++i) {
    const webrtc::CodecInst& c = list.entries[i];
    if (pt < 96 ? c.pltype == pt : named && NameIs(c, name)) return i;
  }
  return -1;
}

const SIPSessionDescription* Selected(int selector, const SDPCallMedia* call) {
  return selector == 1 ? &call->answerSDP : selector == 2 ? &call->offerSDP : nullptr;
}

void Trim(Range* r) {
  while (r->begin < r->end && (*r->begin == ' ' || *r->begin == '\t')) ++r->begin;
  while (r->end > r->begin && (r->end[-1] == ' ' || r->end[-1] == '\t')) --r->end;
}

// A decimal field of a codec description ("name,number,rate"), optionally
// signed; def when absent.
int SpecNumber(Range r, int def) {
  Trim(&r);
  if (r.begin == r.end) return def;
  bool negative = false;
  const char* p = r.begin;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  if (p == r.end || *p < '0' || *p > '9') return def;
  long v = 0;
  for (; p < r.end && *p >= '0' && *p <= '9'; ++p)
    if ((v = v * 10 + (*p - '0')) > 1000000) return def;
  return static_cast<int>(negative ? -v : v);
}

}  // namespace

int SIPSelectCodecFromSDP(const SIPSessionDescription* sdp, int forcedPayloadType, uint32_t flags,
                          SDPCallMedia* call) {
  if (!sdp->text[0]) return (flags & 1) ? 1 : 0;
  SIPNegotiateDTMF(sdp, call);
  const char* at = sdp->formats;
  const char* const end = sdp->formats + strnlen(sdp->formats, sizeof sdp->formats);
  ZEQLockScope hold(call->codecs.lock);
  while (at < end) {
    while (at < end && *at == ' ') ++at;
    const char* b = at;
    while (at < end && *at != ' ') ++at;
    if (b == at) break;
    int pt;
    if (forcedPayloadType != -1) {
      pt = forcedPayloadType;
    } else if (!PayloadToken({b, at}, &pt)) {
      continue;
    }
    const int i = MatchEntry(call->codecs, sdp, pt);
    if (i < 0) continue;
    webrtc::CodecInst& entry = call->codecs.entries[i];
    if (NameIs(entry, "opus")) entry.pltype = pt;
    // G.729 frames are 10 ms: the peer's packet time sets the packet size.
    if (NameIs(entry, "G729") && sdp->ptime >= 10 && sdp->ptime <= 200) entry.pacsize = sdp->ptime * 8;
    call->callCodec = entry;
    call->callCodecSet = 1;
    return 1;
  }
  return 0;
}

int SIPNegotiateDTMF(const SIPSessionDescription* sdp, SDPCallMedia* call) {
  call->callDTMFPayload = call->accountDTMFPayload;
  call->callDTMFType = call->accountDTMFType;
  const char* const text = sdp->text;
  const char* const end = text + strnlen(text, sizeof sdp->text);
  const char* hit = sdptext::Find(text, end, "telephone-event");
  if (hit) {
    const char* line = hit;
    while (line > text && line[-1] != '\n') --line;
    char lower[128];
    size_t n = static_cast<size_t>(sdptext::LineEnd(line, end) - line);
    if (n >= sizeof lower) n = sizeof lower - 1;
    for (size_t i = 0; i < n; ++i) lower[i] = static_cast<char>(tolower(static_cast<unsigned char>(line[i])));
    lower[n] = 0;
    int pt;
    if (sscanf(lower, "a=rtpmap:%d telephone-event/8000", &pt) == 1 && pt >= 0 && pt <= 127) call->callDTMFPayload = pt;
    ZEQLockScope hold(call->codecs.lock);
    for (int i = 0; i < call->codecs.count; ++i) {
      webrtc::CodecInst& c = call->codecs.entries[i];
      if (NameIs(c, "telephone-event") && c.plfreq == 8000) c.pltype = call->callDTMFPayload;
    }
  }
  if (call->accountDTMFType == 0) call->callDTMFType = hit ? kSDPDTMFTelephoneEvent : kSDPDTMFInBand;
  return 1;
}

bool SIPFindCodecByName(SDPCodecList* list, const char* name, webrtc::CodecInst* found) {
  ZEQLockScope hold(list->lock);
  for (int i = 0; i < list->count; ++i) {
    if (NameIs(list->entries[i], name) && list->entries[i].plfreq == 8000) {
      *found = list->entries[i];
      return true;
    }
  }
  return false;
}

bool SIPGetSessionDescription(int selector, SIPSessionDescription* out, const SDPCallMedia* call) {
  const SIPSessionDescription* s = Selected(selector, call);
  if (!s) return false;
  *out = *s;
  return true;
}

int SIPSessionHasChanged(int selector, SDPCallMedia* call) {
  const SIPSessionDescription* proposed = Selected(selector, call);
  if (!proposed) return 0;
  SIPNegotiateDTMF(proposed, call);
  if (strcasecmp(proposed->address, "0.0.0.0") == 0) return 0;
  char line[400];
  if (strcasecmp(proposed->address, call->activeSDP.address) != 0) {
    if (call->log) {
      snprintf(line, sizeof line, "SIPSessionHasChanged: <c.Address> = Current: \"%s\", Proposed: \"%s\"",
               call->activeSDP.address, proposed->address);
      call->log(line);
    }
    return 1;
  }
  if (proposed->port != call->activeSDP.port) {
    if (call->log) {
      snprintf(line, sizeof line, "SIPSessionHasChanged: <m.nPort> = Current: %d, Proposed: %d", call->activeSDP.port,
               proposed->port);
      call->log(line);
    }
    return 1;
  }
  return 0;
}

bool SDPAddCodecFromSpec(SDPCodecList* list, const char* spec, const webrtc::CodecInst* database, int count) {
  if (!spec) return false;
  const char* const end = spec + strlen(spec);
  const char* comma1 = static_cast<const char*>(memchr(spec, ',', static_cast<size_t>(end - spec)));
  Range name = {spec, comma1 ? comma1 : end};
  Trim(&name);
  int payloadType = -1, clockRate = -1;
  if (comma1) {
    const char* b = comma1 + 1;
    const char* comma2 = static_cast<const char*>(memchr(b, ',', static_cast<size_t>(end - b)));
    payloadType = SpecNumber({b, comma2 ? comma2 : end}, -1);
    if (comma2) clockRate = SpecNumber({comma2 + 1, end}, -1);
  }
  const size_t nameLength = static_cast<size_t>(name.end - name.begin);
  if (!nameLength || nameLength >= sizeof(webrtc::CodecInst::plname)) return false;
  char wanted[sizeof(webrtc::CodecInst::plname)];
  memcpy(wanted, name.begin, nameLength);
  wanted[nameLength] = 0;
  for (int i = 0; i < count; ++i) {
    webrtc::CodecInst entry = database[i];
    if (!NameIs(entry, wanted) || entry.plfreq != clockRate) continue;
    if (payloadType >= 0 && payloadType <= 127) entry.pltype = payloadType;
    if (NameIs(entry, "telephone-event")) entry.pltype = 101;
    if (NameIs(entry, "iLBC")) {
      entry.rate = entry.pltype == 97 ? 15200 : 13300;
      entry.pacsize = entry.pltype == 97 ? 160 : 240;
    }
    ZEQLockScope hold(list->lock);
    if (list->count >= kSDPMaxCodecs) return false;
    list->entries[list->count++] = entry;
    return true;
  }
  return false;
}

void SDPClearCodecs(SDPCodecList* list) {
  ZEQLockScope hold(list->lock);
  list->count = 0;
}

const char* SDPConnectionAddress(uint32_t natType, const char* mappedAddress, const char* localMediaIP) {
  return natType && mappedAddress && *mappedAddress ? mappedAddress : localMediaIP;
}
