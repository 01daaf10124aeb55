// ZEQRegKey driven from page script over a scratch key of the current user,
// with what it writes and removes read back through the registry API, and
// values the API wrote read through script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host/registry_key.h"
#include "script_cases.h"

using namespace host_test;

namespace {

constexpr char kScratchParent[] = "Software\\ZEQTests";

// The registry's constants as page script has them.
const std::wstring kConstants =
    L"var HKEY_CURRENT_USER = 0x80000001, ZEQREG_OPEN = 0, ZEQREG_CREATE = 1, ZEQREG_SAM_READ = 0x10000000,"
    L" ZEQREG_SAM_WRITE = 0x20000000, ZEQREG_SAM_ALLACCESS = 0x80000000, ZEQREG_ENUM_RECURSIVE = 1;"
    L"function flat(a) { return a == null ? 'none' : new VBArray(a).toArray().join('|'); }";

class RegistryKey : public ScriptCaseTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.PublishClass(kZEQRegKeyClass, ZEQRegKeyGetIDsOfNames, ZEQRegKeyInvoke));
    path_ = std::string(kScratchParent) + "\\k" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(GetTickCount());
    RegDeleteKeyTree(HKEY_CURRENT_USER, path_.c_str());
    Run(kConstants + L"var P = " + Literal(path_) + L";");
  }
  void TearDown() override { RegDeleteKeyTree(HKEY_CURRENT_USER, path_.c_str()); }


  bool KeyExists(const std::string& sub) {
    HKEY key = nullptr;
    const std::string full = sub.empty() ? path_ : path_ + "\\" + sub;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  LSTATUS ReadValue(const char* name, DWORD* type, std::string* data) {
    char buffer[256] = {};
    DWORD size = sizeof(buffer);
    const LSTATUS error = RegGetValueA(HKEY_CURRENT_USER, path_.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type,
                                       buffer, &size);
    data->assign(buffer, size);
    return error;
  }
  void WriteValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }

  std::string path_;
};

TEST_F(RegistryKey, ConstructionWithoutOptionsCreatesTheKeyAndReportsWhetherItWasNew) {
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, '  ' + P + '\\t');");
  const ScriptCase cases[] = {
      {"opened", L"k.Success + ',' + k.ErrorCode", "true,0"},
      {"created", L"k.GetInfo().Created", "true"},
      {"full path", L"k.GetInfo().FullPath == P", "true"},
      {"empty key", L"k.GetInfo().SubKeys + ',' + k.GetInfo().Values", "0,0"},
      {"second opening not created", L"new ZEQRegKey(HKEY_CURRENT_USER, P).GetInfo().Created", "false"},
      {"opened for reading only", L"new ZEQRegKey(HKEY_CURRENT_USER, P, ZEQREG_SAM_READ).Success", "true"},
  };
  Expect(cases);
  EXPECT_TRUE(KeyExists(""));
}

TEST_F(RegistryKey, KeysThatDoNotOpenAnswerTheSystemErrorAndHaveNoMethods) {
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, P); var m = k.OpenKey('missing');"
      L" var r = new ZEQRegKey(HKEY_CURRENT_USER, P + '\\\\nothing', ZEQREG_OPEN | ZEQREG_SAM_READ);");
  const ScriptCase cases[] = {
      {"missing child", L"m.Success + ',' + m.ErrorCode + ',' + m.SystemErrorCode", "false,2,2"},
      {"missing child has no methods", L"typeof m.GetInfo", "undefined"},
      {"missing key opened from the root", L"r.Success + ',' + r.ErrorCode", "false,2"},
      {"a root that is no predefined key", L"new ZEQRegKey(12345, P).ErrorCode", "6"},
      {"a handle number as root", L"new ZEQRegKey(4, 'x').Success", "false"},
  };
  Expect(cases);
  EXPECT_FALSE(KeyExists("missing"));
  EXPECT_FALSE(KeyExists("nothing"));
}

TEST_F(RegistryKey, ValuesWrittenFromScriptAreReadBackByTheApi) {
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, P);"
      L" var n = k.SetValue(' number ', 5), t = k.SetValue('text', 'hello w\\u00f6rld'),"
      L" big = k.SetValue('big', 0xFFFFFFFE), b = k.SetValue('flag', true), o = k.SetValue('object', k);");
  const ScriptCase cases[] = {
      {"number written", L"n.Success", "true"},
      {"text written", L"t.Success", "true"},
      {"boolean refused", L"b.Success + ',' + b.ErrorCode", "false,13"},
      {"object refused", L"o.ErrorCode", "13"},
      {"number read back", L"k.GetValue('number').Value", "5"},
      {"top bit kept", L"k.GetValue('big').Value", "4294967294"},
      {"text read back", L"k.GetValue('text').Value == 'hello w\\u00f6rld'", "true"},
      {"missing value", L"(g = k.GetValue('none'), g.ErrorCode + ',' + typeof g.Value)", "2,undefined"},
  };
  Expect(cases);
  DWORD type = 0;
  std::string data;
  ASSERT_EQ(ERROR_SUCCESS, ReadValue("number", &type, &data));
  EXPECT_EQ(DWORD(REG_DWORD), type);
  EXPECT_EQ(std::string("\x05\0\0\0", 4), data);
  ASSERT_EQ(ERROR_SUCCESS, ReadValue("text", &type, &data));
  EXPECT_EQ(DWORD(REG_SZ), type);
  EXPECT_EQ(std::string("hello w\xf6rld", 12), data);  // ANSI, its ending zero counted
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("flag", &type, &data));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("object", &type, &data));
  Run(L"var d = k.DeleteValue('text'), d2 = k.DeleteValue('text');");
  EXPECT_EQ("true,2", Eval(L"d.Success + ',' + d2.ErrorCode"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue("text", &type, &data));
}

TEST_F(RegistryKey, ValuesOfEachRegistryTypeReachScriptAsTheirKind) {
  const char multi[] = "one\0two\0\0";
  const char unended[] = {'a', 'b', '\0', 'c', 'd'};
  const unsigned char bytes[] = {0, 7, 255};
  const unsigned long long quad = 7;
  SetEnvironmentVariableA("ZEQ_REG_TEST", "expanded");
  WriteValue("multi", REG_MULTI_SZ, multi, sizeof(multi) - 1);
  WriteValue("unended", REG_MULTI_SZ, unended, sizeof(unended));
  WriteValue("bytes", REG_BINARY, bytes, sizeof(bytes));
  WriteValue("quad", REG_QWORD, &quad, sizeof(quad));
  WriteValue("expand", REG_EXPAND_SZ, "x%ZEQ_REG_TEST%", 16);
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, P, ZEQREG_SAM_READ);");
  const ScriptCase cases[] = {
      {"text list", L"flat(k.GetValue('multi').Value)", "one|two"},
      {"text list without its ending", L"flat(k.GetValue('unended').Value)", "ab|cd"},
      {"bytes", L"flat(k.GetValue('bytes').Value)", "0|7|255"},
      {"expanded text", L"k.GetValue('expand').Value", "xexpanded"},
      {"64-bit value refused", L"(q = k.GetValue('quad'), q.ErrorCode + ',' + typeof q.Value)", "13,undefined"},
      {"every value enumerated", L"(v = k.EnumValues().Values, flat(v.multi) + ';' + flat(v.bytes) + ';' + v.expand)",
       "one|two;0|7|255;xexpanded"},
      {"64-bit value enumerated without a value", L"typeof k.EnumValues().Values.quad", "undefined"},
      {"values by pattern", L"(w = k.EnumValues('b*,e*').Values, typeof w.multi + ',' + flat(w.bytes))",
       "undefined,0|7|255"},
      {"counted by the key information", L"k.GetInfo().Values", "5"},
      {"read-only key refuses writes", L"k.SetValue('x', 1).ErrorCode", "5"},
  };
  Expect(cases);
}

TEST_F(RegistryKey, SubKeysAreEnumeratedAsPathsBelowTheKey) {
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, P);"
      L" var c = k.CreateKey('a'); c.CreateKey('x\\\\deep'); k.CreateKey('b');");
  const ScriptCase cases[] = {
      {"whole tree in walk order", L"flat(k.EnumSubKeys().SubKeys)", "\\a|\\a\\x|\\a\\x\\deep|\\b"},
      {"first level only", L"flat(k.EnumSubKeys('*', 0).SubKeys)", "\\a|\\b"},
      {"pattern over the tree", L"flat(k.EnumSubKeys('d*').SubKeys)", "\\a\\x\\deep"},
      {"exclusion", L"flat(k.EnumSubKeys('-b', 0).SubKeys)", "\\a"},
      {"child created", L"c.GetInfo().Created", "true"},
      {"child's full path", L"c.GetInfo().FullPath == P + '\\\\a'", "true"},
      {"existing child opened", L"(o = k.OpenKey('b'), o.Success + ',' + o.GetInfo().Created)", "true,false"},
  };
  Expect(cases);
  EXPECT_TRUE(KeyExists("a\\x\\deep"));
}

TEST_F(RegistryKey, DeletingAKeyRemovesItsTreeAndItsMethods) {
  Run(L"var k = new ZEQRegKey(HKEY_CURRENT_USER, P); k.CreateKey('a\\\\b\\\\c'); k.CreateKey('keep');"
      L" var sub = k.Delete('a');");
  EXPECT_EQ("true", Eval(L"sub.Success"));
  EXPECT_FALSE(KeyExists("a"));
  EXPECT_TRUE(KeyExists("keep"));
  EXPECT_EQ("2", Eval(L"k.Delete('a').ErrorCode"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyTree(HKEY_CURRENT_USER, (path_ + "\\a").c_str()));
  Run(L"var whole = k.Delete();");
  EXPECT_EQ("true", Eval(L"whole.Success"));
  EXPECT_FALSE(KeyExists(""));
  EXPECT_EQ("undefined", Eval(L"typeof k.GetInfo"));
  EXPECT_NE(S_OK, host_.ErrorOf(L"k.GetInfo();"));
}

TEST_F(RegistryKey, AChildOutlivingItsParentStillDeletesItself) {
  // The parent object is a temporary that script lets go at once, and its
  // key is closed with it.
  Run(L"var c = new ZEQRegKey(HKEY_CURRENT_USER, P).CreateKey('child\\\\grand');");
  ASSERT_TRUE(KeyExists("child\\grand"));
  EXPECT_EQ("true", Eval(L"c.Delete().Success"));
  EXPECT_FALSE(KeyExists("child\\grand"));
  EXPECT_TRUE(KeyExists("child"));
}

struct MisuseCase {
  const char* name;
  const wchar_t* code;
  HRESULT expected;
};

const MisuseCase kMisuses[] = {
    {"ConstructionWithOneArgument", L"new ZEQRegKey(HKEY_CURRENT_USER)", DISP_E_BADPARAMCOUNT},
    {"ConstructionWithFourArguments", L"new ZEQRegKey(HKEY_CURRENT_USER, P, 0, 0)", DISP_E_BADPARAMCOUNT},
    {"GetValueWithoutName", L"new ZEQRegKey(HKEY_CURRENT_USER, P).GetValue()", DISP_E_BADPARAMCOUNT},
    {"SetValueWithOneArgument", L"new ZEQRegKey(HKEY_CURRENT_USER, P).SetValue('a')", DISP_E_BADPARAMCOUNT},
    {"EnumSubKeysWithThreeArguments", L"new ZEQRegKey(HKEY_CURRENT_USER, P).EnumSubKeys('*', 0, 0)",
     DISP_E_BADPARAMCOUNT},
    {"GetInfoWithAnArgument", L"new ZEQRegKey(HKEY_CURRENT_USER, P).GetInfo(1)", DISP_E_BADPARAMCOUNT},
    {"MethodReadAsProperty", L"new ZEQRegKey(HKEY_CURRENT_USER, P).GetInfo + ''", DISP_E_MEMBERNOTFOUND},
};

class RegistryKeyMisuse : public RegistryKey, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(RegistryKeyMisuse, IsRefusedWithItsError) { EXPECT_EQ(GetParam().expected, host_.ErrorOf(GetParam().code)); }

INSTANTIATE_TEST_SUITE_P(Calls, RegistryKeyMisuse, ::testing::ValuesIn(kMisuses),
                         [](const ::testing::TestParamInfo<MisuseCase>& info) { return std::string(info.param.name); });

}  // namespace
