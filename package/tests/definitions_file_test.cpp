#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/skin_values.h"
#include "package/vfs.h"
#include "definitions_test_support.h"

namespace {

using definitions_test::Entries;
using definitions_test::EntriesOf;
using definitions_test::Value;

// A folder of its own under the temporary folder, removed at the end.
class DefinitionsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    root = std::string(temp) + "defs-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    savedDictionary = GetGlobalDictionary();
    dictionary = DefinitionsList::Create();
    SetGlobalDictionary(dictionary);
  }
  void TearDown() override {
    SetGlobalDictionary(savedDictionary);
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
      if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
    }
    RemoveDirectoryA(root.c_str());
  }

  // Writes a file below the root (folders made as needed); returns its path.
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = root;
    size_t start = 0;
    for (size_t slash; (slash = name.find('\\', start)) != std::string::npos; start = slash + 1) {
      path += "\\" + name.substr(start, slash - start);
      if (CreateDirectoryA(path.c_str(), nullptr)) made.push_back(path);
    }
    path += "\\" + name.substr(start);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);
    made.push_back(path);
    return path;
  }

  // Reads into a new list that lives until the end of the test.
  DefinitionsList* Read(const std::string& path, int cache = 0, DefinitionsList* target = nullptr) {
    if (!target) {
      target = DefinitionsList::Create();
      lists.push_back(target);
    }
    return ParseDefinitionsFile(0, path.c_str(), 0, target, cache);
  }

  std::string root;
  std::vector<std::string> made;
  std::vector<DefinitionsList*> lists;
  DefinitionsList* savedDictionary = nullptr;
  DefinitionsList* dictionary = nullptr;
};

TEST_F(DefinitionsFiles, ImportsAreReadRelativeToTheImportingFile) {
  Write("parts\\common.def", "common\r\n\tshared:yes\r\n");
  const std::string main = Write("main.def",
                                 "app\r\n\tname:Phone\r\n"
                                 "@import parts\\common.def\r\n"
                                 "after:1\r\n");
  DefinitionsList* list = Read(main);
  ASSERT_NE(nullptr, list);
  // The importing file's sections go on after the import.
  const Entries expected = {{"app", "<section>"}, {"app.name", "Phone"},
                            {"common", "<section>"}, {"common.shared", "yes"},
                            {"app.after", "1"}};
  EXPECT_EQ(expected, EntriesOf(list));
}

TEST_F(DefinitionsFiles, MetaValuesNameTheFileAndItsFolder) {
  const std::string path =
      Write("skins\\blue.def", "skin\r\n\tname:@meta.file.name\r\n\tset:@meta.file.parent.name\r\n");
  DefinitionsList* list = Read(path);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("blue", Value(list, "skin.name"));
  EXPECT_EQ("skins", Value(list, "skin.set"));
}

TEST_F(DefinitionsFiles, MissingFilesFailTheRead) {
  EXPECT_EQ(nullptr, Read(root + "\\nothing.def"));
  EXPECT_EQ(nullptr, ParseDefinitionsFile(0, "", 0, nullptr, 0));
  const std::string path = Write("broken.def", "first:1\r\n@import missing.def\r\nsecond:2\r\n");
  DefinitionsList* list = DefinitionsList::Create();
  lists.push_back(list);
  EXPECT_EQ(nullptr, Read(path, 0, list));
  EXPECT_EQ("1", Value(list, "first"));
  EXPECT_EQ("<absent>", Value(list, "second"));
  // An import switched off with a dash is not read at all.
  EXPECT_NE(nullptr, Read(Write("off.def", "-@import missing.def\r\nk:v\r\n")));
}

TEST_F(DefinitionsFiles, ImportCyclesStop) {
  Write("a.def", "a:1\r\n@import b.def\r\n");
  Write("b.def", "b:2\r\n@import A.DEF\r\n@import b.def\r\n");
  DefinitionsList* list = Read(root + "\\a.def");
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((Entries{{"a", "1"}, {"b", "2"}}), EntriesOf(list));
  // A file that imports itself through a path of another spelling.
  const std::string self = Write("self.def", "s:1\r\n@import .\\sub\\..\\self.def\r\n");
  EXPECT_NE(nullptr, Read(self));
  // The same with the cache flag: nothing is cached before its read ends.
  EXPECT_NE(nullptr, Read(root + "\\a.def", 1));
}

TEST_F(DefinitionsFiles, ImportChainsDeeperThanTheLimitFail) {
  const int files = kDefinitionsImportDepth + 3;
  for (int i = 0; i < files; ++i) {
    std::string content = "k" + std::to_string(i) + ":v\r\n";
    if (i + 1 < files) content += "@import f" + std::to_string(i + 1) + ".def\r\n";
    Write("f" + std::to_string(i) + ".def", content);
  }
  EXPECT_EQ(nullptr, Read(root + "\\f0.def"));
  EXPECT_EQ("v", Value(lists.back(), "k0"));
  // A chain within the limit is read whole.
  EXPECT_NE(nullptr, Read(root + "\\f5.def"));
  EXPECT_EQ("v", Value(lists.back(), ("k" + std::to_string(files - 1)).c_str()));
}

TEST_F(DefinitionsFiles, CachedFilesAreReadOnce) {
  const std::string path = Write("cached.def", "k:first\r\n");
  DefinitionsList* first = Read(path, 1);
  ASSERT_NE(nullptr, first);
  Write("cached.def", "k:second\r\n");
  DefinitionsList* other = DefinitionsList::Create();
  lists.push_back(other);
  // Another spelling of the same path, another target: the cached list.
  std::string upper = path;
  for (auto& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(first, Read(upper, 1, other));
  EXPECT_EQ("first", Value(first, "k"));
  EXPECT_EQ("<absent>", Value(other, "k"));
  // Without the flag the file is read again.
  EXPECT_EQ("second", Value(Read(path, 0), "k"));
}

TEST_F(DefinitionsFiles, LanguageDirectiveReplacesTheDictionary) {
  // A UTF-8 file carries its mark; one without a mark is ANSI text.
  Write("pt-BR.lng", "\xEF\xBB\xBFtexts\r\n\thello:Ol\xC3\xA1\r\n\t@import ansi.lng\r\n");
  Write("ansi.lng", "more\r\n\tbye:Adeus, at\xE9 logo\r\n");
  const std::string main = Write("lang.def", "@language pt-BR.lng\r\ngreeting:%[[texts.hello]]%\r\n");
  DefinitionsList* list = Read(main);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(dictionary, GetGlobalDictionary());
  EXPECT_EQ("Ol\xC3\xA1", Value(dictionary, "texts.hello"));
  EXPECT_EQ("Adeus, at\xC3\xA9 logo", Value(dictionary, "more.bye"));
  // References in a file are replaced before its directives run.
  EXPECT_EQ("%[[texts.hello]]%", Value(list, "greeting"));
  EXPECT_EQ("Ol\xC3\xA1", Value(Read(main), "greeting"));

  // An unreadable language file leaves no dictionary.
  EXPECT_NE(nullptr, Read(Write("nolang.def", "@language missing.lng\r\n")));
  EXPECT_EQ(nullptr, GetGlobalDictionary());
  SetGlobalDictionary(dictionary);
}

TEST_F(DefinitionsFiles, LfOnlyAndUtf16FilesAreReadWhole) {
  DefinitionsList* list = Read(Write("lf.def", "s\n\ta:1\n\tb:2\n"));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((Entries{{"s", "<section>"}, {"s.a", "1"}, {"s.b", "2"}}), EntriesOf(list));
  const wchar_t wide[] = L"\xFEFFs\r\n\tk:\x00E1";
  list = Read(Write("wide.def",
                    std::string(reinterpret_cast<const char*>(wide), sizeof wide - sizeof(wchar_t))));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("\xC3\xA1", Value(list, "s.k"));
}

TEST_F(DefinitionsFiles, MountedFilesAreReadThroughZeqPaths) {
  const std::string mounted = root + "\\virtual\\app.def";
  const std::string text = "app\r\n\tmounted:yes\r\n";
  ASSERT_TRUE(VFSMountFile(mounted.c_str(), text.data(), uint32_t(text.size())));
  DefinitionsList* list = Read("zeq:" + mounted);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("yes", Value(list, "app.mounted"));
  VFSClearMounts();
}

TEST_F(DefinitionsFiles, TemplateImportsGoToTheTemplateReader) {
  const std::string main = Write("tpl.def", "@import skin.hdc\r\nk:v\r\n");
  EXPECT_EQ(nullptr, Read(main));
  static std::string seen;
  SetDefinitionsTemplateReader([](uintptr_t, const char* path) {
    seen = path;
    return 1;
  });
  EXPECT_NE(nullptr, Read(main));
  EXPECT_EQ(root + "\\skin.hdc", seen);
  SetDefinitionsTemplateReader(nullptr);
}

TEST(SkinValueKinds, UrlsAndPathsAreToldFromOtherValues) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {
      {"url(images/a.png)", true}, {"URL(x)", true},   {"C:\\skins\\a.png", true},
      {"\\\\server\\share", true}, {"//host/a", true}, {"http://host/a", true},
      {"HTTPS://host", true},      {"www.host.com", true}, {"zeq:C:\\a", true},
      {"file:///C:/a", true},      {"12px", false},    {"#FF0000", false},
      {"a.png", false},            {"url", false},     {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, IsURLOrPathValue(c.text)) << c.text;
  EXPECT_FALSE(IsURLOrPathValue(nullptr));
}

}  // namespace
