// The handle table: records listed by type and id with a count of script
// objects, closed once by the action of their type; named look-ups; the
// "ZEQHandle" script object.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/pointer_token.h"
#include "foundation/profiler.h"
#include "foundation/variant.h"
#include "host/handle_table.h"
#include "host/plugin_record.h"
#include "script_host.h"

using namespace host_test;

namespace {

// A COM object that counts the references it still has.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  volatile LONG refs = 1;
};

bool HandleIsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

ZEQHandleHolder HolderOf(CZEQDispatchEx* object) {
  VARIANT v;
  VariantInitDispatch(&v, static_cast<IDispatchEx*>(object));
  ZEQHandleHolder holder;
  ZEQHandleFromVariant(&holder, &v);
  VariantClear(&v);
  return holder;
}

std::wstring IdOf(CZEQDispatchEx* object) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  if (object->InvokeEx(1, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr) != S_OK) return L"<failed>";
  std::wstring text = V_VT(&value) == VT_EMPTY ? L"<empty>" : std::to_wstring(V_UI4(&value));
  VariantClear(&value);
  return text;
}

HRESULT CallClose(CZEQDispatchEx* object) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object->InvokeEx(4, 0, DISPATCH_METHOD, &none, &value, nullptr, nullptr);
  VariantClear(&value);
  return hr;
}

TEST(HandleTable, EachTypeIsClosedByItsOwnAction) {
  struct Case {
    const char* name;
    uint32_t type;
    HANDLE handle;  // a Windows handle the close must end, or null
  };
  const Case cases[] = {
      {"type 8 closes the Windows handle", ZEQHANDLE_WINHANDLE, CreateEventA(nullptr, TRUE, FALSE, nullptr)},
      {"type 11 closes the Windows handle", ZEQHANDLE_WINHANDLE2, CreateEventA(nullptr, TRUE, FALSE, nullptr)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CZEQDispatchEx* object =
        ZEQHandle::Create(nullptr, 0, c.type, reinterpret_cast<uintptr_t>(c.handle), 0x100 + c.type);
    ASSERT_TRUE(object);
    EXPECT_TRUE(HandleIsOpen(c.handle));
    object->Release();  // the only script reference: closes
    EXPECT_FALSE(HandleIsOpen(c.handle));
  }

  // Type 20: the variable the record points to.
  HANDLE variable = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE original = variable;
  CZEQDispatchEx* object = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_HANDLEVARIABLE, 0, 0x120);
  ASSERT_TRUE(object);
  HolderOf(object).Get()->handleSlot = &variable;
  object->Release();
  EXPECT_FALSE(HandleIsOpen(original));
  EXPECT_EQ(INVALID_HANDLE_VALUE, variable);

  // Type 27: the COM object gets its reference back.
  Counted com;
  com.AddRef();  // the record's
  object = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_COMOBJECT, reinterpret_cast<uintptr_t>(&com), 0x127);
  ASSERT_TRUE(object);
  EXPECT_EQ(2, com.refs);
  object->Release();
  EXPECT_EQ(1, com.refs);

  // Type 19: a profiler record (its lock and samples go with it; a fault or
  // a double free would end the test).
  auto* profiler = static_cast<ZEQProfiler*>(HeapAllocZ(sizeof(ZEQProfiler)));
  profiler->Init("start-up");
  object = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_PROFILER, reinterpret_cast<uintptr_t>(profiler), 0x119);
  ASSERT_TRUE(object);
  // An address reaches script as its pointer token.
  EXPECT_EQ(std::to_wstring(ZEQPointerToToken(profiler)), IdOf(object));
  object->Release();
}

TEST(HandleTable, APluginLibraryWithoutUninitializeIsStillUnloaded) {
  const char* library = "msimg32.dll";
  ASSERT_EQ(nullptr, GetModuleHandleA(library)) << "the test needs a library nobody else loaded";
  ZEQPLUGIN* plugin = ZEQPluginNew();
  plugin->module = LoadLibraryA(library);
  ASSERT_TRUE(plugin->module);
  plugin->self = plugin;
  CZEQDispatchEx* object = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_PLUGIN, reinterpret_cast<uintptr_t>(plugin), 0x210);
  ASSERT_TRUE(object);
  EXPECT_EQ(S_OK, CallClose(object));
  EXPECT_EQ(nullptr, GetModuleHandleA(library));
  object->Release();  // nothing left to close
}

// Subsystems install the close actions of their own types.
int g_soundCloses = 0;
void CountSoundClose(ZEQHandleRecord* record) {
  EXPECT_EQ(ZEQHANDLE_SOUNDPLAYER, record->type);
  ++g_soundCloses;
}

TEST(HandleTable, TwoObjectsOfOneRecordShareOneEntry) {
  ZEQHandleCloseAction previous = ZEQSetHandleCloseAction(ZEQHANDLE_SOUNDPLAYER, CountSoundClose);
  g_soundCloses = 0;
  CZEQDispatchEx* first = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_SOUNDPLAYER, 77, 0x301);
  ASSERT_TRUE(first);
  ZEQHandleHolder holder = HolderOf(first);
  CZEQDispatchEx* second = ZEQHandle::CreateFor(holder);
  ASSERT_TRUE(second);
  EXPECT_EQ(2, ZEQHandleTable::ReferenceCount(holder));
  first->Release();
  EXPECT_EQ(0, g_soundCloses) << "the other object still refers to the record";
  EXPECT_EQ(L"77", IdOf(second));
  second->Release();
  EXPECT_EQ(1, g_soundCloses);
  EXPECT_EQ(0, ZEQHandleTable::ReferenceCount(holder));
  ZEQSetHandleCloseAction(ZEQHANDLE_SOUNDPLAYER, previous);
}

TEST(HandleTable, CloseOnOneObjectClosesForBothOnce) {
  ZEQHandleCloseAction previous = ZEQSetHandleCloseAction(ZEQHANDLE_SOUNDPLAYER, CountSoundClose);
  g_soundCloses = 0;
  CZEQDispatchEx* first = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_SOUNDPLAYER, 78, 0x302);
  CZEQDispatchEx* second = ZEQHandle::CreateFor(HolderOf(first));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(S_OK, CallClose(first));
  EXPECT_EQ(1, g_soundCloses);
  EXPECT_EQ(L"<empty>", IdOf(second));
  EXPECT_EQ(L"<empty>", IdOf(first));
  EXPECT_EQ(S_OK, CallClose(second));  // nothing left: no effect
  first->Release();
  second->Release();
  EXPECT_EQ(1, g_soundCloses);
  ZEQSetHandleCloseAction(ZEQHANDLE_SOUNDPLAYER, previous);
}

TEST(HandleTable, NamesFindLiveRecordsOnly) {
  CZEQDispatchEx* first = ZEQHandle::Create("line-1", 0, 30, 1, 0x401);
  ASSERT_TRUE(first);
  ZEQHandleHolder found;
  ZEQNamedHandle::Find("line-1", &found);
  ASSERT_TRUE(found.IsSet());
  EXPECT_EQ(HolderOf(first).Get(), found.Get());
  found.Release();

  // While the first lives, a second record does not take its name.
  CZEQDispatchEx* second = ZEQHandle::Create("line-1", 0, 30, 2, 0x402);
  ZEQNamedHandle::Find("line-1", &found);
  EXPECT_EQ(HolderOf(first).Get(), found.Get());
  found.Release();
  // Closing the second (which lost the name) leaves the winner's entry alone.
  second->Release();
  ZEQNamedHandle::Find("line-1", &found);
  EXPECT_EQ(HolderOf(first).Get(), found.Get());
  found.Release();

  first->Release();
  ZEQNamedHandle::Find("line-1", &found);
  EXPECT_FALSE(found.IsSet()) << "a closed record is no longer found by its name";

  CZEQDispatchEx* third = ZEQHandle::Create("line-1", 0, 30, 3, 0x403);
  ZEQNamedHandle::Find("line-1", &found);
  EXPECT_EQ(HolderOf(third).Get(), found.Get());
  found.Release();
  EXPECT_EQ(1, ZEQNamedObjectRemove("line-1"));
  ZEQNamedHandle::Find("line-1", &found);
  EXPECT_FALSE(found.IsSet());
  EXPECT_EQ(0, ZEQNamedObjectRemove("line-1"));
  EXPECT_EQ(0, ZEQNamedObjectRemove(""));
  third->Release();
}

TEST(HandleTable, TypedHoldersBecomeHandleObjectsThatOwnTheirPacket) {
  ZEQSharedHandle<VARIANT> holder;
  holder.InitVariant();
  const LONG before = holder.ShareCount();
  CZEQDispatchEx* object = ZEQHandleObjectForHolder(holder, ZEQHANDLE_WINDOWRECORD);
  ASSERT_TRUE(object);
  EXPECT_EQ(before + 1, holder.ShareCount()) << "the record's packet";
  EXPECT_EQ(std::to_wstring(holder.GetId()), IdOf(object));
  object->Release();
  EXPECT_EQ(before, holder.ShareCount()) << "closing frees the packet";
}

TEST(HandleTable, PluginHandleBlockCarriesTagTypeAndOwner) {
  auto* block = static_cast<unsigned char*>(HeapAllocZ(kZEQPluginHandleBlockSize));
  ZEQPLUGIN* plugin = ZEQPluginNew();
  ZEQHandleRecord::InitHeader(block, reinterpret_cast<uintptr_t>(plugin));
  EXPECT_EQ(0, std::memcmp(block, "+ZEQHANDLE\0", 11));
  uint32_t type = 0, owner = 0;
  std::memcpy(&type, block + 580, 4);
  std::memcpy(&owner, block + 584, 4);
  EXPECT_EQ(10u, type);
  EXPECT_EQ(plugin, ZEQTokenToPointer(owner));
  ZEQPlugInFree(plugin);
  HeapFreeZ(block);
}

class HandleScript : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host_.Ready()); }
  ScriptHost host_;
};

TEST_F(HandleScript, ScriptReadsIdClosesAndCannotConstruct) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CZEQDispatchEx* object = ZEQHandle::Create(nullptr, 0, ZEQHANDLE_WINHANDLE, reinterpret_cast<uintptr_t>(event),
                                             0x501, host_.Owner());
  ASSERT_TRUE(object);
  host_.Publish(L"h", static_cast<IDispatchEx*>(object));
  object->Release();
  EXPECT_EQ(std::to_wstring(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event))), host_.Eval(L"h.Id"));
  EXPECT_EQ(L"0", host_.Eval(L"new VBArray(h.Close()).toArray().join()"));
  EXPECT_FALSE(HandleIsOpen(event));
  EXPECT_EQ(L"undefined", host_.Eval(L"h.Id"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"h.Cancel()")) << "Cancel belongs to downloads only";
  EXPECT_NE(S_OK, host_.ErrorOf(L"new h()"));
}

}  // namespace
