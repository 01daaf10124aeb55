// ZEQDictionary and ZEQINIFile driven from page script: construction and
// its result, typed look-ups, enumeration, changes, argument checks, and INI
// files exchanged with python's configparser.
#include <gtest/gtest.h>

#include <string>

#include "file_test_support.h"
#include "host/definitions_objects.h"
#include "host_python.h"
#include "package/definitions_list.h"
#include "script_host.h"

using namespace host_test;

namespace {

// A path as a JScript string literal.
std::wstring Literal(const std::string& path) {
  std::wstring text = L"\"";
  for (char c : path) {
    if (c == '\\') text += L'\\';
    text += wchar_t(static_cast<unsigned char>(c));
  }
  return text + L"\"";
}

// Script arrays arrive as SAFEARRAYs: flat(a) lists their elements, nested
// arrays in place, joined by commas.
const std::wstring kFlat =
    L"function flat(a) { var x = new VBArray(a).toArray(), r = [];"
    L" for (var i = 0; i < x.length; ++i) { try { r.push(flat(x[i])); } catch (e) { r.push(x[i]); } }"
    L" return r.join(','); }";

class DefinitionsObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.PublishClass(kZEQDictionaryClass, ZEQDictionaryGetIDsOfNames, ZEQDictionaryInvoke));
    ASSERT_TRUE(host_.PublishClass(kZEQINIFileClass, ZEQINIFileGetIDsOfNames, ZEQINIFileInvoke));
  }
  ScriptHost host_;
  filetest::ScratchFolder folder_;
};

TEST_F(DefinitionsObjects, DictionaryAnswersTypedLookups) {
  const std::string path = folder_.Write("app.def",
                                         "a\r\n\tb:one\r\n\tb\r\n\t\tc:deep\r\n\tc:two\r\n"
                                         "n\r\n\thex:-0x10\r\n\toct:010\r\n\tfrac:+2.5\r\n\ttext:abc\r\n"
                                         "f\r\n\tu:Unchecked\r\n\to:off\r\n");
  ASSERT_TRUE(host_.Run(L"var d = new ZEQDictionary(" + Literal(path) + L");" + kFlat)) << host_.LastError();
  EXPECT_EQ(L"true", host_.Eval(L"d.Success"));
  EXPECT_EQ(L"one", host_.Eval(L"d.Get('a.b')"));
  EXPECT_EQ(L"", host_.Eval(L"d.Get('a')"));
  EXPECT_EQ(L"null", host_.Eval(L"d.Get('a.z')"));
  EXPECT_EQ(L"4294967280", host_.Eval(L"d.GetNumber('n.hex')"));
  EXPECT_EQ(L"8", host_.Eval(L"d.GetNumber('n.oct')"));
  EXPECT_EQ(L"2.5", host_.Eval(L"d.GetNumber('n.frac')"));
  EXPECT_EQ(L"0", host_.Eval(L"d.GetNumber('n.text')"));
  EXPECT_EQ(L"false", host_.Eval(L"d.GetBoolean('f.u')"));
  EXPECT_EQ(L"true", host_.Eval(L"d.GetBoolean('f.o')"));
  EXPECT_EQ(L"null", host_.Eval(L"d.GetBoolean('f.none')"));
  EXPECT_EQ(L"0,a.b,one,a.c,two", host_.Eval(L"flat(d.Enum('a'))"));
  EXPECT_EQ(L"0,a.b,one,a.b.c,deep,a.c,two", host_.Eval(L"flat(d.Enum('a', true))"));
  EXPECT_EQ(L"0,a.c,two", host_.Eval(L"flat(d.Enum('a', 'a.c', false))"));
  EXPECT_EQ(L"2", host_.Eval(L"flat(d.Enum('z'))"));
  EXPECT_EQ(L"1", host_.Eval(L"d.Set('a.b', 'x')"));
  EXPECT_EQ(L"x", host_.Eval(L"d.Get('a.b')"));
  EXPECT_EQ(L"1", host_.Eval(L"d.Delete('a.b')"));
  EXPECT_EQ(L"null", host_.Eval(L"d.Get('a.b')"));
  EXPECT_EQ(L"deep", host_.Eval(L"d.Get('a.b.c')"));  // children stay
  EXPECT_EQ(L"0", host_.Eval(L"d.Delete('a.b')"));
}

TEST_F(DefinitionsObjects, DictionaryWithoutAFileAnswersEmpty) {
  ASSERT_TRUE(host_.Run(L"var d = new ZEQDictionary(" + Literal(folder_ / "none.def") + L");" + kFlat))
      << host_.LastError();
  EXPECT_EQ(L"false", host_.Eval(L"d.Success"));
  EXPECT_EQ(L"2", host_.Eval(L"d.ErrorCode"));
  EXPECT_EQ(L"null", host_.Eval(L"d.Get('a')"));
  EXPECT_EQ(L"null", host_.Eval(L"d.GetNumber('a')"));
  EXPECT_EQ(L"0", host_.Eval(L"d.Set('a', 'b')"));
  EXPECT_EQ(L"2", host_.Eval(L"flat(d.Enum('a'))"));
  // Loading a file gives it a list of its own.
  const std::string path = folder_.Write("late.def", "k:v\r\n");
  EXPECT_EQ(L"1", host_.Eval(L"d.Load(" + Literal(path) + L")"));
  EXPECT_EQ(L"v", host_.Eval(L"d.Get('k')"));
}

TEST_F(DefinitionsObjects, DictionaryAttachesToTheLoaderListAndLeavesIt) {
  DefinitionsList* loader = DefinitionsList::Create();
  DefinitionSetValue(loader, "loader.name", "main");
  DefinitionsList* previous = GetLoaderDefinitions();
  SetLoaderDefinitions(loader);
  ASSERT_TRUE(host_.Run(L"var d = new ZEQDictionary('@System.Loader'); d.Set('loader.extra', 'yes');"))
      << host_.LastError();
  EXPECT_EQ(L"main", host_.Eval(L"d.Get('loader.name')"));
  ASSERT_TRUE(host_.Run(L"d = null; CollectGarbage();"));
  EXPECT_EQ(loader, GetLoaderDefinitions());
  int found = 0;
  EXPECT_STREQ("yes", DefinitionGetValue(loader, nullptr, "loader.extra", nullptr, &found));
  SetLoaderDefinitions(previous);
}

struct MisuseCase {
  const char* name;
  const wchar_t* code;
  HRESULT expected;
};

const MisuseCase kMisuses[] = {
    {"DictionaryWithoutArguments", L"new ZEQDictionary()", DISP_E_BADPARAMCOUNT},
    {"DictionaryGetWithThreeArguments", L"new ZEQDictionary('x').Get(1, 2, 3)", DISP_E_BADPARAMCOUNT},
    {"DictionarySetWithOneArgument", L"new ZEQDictionary('x').Set('a')", DISP_E_BADPARAMCOUNT},
    {"DictionaryMemberReadAsProperty", L"new ZEQDictionary('x').Get + ''", DISP_E_MEMBERNOTFOUND},
    {"INIFileWithThreeArguments", L"new ZEQINIFile('a', 1, 2)", DISP_E_BADPARAMCOUNT},
    {"INIGetWithTwoArguments", L"new ZEQINIFile('a').Get('s', 'k')", DISP_E_BADPARAMCOUNT},
    {"INIDeleteWithThreeArguments", L"new ZEQINIFile('a').Delete('s', 'k', 'x')", DISP_E_BADPARAMCOUNT},
};

class DefinitionsObjectMisuse : public DefinitionsObjects, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(DefinitionsObjectMisuse, IsRefusedWithItsCode) {
  EXPECT_EQ(GetParam().expected, host_.ErrorOf(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(Calls, DefinitionsObjectMisuse, ::testing::ValuesIn(kMisuses),
                         [](const ::testing::TestParamInfo<MisuseCase>& info) { return info.param.name; });

TEST_F(DefinitionsObjects, INIFileAnswersFromItsListAndWritesThrough) {
  const std::string path = folder_.Write("app.ini", "[S]\r\n k = v \r\n@hidden=1\r\n");
  ASSERT_TRUE(host_.Run(L"var f = new ZEQINIFile(" + Literal(path) + L", 4);")) << host_.LastError();
  EXPECT_EQ(L"true", host_.Eval(L"f.Success"));
  EXPECT_EQ(L"v", host_.Eval(L"f.Get('s', 'K', 'd').Value"));
  EXPECT_EQ(L"true", host_.Eval(L"f.Get('s', 'K', 'd').Success"));
  EXPECT_EQ(L"d", host_.Eval(L"f.Get('S', '@hidden', 'd').Value"));
  EXPECT_EQ(L"false", host_.Eval(L"f.Get('S', '@hidden', 'd').Success"));
  EXPECT_EQ(L"true", host_.Eval(L"f.Set('T', 'name', 'value').Success"));
  EXPECT_EQ(L"value", host_.Eval(L"f.Get('t', 'NAME', '').Value"));
  EXPECT_NE(std::string::npos, filetest::ReadTextFile(path).find("name=value"));
  EXPECT_EQ(L"true", host_.Eval(L"f.Delete('S', 'k').Success"));
  EXPECT_EQ(L"false", host_.Eval(L"f.Get('S', 'k', 'gone').Success"));
  EXPECT_EQ(std::string::npos, filetest::ReadTextFile(path).find("k = v"));
}

TEST_F(DefinitionsObjects, INIOptionsCreateOrTruncateTheFile) {
  const std::string existing = folder_.Write("old.ini", "[S]\r\nk=v\r\n");
  ASSERT_TRUE(host_.Run(L"var f = new ZEQINIFile(" + Literal(existing) + L", 1);")) << host_.LastError();
  EXPECT_EQ(L"false", host_.Eval(L"f.Get('S', 'k', 'd').Success"));
  EXPECT_EQ("", filetest::ReadTextFile(existing));
  const std::string missing = folder_ / "new.ini";
  ASSERT_TRUE(host_.Run(L"var g = new ZEQINIFile(" + Literal(missing) + L");"));
  EXPECT_EQ(L"false", host_.Eval(L"g.Success"));
  EXPECT_EQ("<missing>", filetest::ReadTextFile(missing));
  ASSERT_TRUE(host_.Run(L"var h = new ZEQINIFile(" + Literal(missing) + L", 2);"));
  EXPECT_EQ(L"true", host_.Eval(L"h.Success"));
  EXPECT_EQ("", filetest::ReadTextFile(missing));
}

// configparser writes files this system reads, and reads files it writes.
TEST_F(DefinitionsObjects, INIFilesAreExchangedWithConfigparser) {
  pytest::HostPython python;
  const std::string written = R"(
import configparser, os, sys
folder = sys.argv[1]
for name, encoding in (('plain.ini', 'utf-8'), ('utf8bom.ini', 'utf-8-sig'), ('utf16.ini', 'utf-16')):
    c = configparser.ConfigParser()
    c['Main Section'] = {'full name': 'Ann Lee', 'city': 'S\u00e3o Paulo'}
    c['Other'] = {'k': 'v'}
    with open(os.path.join(folder, name), 'w', encoding=encoding) as f:
        c.write(f)
)";
  ASSERT_TRUE(python.Run(written)) << python.problem();
  struct FileCase {
    const char* name;
    const wchar_t* city;  // what script reads: UTF-8 without a mark stays bytes
  } files[] = {{"plain.ini", L"S\u00c3\u00a3o Paulo"}, {"utf8bom.ini", L"S\u00e3o Paulo"}, {"utf16.ini", L"S\u00e3o Paulo"}};
  for (const FileCase& file : files) {
    SCOPED_TRACE(file.name);
    ASSERT_TRUE(host_.Run(L"var f = new ZEQINIFile(" + Literal(python.folder() / file.name) + L");"))
        << host_.LastError();
    EXPECT_EQ(L"true", host_.Eval(L"f.Success"));
    EXPECT_EQ(L"Ann Lee", host_.Eval(L"f.Get('main section', 'Full Name', '').Value"));
    EXPECT_EQ(file.city, host_.Eval(L"f.Get('Main Section', 'city', '').Value"));
    EXPECT_EQ(L"v", host_.Eval(L"f.Get('Other', 'k', '').Value"));
  }

  const std::string ours = python.folder() / "ours.ini";
  ASSERT_TRUE(host_.Run(L"var w = new ZEQINIFile(" + Literal(ours) + L", 1);"
                        L"w.Set('Main Section', 'full name', 'Ann Lee'); w.Set('Main Section', 'city', 'Lisboa \u00e9');"
                        L"w.Set('Other', 'k', 'v'); w.Set('Other', 'gone', 'x'); w.Delete('Other', 'gone');"))
      << host_.LastError();
  const std::string reader = R"(
import configparser, locale, os, sys
folder = sys.argv[1]
c = configparser.ConfigParser()
c.read(os.path.join(folder, 'ours.ini'), encoding='cp1252')
with open(os.path.join(folder, 'seen.txt'), 'w', encoding='utf-8') as f:
    for section in c.sections():
        for key, value in c[section].items():
            f.write('%s|%s|%s\n' % (section, key, value))
)";
  ASSERT_TRUE(python.Run(reader)) << python.problem();
  EXPECT_EQ("Main Section|full name|Ann Lee\nMain Section|city|Lisboa \xC3\xA9\nOther|k|v\n",
            filetest::ReadTextFile(python.folder() / "seen.txt"));
}

}  // namespace
