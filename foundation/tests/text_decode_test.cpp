// Loaded text buffers decoded to UTF-16 by their byte-order marks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"

namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::wstring text;  // the wide text the buffer holds afterwards
  uint32_t code;
};

const DecodeCase kCases[] = {
    {"LittleEndianMarkIsRemoved", std::string("\xFF\xFE" "A\0", 4), L"A", 0x80000004u},
    {"PlainAsciiIsWidened", "A", L"A", 0},
    {"Utf8MarkIsDecoded", "\xEF\xBB\xBF" "caf\xC3\xA9", L"caf\u00E9", 0x80000002u},
    {"AnsiIsWidenedByTheCodePage", "caf\xE9", L"caf\u00E9", 0},
    {"Utf8MarkAlone", "\xEF\xBB\xBF", L"", 0x80000002u},
    {"LittleEndianMarkAlone", "\xFF\xFE", L"", 0x80000004u},
};

class DecodeTextBufferCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTextBufferCases, GivesWideTextAndItsEncoding) {
  const DecodeCase& c = GetParam();
  char* buffer = static_cast<char*>(HeapAllocZ(c.bytes.size() + 1));
  memcpy(buffer, c.bytes.data(), c.bytes.size());
  size_t size = c.bytes.size();
  EXPECT_EQ(c.code, DecodeTextBuffer(&buffer, &size));
  EXPECT_EQ(c.text, std::wstring(reinterpret_cast<const wchar_t*>(buffer)));
  EXPECT_EQ(c.text.size() * sizeof(wchar_t), size);
  HeapFreeZ(buffer);
}

INSTANTIATE_TEST_SUITE_P(Marks, DecodeTextBufferCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(DecodeTextBuffer, BigEndianTextIsLeftAsItIs) {
  const char bytes[] = "\xFE\xFF\0A";
  char* buffer = static_cast<char*>(HeapAllocZ(6));
  memcpy(buffer, bytes, 4);
  char* before = buffer;
  size_t size = 4;
  EXPECT_EQ(0u, DecodeTextBuffer(&buffer, &size));
  EXPECT_EQ(before, buffer);
  EXPECT_EQ(0, memcmp(bytes, buffer, 4));
  EXPECT_EQ(4u, size);
  HeapFreeZ(buffer);
}

TEST(DecodeTextBuffer, UnmarkedWideTextIsLeftAsItIs) {
  const wchar_t text[] = L"plain wide text of some length";
  char* buffer = static_cast<char*>(HeapAllocZ(sizeof text));
  memcpy(buffer, text, sizeof text);
  size_t size = sizeof text - sizeof(wchar_t);
  EXPECT_EQ(4u, DecodeTextBuffer(&buffer, &size));
  EXPECT_EQ(std::wstring(text), reinterpret_cast<const wchar_t*>(buffer));
  HeapFreeZ(buffer);
}

TEST(DecodeTextBuffer, UnterminatedAnsiBufferIsReadOnlyToItsSize) {
  char* buffer = static_cast<char*>(HeapAllocZ(8));
  memcpy(buffer, "abcdefgh", 8);
  size_t size = 3;
  EXPECT_EQ(0u, DecodeTextBuffer(&buffer, &size));
  EXPECT_EQ(std::wstring(L"abc"), reinterpret_cast<const wchar_t*>(buffer));
  HeapFreeZ(buffer);
}

}  // namespace
