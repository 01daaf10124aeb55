#include <gtest/gtest.h>

#include "foundation/heap.h"
#include "foundation/variant.h"
#include "foundation/variant_holder.h"
#include "test_dispatch.h"

namespace {

TEST(VariantArgs, CopiesThePositionalArgumentsLastFirst) {
  auto* object = new TestDispatch();
  // Script called f(a, b) with one named argument: rgvarg holds the named
  // one first, then the positional ones last first.
  VARIANT args[3];
  VariantInitInt(&args[0], 99);  // named
  VariantSetString(&args[1], "b");
  VariantInitDispatch(&args[2], object);  // a
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {args, &named, 3, 1};

  ZEQVariantVector* vector = CopyDispParamsArgs(&params);
  ASSERT_NE(nullptr, vector);
  ASSERT_EQ(2, vector->count);
  ASSERT_EQ(VT_BSTR, V_VT(&vector->data[0]));
  EXPECT_STREQ(L"b", V_BSTR(&vector->data[0]));
  EXPECT_NE(V_BSTR(&args[1]), V_BSTR(&vector->data[0]));  // a copy
  EXPECT_EQ(VT_DISPATCH, V_VT(&vector->data[1]));
  EXPECT_EQ(3, object->References());

  ZEQVariantVectorDelete(vector);
  EXPECT_EQ(2, object->References());
  for (auto& arg : args) VariantClear(&arg);
  EXPECT_EQ(1, object->References());
  object->Release();
  ZEQVariantVectorDelete(nullptr);
}

TEST(VariantArgs, EmptyListsGiveAVectorWithoutData) {
  VARIANT one;
  VariantInitInt(&one, 1);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  DISPPARAMS onlyNamed = {&one, nullptr, 1, 1};
  DISPPARAMS moreNamedThanArgs = {&one, nullptr, 1, 5};
  const DISPPARAMS* lists[] = {nullptr, &none, &onlyNamed, &moreNamedThanArgs};
  for (const DISPPARAMS* params : lists) {
    ZEQVariantVector* vector = CopyDispParamsArgs(params);
    ASSERT_NE(nullptr, vector);
    EXPECT_EQ(nullptr, vector->data);
    EXPECT_EQ(0, vector->count);
    ZEQVariantVectorDelete(vector);
  }
}

TEST(VariantArgs, ArgumentArrayDeleteReleasesEveryElement) {
  auto* object = new TestDispatch();
  auto* record = static_cast<DISPPARAMS*>(HeapAllocZ(sizeof(DISPPARAMS)));
  record->rgvarg = HeapAllocArray<VARIANT>(3);
  record->cArgs = 3;
  VariantSetString(&record->rgvarg[0], "text");
  VariantInitDispatch(&record->rgvarg[1], object);
  VariantSetByteArray(&record->rgvarg[2], "bytes");
  EXPECT_EQ(2, object->References());
  ZEQVariantArray::Delete(record);
  EXPECT_EQ(1, object->References());
  object->Release();
  ZEQVariantArray::Delete(nullptr);

  // A record without its array is freed all the same.
  record = static_cast<DISPPARAMS*>(HeapAllocZ(sizeof(DISPPARAMS)));
  record->cArgs = 4;
  ZEQVariantArray::Delete(record);
}

TEST(VariantArgs, ClearCallbackClears) {
  auto* object = new TestDispatch();
  VARIANT v;
  VariantInitDispatch(&v, object);
  EXPECT_EQ(1, VariantClearCallback(&v));
  EXPECT_EQ(VT_EMPTY, V_VT(&v));
  EXPECT_EQ(1, object->References());
  EXPECT_EQ(1, VariantClearCallback(nullptr));
  object->Release();
}

TEST(VariantArgs, HeldVectorIsReleasedByTheLastHolder) {
  auto* object = new TestDispatch();
  VARIANT arg;
  VariantInitDispatch(&arg, object);
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  {
    ZEQSharedHandle<ZEQVariantVector> first(CopyDispParamsArgs(&params));
    VariantClear(&arg);
    EXPECT_EQ(2, object->References());
    {
      ZEQSharedHandle<ZEQVariantVector> second;
      second.Assign(first);
      EXPECT_EQ(2, second.ShareCount());
      first.Release();
      EXPECT_EQ(2, object->References());  // still held by the second holder
      ASSERT_EQ(1, second->count);
      EXPECT_EQ(VT_DISPATCH, V_VT(&second->data[0]));
    }
  }
  EXPECT_EQ(1, object->References());
  object->Release();
}

}  // namespace
