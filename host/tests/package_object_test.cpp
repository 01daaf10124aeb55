// ZEQPackage driven from page script: a package created, filled, closed,
// opened again, read, changed, extracted into a scratch folder and one of
// its files mounted beside the application's package; results and the files
// left on disk are read back natively.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "file_test_support.h"
#include "host/package_object.h"
#include "package/package.h"
#include "package/package_root.h"
#include "package/vfs.h"
#include "script_cases.h"

using namespace host_test;

namespace {

std::string FileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

class PackageObject : public ScriptCaseTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.PublishClass(kZEQPackageClass, ZEQPackageGetIDsOfNames, ZEQPackageInvoke));
    folder_.Write("source\\one.txt", "first file");
    folder_.Write("source\\sub\\two.txt", "second file");
    folder_.Write("source\\skip.bin", "binary");
    folder_.Write("changed.txt", "from a file");
    Run(L"var ZEQPKG_TYPE_SINGLE = 0, ZEQPKG_TYPE_MULTIPLE = 1, ZEQPKG_COMPRESS = 2, ZEQPKG_ENCRYPT = 4;"
        L" var D = " + Literal(folder_.path()) + L", P = D + '\\\\p.zpk';");
  }


  // Creates p.zpk with the given flags and password and fills it.
  void MakeFilledPackage(const wchar_t* flags, const wchar_t* password) {
    Run(std::wstring(L"var w = new ZEQPackage(P);"
                     L" var created = w.Create('") + password + L"', " + flags + L"), again = w.Create(0);"
        L" var added = [w.AddData('\\\\data\\\\a.txt', '1', 'alpha', 0).Success,"
        L" w.AddFile('\\\\b.txt', D + '\\\\source\\\\one.txt', 0).Success,"
        L" w.AddFolder('\\\\tree', D + '\\\\source', '*.txt', 1).Success,"
        L" w.AddFile('\\\\none.txt', D + '\\\\missing.txt', 0).Success].join();"
        L" var custom = w.SetCustom('made by script'); var closing = w.Close(); w = null;");
  }

  filetest::ScratchFolder folder_;
};

TEST_F(PackageObject, APackageFilledFromScriptIsWrittenAndReadBack) {
  MakeFilledPackage(L"ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT", L"secret");
  const ScriptCase made[] = {
      {"created", L"created.Success", "true"},
      {"second create refused, first kept", L"again.ErrorCode", "105"},
      {"entries added, a missing source refused", L"added", "true,true,true,false"},
      {"custom text taken", L"custom.Success", "true"},
      {"closed", L"closing.Success", "true"},
  };
  Expect(made);
  ASSERT_NE("<missing>", FileText(folder_ / "p.zpk"));
  Run(L"var r = new ZEQPackage(P); var opened = r.Open('secret'); var info = r.GetInfo();");
  const ScriptCase read[] = {
      {"opened", L"opened.Success", "true"},
      {"custom text stored", L"info.Custom", "made by script"},
      {"multiple entries", L"info.Type", "1"},
      {"path", L"info.FullPath == P", "true"},
      {"entry read", L"(g = r.Get('\\\\data\\\\a.txt'), g.Success + ',' + g.Content + ',' + g.ContentLenght)",
       "true,alpha,5"},
      {"file entry read", L"r.GetData('\\\\b.txt').Content", "first file"},
      {"folder entry read", L"r.Get('\\\\tree\\\\sub\\\\two.txt').Content", "second file"},
      {"pattern kept binaries out", L"typeof r.Get('\\\\tree\\\\skip.bin').Content", "undefined"},
      {"missing entry found nothing", L"(m = r.Get('\\\\nothing'), m.Success + ',' + typeof m.Content)",
       "true,undefined"},
      {"single-content member refused", L"r.SetContent('x').ErrorCode", "502"},
      {"password member refused", L"r.SetPassword('a', 'b').Success", "false"},
  };
  Expect(read);
  EXPECT_EQ("<missing>", FileText(folder_ / "p.zpk.wrong"));
  EXPECT_EQ("false", Eval(L"new ZEQPackage(P).Open('wrong').Success"));
}

TEST_F(PackageObject, ACustomTextSetAloneIsWrittenWhenThePackageCloses) {
  MakeFilledPackage(L"0", L"");
  Run(L"var o = new ZEQPackage(P); o.Open(''); var s = o.SetCustom('changed later');"
      L" var tooLong = o.SetCustom(new Array(66).join('x')), exact = o.SetCustom(new Array(65).join('y'));"
      L" o.SetCustom('changed later'); var before = o.GetInfo().Custom; var c = o.Close();");
  const ScriptCase cases[] = {
      {"taken", L"s.Success", "true"},
      {"65 characters out of range", L"tooLong.ErrorCode", "107"},
      {"64 characters taken", L"exact.Success", "true"},
      {"the open header copy keeps the old text", L"before", "made by script"},
      {"closed", L"c.Success", "true"},
      {"stored", L"(n = new ZEQPackage(P), n.Open(''), n.GetInfo().Custom)", "changed later"},
  };
  Expect(cases);
}

TEST_F(PackageObject, EntriesAreChangedRemovedAndExtractedIntoAFolder) {
  MakeFilledPackage(L"ZEQPKG_COMPRESS", L"");
  Run(L"var e = new ZEQPackage(P); e.Open('');"
      L" var changed = e.Change('\\\\b.txt', 'direct text', 'directcontent').Success;"
      L" var fromFile = e.Change('\\\\data\\\\a.txt', D + '\\\\changed.txt', '').Success;"
      L" var unreadable = e.Change('\\\\tree\\\\one.txt', D + '\\\\missing.txt', '').Success;"
      L" var removed = e.Remove('\\\\tree\\\\sub\\\\two.txt', '').Success;"
      L" var removedNothing = e.Remove('\\\\nothing', '').Success;"
      L" var all = e.Extract(D + '\\\\out'); var some = e.Extract(D + '\\\\only', '\\\\data\\\\*');"
      L"");
  const ScriptCase cases[] = {
      {"changed directly", L"changed", "true"},
      {"changed from a file", L"fromFile", "true"},
      {"unreadable source refused", L"unreadable", "false"},
      {"removed", L"removed", "true"},
      {"removing nothing succeeds", L"removedNothing", "true"},
      {"extracted", L"all.Success + ',' + all.ErrorCode", "true,0"},
      {"filter as second argument", L"some.Success", "true"},
  };
  Expect(cases);
  EXPECT_EQ("direct text", FileText(folder_ / "out\\b.txt"));
  EXPECT_EQ("from a file", FileText(folder_ / "out\\data\\a.txt"));
  EXPECT_EQ("first file", FileText(folder_ / "out\\tree\\one.txt"));
  EXPECT_EQ("<missing>", FileText(folder_ / "out\\tree\\sub\\two.txt"));
  EXPECT_EQ("from a file", FileText(folder_ / "only\\data\\a.txt"));
  EXPECT_EQ("<missing>", FileText(folder_ / "only\\b.txt"));
}

TEST_F(PackageObject, ASingleContentPackageTakesItsContentWhole) {
  Run(L"var s = new ZEQPackage(D + '\\\\single.zpk'); s.Create(ZEQPKG_TYPE_SINGLE, '', 0);"
      L" var firstSet = s.SetContent('whole content').Success, again = s.SetContent('short').Success;"
      L" var remove = s.Remove('x', '').ErrorCode; var closing = s.Close().Success; s = null;"
      L" var t = new ZEQPackage(D + '\\\\single.zpk'); t.Open(''); var c = t.GetContent();");
  const ScriptCase cases[] = {
      {"content set twice", L"firstSet + ',' + again", "true,true"},
      {"entries refused", L"remove", "502"},
      {"closed", L"closing", "true"},
      {"content replaced, not appended", L"c.Content + ',' + c.ContentLenght", "short,5"},
      {"type", L"t.GetInfo().Type", "0"},
  };
  Expect(cases);
}

TEST_F(PackageObject, AnEntryIsMountedBesideTheApplicationPackage) {
  MakeFilledPackage(L"0", L"");
  ZEQPackageDATA* application = ZEQPackageCreate(0, (folder_ / "app.zpk").c_str(), ZEQPKG_TYPE_MULTIPLE, "");
  ASSERT_NE(nullptr, application);
  ZEQPackageDATA* previous = ZEQGetApplicationPackage();
  ZEQSetApplicationPackage(application);
  char savedRoot[MAX_PATH + 1];
  strcpy(savedRoot, VirtualRootBuffer());
  strcpy(VirtualRootBuffer(), (folder_ / "vroot").c_str());
  Run(L"var app = new ZEQPackage(''); var appOpened = app.Open('').Success;"
      L" var m = new ZEQPackage(P); m.Open('');"
      L" var mounted = m.Extract(app, '\\\\mnt\\\\a.txt', '\\\\data\\\\a.txt', 0, 0);"
      L" var refused = m.Extract(m, '\\\\mnt\\\\b.txt', '\\\\b.txt', 0, 0);"
      L" var appClosed = app.Close().Success; app = null;");
  EXPECT_EQ("true", Eval(L"appOpened"));
  EXPECT_EQ("true,0", Eval(L"mounted.Success + ',' + mounted.ErrorCode"));
  EXPECT_EQ("501", Eval(L"refused.ErrorCode"));
  EXPECT_EQ("true", Eval(L"appClosed"));
  ZEQListItem* item = FindMountedFile((folder_ / "vroot\\mnt\\a.txt").c_str());
  ASSERT_NE(nullptr, item);
  EXPECT_EQ(std::string("alpha"), std::string(reinterpret_cast<const char*>(item->value1), size_t(item->value2)));
  EXPECT_FALSE(IsMountedFile((folder_ / "vroot\\mnt\\b.txt").c_str()));
  // The application's package outlives the object that closed it.
  EXPECT_EQ(application, ZEQGetApplicationPackage());
  strcpy(VirtualRootBuffer(), savedRoot);
  ZEQSetApplicationPackage(previous);
  ZEQPackageRelease(application);
}

struct MisuseCase {
  const char* name;
  const wchar_t* code;
  HRESULT expected;
};

const MisuseCase kMisuses[] = {
    {"ConstructionWithoutPath", L"new ZEQPackage()", DISP_E_BADPARAMCOUNT},
    {"ConstructionWithTwoArguments", L"new ZEQPackage('a', 'b')", DISP_E_BADPARAMCOUNT},
    {"CreateWithoutArguments", L"new ZEQPackage(P).Create()", DISP_E_BADPARAMCOUNT},
    {"AddDataWithThreeArguments", L"(x = new ZEQPackage(P), x.Create(0), x.AddData('a', '1', 'b'))",
     DISP_E_BADPARAMCOUNT},
    {"ExtractWithSixArguments", L"(x = new ZEQPackage(P), x.Create(0), x.Extract(1, 2, 3, 4, 5, 6))",
     DISP_E_BADPARAMCOUNT},
    {"MethodReadAsProperty", L"new ZEQPackage(P).GetInfo + ''", DISP_E_MEMBERNOTFOUND},
};

class PackageObjectMisuse : public PackageObject, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(PackageObjectMisuse, IsRefusedWithItsError) { EXPECT_EQ(GetParam().expected, host_.ErrorOf(GetParam().code)); }

INSTANTIATE_TEST_SUITE_P(Calls, PackageObjectMisuse, ::testing::ValuesIn(kMisuses),
                         [](const ::testing::TestParamInfo<MisuseCase>& info) { return std::string(info.param.name); });

TEST_F(PackageObject, MembersWithoutAPackageAnswerNotPrepared) {
  Run(L"var x = new ZEQPackage(P);");
  const ScriptCase cases[] = {
      {"constructed", L"x.Success", "true"},
      {"info", L"x.GetInfo().ErrorCode", "309"},
      {"extract", L"x.Extract(D).ErrorCode", "309"},
      {"close", L"x.Close().ErrorCode", "309"},
      {"password", L"(p = x.SetPassword(1, 2), p.Success + ',' + p.ErrorCode)", "false,2"},
      {"handler read", L"typeof x.onextracterror", "undefined"},
  };
  Expect(cases);
}

}  // namespace
