#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "test_dispatch.h"
#include "text_test_util.h"

namespace {

TEST(VariantMake, ScalarMakers) {
  VARIANT v;
  // A maker does not read what the destination held.
  memset(&v, 0xCC, sizeof(v));
  EXPECT_EQ(1, VariantInitInt(&v, -5));
  EXPECT_EQ(VT_I4, V_VT(&v));
  EXPECT_EQ(-5, V_I4(&v));
  VariantSetInt(&v, 9);
  EXPECT_EQ(9, V_I4(&v));

  EXPECT_EQ(1, VariantInitUInt(&v, 0xFFFFFFFEu));
  EXPECT_EQ(VT_UI4, V_VT(&v));
  EXPECT_EQ(0xFFFFFFFEu, V_UI4(&v));
  VariantSetUInt(&v, 3);
  EXPECT_EQ(3u, V_UI4(&v));
  VariantSetUInt32(&v, 4);
  EXPECT_EQ(VT_UI4, V_VT(&v));
  EXPECT_EQ(4u, V_UI4(&v));

  EXPECT_EQ(1, VariantInitDouble(&v, 2.5));
  EXPECT_EQ(VT_R8, V_VT(&v));
  EXPECT_EQ(2.5, V_R8(&v));

  EXPECT_EQ(1, VariantInitBool(&v, 42));
  EXPECT_EQ(VT_BOOL, V_VT(&v));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&v));
  VariantInitBool(&v, FALSE);
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&v));
  EXPECT_EQ(1, VariantInitBoolValue(&v, 1));
  EXPECT_EQ(1, V_BOOL(&v));

  EXPECT_EQ(1, VariantInitNull(&v));
  EXPECT_EQ(VT_NULL, V_VT(&v));
}

TEST(VariantMake, NullDestinationDoesNothing) {
  EXPECT_EQ(0, VariantInitInt(nullptr, 1));
  EXPECT_EQ(0, VariantInitUInt(nullptr, 1));
  EXPECT_EQ(0, VariantInitDouble(nullptr, 1));
  EXPECT_EQ(0, VariantInitBool(nullptr, 1));
  EXPECT_EQ(0, VariantInitBoolValue(nullptr, 1));
  EXPECT_EQ(0, VariantInitNull(nullptr));
  EXPECT_EQ(0, VariantSetStringW(nullptr, L"x"));
  EXPECT_EQ(0, VariantSetString(nullptr, "x"));
  EXPECT_EQ(0, VariantInitRefVariant(nullptr, nullptr));
  EXPECT_EQ(nullptr, VariantSetByteArray(nullptr, "x"));
  EXPECT_EQ(0, VariantCopyInit(nullptr, nullptr));
  EXPECT_EQ(0, VariantSetFileTimeText(nullptr, nullptr, false));
  VariantSetInt(nullptr, 1);
  VariantSetUInt(nullptr, 1);
  VariantInitCopy(nullptr, nullptr);
  auto* object = new TestDispatch();
  EXPECT_EQ(0, VariantInitDispatch(nullptr, object));
  VariantSetDispatch(nullptr, object);
  EXPECT_EQ(1, object->References());
  object->Release();
}

TEST(VariantMake, Objects) {
  auto* object = new TestDispatch();
  VARIANT v;
  EXPECT_EQ(1, VariantInitDispatch(&v, object));
  EXPECT_EQ(VT_DISPATCH, V_VT(&v));
  EXPECT_EQ(object, V_DISPATCH(&v));
  EXPECT_EQ(2, object->References());
  VariantClear(&v);
  VariantSetDispatch(&v, object);
  EXPECT_EQ(2, object->References());
  VariantClear(&v);
  EXPECT_EQ(1, object->References());
  object->Release();

  EXPECT_EQ(1, VariantInitDispatch(&v, nullptr));
  EXPECT_EQ(VT_NULL, V_VT(&v));
}

TEST(VariantMake, Texts) {
  VARIANT v;
  EXPECT_EQ(1, VariantSetString(&v, "abc"));
  EXPECT_EQ(VT_BSTR, V_VT(&v));
  EXPECT_EQ(3u, SysStringLen(V_BSTR(&v)));
  EXPECT_STREQ(L"abc", V_BSTR(&v));
  VariantClear(&v);

  for (const char* empty : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(1, VariantSetString(&v, empty));
    EXPECT_EQ(VT_BSTR, V_VT(&v));
    ASSERT_NE(nullptr, V_BSTR(&v));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(&v)));
    VariantClear(&v);
  }

  EXPECT_EQ(1, VariantSetStringW(&v, L"wide \u00e9"));
  EXPECT_STREQ(L"wide \u00e9", V_BSTR(&v));
  VariantClear(&v);

  // An ANSI text goes through the ANSI code page and back.
  char ansi[8];
  WideToAnsiBuf(L"\u00e9t\u00e9", ansi, sizeof(ansi));
  VariantSetString(&v, ansi);
  EXPECT_STREQ(L"\u00e9t\u00e9", V_BSTR(&v));
  VariantClear(&v);
}

TEST(VariantMake, ReferencesAndCopies) {
  VARIANT target, ref;
  VariantSetString(&target, "shared");
  EXPECT_EQ(1, VariantInitRefVariant(&ref, &target));
  EXPECT_EQ(VT_BYREF | VT_VARIANT, V_VT(&ref));
  EXPECT_EQ(&target, V_VARIANTREF(&ref));

  VARIANT copy;
  EXPECT_EQ(1, VariantCopyInit(&copy, &target));
  EXPECT_EQ(VT_BSTR, V_VT(&copy));
  EXPECT_NE(V_BSTR(&target), V_BSTR(&copy));
  EXPECT_STREQ(L"shared", V_BSTR(&copy));
  VariantClear(&copy);
  VariantInitCopy(&copy, &target);
  EXPECT_STREQ(L"shared", V_BSTR(&copy));
  VariantClear(&copy);
  VariantInitCopy(&copy, nullptr);
  EXPECT_EQ(VT_EMPTY, V_VT(&copy));
  VariantClear(&target);
}

// The bytes of a SAFEARRAY of VT_UI1 VARIANTs, checked to be that shape.
std::string ArrayBytes(SAFEARRAY* array) {
  EXPECT_EQ(1u, SafeArrayGetDim(array));
  VARTYPE type = VT_EMPTY;
  SafeArrayGetVartype(array, &type);
  EXPECT_EQ(VT_VARIANT, type);
  LONG low = -1, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  EXPECT_EQ(0, low);
  std::string bytes;
  for (LONG i = low; i <= high; ++i) {
    VARIANT element;
    VariantInit(&element);
    SafeArrayGetElement(array, &i, &element);
    EXPECT_EQ(VT_UI1, V_VT(&element)) << i;
    bytes.push_back(static_cast<char>(V_UI1(&element)));
  }
  return bytes;
}

TEST(VariantMake, ByteArraysFromText) {
  SAFEARRAY* array = StringToByteVariantArray("AB\xff\x01z");
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(std::string("AB\xff\x01z"), ArrayBytes(array));
  SafeArrayDestroy(array);

  for (const char* empty : {static_cast<const char*>(nullptr), ""}) {
    array = StringToByteVariantArray(empty);
    ASSERT_NE(nullptr, array);
    EXPECT_EQ("", ArrayBytes(array));
    SafeArrayDestroy(array);
  }

  VARIANT v;
  EXPECT_EQ(&v, VariantSetByteArray(&v, "hi"));
  EXPECT_EQ(VT_ARRAY | VT_VARIANT, V_VT(&v));
  EXPECT_EQ("hi", ArrayBytes(V_ARRAY(&v)));
  EXPECT_EQ(V_ARRAY(&v), VariantGetSafeArray(&v));
  VariantClear(&v);
}

TEST(VariantMake, FileTimeTextIsTheDateText) {
  const FILETIME time = {0x696BA480, 0x01DA6F06};  // 5 March 2024 14:07:09 UTC
  VARIANT v;
  EXPECT_EQ(1, VariantSetFileTimeText(&v, &time, false));
  EXPECT_EQ(VT_BSTR, V_VT(&v));
  EXPECT_STREQ(L"05/03/2024 14:07:09", V_BSTR(&v));
  VariantClear(&v);
  // Local time: whatever the date text of that moment is here.
  char local[32];
  FormatFileTime(local, sizeof(local), &time, true);
  VariantSetFileTimeText(&v, &time, true);
  HeapText<char> text(VariantToStrDup(&v, 0));
  EXPECT_STREQ(local, text.get());
  VariantClear(&v);

  const FILETIME none = {};
  for (const FILETIME* nothing : {&none, static_cast<const FILETIME*>(nullptr)}) {
    VariantSetFileTimeText(&v, nothing, true);
    EXPECT_STREQ(L"00/00/0000 00:00:00", V_BSTR(&v));
    VariantClear(&v);
  }
}

}  // namespace
