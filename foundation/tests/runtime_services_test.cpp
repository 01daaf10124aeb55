#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/runtime_services.h"

namespace {

char* Format(size_t extra, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = HeapFormatString(extra, format, args);
  va_end(args);
  return text;
}

TEST(HeapFormatString, FormatsIntoABlockWithTheExtraBytesZeroed) {
  char* text = Format(10, "%s:%08X", "abc", 0x1234u);
  ASSERT_STREQ("abc:00001234", text);
  size_t n = strlen(text);
  // n + terminator + extra + 3, and the heap rule's two spare bytes.
  EXPECT_EQ(n + 1 + 10 + 3 + 2, HeapBlockSize(text));
  for (size_t i = n; i < n + 1 + 10 + 3 + 2; ++i) ASSERT_EQ(0, text[i]) << i;
  HeapFreeZ(text);
}

TEST(HeapFormatString, LongAndEmptyResults) {
  std::string big(5000, 'x');
  char* text = Format(0, "%s!", big.c_str());
  EXPECT_EQ(big + "!", text);
  HeapFreeZ(text);
  text = Format(0, "%s", "");
  EXPECT_STREQ("", text);
  EXPECT_EQ(0u + 1 + 3 + 2, HeapBlockSize(text));
  HeapFreeZ(text);
}

struct RemoveCase {
  const char* text;
  char ch;
  bool pairs;
  const char* expected;
};

TEST(StrRemoveUnquotedChar, Table) {
  const RemoveCase cases[] = {
      {"a;\"b;c\";d", ';', false, "a\"b;c\"d"},
      {"a;;b;c;;;d", ';', true, "a;b;c;d"},
      {"a;;b;c;;;d", ';', false, "abcd"},
      {"\"x;;y\";;z", ';', true, "\"x;;y\";z"},
      // An escaped quote opens nothing: the semicolon after it is removed.
      {"a\\\";b;\"c;\"", ';', false, "a\\\"b\"c;\""},
      {"a  b   \"c  d\"  e", ' ', true, "a b \"c  d\" e"},
      // An unterminated quote protects the rest of the text.
      {"a;\"b;c", ';', false, "a\"b;c"},
      {";;;", ';', true, ";"},
      {";;;", ';', false, ""},
      {"", ';', false, ""},
      {"abc", ';', true, "abc"},
  };
  for (const auto& c : cases) {
    char buffer[64];
    strcpy(buffer, c.text);
    EXPECT_EQ(0, StrRemoveUnquotedChar(buffer, c.ch, c.pairs));
    EXPECT_STREQ(c.expected, buffer) << "text " << c.text << " pairs " << c.pairs;
  }
  EXPECT_EQ(0, StrRemoveUnquotedChar(nullptr, ';', false));
}

struct ExtensionCase {
  const char* path;
  BOOL found;
  const char* expected;  // buffer content afterwards
};

TEST(GetFileExtension, Table) {
  const ExtensionCase cases[] = {
      {"loader.js", TRUE, "js"},
      {"archive.tar.gz", TRUE, "gz"},
      {"C:\\app\\Loader.ZEQ", TRUE, "ZEQ"},
      {"name.", TRUE, ""},
      {".hidden", TRUE, "hidden"},
      {"noextension", FALSE, "untouched"},
      {"", FALSE, "untouched"},
      // A dot in a folder name is no extension.
      {"C:\\app.v2\\loader", FALSE, "untouched"},
      {"zeq://pkg.d/loader", FALSE, "untouched"},
  };
  for (const auto& c : cases) {
    char buffer[kZEQExtensionBufferSize];
    strcpy(buffer, "untouched");
    EXPECT_EQ(c.found, GetFileExtension(c.path, buffer)) << c.path;
    EXPECT_STREQ(c.expected, buffer) << c.path;
    EXPECT_EQ(c.found, GetFileExtension(c.path, nullptr)) << c.path;
  }
  EXPECT_FALSE(GetFileExtension(nullptr, nullptr));
}

TEST(GetFileExtension, LongExtensionIsCutAt260Characters) {
  std::string path = "file." + std::string(300, 'e');
  char buffer[kZEQExtensionBufferSize + 8];
  memset(buffer, 'X', sizeof(buffer));
  EXPECT_TRUE(GetFileExtension(path.c_str(), buffer));
  EXPECT_EQ(std::string(260, 'e'), buffer);
  EXPECT_EQ('X', buffer[kZEQExtensionBufferSize]);
}

TEST(TestBit, Table) {
  struct {
    uint32_t value;
    unsigned bit;
    BOOL expected;
  } cases[] = {
      {1, 0, TRUE},        {1, 1, FALSE},       {0x8000, 15, TRUE},
      {0x7FFF, 15, FALSE}, {0x80000000u, 31, TRUE},
      // GetAsyncKeyState's SHORT result, sign-extended: bit 15 is the key-down bit.
      {static_cast<uint32_t>(static_cast<SHORT>(-32768)), 15, TRUE},
      {0xFFFFFFFFu, 32, FALSE}, {0xFFFFFFFFu, 200, FALSE}, {0, 5, FALSE},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, TestBit(c.value, c.bit)) << c.value << " bit " << c.bit;
}

TEST(CreateGuidText, GivesDistinctLowerCaseGuidsWithoutBraces) {
  char a[kZEQGuidTextSize + 4];
  char b[kZEQGuidTextSize + 4];
  memset(a, 'X', sizeof(a));
  ASSERT_TRUE(CreateGuidText(a));
  ASSERT_TRUE(CreateGuidText(b));
  ASSERT_EQ(36u, strlen(a));
  EXPECT_EQ('X', a[kZEQGuidTextSize]);
  for (int i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ('-', a[i]) << i;
    } else {
      EXPECT_TRUE(strchr("0123456789abcdef", a[i])) << a;
    }
  }
  EXPECT_STRNE(a, b);
  EXPECT_FALSE(CreateGuidText(nullptr));
}

TEST(ZEQThunkData, CreatesATaggedBlockWithAnUnsignalledEvent) {
  for (BOOL manual : {TRUE, FALSE}) {
    ZEQThunkData* block = ZEQThunkData::Create(manual, nullptr);
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(IsTaggedRecord(block, sizeof(*block), kZEQThunkDataTag));
    for (uintptr_t word : block->bookkeeping) EXPECT_EQ(0u, word);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(block->event, 0));
    SetEvent(block->event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(block->event, 0));
    // A manual-reset event stays signalled, an automatic one was reset by the wait.
    EXPECT_EQ(manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(block->event, 0));
    CloseHandle(block->event);
    HeapFreeZ(block);
  }
}

TEST(ZEQThunkData, NamedEventIsSharedAndABadNameFails) {
  char name[64];
  wsprintfA(name, "ZEQThunkDataTest.%08X", GetCurrentProcessId());
  ZEQThunkData* a = ZEQThunkData::Create(TRUE, name);
  ZEQThunkData* b = ZEQThunkData::Create(TRUE, name);
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  SetEvent(a->event);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(b->event, 0));
  for (auto* block : {a, b}) {
    CloseHandle(block->event);
    HeapFreeZ(block);
  }
  // A backslash names a namespace that does not exist.
  EXPECT_EQ(nullptr, ZEQThunkData::Create(TRUE, "NoSuchNamespace\\event"));
}

}  // namespace
