// Enciphered spans of log entries: what reaches the file, that it deciphers
// back with the key, and that long entries full of line feeds and spans fit
// their buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "log_capture.h"

namespace {

using logtest::CapturedLog;

std::string BuiltInKey() {
  char key[kCipherKeyBufferSize] = {};
  GetBuiltInCipherKey(key, false);
  return key;
}

std::string FromBase64(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const size_t value = alphabet.find(c);
    if (value == std::string::npos) return "<not base64>";
    bits = bits << 6 | uint32_t(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += char((bits >> count) & 0xFF);
    }
  }
  return out;
}

// The plain text of a cipher text made by the log (its zero padding
// removed); "<...>" when it does not decipher.
std::string Decipher(const std::string& base64, const std::string& key) {
  std::string data = FromBase64(base64);
  if (data.empty() || data.size() % 8) return "<bad length " + std::to_string(data.size()) + ">";
  auto* bytes = reinterpret_cast<uint8_t*>(&data[0]);
  if (!BlowfishDecryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), bytes, data.size(), bytes,
                             kBlowfishCBC)) {
    return "<no decipher>";
  }
  const size_t end = data.find('\0');
  if (end == std::string::npos || data.find_first_not_of('\0', end) != std::string::npos) return "<bad padding>";
  return data.substr(0, end);
}

// The cipher texts between the span marks of a text, in order.
std::vector<std::string> SpanContents(const std::string& text) {
  std::vector<std::string> spans;
  for (size_t at = 0; (at = text.find("{{\\", at)) != std::string::npos;) {
    const size_t close = text.find("/}}", at + 3);
    if (close == std::string::npos) break;
    spans.push_back(text.substr(at + 3, close - at - 3));
    at = close + 3;
  }
  return spans;
}

std::string WrittenText(CapturedLog& capture, const char* text) {
  capture.Clear();
  ZEQLogWrite(text, capture.log(), 0, nullptr);
  const auto lines = capture.Lines();
  return lines.size() == 1 ? logtest::AfterPrefix(lines[0]) : "<" + std::to_string(lines.size()) + " lines>";
}

TEST(LogSpans, SpansAreEncipheredWithTheirKeyOrTheBuiltInOne) {
  WipeApplicationKey();
  CapturedLog capture;
  struct Case {
    const char* text;
    std::string before, after;  // around the one span
    std::string plain, key;
    size_t cipherLength;
  };
  const std::string builtIn = BuiltInKey();
  const std::vector<Case> cases = {
      {"user {{\\secret/}} done", "user ", " done", "secret", builtIn, 12},
      {"{{\\1234567/}}", "", "", "1234567", builtIn, 12},
      {"{{\\12345678/}}", "", "", "12345678", builtIn, 24},
      {"{{\\/}}", "", "", "", builtIn, 12},
      {"pw={{\\ hunter2 , my key /}}", "pw=", "", "hunter2", "my key", 12},
      {"{{\\\"a, b\",\"k,2\"/}}", "", "", "a, b", "k,2", 12},
      {"{{\\'quoted'/}}", "", "", "quoted", builtIn, 12},
      {"{{\\two\nlines/}}", "", "", "two\n       lines", builtIn, 32},
  };
  for (const auto& c : cases) {
    const std::string text = WrittenText(capture, c.text);
    const auto spans = SpanContents(text);
    ASSERT_EQ(1u, spans.size()) << c.text << " -> " << text;
    EXPECT_EQ(c.cipherLength, spans[0].size()) << c.text;
    EXPECT_EQ(c.before + "{{\\" + spans[0] + "/}}" + c.after, text) << c.text;
    EXPECT_EQ(c.plain, Decipher(spans[0], c.key)) << c.text;
  }
}

TEST(LogSpans, TheApplicationKeyStandsInForTheBuiltInKey) {
  CapturedLog capture;
  SetApplicationKey("application key");
  const auto spans = SpanContents(WrittenText(capture, "{{\\payload/}}"));
  WipeApplicationKey();
  ASSERT_EQ(1u, spans.size());
  EXPECT_EQ("payload", Decipher(spans[0], "application key"));
}

TEST(LogSpans, UnclosedOrKeylessSpansLeakNothing) {
  CapturedLog capture;
  // An opening mark without a closing one ends the search.
  const std::string unclosed = WrittenText(capture, "{{\\a/}} then {{\\open only");
  const auto spans = SpanContents(unclosed);
  ASSERT_EQ(1u, spans.size());
  EXPECT_EQ("{{\\" + spans[0] + "/}} then {{\\open only", unclosed);
  // A span whose key is empty cannot be enciphered: its text is dropped.
  EXPECT_EQ("x {{\\/}} y", WrittenText(capture, "x {{\\hidden,/}} y"));
}

TEST(LogSpans, ManySpansAndLineFeedsFitTheLineBuffer) {
  CapturedLog capture;
  // Each piece grows: 7 blanks per line feed, and short span texts become
  // 12 or 24 Base64 characters.
  std::string argument;
  std::vector<std::string> plains;
  for (int i = 0; i < 400; ++i) {
    const std::string plain = std::to_string(i % 10) + (i % 3 ? "" : "\n");
    plains.push_back(plain);
    argument += "\n\n{{\\" + plain + "/}}";
  }
  ZEQLogPrintfTo(capture.log(), "%s", argument.c_str());
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));

  const std::string contents = capture.Contents();
  const auto spans = SpanContents(contents);
  ASSERT_EQ(plains.size(), spans.size());
  const std::string key = BuiltInKey();
  for (size_t i = 0; i < spans.size(); ++i) {
    // The indent after a line feed at the end of a span's text is trimmed
    // with its blanks.
    ASSERT_EQ(plains[i], Decipher(spans[i], key)) << i;
  }
  // 800 line feeds outside the spans (those inside are enciphered) and the
  // line's end: one entry, every continuation indented.
  size_t feeds = 0;
  for (size_t at = 0; (at = contents.find('\n', at)) != std::string::npos; ++at) {
    if (at + 1 < contents.size()) {
      EXPECT_EQ("       ", contents.substr(at + 1, 7)) << at;
    }
    ++feeds;
  }
  EXPECT_EQ(801u, feeds);
}

TEST(LogSpans, EncipherToBase64PadsToWholeBlocks) {
  const std::string key = "k";
  for (size_t n = 0; n <= 17; ++n) {
    const std::string text(n, 'p');
    char* cipher = EncipherToBase64(text.c_str(), key.c_str());
    ASSERT_NE(nullptr, cipher);
    const size_t blocks = n / 8 + 1;
    EXPECT_EQ((blocks * 8 + 2) / 3 * 4, std::strlen(cipher)) << n;
    EXPECT_EQ(text, Decipher(cipher, key)) << n;
    HeapFreeZ(cipher);
  }
  EXPECT_EQ(nullptr, EncipherToBase64("text", ""));
  EXPECT_EQ(nullptr, EncipherToBase64(nullptr, "key"));
  EXPECT_EQ(nullptr, EncipherToBase64("text", nullptr));
}

}  // namespace
