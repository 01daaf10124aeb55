// Script objects as page script uses them: made with new by class name,
// members called, expandos stored, result and ready-state members, call
// kinds refused with their DISP_E codes, ambient properties, shared stores.
#include <gtest/gtest.h>

#include "foundation/variant.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"
#include "host/return_data.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

class DispatchScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    classObject_ = host_.PublishClass(kTestClass, ZEQLookupMemberCallback, TestObjectInvoke);
    ASSERT_TRUE(classObject_);
  }
  ScriptHost host_;
  CZEQDispatchEx* classObject_ = nullptr;
};

TEST_F(DispatchScript, NewMakesAnInstanceOfTheClass) {
  const long registrations = g_testRegistrations;
  ASSERT_TRUE(host_.Run(L"var o = new ZEQTestObject(); o.Value = 41; var p = new ZEQTestObject();"))
      << host_.LastError();
  // One registering call per object, none for the second look at o.
  EXPECT_EQ(registrations + 2, g_testRegistrations);
  EXPECT_EQ(L"41", host_.Eval(L"o.Value"));
  EXPECT_EQ(L"0", host_.Eval(L"p.Value"));
  EXPECT_EQ(L"42", host_.Eval(L"o.Echo(o.Value + 1)"));
  EXPECT_EQ(L"10", host_.Eval(L"o.Sum(1, 2, 3, 4)"));
  EXPECT_EQ(L"65537", host_.Eval(L"o.Flags"));
  VARIANT v;
  ASSERT_EQ(S_OK, host_.EvalVariant(L"o", &v));
  EXPECT_TRUE(ZEQVariantIsObjectOfClass(&v, kTestClass));
  EXPECT_FALSE(ZEQVariantIsObjectOfClass(&v, L"zeqtestobject"));
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(V_DISPATCH(&v));
  ASSERT_TRUE(native);
  EXPECT_EQ(host_.Owner(), native->owner);
  EXPECT_STREQ(kTestClass, native->className);
  native->Release();
  VariantClear(&v);
  // The class object itself answers no names (flags 0).
  EXPECT_EQ(L"undefined", host_.Eval(L"typeof ZEQTestObject.Value"));
}

TEST_F(DispatchScript, ObjectsGoWhenScriptDropsThem) {
  const long live = ZEQLiveDispatchExCount();
  const long destroyed = g_testDestructions;
  ASSERT_TRUE(host_.Run(L"var list = []; for (var i = 0; i < 20; ++i) list.push(new ZEQTestObject());"));
  EXPECT_EQ(live + 20, ZEQLiveDispatchExCount());
  ASSERT_TRUE(host_.Run(L"list = null; CollectGarbage();"));
  // The engine lets its objects go on collection, or at the latest with the
  // page; either way every destroy call comes once.
  if (ZEQLiveDispatchExCount() != live) {
    ASSERT_TRUE(host_.Browser().Load(L"about:blank"));
  }
  EXPECT_EQ(live, ZEQLiveDispatchExCount());
  EXPECT_EQ(destroyed + 20, g_testDestructions);
}

TEST_F(DispatchScript, ExpandosHoldValuesAndAreNeverCalled) {
  ASSERT_TRUE(
      host_.Run(L"var o = new ZEQTestObject(); o.note = 'hello'; o.count = 3; o.count += 2;"
                L"o.fn = function(a) { return a * 2; }; o.obj = { x: 1 };"))
      << host_.LastError();
  EXPECT_EQ(L"hello", host_.Eval(L"o.note"));
  EXPECT_EQ(L"5", host_.Eval(L"o.count"));
  EXPECT_EQ(L"function", host_.Eval(L"typeof o.fn"));
  EXPECT_EQ(L"6", host_.Eval(L"(function() { var f = o.fn; return f(3); })()"));
  EXPECT_EQ(L"1", host_.Eval(L"o.obj.x"));
  // Names are case-sensitive, and an expando is never called as a method.
  EXPECT_EQ(L"undefined", host_.Eval(L"o.Note"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"o.fn(3)"));
  // Each object has its own expandos; deleting one forgets its value.
  EXPECT_EQ(L"undefined", host_.Eval(L"(new ZEQTestObject()).note"));
  ASSERT_TRUE(host_.Run(L"delete o.note;"));
  EXPECT_EQ(L"undefined", host_.Eval(L"o.note"));
  ASSERT_TRUE(host_.Run(L"o.note = 'again';"));
  EXPECT_EQ(L"again", host_.Eval(L"o.note"));
}

TEST_F(DispatchScript, WrongCallsAnswerTheirCodes) {
  ASSERT_TRUE(host_.Run(L"var o = new ZEQTestObject();"));
  // An unknown method is unknown to the engine first (its own "object
  // doesn't support" error); the name itself is DISP_E_UNKNOWNNAME.
  EXPECT_EQ(static_cast<HRESULT>(0x800A01B6), host_.ErrorOf(L"o.Missing()"));
  VARIANT v;
  ASSERT_EQ(S_OK, host_.EvalVariant(L"o", &v));
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(V_DISPATCH(&v));
  ASSERT_TRUE(native);
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispIdOf(native, L"Missing", &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
  native->Release();
  VariantClear(&v);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_.ErrorOf(L"o.Echo()"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"o.Value()"));
  // A result member called does nothing; the ready-state members called go
  // to the class.
  EXPECT_EQ(S_OK, host_.ErrorOf(L"o.Success()"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"o.ZEQOnReadyStateChange()"));
  // A class that throws is answered DISP_E_EXCEPTION (the engine reports it
  // as a failure) and logged.
  LogCapture log;
  EXPECT_TRUE(FAILED(host_.ErrorOf(L"o.Fail()")));
  EXPECT_TRUE(log.Has("--- WARNING "));
  EXPECT_TRUE(log.Has("CZEQDispatchEx::CommonInvoke: Unexpected exception..."));
}

TEST_F(DispatchScript, ResultMembersReadAndWrite) {
  ASSERT_TRUE(host_.Run(L"var o = new ZEQTestObject();"));
  EXPECT_EQ(L"true", host_.Eval(L"o.Success"));
  EXPECT_EQ(L"false", host_.Eval(L"o.Error"));
  ASSERT_TRUE(host_.Run(L"o.Error = true;"));
  EXPECT_EQ(L"false", host_.Eval(L"o.Success"));
  ASSERT_TRUE(
      host_.Run(L"o.Success = 'YES'; o.ErrorCode = 104; o.SystemErrorCode = '5'; o.ErrorDescription = 'Nope';"));
  EXPECT_EQ(L"true", host_.Eval(L"o.Success"));
  EXPECT_EQ(L"104", host_.Eval(L"o.ErrorCode"));
  EXPECT_EQ(L"5", host_.Eval(L"o.SystemErrorCode"));
  EXPECT_EQ(L"Nope", host_.Eval(L"o.ErrorDescription"));
  EXPECT_EQ(L"number", host_.Eval(L"typeof o.ErrorCode"));
  // Class objects have no result members.
  EXPECT_EQ(L"undefined", host_.Eval(L"ZEQTestObject.Success"));
}

TEST_F(DispatchScript, ReadyStateCallsItsHandlerOnChangeOnly) {
  ASSERT_TRUE(
      host_.Run(L"var o = new ZEQTestObject(); var calls = [];"
                L"o.ZEQOnReadyStateChange = function(code, obj) { calls.push(code + ':' + (obj === o) + ':' + "
                L"obj.ZEQReadyState); return 0x2001; };"))
      << host_.LastError();
  EXPECT_EQ(L"function", host_.Eval(L"typeof o.ZEQOnReadyStateChange"));
  ASSERT_TRUE(host_.Run(L"o.ZEQReadyState = 60;"));
  ASSERT_TRUE(host_.Run(L"o.ZEQReadyState = 60;"));
  EXPECT_EQ(L"0:true:60", host_.Eval(L"calls.join(',')"));
  EXPECT_EQ(L"60", host_.Eval(L"o.ZEQReadyState"));
  // Native code sets it with its own code and reads the handler's answer.
  VARIANT v;
  ASSERT_EQ(S_OK, host_.EvalVariant(L"o", &v));
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(V_DISPATCH(&v));
  ASSERT_TRUE(native);
  EXPECT_EQ(1, ZEQSetReadyState(ZEQREADYSTATE_LOADING, native, 7));
  EXPECT_EQ(1, ZEQSetReadyState(ZEQREADYSTATE_LOADING, native, 8));  // unchanged: no call
  EXPECT_EQ(L"0:true:60,7:true:20", host_.Eval(L"calls.join(',')"));
  // The handler is put with exactly one value.
  VARIANT two[2];
  VariantInitInt(&two[0], 1);
  VariantInitInt(&two[1], 2);
  DISPPARAMS params{two, nullptr, 2, 0};
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, native->InvokeEx(kZEQDispidOnReadyStateChange, 0, DISPATCH_PROPERTYPUT, &params,
                                                   nullptr, nullptr, nullptr));
  // A ready state put with two values is the class's.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            native->InvokeEx(kZEQDispidReadyState, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
  // A handler that answers anything else, and no handler, give 0.
  ASSERT_TRUE(host_.Run(L"o.ZEQOnReadyStateChange = function() { return 0x2002; };"));
  EXPECT_EQ(0, ZEQSetReadyState(ZEQREADYSTATE_COMPLETE, native, 0));
  ASSERT_TRUE(host_.Run(L"o.ZEQOnReadyStateChange = null;"));
  EXPECT_EQ(0, ZEQSetReadyState(ZEQREADYSTATE_LOADED, native, 0));
  EXPECT_EQ(0u, native->readyStateHandler);
  EXPECT_EQ(ZEQREADYSTATE_LOADED, native->readyState);
  native->Release();
  VariantClear(&v);
}

TEST_F(DispatchScript, AmbientPropertiesAnswerForObjectsOfContainers) {
  CZEQDispatchEx* o = NewTestObject(host_.Owner());
  VARIANT v;
  ASSERT_EQ(S_OK, GetProperty(o, -5513, &v));
  ASSERT_EQ(VT_BSTR, V_VT(&v));
  EXPECT_EQ(0, wcsncmp(V_BSTR(&v), L"Mozilla/5.0 (Windows NT 6.1; WOW64)", 35));
  VariantClear(&v);
  ASSERT_EQ(S_OK, GetProperty(o, -5512, &v));
  EXPECT_EQ(VT_I4, V_VT(&v));
  EXPECT_EQ(0x44070, V_I4(&v));
  ASSERT_EQ(S_OK, GetProperty(o, -5502, &v));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&v));
  ASSERT_EQ(S_OK, GetProperty(o, -5501, &v));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&v));
  o->Release();
  // Without a container, or with flag 0x80000, the class is asked.
  CZEQDispatchEx* alone = NewTestObject(nullptr);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, GetProperty(alone, -5513, &v));
  alone->Release();
  CZEQDispatchEx* quiet = NewTestObject(host_.Owner(), kZEQDispInstance | kZEQDispNoAmbient);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, GetProperty(quiet, -5513, &v));
  quiet->Release();
}

HRESULT ScriptGlobalsInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) return S_OK;
  if (!(flags & DISPATCH_CONSTRUCT)) return DISP_E_MEMBERNOTFOUND;
  CZEQDispatchEx* made = CZEQDispatchEx::Create(object->className, object->owner, ZEQLookupMemberCallback,
                                                ScriptGlobalsInvoke, kZEQDispInstance, ZEQProcessPropertyStore());
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = made;
  return S_OK;
}

TEST_F(DispatchScript, ProcessGlobalsRefuseObjectsInContainersThatMayNotStoreThem) {
  host_.PublishClass(L"KESTOGlobal", ZEQLookupMemberCallback, ScriptGlobalsInvoke);
  LogCapture log;
  ASSERT_TRUE(host_.Run(L"var g = new KESTOGlobal(); g.number = 12;"));
  EXPECT_EQ(L"12", host_.Eval(L"(new KESTOGlobal()).number"));
  EXPECT_EQ(DISP_E_BADCALLEE, host_.ErrorOf(L"g.callback = function() {};"));
  // The stored key is enciphered in the file, never written in plain.
  EXPECT_TRUE(log.Has("ZEQGLOBAL - Bad Callee: {{\\"));
  EXPECT_TRUE(log.Has("/}}"));
  EXPECT_FALSE(log.Has("KESTO.KESTOGlobal."));
  // A root or main container may.
  ZEQSetWindowContainer(host_.Owner(), ZEQWindowContainer{WB_ROOTWINDOW, true, 0, false, false, nullptr, 0, 0});
  EXPECT_TRUE(host_.Run(L"g.callback = function() { return 'ok'; };")) << host_.LastError();
  EXPECT_EQ(L"ok", host_.Eval(L"(new KESTOGlobal()).callback.call()"));
  ASSERT_TRUE(host_.Run(L"delete g.callback; delete g.number;"));
}

TEST_F(DispatchScript, ContainerGlobalsShareExpandosWithinATopWindow) {
  host_.PublishClass(L"ZEQGlobal", ZEQGlobalGetIDsOfNames, ZEQGlobalInvoke);
  ASSERT_TRUE(host_.Run(L"var a = new ZEQGlobal(); var b = new ZEQGlobal(); a.shared = 'one'; a.Lock(); a.Release();"))
      << host_.LastError();
  EXPECT_EQ(L"one", host_.Eval(L"b.shared"));
  EXPECT_EQ(L"true", host_.Eval(L"b.Success"));
  EXPECT_EQ(L"0", host_.Eval(L"b.ErrorCode"));
  // A page of another top window has a store of its own.
  ScriptHost other;
  ASSERT_TRUE(other.Ready());
  other.PublishClass(L"ZEQGlobal", ZEQGlobalGetIDsOfNames, ZEQGlobalInvoke);
  EXPECT_EQ(L"undefined", other.Eval(L"(new ZEQGlobal()).shared"));
  // A window without a container makes no instance.
  CZEQDispatchEx* orphan = CZEQDispatchEx::Create(L"ZEQGlobal", nullptr, ZEQGlobalGetIDsOfNames, ZEQGlobalInvoke, 0);
  host_.Publish(L"OrphanGlobal", orphan);
  orphan->Release();
  EXPECT_EQ(L"null", host_.Eval(L"new OrphanGlobal()"));
}

}  // namespace

namespace {

// A put of a result member without a value is refused and changes nothing
// (it must never read past the argument vector).
TEST(ResultMembers, APutWithoutAValueIsRefusedAndChangesNothing) {
  CZEQDispatchEx* object = NewTestObject();
  ASSERT_NE(nullptr, object);
  object->success = TRUE;
  object->errorCode = 7;
  object->systemErrorCode = 9;
  const struct {
    const char* name;
    DISPID id;
  } cases[] = {{"Success", kZEQDispidSuccess},
               {"Error", kZEQDispidError},
               {"ErrorCode", kZEQDispidErrorCode},
               {"SystemErrorCode", kZEQDispidSystemErrorCode},
               {"ErrorDescription", kZEQDispidErrorDescription}};
  for (const auto& c : cases) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT,
              object->InvokeEx(c.id, 0, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr))
        << c.name;
  }
  EXPECT_EQ(TRUE, object->success);
  EXPECT_EQ(7u, object->errorCode);
  EXPECT_EQ(9u, object->systemErrorCode);
  object->Release();
}

}  // namespace
