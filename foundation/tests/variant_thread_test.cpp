#include <gtest/gtest.h>

#include <cstring>

#include "foundation/com_slots.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/variant.h"
#include "test_dispatch.h"

namespace {

constexpr DWORD kWaitMs = 20000;

// Pumps this thread's messages until the handle (when given) is signalled;
// false after the timeout.
bool PumpUntil(HANDLE handle, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    DWORD r = MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE,
                                        timeoutMs - spent, QS_ALLINPUT);
    if (handle && r == WAIT_OBJECT_0) return true;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

HRESULT CallMember(IDispatch* object, const wchar_t* name, VARIANT* args, UINT count,
                   VARIANT* result) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params = {args, nullptr, count, 0};
  VariantInit(result);
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, result, nullptr, nullptr);
}

// The main test thread is an apartment of its own with the process table.
class VariantThread : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
  }
  void TearDown() override {
    ZEQReleaseGlobalInterfaceTable();
    CoUninitialize();
  }
};

TEST_F(VariantThread, TableRegistersFetchesAndRevokes) {
  auto* object = new TestDispatch();
  IGlobalInterfaceTable* table = ZEQGlobalInterfaceTable();
  EXPECT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());  // a second creation keeps the table
  EXPECT_EQ(table, ZEQGlobalInterfaceTable());
  EXPECT_EQ(0u, ZEQGITRegister(nullptr));
  EXPECT_EQ(0, RevokeGITCookie(0));
  EXPECT_EQ(nullptr, GetInterfaceFromGIT(0));

  DWORD cookie = ZEQGITRegister(object);
  ASSERT_NE(0u, cookie);
  IUnknown* fetched = GetInterfaceFromGIT(cookie);
  ASSERT_NE(nullptr, fetched);
  // On the registering apartment the table gives back the object itself.
  EXPECT_EQ(static_cast<IUnknown*>(object), fetched);
  fetched->Release();
  IDispatch* dispatch = GetGITDispatch(cookie);
  EXPECT_EQ(static_cast<IDispatch*>(object), dispatch);
  if (dispatch) dispatch->Release();

  EXPECT_EQ(1, RevokeGITCookie(cookie));
  EXPECT_EQ(0, RevokeGITCookie(cookie));
  EXPECT_EQ(nullptr, GetInterfaceFromGIT(cookie));
  EXPECT_EQ(nullptr, GetGITDispatch(cookie));
  EXPECT_EQ(1, object->References());
  object->Release();
}

TEST_F(VariantThread, WithoutTableNothingIsRegistered) {
  auto* object = new TestDispatch();
  ZEQReleaseGlobalInterfaceTable();
  EXPECT_EQ(nullptr, ZEQGlobalInterfaceTable());
  EXPECT_EQ(0u, ZEQGITRegister(object));
  EXPECT_EQ(0, RevokeGITCookie(1));
  EXPECT_EQ(nullptr, GetInterfaceFromGIT(1));

  // An object that cannot be parked travels as an empty value.
  VARIANT v;
  VariantInitDispatch(&v, object);
  ZEQMarshaledVariant* record = MarshalVariantForThread(&v);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(0u, record->cookie);
  EXPECT_EQ(VT_EMPTY, V_VT(&record->value));
  ZEQMarshaledVariant::Free(record);
  VariantClear(&v);
  EXPECT_EQ(1, object->References());
  object->Release();
  EXPECT_EQ(S_OK, ZEQCreateGlobalInterfaceTable());
}

TEST_F(VariantThread, ValuesTravelAsDeepCopies) {
  VARIANT text, ref, number, numberRef;
  VariantSetString(&text, "hello");
  VariantInitRefVariant(&ref, &text);
  VariantInitInt(&number, 12);
  VariantInit(&numberRef);
  V_VT(&numberRef) = VT_BYREF | VT_I4;
  V_I4REF(&numberRef) = &V_I4(&number);

  ZEQMarshaledVariant* direct = MarshalVariantForThread(&text);
  ZEQMarshaledVariant* followed = MarshalVariantForThread(&ref);
  ZEQMarshaledVariant* byRef = MarshalVariantForThread(&numberRef);
  ZEQMarshaledVariant* none = MarshalVariantForThread(nullptr);
  for (ZEQMarshaledVariant* record : {direct, followed}) {
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(0u, record->cookie);
    // No pointer into the sender's memory travels: a copy of the text.
    ASSERT_EQ(VT_BSTR, V_VT(&record->value));
    EXPECT_NE(V_BSTR(&text), V_BSTR(&record->value));
    EXPECT_STREQ(L"hello", V_BSTR(&record->value));
  }
  ASSERT_NE(nullptr, byRef);
  EXPECT_EQ(VT_I4, V_VT(&byRef->value));
  EXPECT_EQ(12, V_I4(&byRef->value));
  ASSERT_NE(nullptr, none);
  EXPECT_EQ(VT_EMPTY, V_VT(&none->value));
  VariantClear(&text);  // the records do not depend on the originals

  VARIANT out;
  memset(&out, 0xCC, sizeof(out));
  EXPECT_TRUE(UnmarshalVariantForThread(&out, followed));
  EXPECT_STREQ(L"hello", V_BSTR(&out));
  VariantClear(&out);
  EXPECT_TRUE(UnmarshalVariantInit(byRef, &out));
  EXPECT_EQ(12, VariantToInt(&out));
  memset(&out, 0xCC, sizeof(out));
  EXPECT_TRUE(UnmarshalVariantInit(nullptr, &out));
  EXPECT_EQ(VT_EMPTY, V_VT(&out));
  EXPECT_FALSE(UnmarshalVariantForThread(&out, nullptr));
  EXPECT_FALSE(UnmarshalVariantForThread(nullptr, direct));
  EXPECT_FALSE(UnmarshalVariantInit(direct, nullptr));

  for (ZEQMarshaledVariant* record : {direct, followed, byRef, none})
    ZEQMarshaledVariant::Free(record);
  ZEQMarshaledVariant::Free(nullptr);
}

TEST_F(VariantThread, FreeingAnObjectRecordRevokesItsCookie) {
  auto* object = new TestDispatch();
  VARIANT v;
  VariantInitDispatch(&v, object);
  ZEQMarshaledVariant* record = MarshalVariantForThread(&v);
  VariantClear(&v);
  ASSERT_NE(0u, record->cookie);
  EXPECT_EQ(VT_EMPTY, V_VT(&record->value));
  const DWORD cookie = record->cookie;
  EXPECT_GT(object->References(), 1);  // the table holds it

  // A dropped cookie gives nothing back.
  ZEQMarshaledVariant::Clear(record);
  EXPECT_EQ(0u, record->cookie);
  EXPECT_EQ(nullptr, GetInterfaceFromGIT(cookie));
  EXPECT_TRUE(UnmarshalVariantForThread(&v, record));
  EXPECT_EQ(VT_EMPTY, V_VT(&v));
  ZEQMarshaledVariant::Free(record);
  EXPECT_EQ(1, object->References());
  object->Release();

  // A null object stays a null object.
  VARIANT nothing;
  VariantInit(&nothing);
  V_VT(&nothing) = VT_DISPATCH;
  record = MarshalVariantForThread(&nothing);
  EXPECT_EQ(0u, record->cookie);
  EXPECT_EQ(VT_DISPATCH, V_VT(&record->value));
  EXPECT_EQ(nullptr, V_DISPATCH(&record->value));
  ZEQMarshaledVariant::Free(record);
}

// One object crosses apartments: the owner thread makes it and marshals it,
// then serves calls from its message loop; the caller thread, another
// apartment with a loop of its own, receives the record as a thread
// message, unmarshals it and calls the object.
struct CrossThreadRun {
  HANDLE ownerReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE stopOwner = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE callerReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ZEQMarshaledVariant* record = nullptr;
  TestDispatch* object = nullptr;
  DWORD ownerThread = 0;
  LONG ownerReferencesAtEnd = -1;
  // What the caller saw.
  BOOL unmarshalled = FALSE;
  VARTYPE type = VT_EMPTY;
  bool gotProxy = false;
  HRESULT addResult = E_FAIL;
  int32_t sum = 0;
  HRESULT threadResult = E_FAIL;
  DWORD calledOnThread = 0;
  bool handled = false;

  ~CrossThreadRun() {
    CloseHandle(ownerReady);
    CloseHandle(stopOwner);
    CloseHandle(callerReady);
  }
};

DWORD WINAPI OwnerThread(void* parameter) {
  auto* run = static_cast<CrossThreadRun*>(parameter);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  run->ownerThread = GetCurrentThreadId();
  run->object = new TestDispatch();
  VARIANT v;
  VariantInitDispatch(&v, run->object);
  run->record = MarshalVariantForThread(&v);
  VariantClear(&v);
  SetEvent(run->ownerReady);
  PumpUntil(run->stopOwner, kWaitMs);
  // Once the caller revoked the cookie and dropped its proxy, only the
  // owner's own reference is left; the last releases may still be in the
  // queue.
  const DWORD start = GetTickCount();
  while (run->object->References() != 1 && GetTickCount() - start < 5000) PumpUntil(nullptr, 10);
  run->ownerReferencesAtEnd = run->object->References();
  run->object->Release();
  CoUninitialize();
  return 0;
}

void CallerWork(CrossThreadRun* run) {
  VARIANT v;
  run->unmarshalled = UnmarshalVariantForThread(&v, run->record);
  run->type = V_VT(&v);
  if (run->type == VT_DISPATCH && V_DISPATCH(&v)) {
    IDispatch* object = V_DISPATCH(&v);
    run->gotProxy = object != static_cast<IDispatch*>(run->object);
    VARIANT args[2], result;
    VariantInitInt(&args[1], 2);  // arguments last first
    VariantSetString(&args[0], "40");
    run->addResult = CallMember(object, L"Add", args, 2, &result);
    run->sum = VariantToInt(&result);
    VariantClear(&result);
    VariantClear(&args[0]);
    run->threadResult = CallMember(object, L"ThreadId", nullptr, 0, &result);
    run->calledOnThread = static_cast<DWORD>(VariantToInt(&result));
    VariantClear(&result);
  }
  VariantClear(&v);
  // The record is done with on this side: its cookie is revoked here.
  ZEQMarshaledVariant::Free(run->record);
  run->record = nullptr;
}

DWORD WINAPI CallerThread(void* parameter) {
  auto* run = static_cast<CrossThreadRun*>(parameter);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
  SetEvent(run->callerReady);
  const DWORD start = GetTickCount();
  bool quit = false;
  while (!quit && GetTickCount() - start < kWaitMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      if (msg.message == WM_APP && !msg.hwnd) {
        CallerWork(reinterpret_cast<CrossThreadRun*>(msg.lParam));
        run->handled = true;
        PostQuitMessage(0);
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  CoUninitialize();
  return 0;
}

TEST_F(VariantThread, ObjectMarshalledOnOneApartmentIsCalledFromAnother) {
  const LONG liveBefore = TestDispatch::Live();
  // Left allocated when a thread does not end in time, so a late thread
  // never touches freed memory.
  auto* run = new CrossThreadRun();
  HANDLE owner = CreateThread(nullptr, 0, OwnerThread, run, 0, nullptr);
  ASSERT_NE(nullptr, owner);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run->ownerReady, kWaitMs));
  ASSERT_NE(nullptr, run->record);
  EXPECT_NE(0u, run->record->cookie);
  EXPECT_EQ(VT_EMPTY, V_VT(&run->record->value));

  DWORD callerId = 0;
  HANDLE caller = CreateThread(nullptr, 0, CallerThread, run, 0, &callerId);
  ASSERT_NE(nullptr, caller);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run->callerReady, kWaitMs));
  ASSERT_TRUE(PostThreadMessageW(callerId, WM_APP, 0, reinterpret_cast<LPARAM>(run)));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(caller, kWaitMs));
  SetEvent(run->stopOwner);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owner, kWaitMs));
  CloseHandle(caller);
  CloseHandle(owner);

  EXPECT_TRUE(run->handled);
  EXPECT_TRUE(run->unmarshalled);
  EXPECT_EQ(VT_DISPATCH, run->type);
  EXPECT_TRUE(run->gotProxy);
  EXPECT_EQ(S_OK, run->addResult);
  EXPECT_EQ(42, run->sum);
  EXPECT_EQ(S_OK, run->threadResult);
  // The call ran in the owner's apartment, not on the caller's thread.
  EXPECT_EQ(run->ownerThread, run->calledOnThread);
  EXPECT_EQ(nullptr, run->record);
  EXPECT_EQ(1, run->ownerReferencesAtEnd);
  EXPECT_EQ(liveBefore, TestDispatch::Live());
  delete run;
}

}  // namespace
