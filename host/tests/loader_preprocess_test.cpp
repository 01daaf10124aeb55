#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "host/loader_page.h"
#include "file_test_support.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/vfs.h"

namespace {

// The zeq: address of a file with forward slashes, as the pre-processor
// writes import paths: the page fetches them through the zeq: scheme, which
// also serves mounted files.
std::string Address(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return "zeq:" + path;
}

using filetest::ScratchFolder;

struct Outcome {
  int result;
  std::string text;
};

// Pre-processes a copy of the text given for path.
Outcome Given(const std::string& path, const std::string& text, uint32_t options = kPreprocessDocument) {
  char* block = static_cast<char*>(HeapAllocZ(text.size() + 1));
  memcpy(block, text.data(), text.size());
  size_t length = text.size();
  const int result = ZEQPreprocessContent(path.c_str(), &block, &length, options);
  Outcome outcome{result, std::string(block, length)};
  if (length < 2 || static_cast<unsigned char>(block[0]) != 0xFF) {
    EXPECT_EQ(strnlen(block, length), length) << "the count matches the text";
  }
  HeapFreeZ(block);
  return outcome;
}

// Pre-processes the file read from its path.
Outcome Read(const std::string& path, uint32_t options = kPreprocessNested) {
  char* block = nullptr;
  size_t length = 0;
  const int result = ZEQPreprocessContent(path.c_str(), &block, &length, options);
  Outcome outcome{result, block ? std::string(block, length) : std::string("<null>")};
  HeapFreeZ(block);
  return outcome;
}

TEST(LoaderStatements, ExitAndNoclose) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"@exit", "break ZEQLOADER; // @exit"},
      {"if (x) @exit;", "if (x) break ZEQLOADER; // @exit;"},
      {"// leave with @exit\r\ns = '@exit';",
       "// leave with break ZEQLOADER; // @exit\r\ns = 'break ZEQLOADER; // @exit';"},
      {"@exiting", "break ZEQLOADER; // @exiting"},
      {"@noclose", "document.body.onload = null; // @noclose"},
      {"@exit@noclose", "break ZEQLOADER; // @exitdocument.body.onload = null; // @noclose"},
      {"@EXIT @Noclose", "@EXIT @Noclose"},
      {"", ""},
  };
  for (const auto& c : cases) {
    const Outcome out = Given("main.txt", c.text);
    EXPECT_EQ(1, out.result);
    EXPECT_EQ(c.expected, out.text) << c.text;
  }
  // Without the statements flag the text is left alone.
  EXPECT_EQ("@exit @noclose", Given("main.txt", "@exit @noclose", kPreprocessGivenText).text);
}

class LoaderImports : public ::testing::Test {
 protected:
  void SetUp() override {
    util = folder.Write("lib\\util.js", "function util() {}");
    main = folder / "main.js";
    page = folder / "page.html";
  }
  std::string Script(const std::string& directive) { return Given(main, directive).text; }
  std::string Page(const std::string& directive) { return Given(page, directive).text; }

  ScratchFolder folder;
  std::string util, main, page;
};

TEST_F(LoaderImports, ScriptDirectives) {
  const std::string include = "ZEQInclude( \"" + Address(util) + "\", \"JScript\", ";
  const struct {
    std::string line;
    std::string expected;
  } cases[] = {
      {"@import lib\\util.js", include + "false );"},
      {"@import \"lib\\util.js\", defer", include + "true );"},
      {"@import 'lib/util.js',defer", include + "true );"},
      {"\t  @import   lib\\util.js  \r\nnext();", "\t  " + include + "false );  \r\nnext();"},
      {"@IMPORT lib\\util.js", "@IMPORT lib\\util.js"},
      {"@import lib\\util.js, inline", "function util() {}"},
      {"@import lib\\util.js, recursive", "function util() {}"},
      {"@import lib\\util.js,   defer,inline", "function util() {}"},
      {"@import missing.js, inline nofail", "//@import missing.js, inline nofail\r\n"},
      {"@import   missing.js,   inline   nofail", "//@import missing.js, inline nofail\r\n"},
      {"@import lib\\util.js, untagged", "@import lib\\util.js, untagged"},
      {"x = 1; @import lib\\util.js", "x = 1; @import lib\\util.js"},
      {"s = \"@import\";", "s = \"@import\";"},
      {"a();\n@import lib\\util.js\nb();", "a();\n" + include + "false );\nb();"},
      {"@import lib\\util.js\r\n@import lib\\util.js, inline",
       include + "false );\r\nfunction util() {}"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Script(c.line)) << c.line;
}

TEST_F(LoaderImports, PageDirectives) {
  const std::string tag = "<script language=\"javascript\" type=\"text/javascript\" ";
  const std::string src = tag + "src=\"" + Address(util) + "\" ";
  const std::string missing = tag + "src=\"" + Address(folder / "missing.js") + "\" ";
  const struct {
    std::string line;
    std::string expected;
  } cases[] = {
      {"@import lib\\util.js", src + "></script>"},
      {"@import lib\\util.js, defer", src + "defer></script>"},
      {"@import lib\\util.js, inline", tag + ">\r\n\r\nfunction util() {}\r\n\r\n</script>"},
      {"@import lib\\util.js, defer,inline", tag + ">\r\n\r\nfunction util() {}\r\n\r\n</script>"},
      {"@import lib\\util.js, inline untagged", "function util() {}"},
      {"@import lib\\util.js, untagged", src + "></script>"},
      {"@import missing.js, nofail", missing + "></script>"},
      {"@import missing.js, inline nofail",
       tag + ">\r\n\r\n<!--@import missing.js, inline nofail-->\r\n\r\n\r\n</script>"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Page(c.line)) << c.line;
}

TEST_F(LoaderImports, AsHtmlAndAsJsChangeTheContext) {
  // In a script, "as html" makes this and every later directive markup.
  const std::string src = "<script language=\"javascript\" type=\"text/javascript\" src=\"" +
                          Address(util) + "\" ></script>";
  EXPECT_EQ(src + "\r\n" + src, Script("@import lib\\util.js, as html\r\n@import lib\\util.js"));
  // The flag reaches the imported file: its own imports become markup too.
  folder.Write("outer.js", "@import lib\\util.js");
  EXPECT_EQ("<script language=\"javascript\" type=\"text/javascript\" >\r\n\r\n" + src +
                "\r\n\r\n</script>",
            Script("@import outer.js, inline as html"));
  // A markup file that imports as js: the markup context is tested first.
  EXPECT_EQ(src, Page("@import lib\\util.js, as js"));
}

TEST_F(LoaderImports, ImportedFilesArePreprocessed) {
  folder.Write("lib\\nested.js", "@import util.js, inline\r\nnested();");
  EXPECT_EQ("function util() {}\r\nnested();", Script("@import lib\\nested.js, inline"));
  // A mounted file (as a package serves it) is imported like a real one.
  const std::string mounted = folder / "pkg\\mounted.js";
  ASSERT_TRUE(VFSMountFile(mounted.c_str(), "mounted();", 10));
  EXPECT_EQ("mounted();", Script("@import pkg\\mounted.js, inline"));
  EXPECT_EQ("mounted();", Script("@import zeq:" + mounted + ", inline"));
  // Not inline, the page fetches it by an address the zeq: scheme serves.
  EXPECT_EQ("<script language=\"javascript\" type=\"text/javascript\" src=\"" + Address(mounted) +
                "\" ></script>",
            Page("@import pkg\\mounted.js"));
  VFSClearMounts();
  // A file read from its path is imported against its own folder.
  const std::string reader = folder.Write("lib\\reader.js", "@import util.js, inline");
  EXPECT_EQ("function util() {}", Read(reader).text);
}

TEST_F(LoaderImports, MissingImportsFail) {
  EXPECT_EQ(0, Given(main, "a();\r\n@import missing.js\r\nb();").result);
  EXPECT_EQ(0, Given(main, "@import missing.js, inline").result);
  // A failing nested import makes the whole call fail; what was replaced
  // before stays with the caller.
  folder.Write("broken.js", "@import missing.js, inline");
  const Outcome out = Given(main, "@import lib\\util.js, inline\r\n@import broken.js, inline");
  EXPECT_EQ(0, out.result);
  EXPECT_EQ("function util() {}\r\n@import broken.js, inline", out.text);
}

TEST_F(LoaderImports, ImportCyclesStop) {
  // Direct: a file that imports itself.
  const std::string self = folder.Write("self.js", "self();\r\n@import self.js, inline");
  EXPECT_EQ(0, Read(self).result);
  folder.Write("selfok.js", "@import selfok.js, recursive nofail\r\nok();");
  EXPECT_EQ("//@import selfok.js, recursive nofail\r\n\r\nok();", Read(folder / "selfok.js").text);
  // Indirect: a imports b, b imports a.
  const std::string a = folder.Write("a.js", "a();\r\n@import b.js, inline");
  folder.Write("b.js", "b();\r\n@import a.js, inline");
  EXPECT_EQ(0, Read(a).result);
  EXPECT_EQ(0, Given(main, "@import a.js, inline").result);
  folder.Write("b.js", "b();\r\n@import a.js, inline nofail");
  const Outcome out = Read(a);
  EXPECT_EQ(1, out.result);
  EXPECT_EQ("a();\r\nb();\r\n//@import a.js, inline nofail\r\n", out.text);
  // The same file imported twice side by side is no cycle.
  EXPECT_EQ("function util() {}\r\nfunction util() {}",
            Script("@import lib\\util.js, inline\r\n@import lib\\util.js, inline"));
}

TEST_F(LoaderImports, DeepChainsEndAtTheDepthLimit) {
  for (int i = 0; i < 40; ++i) {
    folder.Write("d" + std::to_string(i) + ".js",
                 "@import d" + std::to_string(i + 1) + ".js, inline nofail\r\n");
  }
  folder.Write("d40.js", "end();");
  const Outcome out = Read(folder / "d0.js");
  EXPECT_EQ(1, out.result);
  EXPECT_EQ(std::string::npos, out.text.find("end();"));
  EXPECT_NE(std::string::npos, out.text.find("//@import d32.js, inline nofail"));
  // Below the limit the chain is followed to its end.
  EXPECT_EQ("end();\r\n\r\n", Read(folder / "d38.js").text);
}

TEST_F(LoaderImports, OddTextsDoNotOverrun) {
  // "@import" at the very end of the text: no path, logged and missing.
  EXPECT_EQ(0, Given(main, "a();\r\n@import").result);
  ASSERT_NE(nullptr, ZEQGlobalLog()->currentLine);
  EXPECT_STREQ("@SmartNormalizePath: Path Is Empty", ZEQGlobalLog()->currentLine);
  EXPECT_EQ(0, Given(main, "@import ").result);
  // An options text without its closing quote.
  EXPECT_EQ("//@import missing.js, \"inline nofail\r\n",
            Script("@import missing.js, \"inline nofail"));
  EXPECT_EQ(0, Given(main, "@import \"lib\\util.js, inline").result);
  // A path far longer than MAX_PATH, and a line of a megabyte.
  const std::string longName(300, 'a');
  EXPECT_EQ("//@import " + longName + ".js, nofail inline\r\n",
            Script("@import " + longName + ".js, nofail inline"));
  const std::string hugeName(1 << 20, 'b');
  const Outcome huge = Given(main, "@import " + hugeName + ".js, nofail inline");
  EXPECT_EQ(1, huge.result);
  EXPECT_EQ(hugeName.size() + 30, huge.text.size());
  const std::string longLine = std::string(1 << 20, 'c') + " @import x.js";
  EXPECT_EQ(longLine, Script(longLine));
  // The importing file's own path longer than MAX_PATH.
  const std::string deepMain = folder.path() + "\\" + std::string(300, 'd') + "\\main.js";
  EXPECT_EQ(1, Given(deepMain, "@import x.js, nofail").result);
}

TEST(LoaderInitializeTag, ReplacedInPages) {
  const std::string replacement =
      "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=EmulateIE9; IE=EmulateIE8; "
      "IE=EmulateIE7;\"><script language=\"javascript\" type=\"text/javascript\" "
      "id=\"ZEQInitialize\" style=\"behavior: url( #default#ZEQBase )\" "
      "src=\"zeq:/KESTOCore.js\"  a=\"1\" ></script>\r\n";
  const std::string page =
      "<html><ZEQ:Initialize a=\"1\" /><meta content=\"text/html; Charset=UTF-16\">"
      "<ZEQ:Initialize />charset=utf-16;</html>";
  const std::string expected = "<html>" + replacement +
                               "<meta content=\"text/html; charset=UTF-8\"><ZEQ:Initialize />"
                               "charset=UTF-8;</html>";
  EXPECT_EQ(expected, Given("p.html", page).text);
  EXPECT_EQ(expected, Given("p.HTM", page).text);
  EXPECT_EQ(expected, Given("loader.zeq", page).text);
  // Not in scripts and components, not without the tag, not in another case.
  EXPECT_EQ(page, Given("p.js", page).text);
  EXPECT_EQ(page, Given("p.htc", page).text);
  const std::string noTag = "<html><meta charset=utf-16><zeq:initialize /></html>";
  EXPECT_EQ(noTag, Given("p.html", noTag).text);
  const std::string unclosed = "<html><ZEQ:Initialize charset=utf-16>";
  EXPECT_EQ(unclosed, Given("p.html", unclosed).text);
}

TEST(LoaderRuntimeBlock, AppendedAndConverted) {
  const std::string block =
      "\r\n<!--<3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9:RTINFO>01</3B1E0A7D-92F4-4c16-A8E5-"
      "D04C6F21B7A9:RTINFO>-->\r\n";
  EXPECT_EQ("<p>%zeqsystemfontsize%</p>" + block, Given("p.html", "<p>%zeqsystemfontsize%</p>").text);
  EXPECT_EQ("<p>none</p>", Given("p.html", "<p>none</p>").text);
  EXPECT_EQ("%zeqsystemfontsize%", Given("p.txt", "%zeqsystemfontsize%").text);
  // A UTF-8 page keeps its mark; a UTF-16 page goes back as UTF-16.
  EXPECT_EQ("\xEF\xBB\xBF<p>\xC3\xA9</p>", Given("p.html", "\xEF\xBB\xBF<p>\xC3\xA9</p>").text);
  EXPECT_EQ(std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10),
            Given("p.html", std::string("\xFF\xFE<\0p\0>\0\xE9\0", 10)).text);
  // A nested call leaves the conversion to its caller.
  EXPECT_EQ("<p>\xC3\xA9</p>", Given("p.html", "\xEF\xBB\xBF<p>\xC3\xA9</p>", kPreprocessNested |
                                                                           kPreprocessGivenText).text);
}

TEST(LoaderSubstitutions, DictionaryReferencesAndSystemMacros) {
  DefinitionsList* saved = GetGlobalDictionary();
  DefinitionsList* dictionary = DefinitionsList::Create();
  SetGlobalDictionary(dictionary);
  DefinitionSetValue(dictionary, "greeting", "Ol\xC3\xA1");
  RegisterMacro("!loadertestsystem", "SYS");
  RegisterMacro("loadertestuser", "USER");
  const std::string text = "%[[greeting]]% %loadertestsystem% %loadertestuser%";
  EXPECT_EQ("Ol\xC3\xA1 SYS %loadertestuser%", Given("p.js", text).text);
  EXPECT_EQ("Ol\xC3\xA1 SYS %loadertestuser%", Given("skin.HDC", text).text);
  EXPECT_EQ("Ol\xC3\xA1 %loadertestsystem% %loadertestuser%", Given("notes.txt", text).text);
  RegisterMacro("-loadertestsystem", nullptr);
  RegisterMacro("-loadertestuser", nullptr);
  SetGlobalDictionary(saved);
  DefinitionsList::Delete(dictionary);
}

TEST(LoaderPreprocess, UnreadableFileFails) {
  ScratchFolder folder;
  char* block = static_cast<char*>(HeapAllocZ(4));
  size_t length = 3;
  memcpy(block, "old", 3);
  EXPECT_EQ(0, ZEQPreprocessContent((folder / "missing.js").c_str(), &block, &length, kPreprocessNested));
  HeapFreeZ(block);
  EXPECT_EQ(0, ZEQPreprocessContent("x.js", nullptr, &length, kPreprocessDocument));
}

}  // namespace
