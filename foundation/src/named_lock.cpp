#include "foundation/named_lock.h"

#include "foundation/text.h"

void ZEQNamedLock::Init(const char* lockName) {
  spinCount = kZEQNamedLockSpinCount;
  StrCopyN(name, lockName, kZEQNamedLockNameSize - 1);
  InitializeCriticalSectionAndSpinCount(&section, spinCount);
}

void ZEQNamedLock::Delete() { DeleteCriticalSection(&section); }

void ZEQNamedLock::Enter() { EnterCriticalSection(&section); }

void ZEQNamedLock::Leave() { LeaveCriticalSection(&section); }

BOOL ZEQNamedLock::TryEnter() { return TryEnterCriticalSection(&section); }
