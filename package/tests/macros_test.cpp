#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "package/macros.h"

namespace {

// Expands a copy of text and gives back the result and the new length.
std::string Expand(const std::string& text, unsigned options = kMacroGrow,
                   size_t* inserted = nullptr) {
  char* block = StrDupExtra(text.c_str(), 0);
  size_t length = text.size();
  block = ProcessMacros(block, &length, inserted, options);
  std::string result(block, length);
  EXPECT_EQ(strlen(block), length);
  HeapFreeZ(block);
  return result;
}

// The macro table is process-wide: each test removes what it registered.
class Macros : public ::testing::Test {
 protected:
  void Register(const char* name, const char* value) {
    RegisterMacro(name, value);
    names.push_back(name);
  }
  void TearDown() override {
    for (const auto& name : names) {
      std::string bare = name;
      if (!bare.empty() && bare[0] == '!') bare.erase(0, 1);
      RegisterMacro(("-" + bare).c_str(), nullptr);
    }
  }
  std::vector<std::string> names;
};

TEST_F(Macros, ThreeFormsOfAReference) {
  Register("x", "Ab'c");
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%x%", "Ab'c"},
      {"%%x%%", "Ab\\'c"},
      {"#%x%", "ab'c"},
      {"[%x%|%%x%%|#%x%]", "[Ab'c|Ab\\'c|ab'c]"},
      {"%X%", "%X%"},            // names keep their case
      {"%y%", "%y%"},            // unknown macros stay
      {"%x", "%x"},
      {"%x%x%", "Ab'cx%"},
      {"%x%%x%", "Ab'cAb'c"},    // the closing mark of one is not the start of the next
      {"##%x%", "#ab'c"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Expand(c.text)) << c.text;
}

TEST_F(Macros, EscapedFormEscapesEveryScriptSpecialCharacter) {
  Register("s", "a\\b\r\n\t\"'");
  EXPECT_EQ("a\\\\b\\r\\n\\t\\\"\\'", Expand("%%s%%"));
}

TEST_F(Macros, RegistrationNormalisesNamesAndMovesToTheEnd) {
  Register("Title", "one");
  Register("other", "[%Title%]");
  // Blanks, markers and the bare name address the same macro; it moves to
  // the end, after "other", whose value now quotes a later macro.
  EXPECT_EQ(1, RegisterMacro("  %Title% ", "two"));
  EXPECT_EQ("[two]", Expand("%other%"));
  EXPECT_EQ(1, RegisterMacro("-Title", nullptr));
  EXPECT_EQ("[%Title%]", Expand("%other%"));
  EXPECT_EQ("%Title%", Expand("%Title%"));
  // Deleting a name never registered adds nothing.
  EXPECT_EQ(1, RegisterMacro("-never", nullptr));
  EXPECT_EQ("%never%", Expand("%never%"));
  EXPECT_EQ(0, RegisterMacro("", "x"));
  EXPECT_EQ(0, RegisterMacro(nullptr, "x"));
  EXPECT_EQ(0, RegisterMacro(" %% ", "x"));
  EXPECT_EQ("a%%b", Expand("a%%b"));
}

TEST_F(Macros, ValueQuotingAnotherMacroExpandsOnlyWhenThatOneComesLater) {
  Register("a", "<%b%>");
  Register("b", "B");
  EXPECT_EQ("<B>", Expand("%a%"));
  Register("c", "C");
  Register("d", "<%c%>");
  EXPECT_EQ("<%c%>", Expand("%d%"));
  // A value holding its own reference is inserted once.
  Register("self", "%self%!");
  EXPECT_EQ("%self%!%self%!", Expand("%self%%self%"));
}

TEST_F(Macros, SystemOnlyLeavesOrdinaryMacros) {
  Register("!sys", "S");
  Register("plain", "P");
  EXPECT_EQ("S %plain%", Expand("%sys% %plain%", kMacroSystemOnly));
  EXPECT_EQ("S %plain%", Expand("%sys% %plain%", kMacroGrow | kMacroSystemOnly));
  EXPECT_EQ("S P", Expand("%sys% %plain%", kMacroGrow));
}

TEST_F(Macros, GrowingTextNeedsNoRoomFromTheCaller) {
  const std::string big(5000, 'v');
  Register("big", big.c_str());
  std::string text;
  for (int i = 0; i < 10; ++i) text += "<%big%>";
  size_t inserted = 0;
  char* block = StrDupExtra(text.c_str(), 0);
  size_t length = 0;
  block = ProcessMacros(block, nullptr, &inserted, 0);
  length = strlen(block);
  EXPECT_EQ(10 * (big.size() + 2), length);
  EXPECT_EQ(10 * big.size(), inserted);
  // More than 1,024 bytes inserted: the block keeps no slack (the heap adds
  // its two terminator bytes to every block).
  EXPECT_EQ(length + 3 + 2, HeapBlockSize(block));
  HeapFreeZ(block);
}

TEST_F(Macros, EmptyAndNullTextsComeBackUnchanged) {
  Register("x", "y");
  EXPECT_EQ(nullptr, ProcessMacros(nullptr, nullptr, nullptr, kMacroGrow));
  char* empty = StrDupExtra("", 0);
  EXPECT_EQ(empty, ProcessMacros(empty, nullptr, nullptr, kMacroGrow));
  HeapFreeZ(empty);
  char* plain = StrDupExtra("no macros here", 0);
  EXPECT_EQ(plain, ProcessMacros(plain, nullptr, nullptr, kMacroGrow));
  HeapFreeZ(plain);
}

TEST_F(Macros, LengthBoundsTheText) {
  Register("x", "XY");
  char* block = StrDupExtra("%x%%x%", 0);
  size_t length = 3;  // only the first reference
  block = ProcessMacros(block, &length, nullptr, kMacroGrow);
  EXPECT_EQ(2u, length);
  EXPECT_STREQ("XY", block);
  HeapFreeZ(block);
}

TEST_F(Macros, ApplicationMacrosComeFromTheVersionText) {
  const struct {
    const char* version;
    const char* expanded;
    int code;
  } cases[] = {
      {"3.7.12 pt-BR Aurora", "3.7.12|3|7|Aurora|pt-BR", 1046},
      {"3.7 en-us", "3.7|3|7||en-US", 1033},
      {"4", "4|4|0||en-US", 1033},
      {"5.1 xx-YY Beta One", "5.1|5|1|Beta One|en-US", 1033},
      {"12345678901234.2", "12345678901234.2|1234567890|2||en-US", 1033},
  };
  for (const auto& c : cases) {
    SetApplicationMacros("Phone", c.version, nullptr, nullptr);
    EXPECT_EQ(std::string("Phone:") + c.expanded,
              Expand("%applicationname%:%applicationversion%|%applicationversionnumber%|"
                     "%applicationversionrelease%|%applicationversionname%|%applicationlanguage%",
                     kMacroSystemOnly))
        << c.version;
    EXPECT_EQ(c.code, GetApplicationLanguageCode());
  }
  SetApplicationMacros("Phone", "1.0", nullptr, nullptr);
}

TEST_F(Macros, LanguageChangeRewritesTheCoreScriptDirective) {
  SetApplicationMacros("Phone", "1.0 en-US", nullptr, nullptr);
  const char script[] = "/*@cc_on @set @kestolang=1033; @*/ run();";
  char* block = StrDupExtra(script, 0);
  size_t length = strlen(script);
  SetApplicationMacros("Phone", "1.0 pt-BR", &block, &length);
  EXPECT_STREQ("/*@cc_on @set @kestolang=1046; @*/ run();", block);
  EXPECT_EQ(strlen(block), length);
  // The same language again leaves the script alone.
  strcpy(strstr(block, "1046"), "9999; @*/ run();");
  SetApplicationMacros("Phone", "1.0 pt-BR", &block, &length);
  EXPECT_NE(nullptr, strstr(block, "9999"));
  SetApplicationMacros("Phone", "1.0", &block, &length);
  EXPECT_NE(nullptr, strstr(block, "@kestolang=1033;"));
  EXPECT_STREQ("en-US", GetApplicationLanguage());
  HeapFreeZ(block);
}

TEST_F(Macros, VariantTextIsExpandedAndTrimmed) {
  Register("host", "example");
  VARIANT v;
  VariantSetString(&v, "  http://%host%/a  ");
  char* text = VariantToExpandedString(&v);
  EXPECT_STREQ("http://example/a", text);
  HeapFreeZ(text);
  VariantClear(&v);
  VariantInitInt(&v, 5);
  EXPECT_EQ(nullptr, VariantToExpandedString(&v));
  VARIANT inner, outer;
  VariantSetString(&inner, "%host%");
  VariantInitRefVariant(&outer, &inner);
  text = VariantToExpandedString(&outer);
  EXPECT_STREQ("example", text);
  HeapFreeZ(text);
  VariantClear(&inner);
}

}  // namespace
