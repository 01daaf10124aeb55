#include <windows.h>

#include "foundation/lock.h"

static CRITICAL_SECTION* Section(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

ZEQLock::ZEQLock() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_), "the critical section fits the lock");
  InitializeCriticalSection(Section(storage_));
}
ZEQLock::~ZEQLock() { DeleteCriticalSection(Section(storage_)); }
void ZEQLock::Enter() { EnterCriticalSection(Section(storage_)); }
void ZEQLock::Leave() { LeaveCriticalSection(Section(storage_)); }
