#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/served_text.h"

namespace {

// A heap block holding a copy of the bytes, as the served-text helpers take.
struct HeapText {
  char* text = nullptr;
  size_t length = 0;
  explicit HeapText(const std::string& bytes) : length(bytes.size()) {
    text = static_cast<char*>(HeapAllocZ(bytes.size() + 1));
    memcpy(text, bytes.data(), bytes.size());
  }
  ~HeapText() { HeapFreeZ(text); }
  std::string str() const { return std::string(text, length); }
};

TEST(ServedTextKinds, ScriptAndMarkupExtensions) {
  for (const char* name : {"a.js", "b.ZEQ", "c.htm", "d.Html", "e.htc", "f.css", "g.JSON",
                           "C:\\x.y\\page.html"}) {
    EXPECT_TRUE(IsScriptOrMarkupFile(name)) << name;
  }
  for (const char* name : {"a.txt", "b.hdc", "js", "c.jsx", "d.html.bak", "", "C:\\x.js\\file"}) {
    EXPECT_FALSE(IsScriptOrMarkupFile(name)) << name;
  }
  EXPECT_FALSE(IsScriptOrMarkupFile(nullptr));
  EXPECT_TRUE(IsQuelmDefinitionsFile("skin.HDC"));
  EXPECT_FALSE(IsQuelmDefinitionsFile("skin.def"));
  EXPECT_FALSE(IsQuelmDefinitionsFile(nullptr));
}

const char kScriptBlock[] =
    "\r\n/**<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>%s</3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:"
    "RTINFO>**/\r\n";
const char kMarkupBlock[] =
    "\r\n<!--<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>%s</3B1E0A7D-92F4-4c16-A8E5-"
    "D04C6F21B7A9:RTINFO>-->\r\n";

std::string Block(const char* form, const char* digits) {
  std::string block = form;
  block.replace(block.find("%s"), 2, digits);
  return block;
}

TEST(RuntimeInfoBlock, FormByExtensionAndDigitsByMacro) {
  const struct {
    const char* fileName;
    const char* text;
    std::string appended;
  } cases[] = {
      {"a.js", "x = '%zeqsystemfontsize%';", Block(kScriptBlock, "01")},
      {"a.ZEQ", "%zeqsystemfontname%", Block(kScriptBlock, "10")},
      {"a.css", "%zeqsystemfontname% %zeqsystemfontsize%", Block(kScriptBlock, "11")},
      {"a.json", "{\"s\":\"%zeqsystemfontsize%\"}", Block(kScriptBlock, "01")},
      {"p.htm", "<b>%zeqsystemfontname%</b>", Block(kMarkupBlock, "10")},
      {"p.HTML", "%zeqsystemfontsize%", Block(kMarkupBlock, "01")},
      {"p.htc", "%zeqsystemfontname%%zeqsystemfontsize%", Block(kMarkupBlock, "11")},
      {"skin.hdc", "%zeqsystemfontsize%", "01"},
      {"notes.txt", "%zeqsystemfontname%", "10"},
      {"p.html", "<p>no macros, %zeqsystemfont% %ZEQSYSTEMFONTNAME%</p>", ""},
  };
  for (const auto& c : cases) {
    HeapText t(c.text);
    EXPECT_FALSE(AppendRuntimeInfoBlock(c.fileName, &t.text, &t.length, 0, kServedTextNested));
    EXPECT_EQ(std::string(c.text) + c.appended, t.str()) << c.fileName;
    EXPECT_EQ(strlen(t.text), t.length);
  }
}

TEST(RuntimeInfoBlock, ConvertsUnlessNested) {
  HeapText t("%zeqsystemfontsize%");
  EXPECT_TRUE(AppendRuntimeInfoBlock("a.txt", &t.text, &t.length, kServedTextMark, 0));
  EXPECT_EQ("\xEF\xBB\xBF%zeqsystemfontsize%01", t.str());

  HeapText nested("%zeqsystemfontsize%");
  EXPECT_FALSE(AppendRuntimeInfoBlock("a.txt", &nested.text, &nested.length, kServedTextMark,
                                      kServedTextNested));
  EXPECT_EQ("%zeqsystemfontsize%01", nested.str());

  HeapText plain("no macros");
  EXPECT_TRUE(AppendRuntimeInfoBlock("a.js", &plain.text, &plain.length, 0, 0));
  EXPECT_EQ("no macros", plain.str());
}

TEST(ServedTextEncoding, Utf16WithMark) {
  HeapText t("ab");
  ConvertServedTextEncoding(&t.text, &t.length, kServedTextUtf16 | kServedTextMark);
  EXPECT_EQ(std::string("\xFF\xFE" "a\0b\0", 6), t.str());
  EXPECT_EQ(6u, t.length);
}

TEST(ServedTextEncoding, Utf16KeepsNonAsciiCharacters) {
  HeapText t("\xC3\xA9 \xE2\x82\xAC");  // e acute, blank, euro sign in UTF-8
  ConvertServedTextEncoding(&t.text, &t.length, kServedTextUtf16 | kServedTextMark);
  EXPECT_EQ(std::string("\xFF\xFE\xE9\x00\x20\x00\xAC\x20", 8), t.str());
}

TEST(ServedTextEncoding, Utf8MarkAndNothing) {
  HeapText t("ab");
  ConvertServedTextEncoding(&t.text, &t.length, kServedTextMark | kTextUtf8);
  EXPECT_EQ("\xEF\xBB\xBF" "ab", t.str());
  EXPECT_EQ(5u, t.length);

  HeapText same("ab");
  ConvertServedTextEncoding(&same.text, &same.length, kServedTextUtf16);
  EXPECT_EQ("ab", same.str());
  ConvertServedTextEncoding(&same.text, &same.length, 0);
  EXPECT_EQ("ab", same.str());

  HeapText empty("");
  ConvertServedTextEncoding(&empty.text, &empty.length, kServedTextUtf16 | kServedTextMark);
  EXPECT_EQ("\xFF\xFE", empty.str());
}

TEST(ServedTextEncoding, ByteOrderMarkTest) {
  EXPECT_EQ(2u, TestByteOrderMark("\xEF\xBB\xBFx", 4));
  EXPECT_EQ(8u, TestByteOrderMark("\xFE\xFFx", 3));
  EXPECT_EQ(4u, TestByteOrderMark("\xFF\xFEx", 3));
  EXPECT_EQ(0u, TestByteOrderMark("\xEF\xBB", 2));
  EXPECT_EQ(0u, TestByteOrderMark("\xFF", 1));
  EXPECT_EQ(0u, TestByteOrderMark("abc", 3));
  EXPECT_EQ(0u, TestByteOrderMark(nullptr, 3));
}

TEST(LoaderBlock, WrapsAndGrowsBy17) {
  HeapText t("run();");
  ASSERT_TRUE(WrapInLoaderBlock(&t.text, &t.length));
  EXPECT_EQ("ZEQLOADER: {\r\nrun();\r\n}", t.str());
  EXPECT_EQ(6u + 17u, t.length);
  EXPECT_EQ(strlen(t.text), t.length);

  HeapText empty("");
  ASSERT_TRUE(WrapInLoaderBlock(&empty.text, &empty.length));
  EXPECT_EQ("ZEQLOADER: {\r\n\r\n}", empty.str());

  char* none = nullptr;
  size_t length = 0;
  EXPECT_FALSE(WrapInLoaderBlock(&none, &length));
  EXPECT_EQ(nullptr, none);
}

TEST(FindTagStart, FindsTheOpeningBracket) {
  const struct {
    const char* text;
    int expected;  // offset of the '<', -1 for none
  } cases[] = {
      {"<html><ZEQ:Initialize />", 6},
      {"<html>< \t zeq:initialize/>", 6},
      {"<p title=\"<ZEQ:Initialize\"></p><ZEQ:Initialize a=1 />", 31},
      {"ZEQ:Initialize <ZEQ:Initialize/>", 15},
      {"x ZEQ:Initialize", -1},
      {"<p a=\"<ZEQ:Initialize\">", -1},
      {"ZEQ:Initialize", -1},
      {"", -1},
  };
  for (const auto& c : cases) {
    const char* found = FindTagStart(c.text, "ZEQ:Initialize");
    EXPECT_EQ(c.expected, found ? int(found - c.text) : -1) << c.text;
  }
  EXPECT_EQ(nullptr, FindTagStart(nullptr, "p"));
  EXPECT_EQ(nullptr, FindTagStart("<p>", ""));
}

}  // namespace
