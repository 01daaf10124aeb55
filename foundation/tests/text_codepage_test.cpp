#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/text.h"
#include "text_test_util.h"

namespace {

// "Configuração da ligação à rede" in each encoding.
const char kAnsi[] = "Configura\xE7\xE3o da liga\xE7\xE3o \xE0 rede";
const char kUtf8[] = "Configura\xC3\xA7\xC3\xA3o da liga\xC3\xA7\xC3\xA3o \xC3\xA0 rede";
const wchar_t kWide[] = L"Configura\x00E7\x00E3o da liga\x00E7\x00E3o \x00E0 rede";

// The Portuguese expectations hold for the Western European ANSI code page.
bool AnsiIsWestern() { return GetACP() == 1252; }

char* HeapBytes(const std::string& bytes) {
  // Two zero bytes beyond the text, as a loaded file has.
  char* block = static_cast<char*>(HeapAllocZ(bytes.size() + 2));
  memcpy(block, bytes.data(), bytes.size());
  return block;
}

std::string WideBytes(const wchar_t* wide) {
  return std::string(reinterpret_cast<const char*>(wide), wcslen(wide) * sizeof(wchar_t));
}

}  // namespace

TEST(CodePages, RoundTripsBetweenAnsiUtf8AndUtf16) {
  if (!AnsiIsWestern()) GTEST_SKIP() << "ANSI code page " << GetACP();
  HeapText<wchar_t> wide(AnsiToWideDup(kAnsi, 4));
  ASSERT_NE(nullptr, wide.get());
  EXPECT_STREQ(kWide, wide.get());
  for (size_t i = 0; i <= 4; ++i) EXPECT_EQ(0, wide.get()[wcslen(kWide) + i]) << "room " << i;

  size_t length = 0;
  HeapText<char> utf8(WideToUtf8DupLen(wide.get(), &length, 3));
  EXPECT_STREQ(kUtf8, utf8.get());
  EXPECT_EQ(strlen(kUtf8) + 3, length);

  HeapText<wchar_t> back(Utf8ToWideDup(utf8.get(), &length));
  EXPECT_STREQ(kWide, back.get());
  EXPECT_EQ(wcslen(kWide), length);

  HeapText<char> ansi(WideToAnsiDupLen(back.get(), &length, 0));
  EXPECT_STREQ(kAnsi, ansi.get());
  EXPECT_EQ(strlen(kAnsi), length);

  HeapText<char> viaWide(AnsiToUtf8Dup(kAnsi, &length, 2));
  EXPECT_STREQ(kUtf8, viaWide.get());
  EXPECT_EQ(strlen(kUtf8) + 2, length);
  HeapText<char> ansiAgain(Utf8ToAnsiDup(viaWide.get(), 1));
  EXPECT_STREQ(kAnsi, ansiAgain.get());
  HeapText<char> plain(WideToAnsiDup(kWide, 0));
  EXPECT_STREQ(kAnsi, plain.get());

  BSTR bstr = AnsiToBSTR(kAnsi);
  EXPECT_STREQ(kWide, bstr);
  EXPECT_EQ(wcslen(kWide), SysStringLen(bstr));
  SysFreeString(bstr);
  wchar_t* task = AnsiToWideCoTaskMem(kAnsi);
  EXPECT_STREQ(kWide, task);
  CoTaskMemFree(task);
}

TEST(CodePages, NullInputsAllocateNothing) {
  EXPECT_EQ(nullptr, AnsiToWideDup(nullptr, 4));
  EXPECT_EQ(nullptr, Utf8ToWideDup(nullptr, nullptr));
  EXPECT_EQ(nullptr, WideToAnsiDup(nullptr, 0));
  EXPECT_EQ(nullptr, WideToUtf8DupLen(nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, Utf8ToAnsiDup(nullptr, 0));
  EXPECT_EQ(nullptr, AnsiToUtf8Dup(nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, AnsiToBSTR(nullptr));
  EXPECT_EQ(nullptr, AnsiToWideCoTaskMem(nullptr));
  HeapText<wchar_t> empty(AnsiToWideDup("", 0));
  ASSERT_NE(nullptr, empty.get());
  EXPECT_STREQ(L"", empty.get());
}

TEST(CodePages, WideToAnsiBufStaysInsideTheBuffer) {
  char buffer[16];
  memset(buffer, '#', sizeof(buffer));
  EXPECT_FALSE(WideToAnsiBuf(L"abc", buffer, 0));
  EXPECT_EQ('#', buffer[0]);
  EXPECT_FALSE(WideToAnsiBuf(L"abc", buffer, 1));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ('#', buffer[1]);
  EXPECT_FALSE(WideToAnsiBuf(L"abcdef", buffer, 4));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ('#', buffer[4]);
  EXPECT_TRUE(WideToAnsiBuf(L"abc", buffer, 4));
  EXPECT_STREQ("abc", buffer);
  EXPECT_TRUE(WideToAnsiBuf(nullptr, buffer, sizeof(buffer)));
  EXPECT_STREQ("", buffer);
}

// Loaded files are normalised by their byte-order marks.
TEST(CodePages, TextBuffersByByteOrderMark) {
  if (!AnsiIsWestern()) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string utf8Marked = "\xEF\xBB\xBF" + std::string(kUtf8);
  const std::string utf16Marked = "\xFF\xFE" + WideBytes(kWide);
  const std::string utf16Plain = WideBytes(kWide);
  const std::string bigEndian("\xFE\xFF\x00\x41", 4);
  const struct {
    const char* name;
    std::string input;
    uint32_t toUtf8;
    std::string utf8;
    uint32_t toAnsi;
    std::string ansi;
  } cases[] = {
      {"UTF-8 mark", utf8Marked, 0x80000002, kUtf8, 0x80000002, kAnsi},
      {"UTF-16LE mark", utf16Marked, 0x80000004, kUtf8, 0x80000004, kAnsi},
      {"UTF-16LE without mark", utf16Plain, 4, kUtf8, 4, kAnsi},
      {"ANSI", kAnsi, 0, kUtf8, 0, kAnsi},
      {"UTF-16BE mark", bigEndian, 0, bigEndian, 0, bigEndian},
      {"UTF-8 mark only", "\xEF\xBB\xBF", 0x80000002, "", 0x80000002, ""},
      {"UTF-16LE mark only", "\xFF\xFE", 0x80000004, "", 0x80000004, ""},
      {"UTF-16LE odd length", std::string("\xFF\xFE" "A\0B", 5), 0x80000004, "A", 0x80000004, "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char* buffer = HeapBytes(c.input);
    size_t size = c.input.size();
    EXPECT_EQ(c.toUtf8, TextBufferToUtf8(&buffer, &size));
    EXPECT_EQ(c.utf8, std::string(buffer, size));
    EXPECT_EQ('\0', buffer[size]);
    HeapFreeZ(buffer);

    buffer = HeapBytes(c.input);
    size = c.input.size();
    EXPECT_EQ(c.toAnsi, TextBufferToAnsi(&buffer, &size));
    EXPECT_EQ(c.ansi, std::string(buffer, size));
    HeapFreeZ(buffer);
  }
}

TEST(CodePages, TextBuffersDecodedToUtf16) {
  if (!AnsiIsWestern()) GTEST_SKIP() << "ANSI code page " << GetACP();
  const std::string bigEndian("\xFE\xFF\x00\x41", 4);
  const struct {
    const char* name;
    std::string input;
    uint32_t code;
    std::string output;  // bytes of the buffer afterwards
  } cases[] = {
      {"UTF-8 mark", "\xEF\xBB\xBF" + std::string(kUtf8), 0x80000002, WideBytes(kWide)},
      {"UTF-16LE mark", "\xFF\xFE" + WideBytes(kWide), 0x80000004, WideBytes(kWide)},
      {"UTF-16LE without mark", WideBytes(kWide), 4, WideBytes(kWide)},
      {"ANSI", kAnsi, 0, WideBytes(kWide)},
      {"plain ASCII", "A", 0, WideBytes(L"A")},
      {"UTF-16BE mark", bigEndian, 0, bigEndian},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char* buffer = HeapBytes(c.input);
    size_t size = c.input.size();
    EXPECT_EQ(c.code, DecodeTextBuffer(&buffer, &size));
    EXPECT_EQ(c.output, std::string(buffer, size));
    EXPECT_EQ(0, buffer[size]);
    EXPECT_EQ(0, buffer[size + 1]);
    HeapFreeZ(buffer);
  }
}

TEST(CodePages, TextBuffersWithoutContent) {
  char* buffer = nullptr;
  size_t size = 0;
  EXPECT_EQ(0u, TextBufferToUtf8(&buffer, &size));
  EXPECT_EQ(0u, TextBufferToAnsi(nullptr, &size));
  buffer = HeapBytes("x");
  size = 0;
  EXPECT_EQ(0u, TextBufferToUtf8(&buffer, &size));
  EXPECT_EQ(0u, size);
  HeapFreeZ(buffer);
}
