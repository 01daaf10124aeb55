// The message normaliser and the start-line tests.
#include <cstring>

#include "foundation/heap.h"
#include "sip/parser.h"
#include "sip/record.h"
#include "sip_text.h"

namespace {

struct NameEntry {
  const char* name;
  size_t length;
  int id;
};
const NameEntry kNames[] = {
    {"Accept", sizeof("Accept") - 1, kSIPHAccept}, {"Accept-Encoding", sizeof("Accept-Encoding") - 1, kSIPHAcceptEncoding},
    {"Accept-Language", sizeof("Accept-Language") - 1, kSIPHAcceptLanguage}, {"Alert-Info", sizeof("Alert-Info") - 1, kSIPHAlertInfo},
    {"Authentication-Info", sizeof("Authentication-Info") - 1, kSIPHAuthenticationInfo}, {"Call-Info", sizeof("Call-Info") - 1, kSIPHCallInfo},
    {"Contact", sizeof("Contact") - 1, kSIPHContact}, {"Content-Encoding", sizeof("Content-Encoding") - 1, kSIPHContentEncoding},
    {"Content-Language", sizeof("Content-Language") - 1, kSIPHContentLanguage}, {"Error-Info", sizeof("Error-Info") - 1, kSIPHErrorInfo},
    {"In-Reply-To", sizeof("In-Reply-To") - 1, kSIPHInReplyTo}, {"Proxy-Require", sizeof("Proxy-Require") - 1, kSIPHProxyRequire},
    {"Record-Route", sizeof("Record-Route") - 1, kSIPHRecordRoute}, {"Require", sizeof("Require") - 1, kSIPHRequire}, {"Route", sizeof("Route") - 1, kSIPHRoute},
    {"Supported", sizeof("Supported") - 1, kSIPHSupported}, {"Unsupported", sizeof("Unsupported") - 1, kSIPHUnsupported}, {"Via", sizeof("Via") - 1, kSIPHVia},
    {"Warning", sizeof("Warning") - 1, kSIPHWarning}, {"Allow", sizeof("Allow") - 1, kSIPHAllow}, {"From", sizeof("From") - 1, kSIPHFrom}, {"To", sizeof("To") - 1, kSIPHTo},
    {"Expires", sizeof("Expires") - 1, kSIPHExpires}, {"Reason", sizeof("Reason") - 1, kSIPHReason}, {"Max-Expires", sizeof("Max-Expires") - 1, kSIPHMaxExpires},
    {"Event", sizeof("Event") - 1, kSIPHEvent}, {"Subscription-State", sizeof("Subscription-State") - 1, kSIPHSubscriptionState}, {"CSeq", sizeof("CSeq") - 1, kSIPHCSeq},
    {"User-Agent", sizeof("User-Agent") - 1, kSIPHUserAgent}, {"Call-ID", sizeof("Call-ID") - 1, kSIPHCallID},
    {"WWW-Authenticate", sizeof("WWW-Authenticate") - 1, kSIPHWWWAuthenticate}, {"Proxy-Authenticate", sizeof("Proxy-Authenticate") - 1, kSIPHProxyAuthenticate},
    {"Refer-To", sizeof("Refer-To") - 1, kSIPHReferTo}, {"Referred-By", sizeof("Referred-By") - 1, kSIPHReferredBy}, {"Replaces", sizeof("Replaces") - 1, kSIPHReplaces},
    {"Content-Type", sizeof("Content-Type") - 1, kSIPHContentType}, {"Content-Length", sizeof("Content-Length") - 1, kSIPHContentLength},
    {"Max-Forwards", sizeof("Max-Forwards") - 1, kSIPHMaxForwards},
};

// Compact forms, indexed by letter.
const char* CompactFullName(char c) {
  switch (SIPLower(c)) {
    case 'a': return "Accept-Contact";
    case 'b': return "Referred-By";
    case 'c': return "Content-Type";
    case 'e': return "Content-Encoding";
    case 'f': return "From";
    case 'i': return "Call-ID";
    case 'k': return "Supported";
    case 'l': return "Content-Length";
    case 'm': return "Contact";
    case 'o': return "Event";
    case 'r': return "Refer-To";
    case 's': return "Subject";
    case 't': return "To";
    case 'u': return "Allow-Events";
    case 'v': return "Via";
    default: return nullptr;
  }
}

constexpr size_t kMaxHeaderName = 512;

void Reserve(char** buffer, size_t* capacity, size_t used, size_t extra) {
  if (used + extra + 1 <= *capacity) return;
  size_t want = (used + extra + 1) * 2;
  *buffer = static_cast<char*>(HeapReAllocZ(*buffer, want));
  *capacity = want;
}

// Physical line from pos: [start, end) without CR LF; returns the position
// after the line end (length when the text ends without one).
size_t NextLine(const char* text, size_t length, size_t pos, size_t* end) {
  const char* lf = static_cast<const char*>(memchr(text + pos, '\n', length - pos));
  size_t e = lf ? static_cast<size_t>(lf - text) : length;
  size_t next = lf ? e + 1 : length;
  if (e > pos && text[e - 1] == '\r') --e;
  *end = e;
  return next;
}

}  // namespace

const char* SIPHeaderName(int id) {
  for (const NameEntry& e : kNames)
    if (e.id == id) return e.name;
  return "";
}

int SIPHeaderIdOf(const char* name, size_t length) {
  if (length == 1) {
    const char* full = CompactFullName(name[0]);
    if (!full) return kSIPHOther;
    name = full;
    length = strlen(full);
  }
  // Entries grouped by length, made once.
  constexpr size_t kLongest = 20;
  struct ByLength {
    const NameEntry* entries[kLongest + 1][8];
    int count[kLongest + 1];
    ByLength() : entries{}, count{} {
      for (const NameEntry& e : kNames) entries[e.length][count[e.length]++] = &e;
    }
  };
  static const ByLength table;
  if (length > kLongest) return kSIPHOther;
  char first = SIPLower(name[0]);
  for (int i = 0; i < table.count[length]; ++i) {
    const NameEntry* e = table.entries[length][i];
    if (SIPLower(e->name[0]) == first && SIPSpanEqualsNoCase({name, length}, e->name)) return e->id;
  }
  return kSIPHOther;
}

void SIPNormalizedInit(SIPNormalizedMessage* message) { memset(message, 0, sizeof *message); }

void SIPNormalizedFree(SIPNormalizedMessage* message) {
  HeapFreeZ(message->text);
  HeapFreeZ(message->lines);
  HeapFreeZ(message->rewritten);
  memset(message, 0, sizeof *message);
}

namespace {

void AddLine(SIPNormalizedMessage* m, int id, SIPSpan name, SIPSpan value) {
  if (m->lineCount == m->lineCapacity) {
    size_t want = m->lineCapacity ? m->lineCapacity * 2 : 32;
    m->lines = static_cast<SIPHeaderLine*>(HeapReAllocZ(m->lines, want * sizeof(SIPHeaderLine)));
    m->lineCapacity = want;
  }
  SIPHeaderLine& line = m->lines[m->lineCount++];
  line.id = id;
  line.name = name.p;
  line.nameLength = static_cast<uint32_t>(name.n);
  line.value = value.p;
  line.valueLength = static_cast<uint32_t>(value.n);
}

// Appends text to the rewritten lines, reducing every run of blanks and
// every run of tabs outside double quotes to one character. The buffer is
// sized once for the whole message (a rewritten line is never longer than
// what it came from), so earlier lines never move.
void AppendCollapsed(char* out, size_t* used, bool* quoted, const char* p, size_t n) {
  size_t o = *used;
  size_t i = 0;
  if (!*quoted) {
    // Copied as a whole up to the first quote or doubled blank.
    char last = o ? out[o - 1] : 0;
    while (i < n && p[i] != '"' && !(SIPIsBlank(p[i]) && p[i] == last)) last = p[i++];
    memcpy(out + o, p, i);
    o += i;
  }
  for (; i < n; ++i) {
    char c = p[i];
    if (*quoted) {
      if (c == '\\' && i + 1 < n) {
        out[o++] = c;
        out[o++] = p[++i];
        continue;
      }
      if (c == '"') *quoted = false;
    } else if (c == '"') {
      *quoted = true;
    } else if (SIPIsBlank(c) && o > 0 && out[o - 1] == c) {
      continue;
    }
    out[o++] = c;
  }
  *used = o;
}

// True when a physical line needs no rewriting: no run of blanks or of tabs
// outside double quotes, and every quoted string ends on the line. *colon
// receives the position of the first colon outside quotes (n when none).
// A stretch of a line outside quotes: false when it holds a run of two
// equal blanks; notes the first colon (at offset within the line) unless one
// was noted before.
bool IsPlainStretch(const char* p, size_t n, size_t offset, size_t lineLength, size_t* colon) {
  if (*colon == lineLength) {
    const char* c = static_cast<const char*>(memchr(p, ':', n));
    if (c) *colon = offset + static_cast<size_t>(c - p);
  }
  static const char kBlanks[] = {' ', '\t'};
  for (const char blank : kBlanks) {
    for (const char* b = static_cast<const char*>(memchr(p, blank, n)); b;) {
      const size_t at = static_cast<size_t>(b - p);
      if (at + 1 >= n) break;
      if (b[1] == blank) return false;
      b = static_cast<const char*>(memchr(b + 1, blank, n - at - 1));
    }
  }
  return true;
}

// Whether a line can be read where it is: every quoted string ends and no
// run of two equal blanks stands outside quotes. Library scans cover the
// stretches outside quotes, which is most of every line.
bool IsPlainLine(const char* p, size_t n, size_t* colon) {
  *colon = n;
  size_t i = 0;
  while (i < n) {
    const char* quote = static_cast<const char*>(memchr(p + i, '"', n - i));
    const size_t end = quote ? static_cast<size_t>(quote - p) : n;
    if (!IsPlainStretch(p + i, end - i, i, n, colon)) return false;
    if (!quote) return true;
    size_t j = end + 1;
    for (; j < n; ++j) {
      if (p[j] == '\\') ++j;
      else if (p[j] == '"') break;
    }
    if (j >= n) return false;  // a quoted string that never ends
    i = j + 1;
  }
  return true;
}

// Position of the next comma that separates list values: outside double
// quotes and angle brackets.
size_t FindListComma(SIPSpan s) {
  if (!memchr(s.p, ',', s.n)) return s.n;
  bool quoted = false;
  int angle = 0;
  for (size_t i = 0; i < s.n; ++i) {
    char c = s.p[i];
    if (quoted) {
      if (c == '\\' && i + 1 < s.n) ++i;
      else if (c == '"') quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '<') {
      ++angle;
    } else if (c == '>') {
      if (angle) --angle;
    } else if (c == ',' && !angle) {
      return i;
    }
  }
  return s.n;
}

}  // namespace

bool SIPNormalizeMessageLines(const char* text, size_t length, SIPNormalizedMessage* m) {
  m->lineCount = 0;
  m->presence = 0;
  m->duplicates = 0;
  m->startLine = text;
  m->startLineLength = 0;
  m->body = text + length;
  m->bodyLength = 0;
  m->length = 0;
  if (length > kSIPMaxParsedMessage) return false;
  if (m->rewrittenCapacity < length + 16) {
    HeapFreeZ(m->rewritten);
    m->rewritten = nullptr;
    m->rewritten = static_cast<char*>(HeapAllocZ(length + 16));
    m->rewrittenCapacity = length + 16;
  }
  size_t rewrittenUsed = 0;

  // The start line is kept as it is.
  size_t end;
  size_t pos = NextLine(text, length, 0, &end);
  m->startLineLength = end;

  while (pos < length) {
    size_t lineEnd;
    size_t next = NextLine(text, length, pos, &lineEnd);
    if (lineEnd == pos) {  // the empty line: the body follows
      m->body = text + next;
      m->bodyLength = length - next;
      break;
    }
    // A logical line: this physical line and its continuations. A plain
    // line is read where it is; others are rewritten.
    SIPSpan line;
    size_t colon;
    bool folded = next < length && SIPIsBlank(text[next]);
    if (!folded && IsPlainLine(text + pos, lineEnd - pos, &colon)) {
      line = SIPTrim({text + pos, lineEnd - pos});
      colon = colon == lineEnd - pos ? line.n : colon - static_cast<size_t>(line.p - (text + pos));
      pos = next;
    } else {
      char* out = m->rewritten + rewrittenUsed;
      size_t used = 0;
      bool quoted = false;
      AppendCollapsed(out, &used, &quoted, text + pos, lineEnd - pos);
      pos = next;
      while (pos < length && SIPIsBlank(text[pos])) {
        size_t contEnd;
        size_t contNext = NextLine(text, length, pos, &contEnd);
        SIPSpan cont = SIPTrim({text + pos, contEnd - pos});
        if (cont.n) {
          // Joined with one blank, leading white space of the continuation
          // removed (the line end it replaces was at least as long).
          while (used && SIPIsBlank(out[used - 1])) --used;
          AppendCollapsed(out, &used, &quoted, " ", 1);
          AppendCollapsed(out, &used, &quoted, cont.p, cont.n);
        }
        pos = contNext;
      }
      if (quoted) return false;  // a quoted string that never ends
      rewrittenUsed += used;
      line = SIPTrim({out, used});
      colon = SIPFindOutsideQuotes(line, ':');
    }
    if (!line.n) continue;
    if (colon >= line.n) return false;
    SIPSpan name = SIPTrim({line.p, colon});
    if (!name.n || name.n > kMaxHeaderName) return false;
    SIPSpan value = SIPTrim({line.p + colon + 1, line.n - colon - 1});
    if (name.n == 1) {
      const char* full = CompactFullName(name.p[0]);
      if (full) name = {full, strlen(full)};
    }
    int id = SIPHeaderIdOf(name.p, name.n);
    if (id >= 0) {
      uint64_t bit = uint64_t{1} << id;
      if (m->presence & bit) m->duplicates |= bit;
      m->presence |= bit;
    }
    if (id >= 0 && id <= kSIPHWarning) {
      // Split at every comma outside quotes and angle brackets; empty
      // pieces are dropped.
      while (value.n) {
        size_t comma = FindListComma(value);
        SIPSpan piece = SIPTrim({value.p, comma});
        if (piece.n) AddLine(m, id, name, piece);
        if (comma >= value.n) break;
        value = {value.p + comma + 1, value.n - comma - 1};
      }
    } else {
      AddLine(m, id, name, value);
    }
  }
  return true;
}

bool SIPNormalizeMessage(const char* text, size_t length, SIPNormalizedMessage* m) {
  if (!SIPNormalizeMessageLines(text, length, m)) return false;
  size_t need = m->startLineLength + 4 + m->bodyLength;
  for (size_t i = 0; i < m->lineCount; ++i) need += m->lines[i].nameLength + m->lines[i].valueLength + 4;
  Reserve(&m->text, &m->capacity, 0, need);
  char* out = m->text;
  auto put = [&out](const char* p, size_t n) {
    memcpy(out, p, n);
    out += n;
  };
  put(m->startLine, m->startLineLength);
  put("\r\n", 2);
  for (size_t i = 0; i < m->lineCount; ++i) {
    const SIPHeaderLine& line = m->lines[i];
    put(line.name, line.nameLength);
    put(": ", 2);
    put(line.value, line.valueLength);
    put("\r\n", 2);
  }
  put("\r\n", 2);
  put(m->body, m->bodyLength);
  *out = 0;
  m->length = static_cast<size_t>(out - m->text);
  return true;
}

int SIPGetRequestMethod(const char* text, size_t length) {
  // A text without a line end is no message.
  if (!memchr(text, '\n', length)) return 0;
  size_t end;
  NextLine(text, length, 0, &end);
  size_t space = end;
  while (space > 0 && text[space - 1] != ' ') --space;
  if (!space || !SIPIsVersionToken({text + space, end - space})) return 0;
  static const struct {
    const char* name;
    int code;
  } kMethods[] = {{"REGISTER ", kSIPMethodRegister}, {"INVITE ", kSIPMethodInvite},
                  {"ACK ", kSIPMethodAck},           {"CANCEL ", kSIPMethodCancel},
                  {"BYE ", kSIPMethodBye},           {"NOTIFY ", kSIPMethodNotify},
                  {"OPTIONS ", kSIPMethodOptions},   {"INFO ", kSIPMethodInfo},
                  {"SUBSCRIBE ", kSIPMethodSubscribe}, {"REFER ", kSIPMethodRefer},
                  {"PRACK ", kSIPMethodPrack},       {"MESSAGE ", kSIPMethodMessage}};
  for (const auto& m : kMethods)
    if (SIPStartsWithNoCase(text, end, m.name)) return m.code;
  return 0;
}

int SIPGetStatusCode(const char* text, size_t length) {
  size_t end;
  NextLine(text, length, 0, &end);
  if (!memchr(text, '\n', length)) return -1;
  if (end < 11 || !SIPStartsWithNoCase(text, end, "SIP/2.0 ")) return -1;
  const char* d = text + 8;
  for (int i = 0; i < 3; ++i)
    if (d[i] < '0' || d[i] > '9') return -1;
  if (end > 11 && text[11] != ' ') return -1;
  int code = (d[0] - '0') * 100 + (d[1] - '0') * 10 + (d[2] - '0');
  return code >= 100 && code <= 699 ? code : -1;
}

const char* SIPScanMessageLine(const char* text, size_t length, const char* name, const char** value,
                               size_t* valueLength) {
  size_t nameLength = strlen(name);
  size_t pos = 0;
  while (pos < length) {
    size_t end;
    size_t next = NextLine(text, length, pos, &end);
    if (end - pos > nameLength && SIPStartsWithNoCase(text + pos, end - pos, name)) {
      size_t i = pos + nameLength;
      while (i < end && SIPIsBlank(text[i])) ++i;
      if (i < end && text[i] == ':') {
        SIPSpan v = SIPTrim({text + i + 1, end - i - 1});
        if (v.n) {
          *value = v.p;
          *valueLength = v.n;
          return text + pos;
        }
      }
    }
    if (end == pos) break;  // the header block ends at the empty line
    pos = next;
  }
  return nullptr;
}

bool SIPGetContentLength(const char* text, size_t length, long* value) {
  *value = 0;
  const char* v;
  size_t n;
  long number;
  if ((SIPScanMessageLine(text, length, "Content-Length", &v, &n) || SIPScanMessageLine(text, length, "l", &v, &n)) &&
      SIPSpanToInt({v, n}, &number)) {
    *value = number;
    return true;
  }
  return false;
}
