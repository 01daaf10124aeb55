// Reading SIP message text into a record: the normaliser (line ends, folded
// lines, compact names, comma-separated lists), the start-line tests the
// transport uses before parsing, and the parser that fills the record's
// message fields.
//
// Bounds: nothing is read past the given length (texts need no NUL); a text
// longer than kSIPMaxParsedMessage is refused; identifiers that matching
// relies on (method, SIP version, Call-ID, tags, Via branch, CSeq method)
// are refused when longer than their fields, other values are cut.
// Pure logic: standard headers and the foundation's heap only.
#pragma once
#include <cstddef>
#include <cstdint>

struct SIPRecord;

constexpr size_t kSIPMaxParsedMessage = 65535;

// Header ids: 0..34 carry a presence flag, the others are read or ignored.
enum SIPHeaderId : int {
  kSIPHAccept, kSIPHAcceptEncoding, kSIPHAcceptLanguage, kSIPHAlertInfo, kSIPHAuthenticationInfo,
  kSIPHCallInfo, kSIPHContact, kSIPHContentEncoding, kSIPHContentLanguage, kSIPHErrorInfo,
  kSIPHInReplyTo, kSIPHProxyRequire, kSIPHRecordRoute, kSIPHRequire, kSIPHRoute, kSIPHSupported,
  kSIPHUnsupported, kSIPHVia, kSIPHWarning,  // 0..18 are split at commas
  kSIPHAllow, kSIPHFrom, kSIPHTo, kSIPHExpires, kSIPHReason, kSIPHMaxExpires, kSIPHEvent,
  kSIPHSubscriptionState, kSIPHCSeq, kSIPHUserAgent, kSIPHCallID, kSIPHWWWAuthenticate,
  kSIPHProxyAuthenticate, kSIPHReferTo, kSIPHReferredBy, kSIPHReplaces,  // 19..34
  kSIPHContentType, kSIPHContentLength, kSIPHMaxForwards,
  kSIPHOther = -1,
};
constexpr int kSIPPresenceFlagCount = 35;

// The full name of a header id.
const char* SIPHeaderName(int id);
// The id of a header name (full or compact, any case); kSIPHOther when unknown.
int SIPHeaderIdOf(const char* name, size_t length);

// One header line of a normalised message: views into the message text,
// into the normaliser's own buffer (lines it had to rewrite) or into the
// table of full names.
struct SIPHeaderLine {
  int32_t id;
  uint32_t nameLength, valueLength;
  const char* name;
  const char* value;
};

// A normalised message: every line ends in CR LF, folded lines are joined,
// compact names replaced by full names, comma lists split into lines, the
// header block ends with an empty line and the body follows as given.
// The lines and the body view the text given to the normaliser, which must
// outlive them. Reusable: a later normalisation reuses the buffers.
struct SIPNormalizedMessage {
  const char* startLine;
  size_t startLineLength;
  SIPHeaderLine* lines;
  size_t lineCount, lineCapacity;
  const char* body;
  size_t bodyLength;
  uint64_t presence;    // bit i set when header id i appeared
  uint64_t duplicates;  // bit i set when header id i appeared more than once
  char* rewritten;      // lines that had to be rewritten, one after the other
  size_t rewrittenCapacity;
  char* text;           // the normalised text, made by SIPNormalizedText
  size_t length, capacity;
};
void SIPNormalizedInit(SIPNormalizedMessage* message);
void SIPNormalizedFree(SIPNormalizedMessage* message);
inline bool SIPHasHeader(const SIPNormalizedMessage* m, int id) { return id >= 0 && (m->presence >> id) & 1; }

// Normalises text into the line index; false when the text is too long, a
// header line has no colon (outside double quotes), a quoted string never
// ends or a header name exceeds 512 characters.
bool SIPNormalizeMessageLines(const char* text, size_t length, SIPNormalizedMessage* out);
// The same, and writes the normalised text into out->text (out->length).
bool SIPNormalizeMessage(const char* text, size_t length, SIPNormalizedMessage* out);

// Start-line tests (a line ends at LF, with or without CR).
int SIPGetRequestMethod(const char* text, size_t length);  // method code or 0
inline bool SIPIsRequestLine(const char* text, size_t length) { return SIPGetRequestMethod(text, length) != 0; }
int SIPGetStatusCode(const char* text, size_t length);  // 100..699, or -1
inline bool SIPIsStatusLine(const char* text, size_t length) { return SIPGetStatusCode(text, length) != -1; }
// True when a Content-Length (or "l") header with a number was found.
bool SIPGetContentLength(const char* text, size_t length, long* value);
// The value (trimmed) of the first header line named name (case ignored)
// in a text; returns the start of that line, or null.
const char* SIPScanMessageLine(const char* text, size_t length, const char* name, const char** value,
                               size_t* valueLength);

enum SIPParseResult : int {
  kSIPParsed = 1,
  kSIPParseNotSIP = -1,          // neither a request line nor a status line
  kSIPParseBadHeader = -2,       // a header line without a colon, or a name too long
  kSIPParseBadStartLine = -3,
  kSIPParseFieldTooLong = -4,    // an identifier longer than its field
  kSIPParseBadNumber = -5,       // CSeq or Content-Length not a valid number
  kSIPParseBodyShort = -6,       // the body is shorter than Content-Length
  kSIPParseMethodMismatch = -7,  // CSeq names another method than the request line
  kSIPParseAccountRefused = -8,  // the account hook found no owner
  kSIPParseTooLarge = -9,
  kSIPParseMissingHeader = -10,   // no From, To, Call-ID, CSeq or Via
  kSIPParseDuplicateHeader = -11, // two From, To, Call-ID, CSeq or Content-Length headers
};

// Called after the addressing headers were read (From, To, Via, Contact,
// CSeq, Call-ID) and before the others: the place where a received message
// is given the record of its account. False refuses the message.
struct SIPParseHooks {
  void* context;
  bool (*account)(void* context, SIPRecord* record);
};

// Parses text into the record's message fields. The body is body when given
// (even empty), else the text after the header block, cut to the
// Content-Length. work (optional) is a normaliser state reused between
// calls. The record keeps fields the message does not carry.
int SIPParseMessage(SIPRecord* record, const char* text, size_t length, const char* body, size_t bodyLength,
                    const SIPParseHooks* hooks = nullptr, SIPNormalizedMessage* work = nullptr);

// Sipfrag bodies (transfer NOTIFY): the content type is application/sipfrag
// or message/sipfrag and the length above 0.
bool SIPHasSipfragBody(const SIPRecord* record);
bool SIPGetSipfragStatusCode(const SIPRecord* record, int* code);
