// Custom marshalling of script objects: the same object on every thread,
// references held by marshal data, foreign contexts, forged data, the
// per-thread class factory, and objects used by script on a second
// apartment.
#include <gtest/gtest.h>
#include <objbase.h>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/pointer_token.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "script_host.h"
#include "test_classes.h"

using namespace host_test;

namespace {

class Marshal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
    ASSERT_NE(0u, RegisterDispatchExClassFactory());
  }
};

// The reference count, read by a balanced AddRef/Release.
ULONG RefCount(CZEQDispatchEx* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(Marshal, TheTableHandsOutTheObjectItselfAndKeepsItAlive) {
  const long live = ZEQLiveDispatchExCount();
  CZEQDispatchEx* object = NewTestObject();
  const DWORD cookie = ZEQGITRegister(static_cast<IDispatchEx*>(object));
  ASSERT_NE(0u, cookie);
  EXPECT_EQ(2u, RefCount(object));  // the table's marshal data holds one
  IDispatch* fetched = GetGITDispatch(cookie);
  EXPECT_EQ(static_cast<IDispatch*>(object), fetched);
  fetched->Release();
  // Script may drop the object while a cookie names it.
  object->Release();
  EXPECT_EQ(live + 1, ZEQLiveDispatchExCount());
  fetched = GetGITDispatch(cookie);
  ASSERT_TRUE(fetched);
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(fetched);
  ASSERT_TRUE(native);
  EXPECT_STREQ(kTestClass, native->className);
  native->Release();
  fetched->Release();
  // Revoking the cookie lets it go.
  EXPECT_EQ(1, RevokeGITCookie(cookie));
  EXPECT_EQ(0, RevokeGITCookie(cookie));
  EXPECT_EQ(live, ZEQLiveDispatchExCount());
  EXPECT_EQ(nullptr, GetGITDispatch(cookie));
  EXPECT_EQ(0u, ZEQGITRegister(nullptr));
}

TEST_F(Marshal, NormalMarshalDataIsConsumedOnce) {
  const long live = ZEQLiveDispatchExCount();
  CZEQDispatchEx* object = NewTestObject();
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, static_cast<IDispatchEx*>(object), &stream));
  EXPECT_EQ(2u, RefCount(object));
  object->Release();
  ScriptThread other;
  ASSERT_TRUE(other.Ready());
  IDispatch* seen = nullptr;
  ASSERT_TRUE(other.Call([&](ScriptHost&) {
    IDispatch* d = nullptr;
    if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&d)))) {
      seen = d;
      d->Release();
    }
  }));
  EXPECT_EQ(static_cast<IDispatch*>(object), seen);
  // The data's reference went with its unmarshalling, the thread's with its
  // release: nothing is left.
  EXPECT_EQ(live, ZEQLiveDispatchExCount());
}

TEST_F(Marshal, OnlyTheProcessGetsTheToken) {
  CZEQDispatchEx* object = NewTestObject();
  IMarshal* marshal = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)));
  CLSID clsid;
  DWORD size = 0;
  EXPECT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IDispatch, object, MSHCTX_INPROC, nullptr, 0, &clsid));
  EXPECT_EQ(ZEQRunIdentifier(), clsid);
  EXPECT_EQ(S_OK, marshal->GetMarshalSizeMax(IID_IDispatch, object, MSHCTX_INPROC, nullptr, 0, &size));
  EXPECT_EQ(8u, size);
  for (DWORD context : {static_cast<DWORD>(MSHCTX_DIFFERENTMACHINE), static_cast<DWORD>(MSHCTX_NOSHAREDMEM),
                        static_cast<DWORD>(MSHCTX_CROSSCTX)}) {
    EXPECT_EQ(E_FAIL, marshal->GetUnmarshalClass(IID_IDispatch, object, context, nullptr, 0, &clsid)) << context;
    EXPECT_EQ(E_FAIL, marshal->GetMarshalSizeMax(IID_IDispatch, object, context, nullptr, 0, &size)) << context;
  }
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
  EXPECT_EQ(E_FAIL, CoMarshalInterface(stream, IID_IDispatch, static_cast<IDispatchEx*>(object),
                                       MSHCTX_DIFFERENTMACHINE, nullptr, MSHLFLAGS_NORMAL));
  // A local context may be another process: no token, a standard proxy.
  EXPECT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IDispatch, object, MSHCTX_LOCAL, nullptr, 0, &clsid));
  EXPECT_NE(ZEQRunIdentifier(), clsid);
  EXPECT_EQ(2u, RefCount(object));  // ours and the IMarshal's
  stream->Release();
  marshal->Release();
  object->Release();
}

// Marshal data written by hand: a token and the flags.
IStream* ForgedData(uint32_t token, uint32_t flags) {
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  const uint32_t data[2] = {token, flags};
  stream->Write(data, sizeof(data), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return stream;
}

TEST_F(Marshal, UnmarshallingCallsOnlyLiveObjects) {
  CZEQDispatchEx* object = NewTestObject();
  IMarshal* marshal = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)));
  int notAnObject = 0;
  const uint32_t tokens[] = {0, 0x7FFFFFF0u, ZEQPointerToToken(&notAnObject)};
  for (uint32_t token : tokens) {
    IStream* stream = ForgedData(token, MSHLFLAGS_TABLESTRONG);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CO_E_OBJNOTCONNECTED, marshal->UnmarshalInterface(stream, IID_IDispatch, &out)) << token;
    EXPECT_EQ(nullptr, out);
    stream->Release();
  }
  ZEQReleasePointerToken(&notAnObject);
  // Short data is refused.
  IStream* shortStream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &shortStream);
  void* out = nullptr;
  EXPECT_TRUE(FAILED(marshal->UnmarshalInterface(shortStream, IID_IDispatch, &out)));
  shortStream->Release();
  // A token of a freed object names nothing.
  CZEQDispatchEx* gone = NewTestObject();
  const uint32_t goneToken = ZEQPointerToToken(static_cast<IDispatchEx*>(gone));
  gone->Release();
  IStream* stream = ForgedData(goneToken, MSHLFLAGS_TABLESTRONG);
  EXPECT_EQ(CO_E_OBJNOTCONNECTED, marshal->UnmarshalInterface(stream, IID_IDispatch, &out));
  stream->Release();
  // Releasing data that names nothing does nothing.
  stream = ForgedData(0x7FFFFFF0u, MSHLFLAGS_TABLESTRONG);
  EXPECT_EQ(S_OK, marshal->ReleaseMarshalData(stream));
  stream->Release();
  EXPECT_EQ(S_OK, marshal->DisconnectObject(0));
  marshal->Release();
  object->Release();
}

TEST_F(Marshal, TableDataReleasesItsReferenceOnce) {
  CZEQDispatchEx* object = NewTestObject();
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
  ASSERT_EQ(S_OK, CoMarshalInterface(stream, IID_IDispatch, static_cast<IDispatchEx*>(object), MSHCTX_INPROC, nullptr,
                                     MSHLFLAGS_TABLESTRONG));
  EXPECT_EQ(2u, RefCount(object));
  for (int i = 0; i < 2; ++i) {
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    IDispatch* d = nullptr;
    ASSERT_EQ(S_OK, CoUnmarshalInterface(stream, IID_IDispatch, reinterpret_cast<void**>(&d)));
    EXPECT_EQ(static_cast<IDispatch*>(object), d);
    d->Release();
  }
  EXPECT_EQ(2u, RefCount(object));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(S_OK, CoReleaseMarshalData(stream));
  EXPECT_EQ(1u, RefCount(object));
  // Weak table data holds nothing.
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(S_OK, CoMarshalInterface(stream, IID_IDispatch, static_cast<IDispatchEx*>(object), MSHCTX_INPROC, nullptr,
                                     MSHLFLAGS_TABLEWEAK));
  EXPECT_EQ(1u, RefCount(object));
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(S_OK, CoReleaseMarshalData(stream));
  EXPECT_EQ(1u, RefCount(object));
  stream->Release();
  object->Release();
}

TEST_F(Marshal, IdentityAndTheClassFactory) {
  CZEQDispatchEx* object = NewTestObject();
  void* out = nullptr;
  EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IDispatch, nullptr));
  EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  ASSERT_EQ(S_OK, object->QueryInterface(ZEQRunIdentifier(), &out));
  EXPECT_EQ(static_cast<void*>(object), out);
  object->Release();
  object->Release();
  IClassFactory* factory = nullptr;
  ASSERT_EQ(S_OK, CoGetClassObject(ZEQRunIdentifier(), CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)));
  IUnknown* outer = factory;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, &out));
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IDispatch, nullptr));
  IDispatchEx* empty = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatchEx, reinterpret_cast<void**>(&empty)));
  CZEQDispatchEx* native = ZEQGetNativeDispatchEx(empty);
  ASSERT_TRUE(native);
  EXPECT_EQ(nullptr, native->className);
  EXPECT_EQ(0u, native->flags);
  native->Release();
  empty->Release();
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  // Registering again on a thread keeps its registration.
  EXPECT_EQ(RegisterDispatchExClassFactory(), RegisterDispatchExClassFactory());
}

TEST_F(Marshal, ForeignObjectsAreNotNative) {
  ScriptHost host;
  ASSERT_TRUE(host.Ready());
  VARIANT v;
  ASSERT_EQ(S_OK, host.EvalVariant(L"({ a: 1 })", &v));
  EXPECT_EQ(nullptr, ZEQGetNativeDispatchEx(V_DISPATCH(&v)));
  EXPECT_FALSE(ZEQVariantIsObjectOfClass(&v, kTestClass));
  VariantClear(&v);
  VariantInitInt(&v, 3);
  EXPECT_FALSE(ZEQVariantIsObjectOfClass(&v, kTestClass));
  EXPECT_EQ(nullptr, ZEQGetNativeDispatchEx(nullptr));
}

TEST_F(Marshal, ScriptOfASecondApartmentUsesTheSameObject) {
  ScriptHost host;
  ASSERT_TRUE(host.Ready());
  host.PublishClass(kTestClass, ZEQLookupMemberCallback, TestObjectInvoke);
  ASSERT_TRUE(host.Run(
      L"var o = new ZEQTestObject(); o.Value = 9; o.note = 'from A'; var calls = [];"
      L"o.ZEQOnReadyStateChange = function(code, obj) { calls.push(code + ':' + obj.Value); return 0x2001; };"))
      << host.LastError();
  VARIANT v;
  ASSERT_EQ(S_OK, host.EvalVariant(L"o", &v));
  const DWORD cookie = ZEQGITRegister(V_DISPATCH(&v));
  ASSERT_NE(0u, cookie);
  ScriptThread other;
  ASSERT_TRUE(other.Ready());
  std::wstring value, note, echo, sameObject;
  ASSERT_TRUE(other.Call([&](ScriptHost& b) {
    IDispatch* shared = GetGITDispatch(cookie);
    sameObject = shared == V_DISPATCH(&v) ? L"same" : L"other";
    b.Publish(L"shared", shared);
    if (shared) shared->Release();
    value = b.Eval(L"shared.Value");
    note = b.Eval(L"shared.note");
    echo = b.Eval(L"shared.Echo('b')");
    b.Run(L"shared.Value = 10; shared.fromB = 'hello'; shared.ZEQReadyState = 60;");
    b.Publish(L"shared", nullptr);
  }));
  EXPECT_EQ(L"same", sameObject);
  EXPECT_EQ(L"9", value);
  EXPECT_EQ(L"from A", note);
  EXPECT_EQ(L"b", echo);
  EXPECT_EQ(L"10", host.Eval(L"o.Value"));
  EXPECT_EQ(L"hello", host.Eval(L"o.fromB"));
  // The handler of A's page ran on A's thread, called from B.
  EXPECT_EQ(L"0:10", host.Eval(L"calls.join()"));
  EXPECT_EQ(1, RevokeGITCookie(cookie));
  VariantClear(&v);
}

}  // namespace
