#include "handle_registry.h"

#include "foundation/list.h"
#include "foundation/lock_guard.h"

namespace {

// The registry: ids as pointer keys, blocks as values that the list never
// frees. Its list lock is the registry lock.
ZEQList* g_registry = nullptr;
// The last id given (one counter for every payload type), under the lock.
uint32_t g_lastId = 0;
// Translation units whose static objects may still use the registry; only
// touched during static initialisation and exit, on one thread.
int g_users = 0;

CRITICAL_SECTION* RegistryLock() { return g_registry ? g_registry->lock : nullptr; }

}  // namespace

ZEQHandleRegistryInit::ZEQHandleRegistryInit() {
  if (g_users++ == 0) ZEQList::Create(&g_registry);
}

ZEQHandleRegistryInit::~ZEQHandleRegistryInit() {
  if (--g_users == 0) ZEQList::DeleteAt(&g_registry);
}

void ZEQRegistryEnter() {
  if (CRITICAL_SECTION* lock = RegistryLock()) EnterCriticalSection(lock);
}

void ZEQRegistryLeave() {
  if (CRITICAL_SECTION* lock = RegistryLock()) LeaveCriticalSection(lock);
}

uint32_t ZEQRegistryAssignId(ZEQSharedHandleBlock* block) {
  ZEQLockGuard guard(RegistryLock());
  if (!block->id && g_registry) {
    uint32_t id = ++g_lastId;
    g_registry->SetByPointer(id, reinterpret_cast<uintptr_t>(block), 0);
    block->id = id;
  }
  return block->id;
}

ZEQSharedHandleBlock* ZEQRegistryFind(uint32_t id) {
  if (!g_registry) return nullptr;
  int at = g_registry->FindSorted(reinterpret_cast<const void*>(static_cast<uintptr_t>(id)), 0, 0, nullptr);
  ZEQListItem* item = at < 0 ? nullptr : g_registry->GetItemAt(at);
  return item ? reinterpret_cast<ZEQSharedHandleBlock*>(item->value1) : nullptr;
}

void ZEQRegistryRemove(uint32_t id) { ZEQList::Remove(&g_registry, id); }

bool ZEQHandleRegistryContains(uint32_t id) {
  ZEQLockGuard guard(RegistryLock());
  return ZEQRegistryFind(id) != nullptr;
}
