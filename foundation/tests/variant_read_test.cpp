#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "test_dispatch.h"
#include "text_test_util.h"

namespace {

struct ConversionCase {
  VARTYPE type;
  double number;         // the value for the numeric and boolean types
  const wchar_t* text;   // the value for VT_BSTR
  int32_t asInt;
  double asDouble;
  BOOL asBool;
  const char* asText;    // null: no text
  uint32_t asARGB;
};

// The VARIANT of a case, built directly.
void MakeDirect(const ConversionCase& c, VARIANT* v) {
  VariantInit(v);
  V_VT(v) = c.type;
  switch (c.type) {
    case VT_I1: V_I1(v) = static_cast<CHAR>(c.number); break;
    case VT_I2: V_I2(v) = static_cast<SHORT>(c.number); break;
    case VT_UI1: V_UI1(v) = static_cast<BYTE>(c.number); break;
    case VT_UI2: V_UI2(v) = static_cast<USHORT>(c.number); break;
    case VT_I4: V_I4(v) = static_cast<LONG>(c.number); break;
    case VT_UI4: V_UI4(v) = static_cast<ULONG>(c.number); break;
    case VT_INT: V_INT(v) = static_cast<INT>(c.number); break;
    case VT_R4: V_R4(v) = static_cast<FLOAT>(c.number); break;
    case VT_R8: V_R8(v) = c.number; break;
    case VT_DATE: V_DATE(v) = c.number; break;
    case VT_BOOL: V_BOOL(v) = c.number ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_BSTR: V_BSTR(v) = c.text ? SysAllocString(c.text) : nullptr; break;
    default: break;
  }
}

void ExpectReads(const ConversionCase& c, const VARIANT* v, const std::string& form) {
  const std::string what = form + " of case with type " + std::to_string(c.type) +
                           " number " + std::to_string(c.number) +
                           (c.text ? " text given" : "");
  EXPECT_EQ(c.asInt, VariantToInt(v)) << what;
  EXPECT_DOUBLE_EQ(c.asDouble, VariantToDouble(v)) << what;
  EXPECT_EQ(c.asBool, VariantToBool(v)) << what;
  HeapText<char> text(VariantToStrDup(v, 0));
  if (c.asText) {
    ASSERT_NE(nullptr, text.get()) << what;
    EXPECT_STREQ(c.asText, text.get()) << what;
  } else {
    EXPECT_EQ(nullptr, text.get()) << what;
  }
  EXPECT_EQ(c.asARGB, VariantToARGB(v)) << what;
  // The COLORREF is always the ARGB value with red and blue exchanged.
  const uint32_t argb = c.asARGB;
  EXPECT_EQ((argb & 0xFF00FF00u) | (argb & 0xFF) << 16 | (argb >> 16 & 0xFF), VariantToColorRef(v))
      << what;
}

const ConversionCase kCases[] = {
    // type      number        text  int  double  bool  text  ARGB
    {VT_EMPTY, 0, nullptr, 0, 0, FALSE, nullptr, 0},
    {VT_NULL, 0, nullptr, 0, 0, FALSE, "", 0},
    {VT_I4, 0, nullptr, 0, 0, FALSE, nullptr, 0},
    {VT_I4, 7, nullptr, 7, 7, TRUE, nullptr, 0x070000},
    // A Windows colour value 0x00BBGGRR: red is 0x0000FF.
    {VT_I4, 0x0000FF, nullptr, 255, 255, TRUE, nullptr, 0xFF0000},
    {VT_I4, 0x123456, nullptr, 0x123456, 0x123456, TRUE, nullptr, 0x563412},
    {VT_I4, -1, nullptr, -1, -1, TRUE, nullptr, 0xFFFFFFFF},
    {VT_UI4, 4294967295.0, nullptr, -1, 4294967295.0, TRUE, nullptr, 0xFFFFFFFF},
    {VT_UI4, double(0x80123456u), nullptr, int32_t(0x80123456u), double(0x80123456u), TRUE,
     nullptr, 0x80563412},
    {VT_I1, -5, nullptr, -5, -5, TRUE, nullptr, 0xFFFBFFFF},
    {VT_I2, -300, nullptr, -300, -300, TRUE, nullptr, 0xFFD4FEFF},
    {VT_UI1, 200, nullptr, 200, 200, TRUE, nullptr, 0xC80000},
    {VT_UI2, 65535, nullptr, 65535, 65535, TRUE, nullptr, 0xFFFF00},
    {VT_INT, -42, nullptr, -42, -42, TRUE, nullptr, 0xFFD6FFFF},
    {VT_R8, -2.9, nullptr, -2, -2.9, TRUE, nullptr, 0xFFFEFFFF},
    {VT_R8, 0.5, nullptr, 0, 0.5, FALSE, nullptr, 0},
    {VT_R8, 1e20, nullptr, INT_MAX, 1e20, TRUE, nullptr, 0x7FFFFFFF},
    {VT_R8, -1e20, nullptr, INT_MIN, -1e20, TRUE, nullptr, 0x80000000},
    {VT_R4, 2.75, nullptr, 2, 2.75, TRUE, nullptr, 0x020000},
    {VT_R4, -2.75, nullptr, -2, -2.75, TRUE, nullptr, 0xFFFEFFFF},
    {VT_BOOL, 1, nullptr, 0, 0, TRUE, nullptr, 0},
    {VT_BOOL, 0, nullptr, 0, 0, FALSE, nullptr, 0},
    {VT_DATE, 45000.5, nullptr, 0, 0, FALSE, nullptr, 0},
    // The boolean words, any case; every other non-empty text is true.
    {VT_BSTR, 0, L"yes", 0, 0, TRUE, "yes", 0},
    {VT_BSTR, 0, L"YES", 0, 0, TRUE, "YES", 0},
    {VT_BSTR, 0, L"TRUE", 0, 0, TRUE, "TRUE", 0},
    {VT_BSTR, 0, L"tRuE", 0, 0, TRUE, "tRuE", 0},
    {VT_BSTR, 0, L"No", 0, 0, FALSE, "No", 0},
    {VT_BSTR, 0, L"FALSE", 0, 0, FALSE, "FALSE", 0},
    {VT_BSTR, 0, L"fAlSe", 0, 0, FALSE, "fAlSe", 0},
    {VT_BSTR, 0, L"nope", 0, 0, TRUE, "nope", 0},
    {VT_BSTR, 0, L"0", 0, 0, TRUE, "0", 0},
    {VT_BSTR, 0, L"", 0, 0, FALSE, "", 0},
    {VT_BSTR, 0, nullptr, 0, 0, FALSE, "", 0},
    // Numbers in texts.
    {VT_BSTR, 0, L" 42abc", 42, 42, TRUE, " 42abc", 0},
    {VT_BSTR, 0, L"3.5", 3, 3.5, TRUE, "3.5", 0},
    {VT_BSTR, 0, L"-17", -17, -17, TRUE, "-17", 0},
    // Only the first 16 characters are read as an integer; the real reads all.
    {VT_BSTR, 0, L"              42", 42, 42, TRUE, "              42", 0},
    {VT_BSTR, 0, L"               42", 4, 42, TRUE, "               42", 0},
    {VT_BSTR, 0, L"12345678901234567", INT_MAX, 12345678901234567.0, TRUE, "12345678901234567",
     0},
    {VT_BSTR, 0, L"-9999999999", INT_MIN, -9999999999.0, TRUE, "-9999999999", 0},
    // Colour texts.
    {VT_BSTR, 0, L"#FF0000", 0, 0, TRUE, "#FF0000", 0xFFFF0000},
    {VT_BSTR, 0, L"#80123456", 0, 0, TRUE, "#80123456", 0x80123456},
    {VT_BSTR, 0, L"Red", 0, 0, TRUE, "Red", 0xFFFF0000},
    {VT_BSTR, 0, L"rgba(0, 0, 255, 0.5)", 0, 0, TRUE, "rgba(0, 0, 255, 0.5)", 0x800000FF},
};

TEST(VariantRead, ConversionTableInEveryForm) {
  for (const auto& c : kCases) {
    VARIANT direct;
    MakeDirect(c, &direct);
    ExpectReads(c, &direct, "direct");

    // VT_BYREF | type, read through its pointer.
    if (c.type != VT_EMPTY && c.type != VT_NULL) {
      VARIANT byRef;
      VariantInit(&byRef);
      V_VT(&byRef) = VT_BYREF | c.type;
      V_BYREF(&byRef) = &V_I4(&direct);
      ExpectReads(c, &byRef, "VT_BYREF|type");
      // And a by-reference VARIANT pointing to that.
      VARIANT outer;
      VariantInitRefVariant(&outer, &byRef);
      ExpectReads(c, &outer, "VT_VARIANT ref to VT_BYREF|type");
    }
    // One and two levels of VT_BYREF | VT_VARIANT.
    VARIANT ref1, ref2;
    VariantInitRefVariant(&ref1, &direct);
    VariantInitRefVariant(&ref2, &ref1);
    ExpectReads(c, &ref1, "VT_VARIANT ref");
    ExpectReads(c, &ref2, "VT_VARIANT ref to ref");
    VariantClear(&direct);
  }
}

TEST(VariantRead, NestedReferenceReadsTheInnermostValue) {
  VARIANT inner, middle, outer;
  VariantInitInt(&inner, 7);
  VariantInitRefVariant(&middle, &inner);
  VariantInitRefVariant(&outer, &middle);
  EXPECT_EQ(7, VariantToInt(&outer));
  EXPECT_TRUE(VariantToBool(&outer));
  V_I4(&inner) = 0;  // the reference sees the change: nothing was copied
  EXPECT_FALSE(VariantToBool(&outer));
}

TEST(VariantRead, NullAndBrokenInputsReadAsEmpty) {
  VARIANT nullRef, loop, nullValueRef;
  VariantInitRefVariant(&nullRef, nullptr);
  VariantInitRefVariant(&loop, &loop);  // points at itself
  VariantInit(&nullValueRef);
  V_VT(&nullValueRef) = VT_BYREF | VT_BSTR;
  V_BYREF(&nullValueRef) = nullptr;
  const VARIANT* broken[] = {nullptr, &nullRef, &loop, &nullValueRef};
  for (const VARIANT* v : broken) {
    EXPECT_EQ(0, VariantToInt(v));
    EXPECT_EQ(0, VariantToDouble(v));
    EXPECT_FALSE(VariantToBool(v));
    EXPECT_EQ(nullptr, VariantToStrDup(v, 4));
    EXPECT_EQ(nullptr, VariantToUtf8Dup(v, 4));
    EXPECT_EQ(0u, VariantToARGB(v));
    EXPECT_EQ(nullptr, VariantGetDispatch(v));
    EXPECT_EQ(nullptr, VariantGetDispatchEx(v));
    EXPECT_EQ(nullptr, VariantGetSafeArray(v));
  }
  VARIANT nan;
  VariantInitDouble(&nan, std::nan(""));
  EXPECT_EQ(0, VariantToInt(&nan));
}

TEST(VariantRead, HugeTextReadsOnlyItsFirstSixteenCharactersAsInteger) {
  std::wstring huge = L"0000000000000042";
  huge.append(8 * 1024 * 1024, L'9');
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(huge.data(), UINT(huge.size()));
  EXPECT_EQ(42, VariantToInt(&v));
  EXPECT_TRUE(VariantToBool(&v));
  EXPECT_EQ(0u, VariantToARGB(&v));
  EXPECT_TRUE(std::isinf(VariantToDouble(&v)));
  HeapText<char> text(VariantToStrDup(&v, 0));
  ASSERT_NE(nullptr, text.get());
  EXPECT_EQ(huge.size(), strlen(text.get()));
  VariantClear(&v);
}

TEST(VariantRead, TextsAsAnsiAndUtf8WithRoomForMore) {
  VARIANT v;
  VariantSetStringW(&v, L"caf\u00e9");
  HeapText<char> utf8(VariantToUtf8Dup(&v, 3));
  ASSERT_NE(nullptr, utf8.get());
  EXPECT_STREQ("caf\xc3\xa9", utf8.get());
  EXPECT_GE(HeapBlockSize(utf8.get()), strlen(utf8.get()) + 1 + 3);
  // The room after the text is zeroed, so it can be appended to in place.
  for (size_t i = 5; i < 5 + 1 + 3; ++i) EXPECT_EQ(0, utf8.get()[i]) << i;

  HeapText<char> ansi(VariantToStrDup(&v, 3));
  ASSERT_NE(nullptr, ansi.get());
  char expected[16];
  WideToAnsiBuf(L"caf\u00e9", expected, sizeof(expected));
  EXPECT_STREQ(expected, ansi.get());
  EXPECT_GE(HeapBlockSize(ansi.get()), strlen(ansi.get()) + 1 + 3);
  VariantClear(&v);

  VARIANT null;
  VariantInitNull(&null);
  HeapText<char> empty(VariantToUtf8Dup(&null, 10));
  ASSERT_NE(nullptr, empty.get());
  EXPECT_STREQ("", empty.get());
  EXPECT_GE(HeapBlockSize(empty.get()), 11u);
}

TEST(VariantRead, NumericTypes) {
  for (VARTYPE t : {VT_I2, VT_I4, VT_R4, VT_R8, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8,
                    VT_UI8, VT_INT, VT_UINT})
    EXPECT_TRUE(IsNumericVarType(t)) << t;
  const VARTYPE others[] = {VT_EMPTY,   VT_NULL,    VT_BOOL,     VT_BSTR,
                           VT_DATE,    VT_CY,      VT_DISPATCH, VT_UNKNOWN,
                           VT_VARIANT, VT_ERROR,   VT_BYREF | VT_I4, VT_ARRAY | VT_I4};
  for (VARTYPE t : others)
    EXPECT_FALSE(IsNumericVarType(t)) << t;
}

TEST(VariantRead, ObjectsAreHandedOutWithAReferenceOfTheirOwn) {
  auto* object = new TestDispatch();
  IDispatch* pointer = object;
  TestUnknown plain;
  IUnknown* plainPointer = &plain;
  IUnknown* objectAsUnknown = object;

  VARIANT direct, byRef, unknownRef, plainRef, nested, unknown;
  VariantInitDispatch(&direct, object);  // +1
  VariantInit(&byRef);
  V_VT(&byRef) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&byRef) = &pointer;
  VariantInit(&unknownRef);
  V_VT(&unknownRef) = VT_BYREF | VT_UNKNOWN;
  V_UNKNOWNREF(&unknownRef) = &objectAsUnknown;
  VariantInit(&plainRef);
  V_VT(&plainRef) = VT_BYREF | VT_UNKNOWN;
  V_UNKNOWNREF(&plainRef) = &plainPointer;
  VariantInitRefVariant(&nested, &byRef);
  VariantInit(&unknown);
  V_VT(&unknown) = VT_UNKNOWN;
  V_UNKNOWN(&unknown) = objectAsUnknown;
  ASSERT_EQ(2, object->References());

  for (const VARIANT* v : {&direct, &byRef, &unknownRef, &nested}) {
    IDispatch* got = VariantGetDispatch(v);
    EXPECT_EQ(pointer, got);
    EXPECT_EQ(3, object->References());
    if (got) got->Release();
  }
  // An IUnknown that is no IDispatch is never handed out as one.
  EXPECT_EQ(nullptr, VariantGetDispatch(&plainRef));
  EXPECT_EQ(1, plain.References());
  // A plain VT_UNKNOWN is not an object reading.
  EXPECT_EQ(nullptr, VariantGetDispatch(&unknown));
  // The test object has no IDispatchEx: nothing comes back and the
  // intermediate reference is given back.
  EXPECT_EQ(nullptr, VariantGetDispatchEx(&direct));
  EXPECT_EQ(2, object->References());
  // Objects are neither numbers nor texts.
  EXPECT_EQ(0, VariantToInt(&direct));
  EXPECT_FALSE(VariantToBool(&direct));
  EXPECT_EQ(nullptr, VariantToStrDup(&direct, 0));

  VariantClear(&direct);
  EXPECT_EQ(1, object->References());
  object->Release();
}

TEST(VariantRead, SafeArraysDirectAndByReference) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
  VARIANT direct, byRef, nested, number;
  VariantInit(&direct);
  V_VT(&direct) = VT_ARRAY | VT_UI1;
  V_ARRAY(&direct) = array;
  VariantInit(&byRef);
  V_VT(&byRef) = VT_BYREF | VT_ARRAY | VT_UI1;
  V_ARRAYREF(&byRef) = &array;
  VariantInitRefVariant(&nested, &byRef);
  VariantInitInt(&number, 4);
  EXPECT_EQ(array, VariantGetSafeArray(&direct));
  EXPECT_EQ(array, VariantGetSafeArray(&byRef));
  EXPECT_EQ(array, VariantGetSafeArray(&nested));
  EXPECT_EQ(nullptr, VariantGetSafeArray(&number));
  EXPECT_EQ(0, VariantToInt(&direct));
  EXPECT_FALSE(VariantToBool(&direct));
  VariantClear(&direct);
}

}  // namespace
