// Reads the session and first audio section of an SDP. Every scan is
// bounded by the text's terminator and the section's end; the input is
// never written.
#include <cstring>

#include "media/sdp.h"
#include "sdp_text.h"

namespace {

using sdptext::Range;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Copies [begin, end) into a field of width size, cut to fit.
void CopyField(char* field, size_t size, const char* begin, const char* end) {
  size_t n = static_cast<size_t>(end - begin);
  if (n > size - 1) n = size - 1;
  memcpy(field, begin, n);
  field[n] = 0;
}

// The next blank-separated word of [*at, end), moving *at past it.
Range Word(const char** at, const char* end) {
  const char* p = *at;
  while (p < end && IsBlank(*p)) ++p;
  const char* b = p;
  while (p < end && !IsBlank(*p)) ++p;
  *at = p;
  return {b, p};
}

// A decimal number kept modulo 2^32; false when the word has no digit first.
bool Decimal32(Range w, uint32_t* value) {
  if (w.begin == w.end || *w.begin < '0' || *w.begin > '9') return false;
  uint32_t v = 0;
  for (const char* p = w.begin; p < w.end && *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
  *value = v;
  return true;
}

bool SmallDecimal(Range w, int32_t* value) {
  if (w.begin == w.end || *w.begin < '0' || *w.begin > '9') return false;
  int64_t v = 0;
  for (const char* p = w.begin; p < w.end && *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + (*p - '0');
    if (v > 0x7FFFFFFF) return false;
  }
  *value = static_cast<int32_t>(v);
  return true;
}

// The value of the first line in [begin, end) whose key is key (any case,
// blanks allowed before "="), up to its line end without CR.
bool FindKeyLine(const char* begin, const char* end, char key, Range* value) {
  for (const char* line = begin; line < end;) {
    const char* lineEnd = sdptext::LineEnd(line, end);
    if (line < lineEnd && (*line | 0x20) == key) {
      const char* p = line + 1;
      while (p < lineEnd && IsBlank(*p)) ++p;
      if (p < lineEnd && *p == '=') {
        *value = {p + 1, sdptext::TrimCR(p + 1, lineEnd)};
        return true;
      }
    }
    line = lineEnd < end ? lineEnd + 1 : end;
  }
  return false;
}

void ReadConnection(Range v, SIPSessionDescription* t) {
  const char* at = v.begin;
  const Range net = Word(&at, v.end);
  const Range addr = Word(&at, v.end);
  while (at < v.end && IsBlank(*at)) ++at;
  const char* rest = at;
  const char* cut = rest;
  while (cut < v.end && *cut != '/') ++cut;
  while (cut > rest && IsBlank(cut[-1])) --cut;
  CopyField(t->nettype, sizeof t->nettype, net.begin, net.end);
  CopyField(t->addrtype, sizeof t->addrtype, addr.begin, addr.end);
  CopyField(t->address, sizeof t->address, rest, cut);
}

// The number of the attribute line "a=name:<n>" in the section, if any.
bool AttributeNumber(const char* begin, const char* end, const char* name, int32_t* value) {
  const size_t n = strlen(name);
  for (const char* line = begin; line < end;) {
    const char* lineEnd = sdptext::LineEnd(line, end);
    if (static_cast<size_t>(lineEnd - line) > n + 2 && line[0] == 'a' && line[1] == '=' &&
        memcmp(line + 2, name, n) == 0 && line[2 + n] == ':') {
      const char* at = line + 3 + n;
      return SmallDecimal(Word(&at, lineEnd), value);
    }
    line = lineEnd < end ? lineEnd + 1 : end;
  }
  return false;
}

// The direction attributes of the section; a later kind in the order
// sendonly, recvonly, inactive overrides an earlier one.
int32_t Direction(const char* begin, const char* end) {
  bool sendOnly = false, recvOnly = false, inactive = false;
  for (const char* line = begin; line < end;) {
    const char* lineEnd = sdptext::LineEnd(line, end);
    if (lineEnd - line >= 2 && line[0] == 'a' && line[1] == '=') {
      const Range name = {line + 2, sdptext::TrimCR(line + 2, lineEnd)};
      sendOnly |= sdptext::Equals(name, "sendonly");
      recvOnly |= sdptext::Equals(name, "recvonly");
      inactive |= sdptext::Equals(name, "inactive");
    }
    line = lineEnd < end ? lineEnd + 1 : end;
  }
  return inactive ? kSDPInactive : recvOnly ? kSDPRecvOnly : sendOnly ? kSDPSendOnly : kSDPSendRecv;
}

}  // namespace

int SIPParseSDP(SIPSessionDescription* t, const char* text) {
  if (!t || !text) return 0;
  const char* const textEnd = text + strlen(text);
  const char* m = sdptext::Find(text, textEnd, "\nm=audio");
  if (!m) return 0;
  const char* section = m + 1;
  const char* next = sdptext::Find(section, textEnd, "\nm=");
  const char* sectionEnd = next ? next + 1 : textEnd;

  Range v;
  if (FindKeyLine(text, sectionEnd, 'o', &v)) {
    const char* at = v.begin;
    Word(&at, v.end);  // the user name
    uint32_t number;
    if (Decimal32(Word(&at, v.end), &number)) t->sessionId = static_cast<int32_t>(number);
    if (Decimal32(Word(&at, v.end), &number)) t->sessionVersion = static_cast<int32_t>(number);
  }
  if (FindKeyLine(text, sectionEnd, 'c', &v)) ReadConnection(v, t);

  t->audio = 0;
  const char* mLineEnd = sdptext::LineEnd(section, sectionEnd);
  const char* at = section + 7;  // past "m=audio"
  const Range mEnd = {at, sdptext::TrimCR(at, mLineEnd)};
  at = mEnd.begin;
  int32_t port = 0;
  if (SmallDecimal(Word(&at, mEnd.end), &port)) t->port = port;
  const Range proto = Word(&at, mEnd.end);
  CopyField(t->proto, sizeof t->proto, proto.begin, proto.end);
  while (at < mEnd.end && IsBlank(*at)) ++at;
  CopyField(t->formats, sizeof t->formats, at, mEnd.end);
  t->audio = 1;

  // A c= line of the audio section itself overrides the session's.
  const char* lastC = nullptr;
  for (const char* p = section; (p = sdptext::Find(p, sectionEnd, "\nc=")) != nullptr; ++p) lastC = p;
  if (lastC) {
    const char* b = lastC + 3;
    ReadConnection({b, sdptext::TrimCR(b, sdptext::LineEnd(b, sectionEnd))}, t);
  }

  t->direction = Direction(section, sectionEnd);
  t->ptime = -1;
  t->maxptime = -1;
  AttributeNumber(section, sectionEnd, "ptime", &t->ptime);
  AttributeNumber(section, sectionEnd, "maxptime", &t->maxptime);
  CopyField(t->text, sizeof t->text, text, textEnd);
  return 1;
}
