#include <gtest/gtest.h>

#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

// A heap path as the expansion routines take it, freed at the end.
struct HeapPath {
  char* text;
  explicit HeapPath(const std::string& value) : text(StrDupExtra(value.c_str(), 0)) {}
  ~HeapPath() { HeapFreeZ(text); }
  HeapPath(const HeapPath&) = delete;
  HeapPath& operator=(const HeapPath&) = delete;
};

// Start-up definitions with a "loader" entry for the life of the object.
class LoaderDefinitions {
 public:
  explicit LoaderDefinitions(const char* loader) : previous_(GetStartupDefinitions()) {
    list_ = DefinitionsList::Create();
    if (loader) DefinitionSetValue(list_, "loader", loader);
    SetStartupDefinitions(list_);
  }
  ~LoaderDefinitions() {
    SetStartupDefinitions(previous_);
    DefinitionsList::Delete(list_);
  }
  LoaderDefinitions(const LoaderDefinitions&) = delete;
  LoaderDefinitions& operator=(const LoaderDefinitions&) = delete;

 private:
  DefinitionsList* previous_;
  DefinitionsList* list_;
};

struct ExpandCase {
  const char* path;
  const char* base;
  BOOL result;
  const char* expanded;
};

TEST(LoaderRelativePaths, Table) {
  SetEnvironmentVariableA("ZEQTESTDIR", "C:\\envdir");
  LoaderDefinitions definitions("C:\\App\\");
  const ExpandCase cases[] = {
      // Environment strings are expanded; the result is then no relative form.
      {"%ZEQTESTDIR%\\a.txt", nullptr, FALSE, "C:\\envdir\\a.txt"},
      {"zeq:%ZEQTESTDIR%\\a.txt", nullptr, FALSE, "zeq:C:\\envdir\\a.txt"},
      // Rooted paths complete from the loader's folder, separators uniform.
      {"\\pages\\main.html", nullptr, TRUE, "C:/App/pages/main.html"},
      {"zeq:/pages\\x.js", nullptr, TRUE, "zeq:C:/App/pages/x.js"},
      // Other relative paths need a base folder.
      {"pages\\main.html", nullptr, FALSE, "pages\\main.html"},
      {"pages/x.js", "C:\\base", TRUE, "C:\\base\\pages\\x.js"},
      {"zeq:x.js", "D:/web/", TRUE, "zeq:D:\\web\\x.js"},
      // Known forms stay as they are.
      {"C:\\abs\\x.js", "C:\\base", FALSE, "C:\\abs\\x.js"},
      {"http://h/x.js", "C:\\base", FALSE, "http://h/x.js"},
      {"\\\\srv\\share\\x", nullptr, FALSE, "\\\\srv\\share\\x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HeapPath path(c.path);
    EXPECT_EQ(c.result, ExpandLoaderRelativePath(&path.text, 0, c.base));
    EXPECT_STREQ(c.expanded, path.text);
  }
  HeapPath empty("");
  EXPECT_FALSE(ExpandLoaderRelativePath(&empty.text, 0, "C:\\base"));
  EXPECT_FALSE(ExpandLoaderRelativePath(nullptr, 0, nullptr));
}

TEST(LoaderRelativePaths, WithoutALoaderEntryOnlySeparatorsChange) {
  LoaderDefinitions definitions(nullptr);
  HeapPath path("/a\\b/c");
  EXPECT_TRUE(ExpandLoaderRelativePath(&path.text, 0, nullptr));
  EXPECT_STREQ("/a/b/c", path.text);
}

TEST(LoaderRelativePaths, MountedFilesAreNotRelative) {
  VFSClearMounts();
  ASSERT_TRUE(VFSMountFile("mounted\\page.html", "x", 1));
  HeapPath path("mounted\\page.html");
  EXPECT_FALSE(IsUnresolvedRelativePath(path.text));
  EXPECT_FALSE(ExpandLoaderRelativePath(&path.text, 0, "C:\\base"));
  EXPECT_STREQ("mounted\\page.html", path.text);
  VFSClearMounts();
  EXPECT_TRUE(IsUnresolvedRelativePath(path.text));
}

TEST(PathAliasExpansion, FormsOfAnAlias) {
  ASSERT_TRUE(SetPathAlias("zqmedia", "C:\\App/Media", 1));
  const struct {
    const char* path;
    int result;
    const char* expanded;
  } cases[] = {
      {"zeq:zqmedia:\\sounds\\ring.wav", 1, "C:\\App\\Media\\sounds\\ring.wav"},
      {"zqmedia:/sounds/ring.wav", 1, "C:/App/Media/sounds/ring.wav"},
      {"zqmedia:\\\\ring.wav", 1, "C:\\\\App\\\\Media\\\\ring.wav"},
      {"zqmedia://ring.wav", 1, "C://App//Media//ring.wav"},
      {"zqmedia:ring.wav", 1, "C:\\App\\Mediaring.wav"},
      // The rest of the path is left alone, even where it holds the name.
      {"zqmedia:\\a;zqmedia:\\b", 1, "C:\\App\\Media\\a;zqmedia:\\b"},
      {"zqmedia:\\old-zqmedia:x", 1, "C:\\App\\Media\\old-zqmedia:x"},
      {"zeq:nosuchalias:\\x", 0, "zeq:nosuchalias:\\x"},
      {"ZQMEDIA:\\x", 0, "ZQMEDIA:\\x"},  // names keep their case
      {"C:\\x", 0, "C:\\x"},
      {"noalias", 0, "noalias"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    HeapPath path(c.path);
    EXPECT_EQ(c.result, ExpandPathAliases(&path.text, 0, 0));
    EXPECT_STREQ(c.expanded, path.text);
  }
  // The loader-relative expansion lets the alias decide first.
  HeapPath viaLoader("zqmedia:\\x.wav");
  EXPECT_TRUE(ExpandLoaderRelativePath(&viaLoader.text, 0, "C:\\base"));
  EXPECT_STREQ("C:\\App\\Media\\x.wav", viaLoader.text);
}

TEST(PathAliasExpansion, LongFoldersGrowTheBlock) {
  const std::string folder = "C:\\" + std::string(300, 'f');
  ASSERT_TRUE(SetPathAlias("zqlong", folder.c_str(), 1));
  SetEnvironmentVariableA("ZEQTESTALIAS", "zqlong");
  HeapPath path("%ZEQTESTALIAS%:\\1 zqlong:\\2 zqlong:\\3");
  EXPECT_EQ(1, ExpandPathAliases(&path.text, 0, 1));
  EXPECT_EQ(folder + "\\1 zqlong:\\2 zqlong:\\3", path.text);
}

TEST(ScriptPaths, VariantToExpandedPath) {
  ASSERT_EQ(1, RegisterMacro("!zqtestfolder", "C:/macro"));
  VARIANT text;
  VariantInit(&text);
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"zeq:%zqtestfolder%/pages/a.html");
  char* plain = VariantToExpandedPath(&text, 0, FALSE);
  ASSERT_NE(nullptr, plain);
  EXPECT_STREQ("zeq:C:/macro/pages/a.html", plain);
  HeapFreeZ(plain);

  VARIANT reference;
  VariantInit(&reference);
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = &text;
  char* normal = VariantToExpandedPath(&reference, 16, TRUE);
  ASSERT_NE(nullptr, normal);
  EXPECT_STREQ("C:\\macro\\pages\\a.html", normal);
  EXPECT_GE(HeapBlockSize(normal), strlen(normal) + 16);
  HeapFreeZ(normal);
  VariantClear(&text);

  VARIANT number;
  VariantInit(&number);
  V_VT(&number) = VT_I4;
  V_I4(&number) = 5;
  EXPECT_EQ(nullptr, VariantToExpandedPath(&number, 0, TRUE));
  VARIANT null;
  VariantInit(&null);
  V_VT(&null) = VT_NULL;
  char* empty = VariantToExpandedPath(&null, 0, TRUE);
  ASSERT_NE(nullptr, empty);
  EXPECT_STREQ("", empty);
  HeapFreeZ(empty);
  RegisterMacro("-zqtestfolder", nullptr);
}

}  // namespace
