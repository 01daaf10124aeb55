// Result objects: their result fields, named values of every setter, how
// script reads them and what it may not do with them.
#include "host/return_data.h"

#include <gtest/gtest.h>

#include "foundation/heap.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

// A result object published to script as "r".
class ReturnData : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    r_ = ZEQReturn::Create(host_.Owner(), 1, 1, 0, 4);
    ASSERT_TRUE(r_);
  }
  void TearDown() override {
    if (r_) r_->Release();
  }
  // Publishes r_ and evaluates an expression on it.
  std::wstring Read(const std::wstring& expression) {
    host_.Publish(L"r", r_);
    return host_.Eval(expression);
  }
  ScriptHost host_;
  CZEQDispatchEx* r_ = nullptr;
};

TEST_F(ReturnData, ValuesReadAsPropertiesOfTheirObjectOnly) {
  ZEQReturnData::SetUInt(r_, L"Count", 1);
  ZEQReturnData::SetUInt(r_, L"Count", 2);  // replaces the first value
  ZEQReturnData::SetInt(r_, L"Delta", -5);
  ZEQReturnData::SetDouble(r_, L"Ratio", 0.25);
  ZEQReturnData::SetStringA(r_, L"Path", "C:\\temp");
  ZEQReturnData::SetStringW(r_, L"Wide", L"a\u00e7\u00e3o");
  ZEQReturnData::SetStringA(r_, L"Empty", nullptr);
  ZEQReturnData::SetCacheLocalFileSize(r_, 1, 5);
  EXPECT_EQ(L"2", Read(L"r.Count"));
  EXPECT_EQ(L"-5", Read(L"r.Delta"));
  EXPECT_EQ(L"0.25", Read(L"r.Ratio"));
  EXPECT_EQ(L"C:\\temp", Read(L"r.Path"));
  EXPECT_EQ(L"a\u00e7\u00e3o", Read(L"r.Wide"));
  EXPECT_EQ(L"string:", Read(L"typeof r.Empty + ':' + r.Empty"));
  EXPECT_EQ(L"4294967301", Read(L"r.CacheLocalFileSize"));
  // Names are case-sensitive.
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(r_, L"count", &id));
  EXPECT_EQ(L"undefined", Read(L"r.count"));
  // A value exists only on the object it was added to.
  CZEQDispatchEx* other = ZEQReturn::Create(nullptr, 1, 1, 0, 4);
  ASSERT_EQ(S_OK, DispIdOf(r_, L"Count", &id));
  VARIANT v;
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, GetProperty(other, id, &v));
  other->Release();
}

TEST_F(ReturnData, ValuesRefuseCallsPutsAndNew) {
  ZEQReturnData::SetUInt(r_, L"SubKeys", 3);
  host_.Publish(L"r", r_);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"r.SubKeys()"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"r.SubKeys = 4"));
  EXPECT_EQ(L"3", host_.Eval(L"r.SubKeys"));
  EXPECT_TRUE(FAILED(host_.ErrorOf(L"new r()")));
  VARIANT v;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_EXCEPTION, r_->InvokeEx(DISPID_VALUE, 0, DISPATCH_CONSTRUCT, &none, &v, nullptr, nullptr));
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(r_, L"SubKeys", &id));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, r_->InvokeEx(id, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr));
}

TEST_F(ReturnData, ValuesOfEveryKind) {
  ZEQReturnData::SetBool(r_, L"Five", 5);
  ZEQReturnData::SetBool(r_, L"Zero", 0);
  ZEQReturnData::SetNull(r_, L"Nothing");
  ZEQReturnData::SetDispatch(r_, L"NoObject", nullptr);
  ZEQReturnData::SetDispatch(r_, L"Self", r_);
  ZEQReturnData::SetHexString(r_, L"Hex", "T", 255);
  ZEQReturnData::SetHexString(r_, L"Long", "0123456789012345678901234567890123456789", 1);
  VARIANT copied;
  VariantInitInt(&copied, 9);
  ZEQReturnData::SetVariant(r_, L"Copied", &copied);
  EXPECT_EQ(L"true", Read(L"r.Five"));
  EXPECT_EQ(L"false", Read(L"r.Zero"));
  EXPECT_EQ(L"true", Read(L"r.Nothing === null"));
  EXPECT_EQ(L"true", Read(L"r.NoObject === null"));
  EXPECT_EQ(L"3", Read(L"r.Self.Self.Hex.length"));
  EXPECT_EQ(L"Tff", Read(L"r.Hex"));
  EXPECT_EQ(L"32", Read(L"r.Long.length"));
  EXPECT_EQ(L"9", Read(L"r.Copied"));
  // The object keeps a value that holds itself alive: drop it.
  ZEQReturnData::SetNull(r_, L"Self");
}

TEST_F(ReturnData, DatesAreDayMonthYearInLocalTime) {
  SYSTEMTIME local{2024, 3, 0, 25, 14, 5, 9, 0};  // 25 March 2024 14:05:09
  SYSTEMTIME utc;
  FILETIME time;
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &time));
  ZEQReturnData::SetFileTime(r_, L"Modified", &time);
  EXPECT_EQ(L"25/03/2024 14:05:09", Read(L"r.Modified"));
}

TEST_F(ReturnData, ArraysAndListsBecomeScriptArrays) {
  JSArray empty;
  empty.Init();
  ZEQReturnData::SetArray(r_, L"None", &empty);
  ZEQReturnData::SetArrayCopy(r_, L"NoneCopy", &empty);
  empty.Destroy();
  JSArray two;
  two.Init();
  two.AppendUInt(7);
  two.AppendStringA("x");
  ZEQReturnData::SetArray(r_, L"Two", &two);
  ZEQReturnData::SetArrayCopy(r_, L"TwoCopy", &two);
  two.Destroy();
  ZEQReturnData::SetStringList(r_, L"OnlyEnd", "\0");
  ZEQReturnData::SetStringList(r_, L"Headers", "a\0b\0");
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
  for (LONG i = 0; i < 3; ++i) {
    unsigned char b = static_cast<unsigned char>('A' + i);
    SafeArrayPutElement(bytes, &i, &b);
  }
  ZEQReturnData::SetBinary(r_, L"Bytes", bytes);
  ZEQReturnData::SetBinary(r_, L"NoBytes", nullptr);
  // An empty array is an empty value, not an empty array.
  EXPECT_EQ(L"undefined", Read(L"typeof r.None"));
  EXPECT_EQ(L"undefined", Read(L"typeof r.NoneCopy"));
  EXPECT_EQ(L"7|x", Read(L"new VBArray(r.Two).toArray().join('|')"));
  EXPECT_EQ(L"7|x", Read(L"new VBArray(r.TwoCopy).toArray().join('|')"));
  EXPECT_EQ(L"1:", Read(L"(function(a) { return a.length + ':' + a[0]; })(new VBArray(r.OnlyEnd).toArray())"));
  EXPECT_EQ(L"a|b", Read(L"new VBArray(r.Headers).toArray().join('|')"));
  EXPECT_EQ(L"true", Read(L"r.NoBytes === null"));
  DISPID id;
  ASSERT_EQ(S_OK, DispIdOf(r_, L"Bytes", &id));
  VARIANT v;
  ASSERT_EQ(S_OK, GetProperty(r_, id, &v));
  EXPECT_EQ(VT_ARRAY | VT_UI1, V_VT(&v));
  char* text = SafeArrayToHeapBuffer(V_ARRAY(&v));
  EXPECT_STREQ("ABC", text);
  HeapFreeZ(text);
  VariantClear(&v);
}

TEST_F(ReturnData, TraceFieldsBecomeNamedValues) {
  ParseTraceFields("ResultCode=8007000E, HRCounter=#3, Path=C:\\temp, Quoted=\"a, b=c\"", r_);
  EXPECT_EQ(L"2147942414", Read(L"r.ResultCode"));
  EXPECT_EQ(L"3", Read(L"r.HRCounter"));
  EXPECT_EQ(L"C:\\temp", Read(L"r.Path"));
  EXPECT_EQ(L"a, b=c", Read(L"r.Quoted"));
  CZEQDispatchEx* single = ZEQReturn::Create(nullptr, 1, 1, 0, 4);
  ParseTraceFields("A=1", single);
  ParseTraceFields("HRCounter=x12y", single);
  ParseTraceFields("no fields here", single);
  host_.Publish(L"s", single);
  EXPECT_EQ(L"string:1", host_.Eval(L"typeof s.A + ':' + s.A"));
  EXPECT_EQ(L"number:12", host_.Eval(L"typeof s.HRCounter + ':' + s.HRCounter"));
  single->Release();
  // A field longer than the buffers is cut, not written past them.
  std::string longField = "Big=" + std::string(5000, 'x');
  ParseTraceFields(longField.c_str(), r_);
  EXPECT_EQ(L"2048", Read(L"r.Big.length"));
}

struct ResultCase {
  uint32_t code, expected, systemError, mode;
  BOOL success;
  uint32_t errorCode;
};

TEST(ReturnResult, ModesSetSuccessAndErrorCode) {
  const ResultCase cases[] = {
      {5, 5, 0, 1, TRUE, 5}, {5, 6, 0, 1, FALSE, 5}, {5, 5, 0, 2, FALSE, 5}, {5, 6, 0, 2, TRUE, 5},
      {1, 1, 0, 4, TRUE, 0}, {0, 1, 0, 4, FALSE, 2}, {3, 0, 0, 4, FALSE, 2}, {1, 1, 0, 3, TRUE, 1},
  };
  for (const ResultCase& c : cases) {
    CZEQDispatchEx* r = ZEQReturn::Create(nullptr, c.code, c.expected, c.systemError, c.mode);
    ASSERT_TRUE(r);
    EXPECT_EQ(c.success, r->success) << c.code << "/" << c.expected << " mode " << c.mode;
    EXPECT_EQ(c.errorCode, r->errorCode) << c.code << "/" << c.expected << " mode " << c.mode;
    r->Release();
  }
}

TEST(ReturnResult, SystemErrorTextFollowsTheSystemError) {
  CZEQDispatchEx* failed = ZEQReturn::CreateFailed(nullptr);
  EXPECT_FALSE(failed->success);
  EXPECT_EQ(2u, failed->errorCode);
  EXPECT_EQ(1u, failed->systemErrorCode);
  ASSERT_TRUE(failed->errorDescription.data);
  EXPECT_GT(strlen(failed->errorDescription.data), 0u);
  EXPECT_EQ(0, failed->errorDescription.count);
  // -1 empties the text; a number the system has no text for keeps it.
  ZEQReturnData::SetResult(failed, 0, 1, 0x7FFFFFF0, 4);
  EXPECT_GT(strlen(failed->errorDescription.data), 0u);
  ZEQReturnData::SetResult(failed, 0, 1, static_cast<uint32_t>(-1), 4);
  EXPECT_FALSE(failed->errorDescription.data && *failed->errorDescription.data);
  EXPECT_EQ(0xFFFFFFFFu, failed->systemErrorCode);
  failed->Release();
  ZEQSetResultSuccess(nullptr);  // ignored
}

TEST(ReturnResult, IndexedResultsReadByPosition) {
  CZEQDispatchEx* row =
      CZEQDispatchEx::Create(L"ZEQReturn", nullptr, ZEQReturnGetIDsOfNames, ZEQReturn::Invoke, kZEQDispIndexedReturn);
  ZEQReturnData::SetStringA(row, L"name", "ana");
  ZEQReturnData::SetInt(row, L"age", 30);
  ZEQReturnData::SetInt(row, L"name", 31);  // a second column of the same name
  const struct {
    const wchar_t* name;
    const wchar_t* text;
  } cases[] = {{L"0", L"ana"}, {L"1", L"30"}, {L"2", L"31"}, {L"age", L"30"}, {L"name", L"ana"}};
  for (const auto& c : cases) {
    DISPID id;
    ASSERT_EQ(S_OK, DispIdOf(row, c.name, &id)) << c.name;
    VARIANT v;
    ASSERT_EQ(S_OK, GetProperty(row, id, &v)) << c.name;
    VARIANT text;
    VariantInit(&text);
    ASSERT_EQ(S_OK, VariantChangeType(&text, &v, 0, VT_BSTR));
    EXPECT_STREQ(c.text, V_BSTR(&text)) << c.name;
    VariantClear(&text);
    VariantClear(&v);
  }
  row->Release();
}

}  // namespace
