// Script arrays: appenders and positions, the SAFEARRAY they become, the
// argument builder, and arrays going both ways between script and native
// code.
#include "host/js_array.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/variant.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

// The elements as text, joined by '|' (a nested array shows as [..]).
std::wstring Describe(const VARIANT* v);

std::wstring DescribeArray(SAFEARRAY* array) {
  std::wstring out;
  VARIANT* slots = nullptr;
  if (!array || FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)))) return L"<none>";
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    if (i) out += L"|";
    out += Describe(&slots[i]);
  }
  SafeArrayUnaccessData(array);
  return out;
}

std::wstring Describe(const VARIANT* v) {
  if (V_VT(v) == (VT_ARRAY | VT_VARIANT)) return L"[" + DescribeArray(V_ARRAY(v)) + L"]";
  if (V_VT(v) == VT_EMPTY) return L"<empty>";
  if (V_VT(v) == VT_NULL) return L"<null>";
  VARIANT text;
  VariantInit(&text);
  std::wstring out = L"<?>";
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR)))
    out = V_BSTR(&text) ? V_BSTR(&text) : L"";
  VariantClear(&text);
  return out;
}

std::wstring DescribeArray(JSArray* array) {
  VARIANT v;
  VariantInit(&v);
  array->ToSafeArray(&v);
  std::wstring out = Describe(&v);
  VariantClear(&v);
  return out;
}

class Arrays : public ::testing::Test {
 protected:
  void SetUp() override { array_.Init(); }
  void TearDown() override { array_.Destroy(); }
  JSArray array_;
};

TEST_F(Arrays, AppendersPlaceElementsByPosition) {
  EXPECT_TRUE(IsJSArray(&array_));
  array_.AppendUInt(7);
  array_.AppendUInt(8);
  array_.AppendUInt(5, 0);
  array_.AppendInt(-1, -3);
  array_.AppendUInt(6, 2);
  array_.AppendDouble(0.5, kJSArrayEnd);
  array_.AppendBool(3, 100);
  EXPECT_EQ(L"[-1|5|6|7|8|0.5|True]", DescribeArray(&array_));
  EXPECT_EQ(VT_UI4, V_VT(array_.At(1)));
  EXPECT_EQ(VT_I4, V_VT(array_.At(0)));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(array_.At(6)));
}

TEST_F(Arrays, StringsNullsAndObjects) {
  array_.AppendStringA(nullptr);
  array_.AppendStringA("");
  array_.AppendStringA("a\xe7\xe3o");  // ANSI
  array_.AppendStringW(L"wide", 0);
  array_.AppendVariant(nullptr);
  array_.AppendNull();
  array_.AppendDispatch(nullptr);
  array_.AppendDispatchAt(nullptr, 0);  // a null object goes to the end
  EXPECT_EQ(L"[wide|||a\u00e7\u00e3o|<null>|<null>|<null>|<null>]", DescribeArray(&array_));
  EXPECT_EQ(VT_BSTR, V_VT(array_.At(1)));
  CZEQDispatchEx* object = NewTestObject();
  array_.AppendDispatchAt(object, 0);
  EXPECT_EQ(VT_DISPATCH, V_VT(array_.At(0)));
  object->Release();  // the array holds its own reference
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(V_DISPATCH(array_.At(0)));
  ASSERT_TRUE(native);
  EXPECT_STREQ(kTestClass, native->className);
  native->Release();
}

TEST_F(Arrays, ListsDatesReferencesAndNesting) {
  ZEQList keys;
  keys.InsertNamed("first", kJSArrayEnd, 0, 0, 0);
  keys.InsertNamed("second", kJSArrayEnd, 0, 0, 0);
  array_.AppendStringList(&keys);
  SYSTEMTIME when{1999, 12, 0, 31, 23, 59, 58, 0};
  FILETIME time;
  SystemTimeToFileTime(&when, &time);
  array_.AppendFileTime(&time, false);
  VARIANT target;
  VariantInitInt(&target, 1);
  array_.AppendVariantRef(&target);
  JSArray inner;
  inner.Init();
  inner.AppendInt(1);
  inner.AppendInt(2);
  array_.AppendArray(&inner);
  inner.Destroy();
  // A by-reference element copies as the reference it is.
  VariantSetInt(&target, 2);
  VARIANT out;
  VariantInit(&out);
  array_.ToSafeArray(&out);
  VariantSetInt(&target, 3);
  EXPECT_EQ(L"[first|second|31/12/1999 23:59:58|3|[1|2]]", Describe(&out));
  VariantClear(&out);
}

TEST_F(Arrays, EmptyArraysLeaveTheValueAlone) {
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(&out, array_.ToSafeArray(&out));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  EXPECT_EQ(nullptr, array_.ToSafeArray(nullptr));
  EXPECT_EQ(0, JSArray::ToVariant(&array_, &out));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  // Cleared, an array is filled again.
  array_.AppendUInt(1);
  EXPECT_EQ(1, array_.Clear());
  EXPECT_EQ(0, array_.Count());
  array_.AppendUInt(2);
  EXPECT_EQ(0, array_.ResetToUInt(104));
  EXPECT_EQ(L"[104]", DescribeArray(&array_));
  JSArray* heap = JSArray::New();
  heap->AppendStringW(L"x");
  EXPECT_EQ(heap, JSArray::Delete(heap));
}

TEST(ArgumentBuilder, ArrayModeAppendsInOrder) {
  VARIANT copied;
  VariantInitDouble(&copied, 1.5);
  auto* array = static_cast<JSArray*>(
      ZEQBuildArguments(kZEQBuildArray, "uwbdgsovnx", 7u, L"text", TRUE, -4, 2.5, "ansi", nullptr, &copied));
  ASSERT_TRUE(IsJSArray(array));
  // The unknown letter x adds nothing.
  EXPECT_EQ(L"[7|text|True|-4|2.5|ansi|<null>|1.5|<null>]", DescribeArray(array));
  EXPECT_EQ(VT_UI4, V_VT(array->At(0)));
  EXPECT_EQ(VT_BSTR, V_VT(array->At(1)));
  JSArray::Delete(array);
}

TEST(ArgumentBuilder, VectorModeFillsBackwardsOnRequest) {
  auto* vector = static_cast<ZEQVariantVector*>(ZEQBuildArguments(kZEQBuildVector, "<ui", 1u, 2));
  ASSERT_TRUE(vector);
  ASSERT_EQ(2, vector->count);
  EXPECT_EQ(VT_I4, V_VT(&vector->data[0]));
  EXPECT_EQ(2, V_I4(&vector->data[0]));
  EXPECT_EQ(VT_UI4, V_VT(&vector->data[1]));
  EXPECT_EQ(1u, V_UI4(&vector->data[1]));
  ZEQVariantVectorDelete(vector);
  VARIANT target;
  VariantInitInt(&target, 5);
  vector = static_cast<ZEQVariantVector*>(ZEQBuildArguments(kZEQBuildVector, "sqr", "a", &target));
  ASSERT_EQ(3, vector->count);
  EXPECT_EQ(VT_BSTR, V_VT(&vector->data[0]));
  EXPECT_EQ(VT_EMPTY, V_VT(&vector->data[1]));  // unknown letters count but take no value
  EXPECT_EQ(VT_BYREF | VT_VARIANT, V_VT(&vector->data[2]));
  EXPECT_EQ(&target, V_VARIANTREF(&vector->data[2]));
  ZEQVariantVectorDelete(vector);
  EXPECT_EQ(nullptr, ZEQBuildArguments(7, "uw", 1u, L"x"));
}

TEST(ByteArrays, CopiedIntoTerminatedBlocks) {
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
  unsigned char* data = nullptr;
  SafeArrayAccessData(bytes, reinterpret_cast<void**>(&data));
  memcpy(data, "abcd", 4);
  SafeArrayUnaccessData(bytes);
  char* block = SafeArrayToHeapBuffer(bytes);
  ASSERT_TRUE(block);
  EXPECT_STREQ("abcd", block);
  EXPECT_GE(HeapBlockSize(block), 7u);
  HeapFreeZ(block);
  SafeArrayDestroy(bytes);
  // Arrays of VARIANT bytes, as the text helpers make them.
  VARIANT v;
  VariantSetByteArray(&v, "xyz");
  block = SafeArrayToHeapBuffer(V_ARRAY(&v));
  EXPECT_STREQ("xyz", block);
  HeapFreeZ(block);
  VariantClear(&v);
  EXPECT_EQ(nullptr, SafeArrayToHeapBuffer(nullptr));
}

TEST(ScriptArrays, TravelBothWays) {
  ScriptHost host;
  ASSERT_TRUE(host.Ready());
  host.PublishClass(kTestClass, ZEQLookupMemberCallback, TestObjectInvoke);
  ASSERT_TRUE(host.Run(L"var o = new ZEQTestObject(); var got = new VBArray(o.MakeArray()).toArray();"));
  EXPECT_EQ(L"4", host.Eval(L"got.length"));
  EXPECT_EQ(L"7|text|true", host.Eval(L"[got[0], got[1], got[2]].join('|')"));
  EXPECT_EQ(L"1,2", host.Eval(L"new VBArray(got[3]).toArray().join()"));
  // Script arrays reach native code as their elements.
  EXPECT_EQ(L"3", host.Eval(L"o.CountArray([1, 'two', {}])"));
  EXPECT_EQ(L"0", host.Eval(L"o.CountArray([])"));
  EXPECT_EQ(L"5", host.Eval(L"(function() { var a = []; a[4] = 1; return o.CountArray(a); })()"));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, host.ErrorOf(L"o.CountArray(5)"));
  VARIANT array;
  ASSERT_EQ(S_OK, host.EvalVariant(L"[10, 'x', [1]]", &array));
  VARIANT elements;
  VariantInit(&elements);
  ASSERT_TRUE(ScriptArrayToSafeArray(&array, &elements));
  ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(&elements));
  EXPECT_EQ(VT_DISPATCH, V_VT(&static_cast<VARIANT*>(V_ARRAY(&elements)->pvData)[2]));  // the nested array is an object
  EXPECT_EQ(L"[10|x|1]", Describe(&elements));
  VariantClear(&elements);
  VariantClear(&array);
  VARIANT number;
  VariantInitInt(&number, 1);
  EXPECT_FALSE(ScriptArrayToSafeArray(&number, &elements));
}

}  // namespace
