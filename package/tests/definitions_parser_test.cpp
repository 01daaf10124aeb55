#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_defaults.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/macros.h"
#include "definitions_test_support.h"

namespace {

using definitions_test::Entries;
using definitions_test::EntriesOf;

// Directives reach files through this source; it records what it is asked.
class RecordingSource : public DefinitionsSource {
 public:
  const DefinitionsSourceNames* Names() override { return &names; }
  bool Import(const char* argument, DefinitionsList* target) override {
    imports.push_back(argument);
    auto found = files.find(argument);
    if (found == files.end()) return false;
    return ParseDefinitionsText(found->second.data(), found->second.size(), target, this) != nullptr;
  }
  void Language(const char* argument) override { languages.push_back(argument); }

  DefinitionsSourceNames names = {"app", "folder"};
  std::map<std::string, std::string> files;
  std::vector<std::string> imports;
  std::vector<std::string> languages;
};

class DefinitionsText : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = GetGlobalDictionary();
    dictionary = DefinitionsList::Create();
    SetGlobalDictionary(dictionary);
  }
  void TearDown() override {
    SetGlobalDictionary(saved);
    DefinitionsList::Delete(dictionary);
    for (auto* list : lists) DefinitionsList::Delete(list);
  }
  // Reads a text into a new list, kept for the end of the test; null on failure.
  DefinitionsList* Read(const std::string& text, DefinitionsSource* source = nullptr) {
    DefinitionsList* list = DefinitionsList::Create();
    lists.push_back(list);
    return ParseDefinitionsText(text.data(), text.size(), list, source);
  }
  Entries Parse(const std::string& text) {
    DefinitionsList* list = Read(text);
    EXPECT_NE(nullptr, list) << text;
    return list ? EntriesOf(list) : Entries{};
  }

  DefinitionsList* saved = nullptr;
  DefinitionsList* dictionary = nullptr;
  std::vector<DefinitionsList*> lists;
};

TEST_F(DefinitionsText, WorkedExample) {
  const std::string text =
      "window\r\n"
      "\twidth:320\r\n"
      "\t:first tip\r\n"
      "\ttitle\r\n"
      "\t\tfont: @@system.font.face\r\n"
      "\theight:20\r\n"
      "\t-debug:1\r\n"
      "%colors%\r\n"
      "\taccent:#0080FF\r\n"
      "script:#begin\r\n"
      "\tvar a = 1;\r\n"
      "#end script\r\n";
  const Entries expected = {
      {"window", "<section>"},
      {"window.width", "320"},
      {"window.00000001", "first tip"},
      {"[meta].window", "1"},
      {"window.title", "<section>"},
      {"window.title.font", CurrentSystemFontDefaults().face},
      {"window.height", "20"},
      {"colors", "<section>"},
      {"colors.accent", "#0080FF"},
      {"colors.script", "var a = 1;\r\n"},
  };
  EXPECT_EQ(expected, Parse(text));
  const Entries published = {
      {"colors", "<section>"},
      {"colors.accent", "#0080FF"},
      {"colors.script", "var a = 1;\r\n"},
  };
  EXPECT_EQ(published, EntriesOf(dictionary));
}

TEST_F(DefinitionsText, LevelsBuildKeyPaths) {
  const struct {
    const char* text;
    Entries expected;
  } cases[] = {
      {"window\r\nkey:1", {{"window", "<section>"}, {"window.key", "1"}}},
      {"key:1", {{"key", "1"}}},
      {"\tkey:1", {{"..key", "1"}}},
      {"window\r\n\t\t\tkey:1", {{"window", "<section>"}, {"window...key", "1"}}},
      {"a\r\n\tb\r\n\t\tc\r\n\t\t\tk:1\r\n\tk:2\r\nk:3",
       {{"a", "<section>"}, {"a.b", "<section>"}, {"a.b.c", "<section>"},
        {"a.b.c.k", "1"}, {"a.k", "3"}}},
      {"a\r\n\tb\r\nc\r\n\tk:1", {{"a", "<section>"}, {"a.b", "<section>"},
                                 {"c", "<section>"}, {"c.k", "1"}}},
      // Blanks do not count as levels.
      {"a\r\n    b", {{"a", "<section>"}, {"b", "<section>"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Parse(c.text)) << c.text;
}

TEST_F(DefinitionsText, KeyAndSectionLines) {
  const struct {
    const char* text;
    Entries expected;
  } cases[] = {
      {"s\r\n\tname:", {{"s", "<section>"}, {"s.name", ""}}},
      {"s\r\n\tname::value", {{"s", "<section>"}, {"s.name", "value"}}},
      {"s\r\n\t name  :  spaced value \t", {{"s", "<section>"}, {"s.name", "spaced value"}}},
      {"s\r\n\turl: http://host:80/x", {{"s", "<section>"}, {"s.url", "http://host:80/x"}}},
      {"no colon here", {{"no colon here", "<section>"}}},
      {"# looks like a comment", {{"# looks like a comment", "<section>"}}},
      {"import x.def", {{"import x.def", "<section>"}}},
      {"s\r\n\r\n   \r\n\tk:v", {{"s", "<section>"}, {"s.k", "v"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Parse(c.text)) << c.text;
}

TEST_F(DefinitionsText, PrivateLinesAreNeverStored) {
  const std::string text =
      "-first:1\r\n"
      "-hidden\r\n"
      "\tk:1\r\n"
      "\tsub\r\n"
      "\t\tk:2\r\n"
      "-top:1\r\n"
      "shown\r\n"
      "\t-k:3\r\n"
      "\t-blk:#begin\r\n"
      "\tafter:4\r\n"
      "\t-sec\r\n"
      "\t\tk:5\r\n"
      "\t\t:meta\r\n";
  // The private key that says #begin opens no block: the next line is a key.
  const Entries expected = {{"shown", "<section>"}, {"shown.after", "4"}};
  EXPECT_EQ(expected, Parse(text));
}

TEST_F(DefinitionsText, LfOnlyAndMixedLineEndsAreReadWhole) {
  const Entries expected = {{"a", "<section>"}, {"a.k", "1"}, {"a.j", "2"}, {"b", "<section>"}};
  EXPECT_EQ(expected, Parse("a\n\tk:1\n\tj:2\nb\n"));
  EXPECT_EQ(expected, Parse("a\r\n\tk:1\n\tj:2\rb"));
  const Entries parsed = Parse("x:#begin\nline 1\nline 2\n#end x\n");
  EXPECT_EQ("line 1\r\nline 2\r\n", parsed.at("x"));
}

TEST_F(DefinitionsText, Blocks) {
  const struct {
    const char* text;
    const char* key;
    const char* value;
  } cases[] = {
      {"script:#begin\r\n\tvar a;\r\n#end script", "script", "var a;\r\n"},
      {"s\r\n\tcode:#BEGIN\r\n\t\tif (x)\r\n\t\t\ty();\r\n\t#end code", "s.code",
       "\tif (x)\r\n\ty();\r\n"},
      {"b:#begin\r\n#end\r\n#end other\r\n@import x\r\nk:v\r\n#end B", "b",
       "#end\r\n#end other\r\n@import x\r\nk:v\r\n"},
      {"b:#begin\r\n  trailing  \r\n-#end b\r\n#endb", "b", "trailing  \r\n-#end b\r\n"},
      {"b:#begin\r\n#end b", "b", ""},
      {"%v%:#begin\r\nx\r\n## end v", "v", "x\r\n"},
  };
  for (const auto& c : cases) {
    DefinitionsList* list = Read(c.text);
    ASSERT_NE(nullptr, list) << c.text;
    EXPECT_EQ(c.value, EntriesOf(list)[c.key]) << c.text;
  }
  // A block holds references resolved when it closes.
  DefinitionsList* list = Read("k:V\r\nb:#begin\r\n@@k\r\n#end b");
  EXPECT_EQ("V\r\n", EntriesOf(list)["b"]);
}

TEST_F(DefinitionsText, TextEndingInsideABlockFails) {
  DefinitionsList* list = DefinitionsList::Create();
  lists.push_back(list);
  const std::string text = "k:1\r\nb:#begin\r\nline\r\n";
  EXPECT_EQ(nullptr, ParseDefinitionsText(text.data(), text.size(), list, nullptr));
  // What was stored before stays.
  EXPECT_EQ("1", EntriesOf(list)["k"]);
  EXPECT_EQ(0u, EntriesOf(list).count("b"));
  // A list made by the failing read is not handed out.
  EXPECT_EQ(nullptr, ParseDefinitionsText(text.data(), text.size(), nullptr, nullptr));
}

TEST_F(DefinitionsText, MetaLinesAreNumberedPerSectionPath) {
  const std::string text =
      "window\r\n"
      "\ttips\r\n"
      "\t\t:one\r\n"
      "\t\t:two\r\n"
      "\t:shallow\r\n"
      "other\r\n"
      "\t:three\r\n";
  const Entries expected = {
      {"window", "<section>"},        {"window.tips", "<section>"},
      {"window.tips.00000001", "one"}, {"window.tips.00000002", "two"},
      {"window.00000003", "shallow"},  {"[meta].window.tips", "3"},
      {"other", "<section>"},          {"other.00000001", "three"},
      {"[meta].other", "1"},
  };
  EXPECT_EQ(expected, Parse(text));
  int count = 0;
  EXPECT_EQ(1, DefinitionGetInt(lists.back(), nullptr, "[meta].window.tips", &count, 0));
  EXPECT_EQ(3, count);
}

TEST_F(DefinitionsText, VariableRegionEndsAtAShallowerOrdinarySection) {
  const std::string text =
      "%vars%\r\n"
      "\ta:1\r\n"
      "\tinner\r\n"
      "\t\tb:2\r\n"
      "plain\r\n"
      "\tc:3\r\n"
      "\t%d%:4\r\n";
  Parse(text);
  const Entries published = {{"vars", "<section>"},
                             {"vars.a", "1"},
                             {"vars.inner", "<section>"},
                             {"vars.inner.b", "2"},
                             {"plain.d", "4"}};
  EXPECT_EQ(published, EntriesOf(dictionary));
}

TEST_F(DefinitionsText, DictionaryReferencesBecomeTextBeforeParsing) {
  DefinitionSetValue(dictionary, "extra", "\r\n\tadded:yes");
  DefinitionSetValue(dictionary, "title", "Ol\xC3\xA1");
  const Entries expected = {{"s", "<section>"}, {"s.t", "Ol\xC3\xA1"}, {"s.added", "yes"}};
  EXPECT_EQ(expected, Parse("s\r\n\tt:%[[title]]%%[[extra]]%"));
}

TEST_F(DefinitionsText, ByteOrderMarksAreHonoured) {
  const std::string utf8 = "\xEF\xBB\xBFs\r\n\tk:v";
  EXPECT_EQ((Entries{{"s", "<section>"}, {"s.k", "v"}}), Parse(utf8));
  const wchar_t wide[] = L"\xFEFFs\r\n\tk:\x00E1";
  const std::string utf16(reinterpret_cast<const char*>(wide), sizeof wide - sizeof(wchar_t));
  EXPECT_EQ((Entries{{"s", "<section>"}, {"s.k", "\xC3\xA1"}}), Parse(utf16));
}

TEST_F(DefinitionsText, DirectivesReachTheSource) {
  RegisterMacro("!%testroot%", "C:\\defs");
  RegisterMacro("%plainroot%", "D:\\no");
  RecordingSource source;
  source.files["C:\\defs\\common.def"] = "common\r\n\tshared:1\r\n";
  DefinitionsList* list = Read(
      "where:defs\r\n"
      "@import %testroot%\\common.def\r\n"
      "-@import ignored.def\r\n"
      "- @language ignored.lng\r\n"
      "@language %plainroot%\\@@where.lng\r\n"
      "after:2\r\n",
      &source);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((std::vector<std::string>{"C:\\defs\\common.def"}), source.imports);
  // Language arguments get system macros only, and no definition references.
  EXPECT_EQ((std::vector<std::string>{"%plainroot%\\@@where.lng"}), source.languages);
  EXPECT_EQ("1", EntriesOf(list)["common.shared"]);
  // Each file has its own sections: the importing file's key stays at the top.
  EXPECT_EQ("2", EntriesOf(list)["after"]);

  // A failing import fails the read; what came before stays.
  source.imports.clear();
  list = Read("first:1\r\n@import @@missing.def\r\nsecond:2\r\n", &source);
  EXPECT_EQ(nullptr, list);
  EXPECT_EQ((std::vector<std::string>{"@@missing.def"}), source.imports);
  EXPECT_EQ("1", EntriesOf(lists.back())["first"]);
  EXPECT_EQ(0u, EntriesOf(lists.back()).count("second"));

  // Without a source, an import fails and a language directive is ignored.
  EXPECT_EQ(nullptr, Read("@import x.def"));
  EXPECT_NE(nullptr, Read("@language x.lng"));
  RegisterMacro("-testroot", nullptr);
  RegisterMacro("-plainroot", nullptr);
}

TEST_F(DefinitionsText, MetaValuesNameTheSourceFile) {
  RecordingSource source;
  source.names = {"blue", "skins"};
  DefinitionsList* list = Read("s\r\n\tn:@meta.file.name\r\n\tp:@meta.file.parent.name", &source);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("blue", EntriesOf(list)["s.n"]);
  EXPECT_EQ("skins", EntriesOf(list)["s.p"]);
}

TEST_F(DefinitionsText, HostileTextsEndWithoutHarm) {
  // Very deep indentation: the keys grow past the stored limit and are left.
  std::string deep = "top\r\n";
  for (int level = 1; level < 3000; level += 7)
    deep += std::string(size_t(level), '\t') + "k" + std::to_string(level) + ":v\r\n";
  DefinitionsList* list = Read(deep);
  ASSERT_NE(nullptr, list);
  for (const auto& entry : EntriesOf(list)) EXPECT_LE(entry.first.size(), kDefinitionKeyMax);
  EXPECT_EQ("v", EntriesOf(list)["top.k1"]);

  // A huge line and a huge value.
  const std::string value(1 << 20, 'x');
  list = Read("s\r\n\tbig:" + value + "\r\n" + std::string(1 << 20, 'y'));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(value, EntriesOf(list)["s.big"]);

  // A huge section name followed by many keys below it: none is stored, and
  // no line has to copy the huge path.
  std::string wide = std::string(1 << 20, 's') + "\r\n";
  for (int i = 0; i < 20000; ++i) wide += "\tk:v\r\n\t\tsub\r\n";
  wide += "short\r\n\tk:v\r\n";
  list = Read(wide);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((Entries{{"short", "<section>"}, {"short.k", "v"}}), EntriesOf(list));

  // Section names nested deeper and deeper.
  std::string nested;
  for (int level = 0; level < 2000; ++level)
    nested += std::string(size_t(level), '\t') + "section" + std::to_string(level) + "\r\n";
  nested += "x:1\r\n";
  EXPECT_NE(nullptr, Read(nested));

  // Many references and meta lines.
  std::string many = "k:v\r\ns\r\n";
  for (int i = 0; i < 20000; ++i) many += "\t:@@k @@k\r\n";
  list = Read(many);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("v v", EntriesOf(list)["s.00020000"]);

  // Embedded NUL bytes and control characters.
  const char binary[] = "s\r\n\tk:a\0b\r\n\t\x01\x02:\x7f\r\n";
  EXPECT_NE(nullptr, Read(std::string(binary, sizeof binary - 1)));
}

}  // namespace
