// The "ZEQSIP" objects of transactions, the list of transactions that
// script has seen, and the account containers.
#include <mutex>
#include <vector>

#include "foundation/log.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "script_object_internal.h"
#include "sip/agent/user_agent.h"

namespace {

// The listed transactions, each a strong holder: a listed record stays
// allocated.
std::mutex g_listLock;
std::vector<SIPTransactionHolder>* g_list = new std::vector<SIPTransactionHolder>();

// What the user agent keeps for a record beside it, by the record's handle
// id: the container of an account (on root records) and the member store
// that every object of the record shares. An id no longer registered (its
// record is gone) drops its entry.
struct RecordEntry {
  uint32_t id;
  ZEQContainerHolder container;
  ZEQPropertyStoreHolder store;
};
std::mutex g_entryLock;
std::vector<RecordEntry>* g_entries = new std::vector<RecordEntry>();

// The entry of an id, made when asked (under g_entryLock).
RecordEntry* EntryOf(uint32_t id, bool create) {
  for (RecordEntry& entry : *g_entries)
    if (entry.id == id) return &entry;
  if (!create) return nullptr;
  for (auto it = g_entries->begin(); it != g_entries->end();) {
    if (!ZEQHandleRegistryContains(it->id)) it = g_entries->erase(it);
    else ++it;
  }
  g_entries->push_back(RecordEntry{id, ZEQContainerHolder(), ZEQPropertyStoreHolder()});
  return &g_entries->back();
}

uint32_t IdOf(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder copy = transaction;
  return copy.GetId();
}

SIPTransactionHolder RootOf(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder root = SIPGetRootTransaction(transaction);
  return root.Get() ? root : transaction;
}

}  // namespace

void SIPObjectListAdd(const SIPTransactionHolder& transaction) {
  if (!transaction.Get()) return;
  std::lock_guard<std::mutex> lock(g_listLock);
  for (const SIPTransactionHolder& item : *g_list)
    if (item.Get() == transaction.Get()) return;
  g_list->push_back(transaction);
}

SIPTransactionHolder SIPObjectListFind(const SIPTransactionHolder& transaction) {
  std::lock_guard<std::mutex> lock(g_listLock);
  for (const SIPTransactionHolder& item : *g_list)
    if (item.Get() && item.Get() == transaction.Get()) return item;
  return SIPTransactionHolder();
}

void SIPObjectListRemove(const SIPTransactionHolder& transaction) {
  // The list's reference is released outside the lock: the last release
  // frees the record, whose teardown may come back here.
  SIPTransactionHolder released;
  {
    std::lock_guard<std::mutex> lock(g_listLock);
    for (auto it = g_list->begin(); it != g_list->end(); ++it) {
      if (it->Get() == transaction.Get()) {
        released = *it;
        g_list->erase(it);
        break;
      }
    }
  }
}

size_t sipagent::ObjectListSize() {
  std::lock_guard<std::mutex> lock(g_listLock);
  return g_list->size();
}

void SIPSetAccountContainer(const SIPTransactionHolder& transaction, const ZEQContainerHolder& container) {
  SIPTransactionHolder root = RootOf(transaction);
  if (!root.Get()) return;
  uint32_t id = IdOf(root);
  std::lock_guard<std::mutex> lock(g_entryLock);
  EntryOf(id, true)->container = container;
}

ZEQContainerHolder SIPAccountContainerHolderCopy(const SIPTransactionHolder& transaction) {
  SIPTransactionHolder root = RootOf(transaction);
  if (!root.Get()) return ZEQContainerHolder();
  uint32_t id = IdOf(root);
  std::lock_guard<std::mutex> lock(g_entryLock);
  RecordEntry* entry = EntryOf(id, false);
  return entry ? entry->container : ZEQContainerHolder();
}

ZEQPropertyStoreHolder sipagent::MemberStoreOf(const SIPTransactionHolder& transaction) {
  std::lock_guard<std::mutex> lock(g_entryLock);
  RecordEntry* entry = EntryOf(IdOf(transaction), false);
  return entry ? entry->store : ZEQPropertyStoreHolder();
}

void sipagent::KeepMemberStore(const SIPTransactionHolder& transaction, const ZEQPropertyStoreHolder& store) {
  std::lock_guard<std::mutex> lock(g_entryLock);
  RecordEntry* entry = EntryOf(IdOf(transaction), true);
  if (!entry->store.Get()) entry->store = store;
}

CZEQDispatchEx* ZEQSIP(HWND owner, const SIPTransactionHolder& transaction) {
  if (!transaction.Get()) return nullptr;
  try {
    if (!owner || !IsWindow(owner)) {
      ZEQContainerHolder container = SIPAccountContainerHolderCopy(transaction);
      owner = container.Get() ? container->hostWindow : nullptr;
    }
    CZEQDispatchEx* object = CZEQDispatchEx::Create(L"ZEQSIP", owner, ZEQLookupMemberCallback, ZEQSIPInvoke,
                                                    kZEQDispInstance, sipagent::MemberStoreOf(transaction));
    auto* data = static_cast<sipagent::ObjectData*>(object->nativeData);
    if (data) data->transactionHandleId = IdOf(transaction);
    sipagent::KeepMemberStore(transaction, object->store);
    SIPObjectListAdd(transaction);
    return object;
  } catch (...) {
    ZEQLogPrintf("!ZEQSIP: Unexpected exception creating the object of SIP: %08X",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(transaction.Get())));
    return nullptr;
  }
}

void SIPPushScriptObjectArgument(JSArray* arguments, const SIPTransactionHolder& transaction, int position) {
  if (!arguments) return;
  CZEQDispatchEx* object = ZEQSIP(nullptr, transaction);
  arguments->AppendDispatchAt(object ? static_cast<IDispatchEx*>(object) : nullptr, position);
  if (object) object->Release();
}

void SIPTransactionToVariant(VARIANT* result, const SIPTransactionHolder& transaction) {
  if (!result) return;
  CZEQDispatchEx* object = ZEQSIP(nullptr, transaction);
  if (!object) return;
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = static_cast<IDispatchEx*>(object);
}

SIPTransactionHolder SIPTransactionFromScriptObject(CZEQDispatchEx* object) {
  if (!object || !object->className || wcscmp(object->className, L"ZEQSIP") != 0) return SIPTransactionHolder();
  auto* data = static_cast<sipagent::ObjectData*>(object->nativeData);
  if (!data || !data->transactionHandleId) return SIPTransactionHolder();
  SIPTransactionHolder holder;
  SIPTransactionHolder* found = SIPTransactionHolder::NewFromId(data->transactionHandleId);
  holder.AssignAndDeleteSource(found);
  return holder;
}

SIPTransactionHolder SIPTransactionFromVariant(const VARIANT* value) {
  IDispatchEx* dispatch = VariantGetDispatchEx(value);
  if (!dispatch) return SIPTransactionHolder();
  CZEQDispatchEx* object = ZEQGetNativeDispatchEx(dispatch);
  dispatch->Release();
  if (!object) return SIPTransactionHolder();
  SIPTransactionHolder holder = SIPTransactionFromScriptObject(object);
  object->Release();
  return holder;
}
