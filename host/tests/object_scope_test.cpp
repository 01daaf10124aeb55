// Scope objects forward names to the object they stand for, remember the
// members created through them, and publish through the namespace helpers.
#include <gtest/gtest.h>

#include "foundation/git_table.h"
#include "foundation/variant.h"
#include "host/namespace_put.h"
#include "host/object_scope.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

TEST(ObjectScope, NamesGoToTheTargetAndEnsuredOnesAreRemembered) {
  ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
  ASSERT_NE(0u, RegisterDispatchExClassFactory());
  CZEQDispatchEx* target = NewTestObject();
  CZEQDispatchEx* scope = KESTOObjectScope::Create(nullptr, static_cast<IDispatchEx*>(target));
  ASSERT_TRUE(scope);
  DISPID own = 0, targets = 0, id = 0;
  ASSERT_EQ(S_OK, DispIdOf(target, L"Sum", &targets));
  EXPECT_EQ(S_OK, DispIdOf(scope, L"Sum", &id));
  EXPECT_EQ(targets, id) << "a name only the target knows";
  EXPECT_EQ(S_OK, DispIdOf(scope, L"FireEvent", &own));
  EXPECT_EQ(kZEQDispidFireEvent, own) << "the scope's own member comes first";
  EXPECT_FALSE(KESTOObjectScopeRemembers(scope, targets));

  EXPECT_NE(S_OK, DispIdOf(scope, L"freshName", &id));
  ASSERT_EQ(S_OK, DispIdOf(scope, L"freshName", &id, fdexNameEnsure));
  EXPECT_TRUE(KESTOObjectScopeRemembers(scope, id));
  DISPID onTarget = 0;
  ASSERT_EQ(S_OK, DispIdOf(target, L"freshName", &onTarget));
  EXPECT_EQ(id, onTarget) << "the member was made on the target";

  // Values put through the scope land on the target.
  VARIANT value;
  VariantInitInt(&value, 5);
  EXPECT_EQ(S_OK, PutProperty(scope, id, value));
  VARIANT read;
  VariantInit(&read);
  EXPECT_EQ(S_OK, GetProperty(target, onTarget, &read));
  EXPECT_EQ(5, VariantToInt(&read));
  VariantClear(&read);

  IDispatchEx* base = scope->Base();
  EXPECT_EQ(static_cast<IDispatchEx*>(target), base);
  if (base) base->Release();
  scope->Release();
  target->Release();
  EXPECT_EQ(nullptr, KESTOObjectScope::Create(nullptr, nullptr));
}

TEST(NamespacePublisher, ConstantsAndObjectsBecomePageGlobals) {
  ScriptHost host;
  ASSERT_TRUE(host.Ready());
  CZEQDispatchEx* object = NewTestObject(host.Owner());
  EXPECT_EQ(S_OK, ZEQDispatchPutUInt(host.Globals(), L"ZEQERROR_NOTFOUND", 104));
  EXPECT_EQ(S_OK, ZEQDispatchPutString(host.Globals(), L"ZEQName", "caf\xE9"));
  EXPECT_EQ(S_OK, ZEQDispatchPutObject(host.Globals(), L"ZEQThing", static_cast<IDispatchEx*>(object)));
  EXPECT_EQ(S_OK, ZEQDispatchPutObject(host.Globals(), L"ZEQNothing", nullptr));
  EXPECT_EQ(L"104", host.Eval(L"ZEQERROR_NOTFOUND"));
  EXPECT_EQ(L"caf\xE9", host.Eval(L"ZEQName"));
  EXPECT_EQ(L"3", host.Eval(L"ZEQThing.Sum(1, 2)"));
  EXPECT_EQ(L"null", host.Eval(L"ZEQNothing"));
  EXPECT_EQ(S_OK, ZEQDispatchPutUInt(host.Globals(), L"ZEQERROR_NOTFOUND", 7));
  EXPECT_EQ(L"7", host.Eval(L"ZEQERROR_NOTFOUND")) << "an existing name is overwritten";
  EXPECT_EQ(L"undefined", host.Eval(L"typeof zeqerror_notfound")) << "names are case-sensitive";
  host.Publish(L"ZEQThing", nullptr);
  object->Release();
}

}  // namespace
