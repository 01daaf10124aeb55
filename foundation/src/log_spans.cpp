// Enciphered spans of log entries and the growth they cause.
#include <cstdint>
#include <cstring>

#include "foundation/base64.h"
#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "log_internal.h"

namespace {

constexpr char kSpanOpen[] = "{{\\";
constexpr char kSpanClose[] = "/}}";
constexpr size_t kMarkLength = 3;
constexpr size_t kIndent = 7;

// The next span at or after from: its content runs from *content to *close.
// An opening mark without a closing one ends the search.
bool FindSpan(const char* from, const char** content, const char** close) {
  const char* open = std::strstr(from, kSpanOpen);
  if (!open) return false;
  *content = open + kMarkLength;
  *close = std::strstr(*content, kSpanClose);
  return *close != nullptr;
}

size_t PaddedLength(size_t n) { return n + kBlowfishBlockBytes - n % kBlowfishBlockBytes; }

size_t CountLineFeeds(const char* text, const char* end) {
  size_t count = 0;
  for (; text < end; ++text) count += *text == '\n';
  return count;
}

// The cipher text of one span's content (text, or text,key); null when the
// cipher fails. Every copy of the text and key is wiped before it is freed.
char* EncipherSpanContent(const char* content, size_t length) {
  char* copy = static_cast<char*>(MemDup(content, length));
  char* parts[2] = {nullptr, nullptr};
  const size_t count = StrSplitToParts(copy, ',', 2, parts);
  HeapFreeSecure(copy, length, true);

  char* key = static_cast<char*>(HeapAllocZ(kZEQLogSpanKeyMax + 1));
  if (count == 2) {
    StrCopyN(key, TrimAndUnquote(parts[1]), kZEQLogSpanKeyMax);
  } else {
    GetBuiltInCipherKey(key, false);
  }
  char* text = parts[0] ? TrimAndUnquote(parts[0]) : nullptr;
  char* result = text ? EncipherToBase64(text, key) : nullptr;

  HeapFreeSecure(key, kZEQLogSpanKeyMax + 1, true);
  for (char* part : parts) {
    if (part) HeapFreeSecure(part, std::strlen(part), true);
  }
  return result;
}

}  // namespace

char* EncipherToBase64(const char* text, const char* key) {
  if (!text || !key || !*key) return nullptr;
  const size_t length = std::strlen(text);
  const size_t padded = PaddedLength(length);
  auto* block = static_cast<uint8_t*>(HeapAllocZ(padded));
  std::memcpy(block, text, length);
  const bool ok = BlowfishEncryptBuffer(reinterpret_cast<const uint8_t*>(key), std::strlen(key), block,
                                        padded, block, kBlowfishCBC);
  char* out = nullptr;
  if (ok) {
    out = static_cast<char*>(HeapAllocZ(Base64::EncodedSize(padded) + 1));
    Base64::State state{out, 0};
    Base64::Encode(&state, block, padded, 0);
  }
  HeapFreeSecure(block, padded, true);
  return out;
}

size_t LogLineGrowth(const char* text) {
  size_t growth = kIndent * CountLineFeeds(text, text + std::strlen(text));
  const char* content;
  const char* close;
  while (FindSpan(text, &content, &close)) {
    // The span is enciphered after indentation, and its text part is at
    // most its whole content.
    const size_t indented = size_t(close - content) + kIndent * CountLineFeeds(content, close);
    const size_t cipher = Base64::EncodedSize(PaddedLength(indented));
    if (cipher > indented) growth += cipher - indented;
    text = close + kMarkLength;
  }
  return growth;
}

void IndentContinuationLines(char* text, const char* end) {
  const size_t length = std::strlen(text);
  const size_t feeds = CountLineFeeds(text, text + length);
  if (!feeds || text + length + kIndent * feeds >= end) return;
  // From the back, so that every character moves once.
  char* from = text + length;
  char* to = from + kIndent * feeds;
  *to = '\0';
  while (from > text) {
    const char c = *--from;
    if (c == '\n') {
      to -= kIndent;
      std::memset(to, ' ', kIndent);
    }
    *--to = c;
  }
}

void EncipherLogSpans(char* text, const char* end) {
  const char* content;
  const char* close;
  while (FindSpan(text, &content, &close)) {
    char* start = const_cast<char*>(content);
    const size_t oldLength = size_t(close - content);
    char* cipher = EncipherSpanContent(content, oldLength);
    // A span whose cipher fails, or that would not fit, keeps no text at all.
    size_t newLength = cipher ? std::strlen(cipher) : 0;
    const size_t tail = std::strlen(close) + 1;
    if (start + newLength + tail > end) newLength = 0;
    std::memmove(start + newLength, close, tail);
    if (newLength) std::memcpy(start, cipher, newLength);
    // No trace of the plain text may stay behind the shortened line.
    if (newLength < oldLength) std::memset(start + newLength + tail, 0, oldLength - newLength);
    HeapFreeZ(cipher);
    text = start + newLength + kMarkLength;
  }
}
